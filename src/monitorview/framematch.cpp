#include "monitorview/framematch.h"

#include "platform/hexdigit.h"

namespace tarvik {

namespace {

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && s.front() == ' ')
        s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ')
        s.remove_suffix(1);
    return s;
}

// One to eight hex digits, at most a 29-bit identifier.
bool ReadId(std::string_view s, std::uint32_t& v)
{
    s = Trim(s);
    if (s.empty() || s.size() > 8)
        return false;
    v = 0;
    for (char c : s) {
        const int d = HexDigit(static_cast<unsigned char>(c));
        if (d < 0)
            return false;
        v = v << 4 | std::uint32_t(d);
    }
    return v <= kExtendedIdMask;
}

bool Fail(std::string* error, std::string text)
{
    if (error)
        *error = std::move(text);
    return false;
}

}  // namespace

bool ParseFrameMatch(std::string_view id, std::string_view data, TMatchDirection direction, TFrameMatch& out,
                     std::string* error)
{
    TFrameMatch m;
    m.direction = direction;
    id = Trim(id);
    if (!id.empty()) {
        const auto dash = id.find('-'), slash = id.find('/');
        const auto cut = dash != std::string_view::npos ? dash : slash;
        std::uint32_t a = 0, b = 0;
        const bool read = cut == std::string_view::npos
                              ? ReadId(id, a)
                              : ReadId(id.substr(0, cut), a) && ReadId(id.substr(cut + 1), b);
        if (!read)
            return Fail(error, "identifier: hex up to 1FFFFFFF, as 123, 100-1FF or 120/7F0");
        if (cut == std::string_view::npos) {
            m.idValue = a;
            m.idMask = 0xFFFFFFFFu;
        } else if (cut == dash) {
            if (a > b)
                return Fail(error, "identifier: the range's first value is above its last");
            m.idLow = a;
            m.idHigh = b;
        } else {
            m.idMask = b;
            m.idValue = a & b;
        }
    }
    std::string digits;
    for (char c : data)
        if (c != ' ')
            digits += c;
    if (digits.size() % 2 != 0 || digits.size() > 16)
        return Fail(error, "data: up to eight bytes of two hex digits or ??");
    for (std::size_t i = 0; i < digits.size(); i += 2) {
        const int shift = 56 - 8 * int(i / 2);
        if (digits[i] == '?' && digits[i + 1] == '?')
            continue;
        const int hi = HexDigit(static_cast<unsigned char>(digits[i]));
        const int lo = HexDigit(static_cast<unsigned char>(digits[i + 1]));
        if (hi < 0 || lo < 0)
            return Fail(error, "data: up to eight bytes of two hex digits or ??");
        m.dataValue |= std::uint64_t(hi << 4 | lo) << shift;
        m.dataMask |= std::uint64_t(0xFF) << shift;
    }
    m.dataLength = int(digits.size() / 2);
    out = m;
    return true;
}

}  // namespace tarvik
