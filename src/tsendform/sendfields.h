#pragma once
// Value logic of the transmit window, kept free of widgets: the commands built from the
// fields (the fields' own rules are in platform/numberfield.h).
#include <QString>
#include <array>
#include <cstdint>

#include "platform/numberfield.h"
#include "tusbdev/adapterprotocol.h"

namespace tarvik {

// The texts of one page's frame fields.
struct TFrameFields {
    bool extended = false;
    QString id = "000";
    QString length = "8";
    std::array<QString, 8> data{"00", "00", "00", "00", "00", "00", "00", "00"};
};

// T: send once (29 bytes).
Command SingleShotCommand(const TFrameFields& f);
// I: the adapter repeats the frame every intervalMs milliseconds (37 bytes); the adapter
// counts in 100 microsecond units.
Command IntervalCommand(const TFrameFields& f, const QString& intervalMs);

}  // namespace tarvik
