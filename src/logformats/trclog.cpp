#include "logformats/trclog.h"

#include <cstdio>
#include <cstring>
#include <ctime>

#include "platform/hexdigit.h"

namespace tarvik {

namespace {

// Days from 30 Dec 1899 to 1 Jan 1970.
constexpr std::int64_t kEpochDays = 25569;
constexpr std::int64_t kDayMicros = 86'400'000'000;

bool ParseHexField(std::string_view s, std::uint32_t& v)
{
    if (s.empty() || s.size() > 8)
        return false;
    v = 0;
    for (char c : s) {
        const int d = HexDigit(c);
        if (d < 0)
            return false;
        v = v << 4 | static_cast<std::uint32_t>(d);
    }
    return true;
}

bool ParseUnsigned(std::string_view s, int max, int& v)
{
    if (s.empty() || s.size() > 3)
        return false;
    v = 0;
    for (char c : s) {
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + (c - '0');
    }
    return v <= max;
}

// "whole.fraction" (the fraction optional): at most maxWhole digits before the point, the
// first maxFraction after it kept (and their count); false unless the whole text reads.
bool ParseDecimal(std::string_view s, int maxWhole, int maxFraction, std::int64_t& whole, std::int64_t& fraction,
                  int& fractionDigits)
{
    whole = fraction = 0;
    fractionDigits = 0;
    std::size_t i = 0;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
        if (static_cast<int>(i) >= maxWhole)
            return false;
        whole = whole * 10 + (s[i] - '0');
    }
    if (i == 0)
        return false;
    if (i < s.size() && s[i] == '.')
        for (++i; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i)
            if (fractionDigits < maxFraction) {
                fraction = fraction * 10 + (s[i] - '0');
                ++fractionDigits;
            }
    return i == s.size();
}

// Milliseconds with an optional fraction, to nanoseconds.
bool ParseMillis(std::string_view s, std::int64_t& nanos)
{
    std::int64_t ms = 0, frac = 0;
    int digits = 0;
    if (!ParseDecimal(s, 11, 6, ms, frac, digits))  // up to three years
        return false;
    for (; digits < 6; ++digits)
        frac *= 10;
    nanos = ms * 1'000'000 + frac;
    return true;
}

// "days.fraction" of the header, local time, to nanoseconds since 1970; false when unreadable.
bool ParseStartTime(std::string_view s, std::int64_t& nanos)
{
    std::int64_t days = 0, fraction = 0;
    int digits = 0;
    if (!ParseDecimal(s, 7, 15, days, fraction, digits))
        return false;
    __int128 frac = fraction, scale = 1;
    for (int k = 0; k < digits; ++k)
        scale *= 10;
    // 1970 to about 2200, so that the start and an offset of years stay inside 64-bit nanoseconds.
    if (days < kEpochDays || days > kEpochDays + 84000)
        return false;
    const std::int64_t dayNanos = static_cast<std::int64_t>(frac * kDayMicros * 1000 / scale);
    // The wall-clock reading as if it were UTC, then placed in the local zone.
    const std::time_t wall = static_cast<std::time_t>((days - kEpochDays) * 86400 + dayNanos / 1'000'000'000);
    std::tm t{};
    gmtime_r(&wall, &t);
    t.tm_isdst = -1;
    const std::time_t local = std::mktime(&t);
    if (local == static_cast<std::time_t>(-1))
        return false;
    nanos = static_cast<std::int64_t>(local) * 1'000'000'000 + dayNanos % 1'000'000'000;
    return true;
}

bool IsCanFdType(std::string_view t) { return t == "FD" || t == "FB" || t == "FE" || t == "BI"; }

}  // namespace

void TTrcReader::HeaderLine(std::string_view line)
{
    auto value = [&](std::string_view key, std::string_view& v) {
        if (line.substr(0, key.size()) != key)
            return false;
        v = line.substr(key.size());
        while (!v.empty() && (v.back() == ' ' || v.back() == '\t'))
            v.remove_suffix(1);
        return true;
    };
    std::string_view v;
    if (value(";$FILEVERSION=", v)) {
        version_ = v == "1.0" ? 10 : v == "2.0" ? 20 : v == "2.1" ? 21 : 11;  // 1.1 to 1.3 read alike
    } else if (value(";$STARTTIME=", v)) {
        haveStart_ = ParseStartTime(v, startNanos_);
    } else if (value(";$COLUMNS=", v)) {
        columns_.clear();
        for (char c : v)
            if (c != ',' && c != ' ' && columns_.size() < 16)
                columns_ += c;
    }
}

TLogLine TTrcReader::ParseLine(std::string_view line, TLogFrame& frame)
{
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t'))
        line.remove_prefix(1);
    if (line.empty())
        return TLogLine::Other;
    if (line.front() == ';') {
        HeaderLine(line);
        return TLogLine::Other;
    }
    constexpr int kMaxFields = 80;
    std::string_view f[kMaxFields];
    int n = 0;
    for (std::size_t i = 0; i < line.size() && n < kMaxFields;) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
            ++i;
        const std::size_t b = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t')
            ++i;
        if (i > b)
            f[n++] = line.substr(b, i - b);
    }
    if (n < 3)
        return TLogLine::Malformed;
    const bool numbered = f[0].back() == ')';
    int version = version_;
    if (version == 0)  // no header: the shape tells
        version = !numbered ? 21 : (f[2] == "Rx" || f[2] == "Tx" || f[2] == "Error" || f[2] == "Warng") ? 11 : 20;
    frame = TLogFrame{};
    const TLogLine kind = version < 20 ? Version1(f, n, frame) : Version2(f, n, version, frame);
    if (kind != TLogLine::Other && kind != TLogLine::Malformed && haveStart_) {
        const std::int64_t t = startNanos_ + frame.seconds * 1'000'000'000 + frame.nanoseconds;
        frame.seconds = t / 1'000'000'000;
        frame.nanoseconds = static_cast<std::int32_t>(t % 1'000'000'000);
    }
    return kind;
}

namespace {

// Fills the time, identifier and data of a frame from its fields; false when one does not read.
bool FillFrame(TLogFrame& frame, std::string_view time, std::string_view id, bool transmitted, int length,
               std::string_view* data, int dataFields, bool remote, bool fd)
{
    std::int64_t nanos = 0;
    std::uint32_t ident = 0;
    if (!ParseMillis(time, nanos) || !ParseHexField(id, ident))
        return false;
    const bool extended = id.size() > 4 || ident > kStandardIdMask;
    if (ident > kExtendedIdMask)
        return false;
    frame.seconds = nanos / 1'000'000'000;
    frame.nanoseconds = static_cast<std::int32_t>(nanos % 1'000'000'000);
    const std::uint8_t type = transmitted ? kCanTransmitted : kCanReceived;
    if (remote) {
        frame.record = AdapterRecord::CanRemote(ident, extended, length > 15 ? 15 : length, type);
        return true;
    }
    const int bytes = fd ? length : (length > 8 ? 8 : length);
    if (dataFields < bytes)
        return false;
    std::uint8_t d[8] = {};
    for (int i = 0; i < bytes && i < 8; ++i) {
        std::uint32_t v = 0;
        if (data[i].size() != 2 || !ParseHexField(data[i], v))
            return false;
        d[i] = static_cast<std::uint8_t>(v);
    }
    frame.record = AdapterRecord::Can(ident, extended, fd ? (bytes < 8 ? bytes : 8) : length, d, type);
    return true;
}

// CAN FD lengths of length codes 9 to 15.
int FdLength(int dlc)
{
    static const int kLengths[] = {12, 16, 20, 24, 32, 48, 64};
    return dlc <= 8 ? dlc : kLengths[dlc - 9];
}

}  // namespace

TLogLine TTrcReader::Version1(std::string_view* f, int n, TLogFrame& frame)
{
    // 1.0: N) time id length data; 1.1: N) time type id length data.
    int at = 2;
    bool transmitted = false;
    if (version_ != 10) {
        if (f[2] == "Error")
            return FillFrame(frame, f[1], "0", false, 0, nullptr, 0, false, false) ? TLogLine::ErrorFrame
                                                                                     : TLogLine::Malformed;
        if (f[2] != "Rx" && f[2] != "Tx") {
            ++others_;
            return TLogLine::Other;
        }
        transmitted = f[2] == "Tx";
        at = 3;
    }
    if (n < at + 2)
        return TLogLine::Malformed;
    if (f[at] == "FFFFFFFF") {  // bus status in 1.0
        ++others_;
        return TLogLine::Other;
    }
    int length = 0;
    if (!ParseUnsigned(f[at + 1], 15, length))
        return TLogLine::Malformed;
    const bool remote = n > at + 2 && f[at + 2] == "RTR";
    if (!FillFrame(frame, f[1], f[at], transmitted, length, f + at + 2, n - at - 2, remote, false))
        return TLogLine::Malformed;
    return remote ? TLogLine::RemoteFrame : TLogLine::Frame;
}

TLogLine TTrcReader::Version2(std::string_view* f, int n, int version, TLogFrame& frame)
{
    // 2.0 has fixed columns; 2.1 names them.
    const std::string_view cols = version == 21 ? std::string_view(columns_) : "NOTIdlD";
    std::string_view time, type, id = "0", dir = "Rx";
    int length = -1, dlc = -1, dataAt = -1;
    for (std::size_t c = 0; c < cols.size() && static_cast<int>(c) < n; ++c) {
        const std::string_view v = f[c];
        switch (cols[c]) {
        case 'O': time = v; break;
        case 'T': type = v; break;
        case 'I': id = v; break;
        case 'd': dir = v; break;
        case 'l': if (!ParseUnsigned(v, 64, length)) return TLogLine::Malformed; break;
        case 'L': if (!ParseUnsigned(v, 15, dlc)) return TLogLine::Malformed; break;
        case 'D': dataAt = static_cast<int>(c); break;
        default: break;
        }
        if (cols[c] == 'D')
            break;
    }
    if (type.empty() || time.empty())
        return TLogLine::Malformed;
    const bool fd = IsCanFdType(type);
    if (type != "DT" && type != "RR" && type != "ER" && !fd) {
        ++others_;
        return TLogLine::Other;
    }
    if (type == "ER")
        return FillFrame(frame, time, "0", dir == "Tx", 0, nullptr, 0, false, false) ? TLogLine::ErrorFrame
                                                                                       : TLogLine::Malformed;
    if (length < 0)
        length = dlc < 0 ? -1 : (fd ? FdLength(dlc) : dlc);
    if (length < 0 || (dir != "Rx" && dir != "Tx"))
        return TLogLine::Malformed;
    if (!fd && dlc > 8)
        length = dlc;  // a classic length code above 8 carries eight bytes
    const bool remote = type == "RR";
    const int dataFields = dataAt < 0 ? 0 : n - dataAt;
    if (!FillFrame(frame, time, id, dir == "Tx", length, dataAt < 0 ? nullptr : f + dataAt, dataFields, remote, fd))
        return TLogLine::Malformed;
    return remote ? TLogLine::RemoteFrame : fd ? TLogLine::FdFrame : TLogLine::Frame;
}

std::string TrcHeader(std::int64_t startMicros)
{
    const std::time_t s = static_cast<std::time_t>(startMicros / 1'000'000);
    std::tm t{};
    localtime_r(&s, &t);
    // Days since 30 Dec 1899 of the local wall clock, the fraction in twelve digits.
    const std::int64_t wallMicros = static_cast<std::int64_t>(timegm(&t)) * 1'000'000 + startMicros % 1'000'000;
    const std::int64_t days = wallMicros / kDayMicros + kEpochDays;
    const std::int64_t frac = static_cast<std::int64_t>(static_cast<__int128>(wallMicros % kDayMicros) * 1'000'000'000'000 / kDayMicros);
    char buf[1024];
    const int n = std::snprintf(
        buf, sizeof buf,
        ";$FILEVERSION=2.1\r\n"
        ";$STARTTIME=%lld.%012lld\r\n"
        ";$COLUMNS=N,O,T,B,I,d,R,L,D\r\n"
        ";\r\n"
        ";   Start time: %02d.%02d.%04d %02d:%02d:%02d.%03d.%d\r\n"
        ";-------------------------------------------------------------------------------\r\n"
        ";   Message   Time    Type    ID     Rx/Tx\r\n"
        ";   Number    Offset  |  Bus  [hex]  |  Reserved\r\n"
        ";   |         [ms]    |  |    |      |  |  Data Length Code\r\n"
        ";   |         |       |  |    |      |  |  |    Data [hex] ...\r\n"
        ";   |         |       |  |    |      |  |  |    |\r\n"
        ";---+-- ------+------ +- +- --+----- +- +- +--- +- -- -- -- -- -- -- --\r\n",
        static_cast<long long>(days), static_cast<long long>(frac), t.tm_mday, t.tm_mon + 1, t.tm_year + 1900,
        t.tm_hour, t.tm_min, t.tm_sec, static_cast<int>(startMicros % 1'000'000 / 1000),
        static_cast<int>(startMicros % 1000 / 100));
    return std::string(buf, static_cast<std::size_t>(n));
}

namespace {

// `v` in decimal, right-aligned in `width` characters (wider when it needs more).
char* PutRight(char* w, std::uint64_t v, int width)
{
    char digits[20];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + v % 10);
        v /= 10;
    } while (v > 0);
    for (int pad = width - n; pad > 0; --pad)
        *w++ = ' ';
    while (n > 0)
        *w++ = digits[--n];
    return w;
}

char* PutText(char* w, std::string_view t)
{
    std::memcpy(w, t.data(), t.size());
    return w + t.size();
}

}  // namespace

std::size_t FormatTrcLine(const AdapterRecord& r, std::uint64_t number, std::int64_t micros, char* out)
{
    static const char kHex[] = "0123456789ABCDEF";
    const std::uint64_t us = micros < 0 ? 0 : static_cast<std::uint64_t>(micros);
    const int dlc = r.Length() > 8 ? 8 : r.Length();
    char* w = PutRight(out, number, 7);
    *w++ = ' ';
    w = PutRight(w, us / 1000, 9);
    *w++ = '.';
    const unsigned frac = static_cast<unsigned>(us % 1000);
    *w++ = static_cast<char>('0' + frac / 100);
    *w++ = static_cast<char>('0' + frac / 10 % 10);
    *w++ = static_cast<char>('0' + frac % 10);
    w = PutText(w, r.Remote() ? " RR  1 " : " DT  1 ");
    // Four hex digits for an 11-bit identifier, eight for a 29-bit one, right-aligned in eight.
    const int digits = r.Extended() ? 8 : 4;
    for (int pad = 8 - digits; pad > 0; --pad)
        *w++ = ' ';
    for (int i = digits - 1; i >= 0; --i)
        *w++ = kHex[(r.CanId() >> (4 * i)) & 15];
    w = PutText(w, r.IsTransmitted() ? " Tx -  " : " Rx -  ");
    *w++ = static_cast<char>('0' + dlc);
    w = PutText(w, "   ");
    if (!r.Remote())
        for (int i = 0; i < dlc; ++i) {
            *w++ = ' ';
            *w++ = kHex[r.Data(i) >> 4];
            *w++ = kHex[r.Data(i) & 15];
        }
    *w++ = '\r';
    *w++ = '\n';
    return static_cast<std::size_t>(w - out);
}

}  // namespace tarvik
