#pragma once
// Number reading and writing shared by the log formats: exact decimal times (no floating
// point, so a time survives a round trip to the microsecond) and fixed-width hex.
#include <cstdint>

namespace tarvik {

// Reads "seconds.fraction" (1..12 digits, ".", 1..9 digits) from p, moving p past it. Twelve
// digits reach 31,000 years and keep every time in microseconds far inside 64 bits.
inline bool ParseDecimalTime(const char*& p, const char* end, std::int64_t& sec, std::int32_t& nsec)
{
    sec = 0;
    nsec = 0;
    int n = 0;
    while (p < end && *p >= '0' && *p <= '9') {
        if (++n > 12)
            return false;
        sec = sec * 10 + (*p++ - '0');
    }
    if (n == 0 || p == end || *p++ != '.')
        return false;
    n = 0;
    while (p < end && *p >= '0' && *p <= '9') {
        if (++n > 9)
            return false;
        nsec = nsec * 10 + (*p++ - '0');
    }
    if (n == 0)
        return false;
    for (; n < 9; ++n)
        nsec *= 10;
    return true;
}

inline char* WriteHex(char* w, std::uint32_t v, int digits)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    for (int i = digits - 1; i >= 0; --i) {
        w[i] = kDigits[v & 0xF];
        v >>= 4;
    }
    return w + digits;
}

// Unsigned decimal, no padding.
inline char* WriteDecimal(char* w, std::uint64_t v)
{
    char tmp[20];
    int n = 0;
    do {
        tmp[n++] = static_cast<char>('0' + v % 10);
        v /= 10;
    } while (v != 0);
    while (n > 0)
        *w++ = tmp[--n];
    return w;
}

// "seconds.micros" with six fraction digits; a negative time is written as 0.
inline char* WriteMicrosAsSeconds(char* w, std::int64_t micros)
{
    const std::uint64_t u = micros < 0 ? 0 : static_cast<std::uint64_t>(micros);
    w = WriteDecimal(w, u / 1'000'000);
    *w++ = '.';
    std::uint32_t frac = static_cast<std::uint32_t>(u % 1'000'000);
    for (int i = 5; i >= 0; --i) {
        w[i] = static_cast<char>('0' + frac % 10);
        frac /= 10;
    }
    return w + 6;
}

}  // namespace tarvik
