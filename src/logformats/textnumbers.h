#pragma once
// Number reading and writing shared by the log formats: exact decimal times (no floating
// point, so a time survives a round trip to the microsecond) and fixed-width hex.
#include <cstdint>

#include "platform/hexdigit.h"

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

// "00".."99": two digits per division, which halves the divisions of a long number.
inline constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// Unsigned decimal, no padding. Times in seconds since 1970 fit 32 bits, where division is
// cheap; saving a long history writes one per line.
inline char* WriteDecimal(char* w, std::uint64_t v)
{
    char tmp[20];
    int n = 20;
    while (v > 0xFFFFFFFFu) {
        const unsigned r = static_cast<unsigned>(v % 100);
        v /= 100;
        tmp[--n] = kDigitPairs[2 * r + 1];
        tmp[--n] = kDigitPairs[2 * r];
    }
    std::uint32_t u = static_cast<std::uint32_t>(v);
    while (u >= 100) {
        const unsigned r = u % 100;
        u /= 100;
        tmp[--n] = kDigitPairs[2 * r + 1];
        tmp[--n] = kDigitPairs[2 * r];
    }
    if (u >= 10) {
        tmp[--n] = kDigitPairs[2 * u + 1];
        tmp[--n] = kDigitPairs[2 * u];
    } else {
        tmp[--n] = static_cast<char>('0' + u);
    }
    while (n < 20)
        *w++ = tmp[n++];
    return w;
}

// "seconds.micros" with six fraction digits; a negative time is written as 0.
inline char* WriteMicrosAsSeconds(char* w, std::int64_t micros)
{
    const std::uint64_t u = micros < 0 ? 0 : static_cast<std::uint64_t>(micros);
    w = WriteDecimal(w, u / 1'000'000);
    *w++ = '.';
    std::uint32_t frac = static_cast<std::uint32_t>(u % 1'000'000);
    for (int i = 4; i >= 0; i -= 2) {
        const unsigned r = frac % 100;
        frac /= 100;
        w[i] = kDigitPairs[2 * r];
        w[i + 1] = kDigitPairs[2 * r + 1];
    }
    return w + 6;
}

}  // namespace tarvik
