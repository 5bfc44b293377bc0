#include "logformats/candumplog.h"

#include "logformats/textnumbers.h"
#include "platform/hexdigit.h"

namespace tarvik {

namespace {

// The line without leading and trailing blanks and control characters.
std::string_view TrimLine(std::string_view line)
{
    const char* p = line.data();
    const char* end = p + line.size();
    while (p < end && static_cast<unsigned char>(*p) <= 32)
        ++p;
    while (end > p && static_cast<unsigned char>(end[-1]) <= 32)
        --end;
    return std::string_view(p, static_cast<std::size_t>(end - p));
}

// "(seconds.fraction) interface ", p moved to the frame after it.
bool ReadTimeAndInterface(const char*& p, const char* end, std::int64_t& sec, std::int32_t& nsec)
{
    if (*p++ != '(')
        return false;
    if (!ParseDecimalTime(p, end, sec, nsec) || p == end || *p++ != ')')
        return false;
    if (p == end || *p != ' ')
        return false;
    while (p < end && *p == ' ')
        ++p;
    const char* ifname = p;
    while (p < end && *p != ' ')
        ++p;
    if (p == ifname || p == end)
        return false;
    while (p < end && *p == ' ')
        ++p;
    return true;
}

// What follows the frame: nothing (received), or one direction mark "R" or "T".
bool ReadDirection(const char* frameEnd, const char* end, bool& transmitted)
{
    transmitted = false;
    if (frameEnd == end)
        return true;
    const char* mark = frameEnd;
    while (mark < end && *mark == ' ')
        ++mark;
    if (end - mark != 1 || (*mark != 'T' && *mark != 'R'))
        return false;
    transmitted = *mark == 'T';
    return true;
}

// Three hex digits for a standard identifier, eight for an extended one, then "#"; p moved
// past the "#".
bool ReadIdentifier(const char*& p, const char* frameEnd, std::uint32_t& ident, bool& extended)
{
    const char* id = p;
    while (p < frameEnd && *p != '#')
        ++p;
    const auto idLen = p - id;
    std::uint64_t value = 0;
    if (p == frameEnd || idLen > 8 || !ParseDigits(std::string_view(id, std::size_t(idLen)), 16, 0xFFFFFFFFu, value))
        return false;
    ++p;  // '#'
    ident = static_cast<std::uint32_t>(value);
    if (idLen == 3) {
        extended = false;
        return ident <= 0x7FF;
    }
    extended = true;
    return idLen == 8 && (ident & 0xC0000000u) == 0;
}

// The data after "#": hex byte pairs, dots between them allowed, a "_X" length code above 8
// after eight bytes; CAN FD ("##", a flags digit, up to 64 bytes) keeps its first eight.
// Frame or FdFrame with the bytes and length filled, or Malformed.
TLogLine ReadData(const char* p, const char* frameEnd, std::uint8_t (&data)[8], int& length)
{
    std::size_t maxBytes = 8;
    bool fd = false;
    if (p < frameEnd && *p == '#') {
        ++p;
        if (p == frameEnd || HexDigit(static_cast<unsigned char>(*p)) < 0)
            return TLogLine::Malformed;
        ++p;
        maxBytes = 64;
        fd = true;
    }
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
    length = lengthCode > 0 ? lengthCode : static_cast<int>(bytes > 8 ? 8 : bytes);
    return fd ? TLogLine::FdFrame : TLogLine::Frame;
}

}  // namespace

TLogLine ParseCandumpLine(std::string_view text, TLogFrame& frame)
{
    const std::string_view line = TrimLine(text);
    if (line.empty())
        return TLogLine::Other;
    const char* p = line.data();
    const char* const end = p + line.size();
    std::int64_t sec = 0;
    std::int32_t nsec = 0;
    if (!ReadTimeAndInterface(p, end, sec, nsec))
        return TLogLine::Malformed;

    // the frame: identifier "#" data, then at most a direction mark
    const char* frameEnd = p;
    while (frameEnd < end && *frameEnd != ' ')
        ++frameEnd;
    bool transmitted = false, extended = false;
    std::uint32_t ident = 0;
    if (!ReadDirection(frameEnd, end, transmitted) || !ReadIdentifier(p, frameEnd, ident, extended))
        return TLogLine::Malformed;
    const std::uint8_t type = transmitted ? kCanTransmitted : kCanReceived;

    if (p < frameEnd && (*p == 'R' || *p == 'r')) {  // remote request, maybe a length
        ++p;
        int length = 0;
        if (p < frameEnd && HexDigit(static_cast<unsigned char>(*p)) >= 0)
            length = HexDigit(static_cast<unsigned char>(*p++));
        if (p != frameEnd)
            return TLogLine::Malformed;
        frame.seconds = sec;
        frame.nanoseconds = nsec;
        frame.record = AdapterRecord::CanRemote(ident, extended, length, type);
        return TLogLine::RemoteFrame;
    }
    std::uint8_t data[8] = {};
    int length = 0;
    const TLogLine kind = ReadData(p, frameEnd, data, length);
    if (kind == TLogLine::Malformed)
        return kind;
    if (extended && (ident & 0x20000000u) != 0)
        return TLogLine::ErrorFrame;
    frame.seconds = sec;
    frame.nanoseconds = nsec;
    frame.record = AdapterRecord::Can(ident, extended, length, data, type);
    return kind;
}

std::size_t FormatCandumpLine(const AdapterRecord& record, std::int64_t micros, char* out)
{
    char* w = out;
    *w++ = '(';
    w = WriteMicrosAsSeconds(w, micros);
    static constexpr char kIf[] = ") can0 ";
    for (char c : std::string_view(kIf, sizeof kIf - 1))
        *w++ = c;
    w = WriteHex(w, record.CanId(), record.Extended() ? 8 : 3);
    *w++ = '#';
    const int length = record.Length();
    if (record.Remote()) {
        // The length asked for follows the R unless it is 0, as candump writes it.
        *w++ = 'R';
        if (length > 0)
            w = WriteHex(w, static_cast<std::uint32_t>(length), 1);
    }
    for (int i = 0; i < (record.Remote() ? 0 : length > 8 ? 8 : length); ++i)
        w = WriteHex(w, record.Data(i), 2);
    if (length > 8 && !record.Remote()) {
        *w++ = '_';
        w = WriteHex(w, static_cast<std::uint32_t>(length), 1);
    }
    *w++ = ' ';
    *w++ = record.IsTransmitted() ? 'T' : 'R';
    *w++ = '\n';
    return static_cast<std::size_t>(w - out);
}

}  // namespace tarvik
