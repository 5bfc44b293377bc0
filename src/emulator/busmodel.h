#pragma once
// What the emulated adapter hears on the bus. A model is a time-ordered source of events
// (frames, raw wire bytes, a disconnect); the engine stamps, frames and queues them.
#include <cstdint>
#include <limits>
#include <string>

#include "tusbdev/adapterprotocol.h"

namespace tarvik {

// Emulator time in microseconds on a monotonic clock chosen by the host.
using EmuMicros = std::int64_t;
inline constexpr EmuMicros kEmuNever = std::numeric_limits<EmuMicros>::max();

enum class BusMode { Can, Lin };

struct BusEvent {
    enum class Kind {
        Frame,       // `record` with type, length, identifier and data; the engine adds check byte and time stamp
        Raw,         // `raw` goes onto the wire unchanged (broken records, garbage)
        Disconnect,  // the adapter vanishes from the USB side
    };
    Kind kind = Kind::Frame;
    EmuMicros due = 0;
    AdapterRecord record;
    // The record already holds its time stamp (a replayed log keeps its own times).
    bool stamped = false;
    std::string raw;
};

class TBusModel {
public:
    virtual ~TBusModel() = default;
    virtual std::string Name() const = 0;
    // The adapter went on bus in `mode` at `now`; the model starts its schedule from there.
    virtual void Start(BusMode mode, EmuMicros now) = 0;
    // Due time of the next event, kEmuNever when nothing more will come.
    virtual EmuMicros NextDue() const = 0;
    // Removes and returns the next event (the one NextDue names). Only called when one is due.
    virtual BusEvent Pop() = 0;
    // Forgets everything due before `now`; used when nobody was listening.
    virtual void SkipTo(EmuMicros now) = 0;
    // A paced model follows its own timing; an unpaced one produces as fast as the host reads.
    virtual bool Paced() const { return true; }
};

}  // namespace tarvik
