#pragma once
// Hex digits both ways, one table for every reader and writer.
//
// Value of one hex digit in either case, -1 for anything else. Takes the code point so
// that a byte above 0x7F or a wide character never aliases a digit.
namespace tarvik {

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

}  // namespace tarvik
