#pragma once
// What the fixed-position view keeps per identifier beside its latest frame: how many frames
// came since going on bus or Clear, the mean gap between the last 16 of them, and when each
// data byte last changed. No window; the table feeds it and the view reads it.
#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "tusbdev/adapterprotocol.h"

namespace tarvik {

// Appended to the monitor header when the columns are shown.
inline constexpr const char* kSlotStatsHeader = "      COUNT CYCLE ms";

class TSlotStats {
public:
    static constexpr int kWindow = 16;            // frames the cycle time is averaged over
    static constexpr std::uint32_t kChangedMs = 1000;  // how long a changed byte stays marked

    // One more frame of this identifier; nowMs is the program's millisecond counter.
    void Update(const AdapterRecord& record, std::uint32_t nowMs);

    std::uint64_t Count() const { return count_; }
    // Mean gap in milliseconds over the last kWindow frames; none before the second frame.
    // The 32-bit time stamp may wrap in between: gaps are taken modulo 2^32.
    std::optional<double> CycleMs() const;
    // Bit i set: data byte i changed within kChangedMs before nowMs.
    std::uint8_t ChangedBytes(std::uint32_t nowMs) const;

private:
    std::uint64_t count_ = 0;
    std::array<std::uint32_t, kWindow> stamps_{};  // ring, stamps_[head_] the newest
    int head_ = kWindow - 1;
    std::array<std::uint8_t, 8> data_{};
    int length_ = 0;
    std::array<std::uint32_t, 8> changedAt_{};
    std::uint8_t everChanged_ = 0;
};

// " %10llu %8.1f": the two columns that follow a monitor line padded to its usual width;
// the cycle is blank until there is one.
std::string SlotStatsColumns(const TSlotStats& stats);

}  // namespace tarvik
