#pragma once
// One frame read from a trace log, in the adapter's record form, so a log can be replayed
// into the program and decoded by the same code as a live bus.
#include <cstdint>

#include "tusbdev/adapterprotocol.h"

namespace tarvik {

struct TLogFrame {
    // Time as the log gives it: absolute for a candump log, since the first event for ASC.
    std::int64_t seconds = 0;
    std::int32_t nanoseconds = 0;
    // Type (CAN or LIN, received or transmitted), length, identifier and data; the check
    // bytes and the adapter time stamp stay 0.
    AdapterRecord record;

    std::int64_t Micros() const { return seconds * 1'000'000 + nanoseconds / 1000; }
};

// What one log line holds.
enum class TLogLine {
    Frame,        // a classic CAN or a LIN frame: the frame is filled
    FdFrame,      // CAN FD: the frame holds its first eight bytes, length 8 at most
    ErrorFrame,   // an error frame: nothing to decode or replay
    RemoteFrame,  // a remote request: the frame holds it (Remote(), the length asked for, no data)
    Other,        // blank, header, comment or an event this program does not use
    Malformed,    // meant as a frame but not readable
};

}  // namespace tarvik
