#pragma once
// Hex digits both ways, one table for every reader and writer.
#include <cstdint>

namespace tarvik {

// Value of one hex digit in either case, -1 for anything else. Takes the code point so
// that a byte above 0x7F or a wide character never aliases a digit.
constexpr int HexDigit(char32_t c)
{
    if (c >= U'0' && c <= U'9')
        return int(c - U'0');
    if (c >= U'a' && c <= U'f')
        return int(c - U'a') + 10;
    if (c >= U'A' && c <= U'F')
        return int(c - U'A') + 10;
    return -1;
}

// The upper-case digit of the low four bits: every hex field the program writes is upper case.
constexpr char HexChar(unsigned value)
{
    return "0123456789ABCDEF"[value & 0xFu];
}

// "%0*X": v in upper case, at least minDigits digits and more when it needs them, at out;
// gives the end.
constexpr char* WriteHex(char* out, std::uint32_t v, int minDigits)
{
    int digits = 1;
    while (digits < 8 && (v >> (4 * digits)) != 0)
        ++digits;
    if (digits < minDigits)
        digits = minDigits;
    for (int i = digits - 1; i >= 0; --i)
        *out++ = HexChar(v >> (4 * i));
    return out;
}

// The value of a run of digits in base 16 or 10, either case; false at any other
// character or once the value passes max (value then untouched). An empty run is 0.
// Takes chars (as unsigned bytes) or anything with a unicode() code point.
template <class Text>
constexpr bool ParseDigits(const Text& text, unsigned base, std::uint64_t max, std::uint64_t& value)
{
    std::uint64_t v = 0;
    for (const auto c : text) {
        int d;
        if constexpr (requires { c.unicode(); })
            d = HexDigit(c.unicode());
        else
            d = HexDigit(static_cast<unsigned char>(c));
        if (d < 0 || unsigned(d) >= base)
            return false;
        v = v * base + unsigned(d);
        if (v > max)
            return false;
    }
    value = v;
    return true;
}

}  // namespace tarvik
