#include "logformats/asclog.h"

#include <cstdio>
#include <ctime>

#include "logformats/textnumbers.h"
#include "platform/hexdigit.h"

namespace tarvik {

namespace {

// Splits a line into whitespace-separated words, at most kMax of them.
struct Words {
    static constexpr int kMax = 80;
    std::string_view w[kMax];
    int n = 0;

    explicit Words(std::string_view line)
    {
        std::size_t i = 0;
        while (n < kMax) {
            while (i < line.size() && static_cast<unsigned char>(line[i]) <= 32)
                ++i;
            if (i == line.size())
                break;
            const std::size_t b = i;
            while (i < line.size() && static_cast<unsigned char>(line[i]) > 32)
                ++i;
            w[n++] = line.substr(b, i - b);
        }
    }
};

bool ParseNumber(std::string_view s, bool decimal, std::uint32_t max, std::uint32_t& v)
{
    if (s.empty() || s.size() > 10)
        return false;
    std::uint64_t n = 0;
    if (!ParseDigits(s, decimal ? 10 : 16, max, n))
        return false;
    v = static_cast<std::uint32_t>(n);
    return true;
}

bool EqualsNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z')
            x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = static_cast<char>(y - 'A' + 'a');
        if (x != y)
            return false;
    }
    return true;
}

bool AllDigits(std::string_view s)
{
    if (s.empty())
        return false;
    for (char c : s)
        if (c < '0' || c > '9')
            return false;
    return true;
}

// Data bytes words[from..] into data, `count` of them (at most 8 kept).
bool ReadBytes(const Words& words, int from, int count, bool decimal, std::uint8_t* data)
{
    if (from + count > words.n)
        return false;
    for (int i = 0; i < count; ++i) {
        std::uint32_t b = 0;
        if (!ParseNumber(words.w[from + i], decimal, 0xFF, b))
            return false;
        if (i < 8)
            data[i] = static_cast<std::uint8_t>(b);
    }
    return true;
}

// Identifier with an optional "x" for 29 bits.
bool ReadIdentifier(std::string_view s, bool decimal, std::uint32_t& id, bool& extended)
{
    extended = !s.empty() && (s.back() == 'x' || s.back() == 'X');
    if (extended)
        s.remove_suffix(1);
    return ParseNumber(s, decimal, extended ? kExtendedIdMask : kStandardIdMask, id);
}

// CAN FD data lengths by length code.
constexpr int kFdLength[16] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 12, 16, 20, 24, 32, 48, 64};

}  // namespace

TLogLine TAscReader::ParseLine(std::string_view line, TLogFrame& frame)
{
    const Words words(line);
    if (words.n == 0)
        return TLogLine::Other;
    if (EqualsNoCase(words.w[0], "base") && words.n >= 2) {
        decimal_ = EqualsNoCase(words.w[1], "dec");
        relative_ = words.n >= 4 && EqualsNoCase(words.w[3], "relative");
        return TLogLine::Other;
    }
    if (EqualsNoCase(words.w[0], "begin") || EqualsNoCase(words.w[0], "date"))
        lastNanos_ = 0;

    const char* p = words.w[0].data();
    const char* e = p + words.w[0].size();
    std::int64_t sec = 0;
    std::int32_t nsec = 0;
    if (!ParseDecimalTime(p, e, sec, nsec) || p != e || words.n < 3)
        return TLogLine::Other;

    const std::string_view channel = words.w[1];
    std::uint8_t data[8] = {};
    TLogLine kind = TLogLine::Frame;
    if (AllDigits(channel)) {
        if (EqualsNoCase(words.w[2], "ErrorFrame"))
            return AdvanceTime(sec, nsec) ? TLogLine::ErrorFrame : TLogLine::Malformed;
        if (words.n < 4 || (words.w[3] != "Rx" && words.w[3] != "Tx"))
            return TLogLine::Other;  // statistics and other channel events
        std::uint32_t id = 0;
        bool extended = false;
        if (!ReadIdentifier(words.w[2], decimal_, id, extended) || words.n < 5)
            return TLogLine::Malformed;
        const std::uint8_t type = words.w[3] == "Tx" ? kCanTransmitted : kCanReceived;
        std::uint32_t code = 0;
        if (EqualsNoCase(words.w[4], "r")) {
            // "r" alone, or with the length asked for; older writers follow it with other words.
            if (words.n < 6 || !ParseNumber(words.w[5], decimal_, 15, code))
                code = 0;
            frame.record = AdapterRecord::CanRemote(id, extended, static_cast<int>(code), type);
            kind = TLogLine::RemoteFrame;
        } else {
            if (words.w[4] != "d" || words.n < 6 || !ParseNumber(words.w[5], decimal_, 15, code) ||
                !ReadBytes(words, 6, code > 8 ? 8 : static_cast<int>(code), decimal_, data))
                return TLogLine::Malformed;
            frame.record = AdapterRecord::Can(id, extended, static_cast<int>(code), data, type);
        }
    } else if (EqualsNoCase(channel, "CANFD")) {
        // CANFD channel dir id [name] brs esi code length data...
        if (words.n >= 5 && EqualsNoCase(words.w[4], "ErrorFrame"))
            return TLogLine::ErrorFrame;
        if (words.n < 9 || (words.w[3] != "Rx" && words.w[3] != "Tx"))
            return TLogLine::Malformed;
        std::uint32_t id = 0, code = 0, length = 0;
        bool extended = false;
        const int brs = AllDigits(words.w[5]) ? 5 : 6;  // a symbolic name may stand before it
        if (!ReadIdentifier(words.w[4], decimal_, id, extended) || brs + 4 > words.n ||
            !ParseNumber(words.w[brs + 2], decimal_, 15, code) || !ParseNumber(words.w[brs + 3], true, 64, length))
            return TLogLine::Malformed;
        if (length == 0)
            return TLogLine::RemoteFrame;
        if (static_cast<int>(length) != kFdLength[code] ||
            !ReadBytes(words, brs + 4, static_cast<int>(length), decimal_, data))
            return TLogLine::Malformed;
        frame.record = AdapterRecord::Can(id, extended, length > 8 ? 8 : static_cast<int>(length), data,
                                          words.w[3] == "Tx" ? kCanTransmitted : kCanReceived);
        kind = TLogLine::FdFrame;
    } else if (channel.size() >= 2 && channel[0] == 'L' && AllDigits(channel.substr(1))) {
        if (words.n < 5 || (words.w[3] != "Rx" && words.w[3] != "Tx"))
            return TLogLine::Other;  // LIN events: errors, wake-ups, baud rate
        std::uint32_t id = 0, length = 0;
        if (!ParseNumber(words.w[2], decimal_, 0x3F, id) || !ParseNumber(words.w[4], true, 15, length) ||
            !ReadBytes(words, 5, length > 8 ? 8 : static_cast<int>(length), decimal_, data))
            return TLogLine::Malformed;
        frame.record = AdapterRecord::Lin(static_cast<std::uint8_t>(id), static_cast<int>(length), data, 0,
                                          words.w[3] == "Tx" ? kLinTransmitted : kLinReceived);
    } else {
        return TLogLine::Other;
    }

    if (!AdvanceTime(sec, nsec))
        return TLogLine::Malformed;
    frame.seconds = lastNanos_ / 1'000'000'000;
    frame.nanoseconds = static_cast<std::int32_t>(lastNanos_ % 1'000'000'000);
    return kind;
}

bool TAscReader::AdvanceTime(std::int64_t sec, std::int32_t nsec)
{
    // Times since the measurement began: under 10^9 s, and a relative sum that stays there.
    constexpr std::int64_t kMaxNanos = 1'000'000'000LL * 1'000'000'000LL;
    if (sec >= 1'000'000'000)
        return false;
    std::int64_t nanos = sec * 1'000'000'000 + nsec;
    if (relative_) {
        if (nanos >= kMaxNanos - lastNanos_)
            return false;
        nanos += lastNanos_;
    }
    lastNanos_ = nanos;
    return true;
}

std::string AscHeader(std::int64_t startMicros)
{
    static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const std::time_t t = static_cast<std::time_t>(startMicros / 1'000'000);
    std::tm tm{};
    localtime_r(&t, &tm);
    const int hour12 = tm.tm_hour % 12 == 0 ? 12 : tm.tm_hour % 12;
    char date[64];
    std::snprintf(date, sizeof date, "%s %s %02d %02d:%02d:%02d.%03d %s %d", kDays[tm.tm_wday % 7],
                  kMonths[tm.tm_mon % 12], tm.tm_mday, hour12, tm.tm_min, tm.tm_sec,
                  static_cast<int>(startMicros % 1'000'000 / 1000), tm.tm_hour < 12 ? "am" : "pm",
                  tm.tm_year + 1900);
    std::string h;
    h += "date ";
    h += date;
    h += "\nbase hex  timestamps absolute\ninternal events logged\nBegin Triggerblock ";
    h += date;
    h += "\n   0.000000 Start of measurement\n";
    return h;
}

std::size_t FormatAscLine(const AdapterRecord& record, std::int64_t micros, char* out)
{
    char time[32];
    const std::size_t tlen = static_cast<std::size_t>(WriteMicrosAsSeconds(time, micros) - time);
    char* w = out;
    for (std::size_t i = tlen; i < 11; ++i)
        *w++ = ' ';
    for (std::size_t i = 0; i < tlen; ++i)
        *w++ = time[i];
    const int length = record.Length();
    if (record.IsLin()) {
        static constexpr std::string_view kLin = " L1 ";
        for (char c : kLin)
            *w++ = c;
        w = WriteHex(w, record.LinIdentifier(), 2);
        *w++ = ' ';
        *w++ = ' ';
        *w++ = record.IsTransmitted() ? 'T' : 'R';
        *w++ = 'x';
        for (int i = 0; i < 3; ++i)
            *w++ = ' ';
        w = WriteDecimal(w, static_cast<std::uint64_t>(length));
    } else {
        *w++ = ' ';
        *w++ = '1';
        *w++ = ' ';
        *w++ = ' ';
        char* id = w;
        w = WriteHex(w, record.CanId(), record.Extended() ? 8 : 3);
        if (record.Extended())
            *w++ = 'x';
        while (w - id < 15)
            *w++ = ' ';
        *w++ = ' ';
        *w++ = record.IsTransmitted() ? 'T' : 'R';
        *w++ = 'x';
        for (int i = 0; i < 3; ++i)
            *w++ = ' ';
        *w++ = record.Remote() ? 'r' : 'd';
        *w++ = ' ';
        // A classic length code 9..15 still carries eight bytes; other tools read "d 9".."d F"
        // as longer frames or drop the line, so the count written is the bytes written.
        w = WriteHex(w, static_cast<std::uint32_t>(record.Remote() || length <= 8 ? length : 8), 1);
    }
    // A remote request carries no data, only the length it asks for.
    for (int i = 0; i < (record.Remote() ? 0 : length > 8 ? 8 : length); ++i) {
        *w++ = ' ';
        w = WriteHex(w, record.Data(i), 2);
    }
    *w++ = '\n';
    return static_cast<std::size_t>(w - out);
}

}  // namespace tarvik
