#include "tsendform/sendfields.h"

namespace tarvik {

namespace {

struct FrameValues {
    int extended;
    int length;
    std::uint32_t id;
    std::uint8_t data[8];
};

FrameValues Read(const TFrameFields& f)
{
    FrameValues v{f.extended ? 1 : 0, int(ParseDecField(f.length)), ParseHexField(f.id), {}};
    // A one-character field keeps the length to one digit; a longer text (never typed,
    // only set from code) must not stretch the fixed-size command.
    if (v.length > 9)
        v.length = 0;
    for (int i = 0; i < 8; ++i)
        v.data[i] = std::uint8_t(ParseHexField(f.data[std::size_t(i)]) & 0xFF);
    return v;
}

}  // namespace

Command SingleShotCommand(const TFrameFields& f)
{
    const FrameValues v = Read(f);
    return cmd::Transmit(v.extended, v.length, v.id, v.data);
}

Command IntervalCommand(const TFrameFields& f, const QString& intervalMs)
{
    const FrameValues v = Read(f);
    // The field holds at most eight digits, so times 10 fits 32 bits; a longer text set
    // from code saturates rather than wrapping to a short interval.
    const std::uint64_t wide = std::uint64_t(ParseDecField(intervalMs)) * 10u;
    const std::uint32_t units = wide > 0xFFFFFFFFull ? 0xFFFFFFFFu : std::uint32_t(wide);
    return cmd::TransmitPeriodic(v.extended, v.length, v.id, v.data, units);
}

}  // namespace tarvik
