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

namespace tarvik {

// CAN: the label frame key, so that every standard identifier sorts first and a remote
// request shares its identifier's line; LIN: the identifier byte. Other record types have
// no slot.
std::optional<std::uint32_t> SlotKey(const AdapterRecord& record);

class TFixedTable {
public:
    // Stores the record in its identifier's line (received and transmitted share one).
    void UpdateSlot(const AdapterRecord& record);
    void Clear();
    // Readable without the lock.
    std::int32_t SlotCount() const { return count_.load(std::memory_order_acquire); }
    std::uint32_t KeyAt(std::int32_t index) const;  // 0 when out of range
    std::string GetLine(std::int32_t index) const;
    std::string GetAllText() const;

private:
    mutable std::mutex lock_;
    std::vector<std::uint32_t> keys_;
    std::vector<AdapterRecord> records_;
    std::atomic<std::int32_t> count_{0};
};

}  // namespace tarvik
