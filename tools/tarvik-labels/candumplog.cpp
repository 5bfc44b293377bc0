#include "candumplog.h"

#include <cstring>

namespace tarvik {

namespace {

constexpr std::int8_t kNotHex = -1;

struct HexTable {
    std::int8_t v[256];
    constexpr HexTable() : v{}
    {
        for (int i = 0; i < 256; ++i)
            v[i] = kNotHex;
        for (int i = 0; i < 10; ++i)
            v['0' + i] = static_cast<std::int8_t>(i);
        for (int i = 0; i < 6; ++i) {
            v['A' + i] = static_cast<std::int8_t>(10 + i);
            v['a' + i] = static_cast<std::int8_t>(10 + i);
        }
    }
};
constexpr HexTable kHex;

inline int Hex(char c) { return kHex.v[static_cast<unsigned char>(c)]; }
inline bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

CandumpLineKind ParseCandumpLine(std::string_view line, CandumpFrame& frame)
{
    const char* p = line.data();
    const char* end = p + line.size();
    while (p < end && static_cast<unsigned char>(*p) <= 32)
        ++p;
    while (end > p && static_cast<unsigned char>(end[-1]) <= 32)
        --end;
    if (p == end)
        return CandumpLineKind::NoData;

    // (seconds.fraction)
    if (*p++ != '(')
        return CandumpLineKind::Malformed;
    std::int64_t sec = 0;
    int n = 0;
    while (p < end && IsDigit(*p)) {
        if (++n > 18)
            return CandumpLineKind::Malformed;
        sec = sec * 10 + (*p++ - '0');
    }
    if (n == 0 || p == end || *p++ != '.')
        return CandumpLineKind::Malformed;
    std::int32_t nsec = 0;
    n = 0;
    while (p < end && IsDigit(*p)) {
        if (++n > 9)
            return CandumpLineKind::Malformed;
        nsec = nsec * 10 + (*p++ - '0');
    }
    if (n == 0 || p == end || *p++ != ')')
        return CandumpLineKind::Malformed;
    for (; n < 9; ++n)
        nsec *= 10;

    // interface name
    if (p == end || *p != ' ')
        return CandumpLineKind::Malformed;
    while (p < end && *p == ' ')
        ++p;
    const char* ifname = p;
    while (p < end && *p != ' ')
        ++p;
    if (p == ifname || p == end)
        return CandumpLineKind::Malformed;
    while (p < end && *p == ' ')
        ++p;

    // the frame: identifier "#" data, then at most a direction mark
    const char* frameEnd = p;
    while (frameEnd < end && *frameEnd != ' ')
        ++frameEnd;
    if (frameEnd < end) {
        const char* mark = frameEnd;
        while (mark < end && *mark == ' ')
            ++mark;
        if (end - mark != 1 || (*mark != 'T' && *mark != 'R'))
            return CandumpLineKind::Malformed;
    }

    const char* id = p;
    std::uint32_t ident = 0;
    while (p < frameEnd && *p != '#') {
        const int h = Hex(*p++);
        if (h == kNotHex)
            return CandumpLineKind::Malformed;
        ident = (ident << 4) | static_cast<std::uint32_t>(h);
        if (p - id > 8)
            return CandumpLineKind::Malformed;
    }
    if (p == frameEnd)
        return CandumpLineKind::Malformed;
    const auto idLen = p - id;
    bool errorFrame = false;
    if (idLen == 3) {
        if (ident > 0x7FF)
            return CandumpLineKind::Malformed;
    } else if (idLen == 8) {
        if (ident & 0xC0000000u)
            return CandumpLineKind::Malformed;
        errorFrame = (ident & 0x20000000u) != 0;
        ident = (ident & 0x1FFFFFFFu) | 0x80000000u;
    } else {
        return CandumpLineKind::Malformed;
    }
    ++p;  // '#'

    std::size_t maxBytes = 8;
    if (p < frameEnd && *p == '#') {  // CAN FD: flags digit, up to 64 bytes
        ++p;
        if (p == frameEnd || Hex(*p) == kNotHex)
            return CandumpLineKind::Malformed;
        ++p;
        maxBytes = 64;
    } else if (p < frameEnd && (*p == 'R' || *p == 'r')) {  // remote request, maybe a length
        ++p;
        if (p < frameEnd && Hex(*p) != kNotHex)
            ++p;
        return p == frameEnd ? CandumpLineKind::NoData : CandumpLineKind::Malformed;
    }

    std::uint64_t data = 0;
    std::size_t bytes = 0;
    while (p + 1 < frameEnd && *p != '_') {
        const int hi = Hex(p[0]), lo = Hex(p[1]);
        if (hi == kNotHex || lo == kNotHex || ++bytes > maxBytes)
            return CandumpLineKind::Malformed;
        if (bytes <= 8)
            data |= static_cast<std::uint64_t>(hi << 4 | lo) << (8 * (8 - bytes));
        p += 2;
    }
    if (p < frameEnd && *p == '_') {  // classic CAN length code above 8: "_9" .. "_F"
        if (maxBytes != 8 || bytes != 8 || frameEnd - p != 2 || Hex(p[1]) == kNotHex)
            return CandumpLineKind::Malformed;
        p = frameEnd;
    }
    if (p != frameEnd)
        return CandumpLineKind::Malformed;  // an odd hex digit left over
    if (errorFrame)
        return CandumpLineKind::NoData;

    frame.seconds = sec;
    frame.nanoseconds = nsec;
    frame.key = ident;
    frame.data = data;
    return CandumpLineKind::Frame;
}

LineReader::LineReader(std::FILE* in, std::size_t capacity) : in_(in), buf_(capacity) {}

bool LineReader::Fill()
{
    if (eof_)
        return false;
    if (begin_ > 0) {
        std::memmove(buf_.data(), buf_.data() + begin_, end_ - begin_);
        end_ -= begin_;
        begin_ = 0;
    }
    if (end_ == buf_.size())
        return false;
    const std::size_t got = std::fread(buf_.data() + end_, 1, buf_.size() - end_, in_);
    if (got == 0) {
        eof_ = true;
        failed_ = std::ferror(in_) != 0;
        return false;
    }
    end_ += got;
    return true;
}

bool LineReader::Next(std::string_view& line, bool& truncated)
{
    truncated = false;
    for (;;) {
        const char* b = buf_.data() + begin_;
        const void* nl = std::memchr(b, '\n', end_ - begin_);
        if (nl) {
            const char* e = static_cast<const char*>(nl);
            const std::size_t len = static_cast<std::size_t>(e - b);
            begin_ += len + 1;
            if (skipping_) {  // the tail of a line already returned cut
                skipping_ = false;
                continue;
            }
            line = std::string_view(b, len > 0 && e[-1] == '\r' ? len - 1 : len);
            return true;
        }
        if (Fill())
            continue;
        if (begin_ == end_)
            return false;
        if (skipping_) {
            begin_ = end_;
            continue;
        }
        // No line end in a full buffer, or the last line without one.
        line = std::string_view(b, end_ - begin_);
        truncated = !eof_;
        skipping_ = !eof_;
        begin_ = end_;
        return true;
    }
}

}  // namespace tarvik
