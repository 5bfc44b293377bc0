#pragma once
// The fixed-position monitor's data: the latest record per identifier, in ascending key
// order. Filled by the log thread, read by the user-interface thread under one lock.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "tusbdev/adapterprotocol.h"
#include "tviewfixedform/tslotstats.h"

namespace tarvik {

// CAN: the label frame key, so that every standard identifier sorts first and a remote
// request shares its identifier's line; LIN: the identifier byte. Other record types have
// no slot.
std::optional<std::uint32_t> SlotKey(const AdapterRecord& record);

class TFixedTable {
public:
    // Counts, cycle times and changed bytes are kept for every line unless turned off, which
    // only a measurement of their cost does.
    explicit TFixedTable(bool keepStats = true) : keepStats_(keepStats) {}

    // Stores the record in its identifier's line (received and transmitted share one);
    // nowMs, the program's millisecond counter, dates the bytes that changed.
    void UpdateSlot(const AdapterRecord& record, std::uint32_t nowMs = 0);
    void Clear();
    // Readable without the lock.
    std::int32_t SlotCount() const { return count_.load(std::memory_order_acquire); }
    std::uint32_t KeyAt(std::int32_t index) const;  // 0 when out of range
    // The line of a key and its latest record; -1 when the key has no line.
    std::int32_t IndexOf(std::uint32_t key, AdapterRecord* record = nullptr) const;
    // With statsColumns, each line ends in its count and cycle time (SlotStatsColumns).
    std::string GetLine(std::int32_t index, bool statsColumns = false) const;
    std::string GetAllText(bool statsColumns = false) const;
    // The line's bytes that changed within the last second (TSlotStats::ChangedBytes).
    std::uint8_t ChangedBytes(std::int32_t index, std::uint32_t nowMs) const;
    // A copy of the line's figures; false when out of range.
    bool GetStats(std::int32_t index, TSlotStats& out) const;

private:
    const bool keepStats_;
    mutable std::mutex lock_;
    std::vector<std::uint32_t> keys_;
    std::vector<AdapterRecord> records_;
    std::vector<TSlotStats> stats_;  // beside records_, index for index
    std::atomic<std::int32_t> count_{0};
};

}  // namespace tarvik
