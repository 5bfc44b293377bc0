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
    // The label frame key: identifier, bit 31 set when extended.
    std::uint32_t Key() const
    {
        return record.Extended() ? (record.Identifier() & 0x1FFFFFFFu) | 0x80000000u : record.Identifier() & 0x7FFu;
    }
    // The eight data bytes as one number, byte 0 most significant.
    std::uint64_t Data64() const
    {
        std::uint64_t v = 0;
        for (int i = 0; i < 8; ++i)
            v = v << 8 | record.Data(i);
        return v;
    }
};

// What one log line holds.
enum class TLogLine {
    Frame,        // a classic CAN or a LIN frame: the frame is filled
    FdFrame,      // CAN FD: the frame holds its first eight bytes, length 8 at most
    ErrorFrame,   // an error frame: nothing to decode or replay
    RemoteFrame,  // a remote request: no data, and the adapter's record cannot say "remote"
    Other,        // blank, header, comment or an event this program does not use
    Malformed,    // meant as a frame but not readable
};

// Fills the frame fields of a CAN record (no check bytes, no time stamp).
inline void SetCanRecord(AdapterRecord& r, bool transmitted, bool extended, std::uint32_t id, int length,
                         const std::uint8_t* data)
{
    r = AdapterRecord{};
    r.bytes[1] = transmitted ? kCanTransmitted : kCanReceived;
    r.bytes[2] = static_cast<std::uint8_t>((length & 0x0F) | (extended ? 0x20 : 0x00));
    r.bytes[3] = static_cast<std::uint8_t>(id >> 24);
    r.bytes[4] = static_cast<std::uint8_t>(id >> 16);
    r.bytes[5] = static_cast<std::uint8_t>(id >> 8);
    r.bytes[6] = static_cast<std::uint8_t>(id);
    for (int i = 0; i < 8 && data; ++i)
        r.bytes[7 + i] = data[i];
}

inline void SetLinRecord(AdapterRecord& r, bool transmitted, std::uint8_t id, int length, const std::uint8_t* data)
{
    r = AdapterRecord{};
    r.bytes[1] = transmitted ? kLinTransmitted : kLinReceived;
    r.bytes[2] = static_cast<std::uint8_t>(length & 0x0F);
    r.bytes[6] = id;
    for (int i = 0; i < 8 && data; ++i)
        r.bytes[7 + i] = data[i];
}

}  // namespace tarvik
