#include "logformats/candumplog.h"

#include "logformats/textnumbers.h"
#include "platform/hexdigit.h"

namespace tarvik {

TLogLine ParseCandumpLine(std::string_view line, TLogFrame& frame)
{
    const char* p = line.data();
    const char* end = p + line.size();
    while (p < end && static_cast<unsigned char>(*p) <= 32)
        ++p;
    while (end > p && static_cast<unsigned char>(end[-1]) <= 32)
        --end;
    if (p == end)
        return TLogLine::Other;

    // (seconds.fraction)
    if (*p++ != '(')
        return TLogLine::Malformed;
    std::int64_t sec = 0;
    std::int32_t nsec = 0;
    if (!ParseDecimalTime(p, end, sec, nsec) || p == end || *p++ != ')')
        return TLogLine::Malformed;

    // interface name
    if (p == end || *p != ' ')
        return TLogLine::Malformed;
    while (p < end && *p == ' ')
        ++p;
    const char* ifname = p;
    while (p < end && *p != ' ')
        ++p;
    if (p == ifname || p == end)
        return TLogLine::Malformed;
    while (p < end && *p == ' ')
        ++p;

    // the frame: identifier "#" data, then at most a direction mark
    const char* frameEnd = p;
    while (frameEnd < end && *frameEnd != ' ')
        ++frameEnd;
    bool transmitted = false;
    if (frameEnd < end) {
        const char* mark = frameEnd;
        while (mark < end && *mark == ' ')
            ++mark;
        if (end - mark != 1 || (*mark != 'T' && *mark != 'R'))
            return TLogLine::Malformed;
        transmitted = *mark == 'T';
    }

    const char* id = p;
    std::uint32_t ident = 0;
    while (p < frameEnd && *p != '#') {
        const int h = HexDigit(static_cast<unsigned char>(*p++));
        if (h < 0 || p - id > 8)
            return TLogLine::Malformed;
        ident = (ident << 4) | static_cast<std::uint32_t>(h);
    }
    if (p == frameEnd)
        return TLogLine::Malformed;
    const auto idLen = p - id;
    bool extended = false;
    if (idLen == 3) {
        if (ident > 0x7FF)
            return TLogLine::Malformed;
    } else if (idLen == 8) {
        if (ident & 0xC0000000u)
            return TLogLine::Malformed;
        extended = true;
    } else {
        return TLogLine::Malformed;
    }
    const bool errorFrame = extended && (ident & 0x20000000u) != 0;
    ++p;  // '#'

    std::size_t maxBytes = 8;
    bool fd = false;
    if (p < frameEnd && *p == '#') {  // CAN FD: flags digit, up to 64 bytes
        ++p;
        if (p == frameEnd || HexDigit(static_cast<unsigned char>(*p)) < 0)
            return TLogLine::Malformed;
        ++p;
        maxBytes = 64;
        fd = true;
    } else if (p < frameEnd && (*p == 'R' || *p == 'r')) {  // remote request, maybe a length
        ++p;
        if (p < frameEnd && HexDigit(static_cast<unsigned char>(*p)) >= 0)
            ++p;
        return p == frameEnd ? TLogLine::RemoteFrame : TLogLine::Malformed;
    }

    std::uint8_t data[8] = {};
    std::size_t bytes = 0;
    int lengthCode = -1;
    while (p < frameEnd) {
        if (*p == '.' && bytes > 0 && p + 1 < frameEnd && p[1] != '.' && p[1] != '_') {
            ++p;  // "11.22.33" as cansend takes it
            continue;
        }
        if (*p == '_') {  // classic CAN length code above 8: "_9" .. "_F"
            const int code = frameEnd - p == 2 ? HexDigit(static_cast<unsigned char>(p[1])) : -1;
            if (fd || bytes != 8 || code < 9)
                return TLogLine::Malformed;
            lengthCode = code;
            p = frameEnd;
            break;
        }
        if (p + 1 >= frameEnd)
            return TLogLine::Malformed;  // an odd hex digit left over
        const int hi = HexDigit(static_cast<unsigned char>(p[0])), lo = HexDigit(static_cast<unsigned char>(p[1]));
        if (hi < 0 || lo < 0 || ++bytes > maxBytes)
            return TLogLine::Malformed;
        if (bytes <= 8)
            data[bytes - 1] = static_cast<std::uint8_t>(hi << 4 | lo);
        p += 2;
    }
    if (errorFrame)
        return TLogLine::ErrorFrame;

    const int length = lengthCode > 0 ? lengthCode : static_cast<int>(bytes > 8 ? 8 : bytes);
    frame.seconds = sec;
    frame.nanoseconds = nsec;
    SetCanRecord(frame.record, transmitted, extended, extended ? ident : ident & 0x7FF, length, data);
    return fd ? TLogLine::FdFrame : TLogLine::Frame;
}

std::size_t FormatCandumpLine(const AdapterRecord& record, std::int64_t micros, char* out)
{
    char* w = out;
    *w++ = '(';
    w = WriteMicrosAsSeconds(w, micros);
    static constexpr char kIf[] = ") can0 ";
    for (char c : std::string_view(kIf, sizeof kIf - 1))
        *w++ = c;
    if (record.Extended())
        w = WriteHex(w, record.Identifier() & 0x1FFFFFFFu, 8);
    else
        w = WriteHex(w, record.Identifier() & 0x7FFu, 3);
    *w++ = '#';
    const int length = record.Length();
    for (int i = 0; i < (length > 8 ? 8 : length); ++i)
        w = WriteHex(w, record.Data(i), 2);
    if (length > 8) {
        *w++ = '_';
        w = WriteHex(w, static_cast<std::uint32_t>(length), 1);
    }
    *w++ = ' ';
    *w++ = record.IsTransmitted() ? 'T' : 'R';
    *w++ = '\n';
    return static_cast<std::size_t>(w - out);
}

}  // namespace tarvik
