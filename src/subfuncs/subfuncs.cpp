#include "subfuncs/subfuncs.h"

#include <array>
#include <cstring>

#include "platform/hexdigit.h"

namespace tarvik {

namespace {

// Two upper-case hex digits per byte value, built once at compile time.
constexpr std::array<char, 512> MakeHexPairs()
{
    std::array<char, 512> t{};
    for (int i = 0; i < 256; ++i) {
        t[2 * i] = HexChar(unsigned(i) >> 4);
        t[2 * i + 1] = HexChar(unsigned(i));
    }
    return t;
}
constexpr std::array<char, 512> kHexPairs = MakeHexPairs();

// Two decimal digits per value 0..99.
constexpr std::array<char, 200> MakeDecPairs()
{
    std::array<char, 200> t{};
    for (int i = 0; i < 100; ++i) {
        t[2 * i] = char('0' + i / 10);
        t[2 * i + 1] = char('0' + i % 10);
    }
    return t;
}
constexpr std::array<char, 200> kDecPairs = MakeDecPairs();

inline char* PutByte(char* p, std::uint8_t b)
{
    std::memcpy(p, &kHexPairs[2 * b], 2);
    return p + 2;
}

// "%d" of 0..15.
inline char* PutLength(char* p, unsigned n)
{
    if (n >= 10) {
        *p++ = '1';
        n -= 10;
    }
    *p++ = char('0' + n);
    return p;
}

// "%7d.%04d" of the time stamp's seconds and remaining 100 us units.
inline char* PutTime(char* p, std::uint32_t stamp)
{
    std::uint32_t secs = stamp / 10000;
    const std::uint32_t rest = stamp % 10000;
    // Seconds never exceed 429496, so seven characters always hold them.
    char* end = p + 7;
    char* q = end;
    do {
        *--q = char('0' + secs % 10);
        secs /= 10;
    } while (secs != 0);
    while (q > p)
        *--q = ' ';
    p = end;
    *p++ = '.';
    std::memcpy(p, &kDecPairs[2 * (rest / 100)], 2);
    std::memcpy(p + 2, &kDecPairs[2 * (rest % 100)], 2);
    return p + 4;
}

// The data columns: "   %02X", then "  %02X" per further byte, padded to 34 characters.
inline char* PutData(char* p, const AdapterRecord& r, unsigned shown)
{
    std::memset(p, ' ', 34);
    char* q = p + 3;
    for (unsigned i = 0; i < shown; ++i) {
        PutByte(q, r.Data(int(i)));
        q += 4;
    }
    return p + 34;
}

const char* LinStatusCode(std::uint8_t status)
{
    switch (status) {
    case 0:
        return "  ";
    case 'P':
        return "pe";
    case 'F':
        return "fe";
    case 'S':
        return "se";
    case 'T':
        return "te";
    default:
        return "??";
    }
}

std::size_t HexDump(const AdapterRecord& r, char* out)
{
    char* p = out;
    for (std::size_t i = 0; i < kRecordSize; ++i) {
        if (i != 0)
            *p++ = ' ';
        p = PutByte(p, r.bytes[i]);
    }
    return std::size_t(p - out);
}

}  // namespace

std::size_t FormatFrame(const AdapterRecord& r, char* out)
{
    // A record that is not one of the four frame types cannot be laid out in columns; its
    // raw bytes are more use to the reader than an empty line.
    if (!r.WellFormed() || !(r.IsCan() || r.IsLin()))
        return HexDump(r, out);

    const unsigned length = r.Length();
    const bool remote = r.Remote();
    // A remote request shows the length it asks for and no data.
    const unsigned shown = remote ? 0 : length > 8 ? 8 : length;
    char* p = out;
    *p++ = r.IsTransmitted() ? 'T' : ' ';
    if (r.IsCan()) {
        // Shown without the remote flag, which has its own column.
        const std::uint32_t id = remote ? r.Identifier() & ~kRemoteFlag : r.Identifier();
        if (r.Extended()) {
            // Eight digits hold any 32-bit value: the identifier bytes as they stand.
            p = PutByte(PutByte(PutByte(PutByte(p, std::uint8_t(id >> 24)), std::uint8_t(id >> 16)),
                                std::uint8_t(id >> 8)),
                        std::uint8_t(id));
            std::memcpy(p, remote ? "  XR  " : "  X   ", 6);
            p += 6;
        } else {
            std::memcpy(p, "    ", 4);
            p += 4;
            if (id <= 0xFFFF)
                p = PutByte(PutByte(p, std::uint8_t(id >> 8)), std::uint8_t(id));
            else
                p = WriteHex(p, id, 4);
            std::memcpy(p, remote ? "   R  " : "      ", 6);
            p += 6;
        }
    } else {
        std::memcpy(p, "      ", 6);
        p = PutByte(p + 6, r.LinIdentifier());
        *p++ = ' ';
        *p++ = ' ';
        std::memcpy(p, LinStatusCode(r.LinErrorCode()), 2);
        std::memcpy(p + 2, "  ", 2);
        p += 4;
    }
    p = PutLength(p, length);
    p = PutData(p, r, shown);
    p = PutTime(p, r.TimeStamp());
    return std::size_t(p - out);
}

std::string FrameToText(const AdapterRecord& record)
{
    char buf[kMaxFrameTextLength];
    return std::string(buf, FormatFrame(record, buf));
}

QString FileVersionText(const FileVersion& v)
{
    return QStringLiteral("%1.%2.%3.%4").arg(v.major).arg(v.minor).arg(v.release).arg(v.build);
}

QString VersionLabelOf(const QString& fileVersion)
{
    const qsizetype a = fileVersion.indexOf(u'.');
    if (a < 0)
        return QStringLiteral(".0");  // no readable version
    const QString major = fileVersion.left(a);
    const QString rest = fileVersion.mid(a + 1);
    // A two-part version ("1.2") still has a minor number.
    const qsizetype b = rest.indexOf(u'.');
    const QString minor = b < 0 ? rest : rest.left(b);
    // Pad a one-digit minor number so that 1.2 reads as "1.02" beside "1.15".
    return major + (minor.size() < 2 ? QStringLiteral(".0") : QStringLiteral(".")) + minor;
}

QString GetFileVersion(const QString&)
{
    return FileVersionText(CompiledVersion());
}

QString GetVersionLabel(const QString& fileName)
{
    return VersionLabelOf(GetFileVersion(fileName));
}

}  // namespace tarvik
