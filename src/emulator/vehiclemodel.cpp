#include "emulator/vehiclemodel.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace tarvik {

namespace {

constexpr double kPi = 3.14159265358979323846;

// One drive cycle: idle, accelerate, cruise, brake, every 30 s.
double Cycle(double t) { return 0.5 - 0.5 * std::cos(2 * kPi * t / 30.0); }
double EngineSpeed(double t, std::uint32_t) { return 800 + 2400 * Cycle(t); }
double Throttle(double t, std::uint32_t) { return 100 * Cycle(t + 1.5); }
double VehicleSpeed(double t, std::uint32_t) { return 120 * Cycle(t - 2); }
double LongAccel(double t, std::uint32_t)
{
    // Derivative of VehicleSpeed, in m/s2.
    return 120 / 3.6 * 0.5 * (2 * kPi / 30.0) * std::sin(2 * kPi * (t - 2) / 30.0);
}
double SteeringAngle(double t, std::uint32_t) { return 90 * std::sin(2 * kPi * t / 12.0); }
double SteeringRate(double t, std::uint32_t) { return 90 * (2 * kPi / 12.0) * std::cos(2 * kPi * t / 12.0); }
double Coolant(double t, std::uint32_t) { return 90 - 70 * std::exp(-t / 120.0); }
double OilTemp(double t, std::uint32_t) { return 100 - 80 * std::exp(-t / 180.0); }
double FuelRate(double t, std::uint32_t c) { return 0.6 + 0.004 * EngineSpeed(t, c) * Throttle(t, c) / 100; }
double FuelLevel(double t, std::uint32_t) { return 75 + 5 * std::cos(2 * kPi * t / 600.0); }
double Battery(double t, std::uint32_t) { return 13.8 + 0.4 * std::sin(2 * kPi * t / 10.0); }
double Odometer(double t, std::uint32_t) { return 12345.6 + t * 60 / 3600; }
double Ambient(double t, std::uint32_t) { return -5 + 8 * std::sin(2 * kPi * t / 120.0); }
double Torque(double t, std::uint32_t c) { return Throttle(t, c) * 0.9 - 5; }
double FuelTemp(double t, std::uint32_t) { return 30 + 10 * (1 - std::exp(-t / 300.0)); }
double Brake(double t, std::uint32_t c) { return Throttle(t, c) < 10 ? 1 : 0; }
double Cruise(double t, std::uint32_t c) { return VehicleSpeed(t, c) > 100 ? 1 : 0; }
double Running(double, std::uint32_t) { return 1; }
double Counter(double, std::uint32_t c) { return c % 16; }
double DoorOpen(double t, std::uint32_t c) { return VehicleSpeed(t, c) < 1 ? 1 : 0; }
double Headlights(double t, std::uint32_t) { return std::fmod(t, 60.0) >= 30 ? 1 : 0; }
double TurnSignal(double t, std::uint32_t c)
{
    const double a = SteeringAngle(t, c);
    return a > 45 ? 1 : a < -45 ? 2 : 0;
}
double Gear(double t, std::uint32_t c)
{
    const double v = VehicleSpeed(t, c);
    return v < 1 ? 0 : 1 + std::min(5.0, std::floor(v / 25));
}

std::vector<TVehicleMessage> BuildMessages()
{
    // clang-format off
    return {
        {"EngineData", 0x0C0, false, 8, 10, {
            {"EngineSpeed", "unsigned short", false, 0, 16, 0.25, 0, 0, 8000, "rpm", EngineSpeed},
            {"Throttle", "unsigned char", false, 16, 8, 0.4, 0, 0, 100, "%", Throttle},
            {"EngineRunning", "bit", false, 24, 1, 1, 0, 0, 1, "", Running},
            {"EngineCounter", "unsigned char", false, 60, 4, 1, 0, 0, 15, "", Counter}}},
        {"FuelData", 0x130, false, 5, 100, {
            {"FuelRate", "float", false, 0, 32, 1, 0, 0, 50, "l/h", FuelRate},
            {"FuelLevel", "unsigned char", false, 32, 8, 0.4, 0, 0, 100, "%", FuelLevel}}},
        {"VehicleDynamics", 0x1A0, false, 4, 20, {
            {"VehicleSpeed", "unsigned short", false, 0, 16, 0.01, 0, 0, 250, "km/h", VehicleSpeed},
            {"LongAccel", "signed short", false, 16, 16, 0.001, 0, -10, 10, "m/s2", LongAccel}}},
        {"Steering", 0x2F0, false, 4, 10, {
            {"SteeringAngle", "signed short", false, 0, 16, 0.1, 0, -720, 720, "deg", SteeringAngle},
            {"SteeringRate", "signed short", false, 16, 16, 0.1, 0, -500, 500, "deg/s", SteeringRate}}},
        {"Battery", 0x320, false, 2, 100, {
            {"BatteryVoltage", "unsigned short", false, 0, 16, 0.001, 0, 0, 16, "V", Battery}}},
        {"EngineTemp", 0x3C0, false, 2, 1000, {
            {"CoolantTemp", "unsigned char", false, 0, 8, 1, -40, -40, 215, "degC", Coolant},
            {"OilTemp", "unsigned char", false, 8, 8, 1, -40, -40, 215, "degC", OilTemp}}},
        {"Ambient", 0x410, false, 1, 500, {
            {"AmbientTemp", "signed char", false, 0, 8, 1, 0, -40, 60, "degC", Ambient}}},
        {"Odometer", 0x5A0, false, 4, 1000, {
            {"Odometer", "unsigned long", false, 0, 32, 0.1, 0, 0, 1000000, "km", Odometer}}},
        {"EngineTorque", 0x0CF00400, true, 8, 20, {
            {"ActualTorque", "unsigned char", false, 16, 8, 1, -125, -125, 125, "%", Torque}}},
        {"CruiseVehicleSpeed", 0x18FEF100, true, 8, 100, {
            {"WheelBasedSpeed", "unsigned short", true, 8, 16, 0.00390625, 0, 0, 250, "km/h", VehicleSpeed},
            {"BrakeSwitch", "bit", false, 28, 1, 1, 0, 0, 1, "", Brake},
            {"CruiseActive", "bit", false, 31, 1, 1, 0, 0, 1, "", Cruise}}},
        {"EngineFluidTemp", 0x18FEEE00, true, 8, 1000, {
            {"FuelTemp", "unsigned char", false, 8, 8, 1, -40, -40, 215, "degC", FuelTemp}}},
        {"BodyStatus", 0x1CFF0010, true, 2, 250, {
            {"DoorOpen", "bit", false, 0, 1, 1, 0, 0, 1, "", DoorOpen},
            {"Headlights", "bit", false, 1, 1, 1, 0, 0, 1, "", Headlights},
            {"TurnSignal", "unsigned char", false, 4, 2, 1, 0, 0, 2, "", TurnSignal},
            {"Gear", "signed char", false, 8, 8, 1, 0, -1, 6, "", Gear}}},
    };
    // clang-format on
}

std::uint64_t FieldMask(int width) { return width >= 64 ? ~0ull : ((1ull << width) - 1); }

}  // namespace

const std::vector<TVehicleMessage>& VehicleMessages()
{
    static const std::vector<TVehicleMessage> messages = BuildMessages();
    return messages;
}

const std::vector<TLinSlot>& VehicleLinSchedule()
{
    static const std::vector<TLinSlot> slots = {{0x10, 2, 50}, {0x21, 4, 100}, {0x32, 8, 200}};
    return slots;
}

void EncodeVehicleSignal(const TVehicleSignal& s, double physical, std::uint8_t data[8])
{
    std::uint64_t raw = 0;
    if (s.type == "bit") {
        raw = physical != 0 ? 1 : 0;
    } else if (s.type == "float") {
        raw = std::bit_cast<std::uint32_t>(static_cast<float>(physical));
    } else {
        const bool isSigned = s.type.rfind("signed ", 0) == 0;
        double n = std::nearbyint((physical - s.offset) / s.lsb);
        const double hi = isSigned ? std::ldexp(1.0, s.width - 1) - 1 : std::ldexp(1.0, s.width) - 1;
        const double lo = isSigned ? -std::ldexp(1.0, s.width - 1) : 0;
        n = std::clamp(n, lo, hi);
        raw = static_cast<std::uint64_t>(static_cast<std::int64_t>(n)) & FieldMask(s.width);
    }
    std::uint64_t word = 0;
    for (int i = 0; i < 8; ++i)
        word = (word << 8) | data[i];
    std::uint64_t field;
    if (s.little) {
        // Byte-aligned: least significant byte at data byte start/8.
        field = __builtin_bswap64(raw) >> s.start;
    } else {
        field = raw << (64 - s.start - s.width);
    }
    const std::uint64_t mask = FieldMask(s.width) << (64 - s.start - s.width);
    word = (word & ~mask) | (field & mask);
    for (int i = 7; i >= 0; --i) {
        data[i] = static_cast<std::uint8_t>(word);
        word >>= 8;
    }
}

void TVehicleModel::Start(BusMode mode, EmuMicros now)
{
    mode_ = mode;
    start_ = now;
    slots_.clear();
    const std::size_t n = mode == BusMode::Can ? VehicleMessages().size() : VehicleLinSchedule().size();
    for (std::size_t i = 0; i < n; ++i) {
        const int period = mode == BusMode::Can ? VehicleMessages()[i].periodMs : VehicleLinSchedule()[i].periodMs;
        Slot s;
        s.period = EmuMicros(period) * 1000;
        // Staggered by a millisecond each so that the messages do not all start in one burst.
        s.next = now + EmuMicros(i) * 1000;
        slots_.push_back(s);
    }
}

std::size_t TVehicleModel::Earliest() const
{
    std::size_t best = 0;
    for (std::size_t i = 1; i < slots_.size(); ++i)
        if (slots_[i].next < slots_[best].next)
            best = i;
    return best;
}

EmuMicros TVehicleModel::NextDue() const { return slots_.empty() ? kEmuNever : slots_[Earliest()].next; }

BusEvent TVehicleModel::Pop()
{
    const std::size_t i = Earliest();
    Slot& s = slots_[i];
    BusEvent ev = mode_ == BusMode::Can ? MakeCan(i, s.next, s.counter) : MakeLin(i, s.next, s.counter);
    ++s.counter;
    s.next += s.period;
    return ev;
}

void TVehicleModel::SkipTo(EmuMicros now)
{
    for (Slot& s : slots_) {
        if (s.next >= now)
            continue;
        const EmuMicros missed = (now - s.next + s.period - 1) / s.period;
        s.next += missed * s.period;
        s.counter += static_cast<std::uint32_t>(missed);
    }
}

BusEvent TVehicleModel::MakeCan(std::size_t i, EmuMicros due, std::uint32_t counter) const
{
    const TVehicleMessage& m = VehicleMessages()[i];
    const double t = double(due - start_) / 1e6;
    std::uint8_t data[8] = {};
    for (const TVehicleSignal& s : m.signalDefs)
        EncodeVehicleSignal(s, s.value(t, counter), data);
    BusEvent ev;
    ev.due = due;
    ev.record = AdapterRecord::Can(m.id, m.extended, m.length, data);
    return ev;
}

BusEvent TVehicleModel::MakeLin(std::size_t i, EmuMicros due, std::uint32_t counter) const
{
    const TLinSlot& slot = VehicleLinSchedule()[i];
    const double t = double(due - start_) / 1e6;
    std::uint8_t data[8] = {};
    std::uint8_t error = 0;
    switch (slot.id) {
    case 0x10:  // switch panel: position and a rolling counter
        data[0] = static_cast<std::uint8_t>(std::fmod(t, 60.0) >= 30 ? 2 : 1);
        data[1] = static_cast<std::uint8_t>(counter & 0x0F);
        break;
    case 0x21: {  // seat position, now and then disturbed
        const auto pos = static_cast<std::uint16_t>(500 + 400 * std::sin(2 * kPi * t / 20.0));
        data[0] = static_cast<std::uint8_t>(pos >> 8);
        data[1] = static_cast<std::uint8_t>(pos);
        data[2] = static_cast<std::uint8_t>(counter);
        static constexpr std::uint8_t kErrors[] = {'P', 'F', 'S', 'T'};
        if (counter % kLinErrorEvery == kLinErrorEvery - 1)
            error = kErrors[(counter / kLinErrorEvery) % 4];
        break;
    }
    default:  // rain and light sensor
        for (int b = 0; b < 8; ++b)
            data[b] = static_cast<std::uint8_t>(128 + 100 * std::sin(2 * kPi * t / 15.0 + b));
        break;
    }
    BusEvent ev;
    ev.due = due;
    ev.record = AdapterRecord::Lin(slot.id, slot.length, data, error);
    return ev;
}

}  // namespace tarvik
