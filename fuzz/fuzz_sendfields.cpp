// Whatever the transmit fields hold (typed, pasted or set from code), the commands keep
// their fixed length and carry only digits between STX and ETX; the settings number
// readers never fail on any text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "settings/systemconfig.h"
#include "tsendform/sendfields.h"

namespace {

void Check(bool ok)
{
    if (!ok)
        std::abort();
}

void CheckCommand(const tarvik::Command& c, std::size_t size)
{
    Check(c.size() == size);
    Check(c.front() == '\x02' && c.back() == '\x03');
    for (std::size_t i = 2; i + 1 < c.size(); ++i) {
        const char ch = c[i];
        Check((ch >= '0' && ch <= '9') || (ch >= 'A' && ch <= 'F'));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Fields are separated by 0xFF bytes: id, length, eight data bytes, interval.
    QString fields[11];
    int f = 0;
    for (std::size_t i = 0; i < size && f < 11; ++i) {
        if (data[i] == 0xFF)
            ++f;
        else
            fields[f] += QChar(char16_t(data[i]));
    }
    tarvik::TFrameFields frame;
    frame.extended = size > 0 && (data[0] & 1);
    frame.id = fields[0];
    frame.length = fields[1];
    for (int i = 0; i < 8; ++i)
        frame.data[std::size_t(i)] = fields[2 + i];
    CheckCommand(tarvik::SingleShotCommand(frame), 29);
    CheckCommand(tarvik::IntervalCommand(frame, fields[10]), 37);

    for (const QString& t : fields) {
        const QString hex = tarvik::NormaliseHexField(t, 3);
        Check(hex.size() >= 3 && hex.size() <= 8);
        Check(tarvik::NormaliseHexField(hex, 3) == hex);  // normalising is idempotent
        const QString dec = tarvik::NormaliseDecField(t);
        Check(tarvik::NormaliseDecField(dec) == dec);
        const int v = tarvik::sysconf::ParseInt(t, -7);
        if (v != -7)
            Check(QString::number(v) == t || t.startsWith('+') || t.startsWith('0') || t.startsWith("-0"));
        const int bytes = tarvik::sysconf::BufferSizeBytes(t, -1);
        Check(bytes == -1 || bytes % (1 << 20) == 0);
    }
    return 0;
}
