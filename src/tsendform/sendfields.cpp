#include "tsendform/sendfields.h"

namespace tarvik {

TBusFrame FrameOf(const TFrameFields& f)
{
    std::uint8_t data[8];
    for (int i = 0; i < 8; ++i) data[i] = std::uint8_t(ParseHexField(f.data[std::size_t(i)]) & 0xFF);
    // A one-character field keeps the length to one digit; a longer text (never typed,
    // only set from code) must not stretch the adapter's fixed-size command.
    std::uint32_t length = ParseDecField(f.length);
    if (length > 9) length = 0;
    return TBusFrame::Classic(ParseHexField(f.id), f.extended, int(length), data);
}

std::uint32_t IntervalOf(const QString& intervalMs) { return ParseDecField(intervalMs); }

}  // namespace tarvik
