#pragma once
// A small passenger car on the bus: engine, chassis and body messages at realistic cycle
// times with smoothly changing signals. examples/vehicle.dbc and
// examples/vehicle-labels.txt describe exactly this table.
#include <cstdint>
#include <string>
#include <vector>

#include "emulator/busmodel.h"

namespace tarvik {

struct TVehicleSignal {
    std::string name;
    std::string type;  // label type name: "bit", "unsigned short", "float", ...
    bool little;       // byte order; little-endian signals are byte-aligned
    int start;         // first bit in label numbering (bit 0 = most significant bit of data byte 0)
    int width;
    double lsb, offset, min, max;
    std::string unit;
    // Physical value `t` seconds after going on bus, in the `counter`th frame of its message.
    double (*value)(double t, std::uint32_t counter);
};

struct TVehicleMessage {
    std::string name;
    std::uint32_t id;
    bool extended;
    int length;
    int periodMs;
    std::vector<TVehicleSignal> signalDefs;
};

const std::vector<TVehicleMessage>& VehicleMessages();

// Puts `physical` into the signal's bits of the eight data bytes (rounded, clamped to the field).
void EncodeVehicleSignal(const TVehicleSignal& s, double physical, std::uint8_t data[8]);

struct TLinSlot {
    std::uint8_t id;
    int length;
    int periodMs;
};
const std::vector<TLinSlot>& VehicleLinSchedule();

class TVehicleModel : public TBusModel {
public:
    std::string Name() const override { return "vehicle"; }
    void Start(BusMode mode, EmuMicros now) override;
    EmuMicros NextDue() const override;
    BusEvent Pop() override;
    void SkipTo(EmuMicros now) override;

    // Every this many frames of LIN identifier 0x21 carries an error code.
    static constexpr std::uint32_t kLinErrorEvery = 20;

private:
    struct Slot {
        EmuMicros next = kEmuNever;
        EmuMicros period = 0;
        std::uint32_t counter = 0;
    };
    std::size_t Earliest() const;
    BusEvent MakeCan(std::size_t i, EmuMicros due, std::uint32_t counter) const;
    BusEvent MakeLin(std::size_t i, EmuMicros due, std::uint32_t counter) const;

    BusMode mode_ = BusMode::Can;
    EmuMicros start_ = 0;
    std::vector<Slot> slots_;
};

}  // namespace tarvik
