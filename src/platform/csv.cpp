#include "platform/csv.h"

#include <charconv>
#include <cmath>
#include <cstdint>

namespace tarvik {

std::string CsvField(std::string_view field)
{
    if (field.find_first_of(",\"\r\n") == std::string_view::npos)
        return std::string(field);
    std::string out = "\"";
    for (char c : field) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
    return out;
}

namespace {

constexpr double kPow10[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9};
constexpr std::uint32_t kPow10i[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000, 1000000000};

// "%g" for the values a log mostly holds (1e-4 <= |v| < 999999.5, fixed notation), from six
// digits rounded in double arithmetic. Exact except within a hair of a rounding tie, which is
// left to the slow path along with everything else; 0 then.
std::size_t FormatGeneralFixed(double v, char* out)
{
    const double a = std::fabs(v);
    if (!(a >= 1e-4 && a < 1e6))
        return 0;
    int x = 5;  // decimal exponent: 10^x <= a < 10^(x+1); a wrong guess is caught below
    while (x > -4 && a < kPow10[x + 4] * 1e-4)
        --x;
    const double scaled = a * kPow10[5 - x];  // one rounding: |error| < 1.2e-10 below 1e6
    const double whole = std::floor(scaled);
    const double frac = scaled - whole;
    if (std::fabs(frac - 0.5) < 1e-6)
        return 0;
    const std::uint32_t digits = std::uint32_t(whole) + (frac > 0.5 ? 1u : 0u);
    if (digits < 100000 || digits > 999999)
        return 0;  // exponent misjudged, or rounded up into the next decade
    char* p = out;
    if (std::signbit(v))
        *p++ = '-';
    const int decimals = 5 - x;
    const std::uint32_t unit = kPow10i[decimals];
    p = std::to_chars(p, out + kMaxGeneralText, digits / unit).ptr;
    std::uint32_t fraction = digits % unit;
    if (fraction != 0) {
        int d = decimals;
        while (fraction % 10 == 0) {
            fraction /= 10;
            --d;
        }
        *p++ = '.';
        for (int i = d - 1; i >= 0; --i) {
            p[i] = char('0' + fraction % 10);
            fraction /= 10;
        }
        p += d;
    }
    return static_cast<std::size_t>(p - out);
}

}  // namespace

std::size_t FormatGeneral(double v, char* out)
{
    if (const std::size_t n = FormatGeneralFixed(v, out))
        return n;
    // to_chars in general format with precision 6 is defined as printf "%g"; the tests hold
    // both paths against snprintf over random doubles, NaN and infinities included.
    const auto r = std::to_chars(out, out + kMaxGeneralText, v, std::chars_format::general, 6);
    return static_cast<std::size_t>(r.ptr - out);
}

void AppendGeneral(std::string& out, double v)
{
    char buf[kMaxGeneralText];
    out.append(buf, FormatGeneral(v, buf));
}

}  // namespace tarvik
