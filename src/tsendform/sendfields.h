#pragma once
// Value logic of the transmit window, kept free of widgets: the frame built from the
// fields (the fields' own rules are in platform/numberfield.h).
#include <QString>
#include <array>
#include <cstdint>

#include "platform/numberfield.h"
#include "tusbdev/native/nativedevice.h"

namespace tarvik {

// The texts of one page's frame fields.
struct TFrameFields {
    bool extended = false;
    QString id = "000";
    QString length = "8";
    std::array<QString, 8> data{"00", "00", "00", "00", "00", "00", "00", "00"};
};

// The frame the fields describe; all eight data bytes are kept whatever the length.
TBusFrame FrameOf(const TFrameFields& f);
// The interval field's milliseconds.
std::uint32_t IntervalOf(const QString& intervalMs);
// What the native adapter is sent for them: T once (29 bytes), or I, repeated every
// intervalMs milliseconds (37 bytes).
inline Command SingleShotCommand(const TFrameFields& f) { return NativeTransmit(FrameOf(f)); }
inline Command IntervalCommand(const TFrameFields& f, const QString& intervalMs)
{
    return NativePeriodic(FrameOf(f), IntervalOf(intervalMs));
}

}  // namespace tarvik
