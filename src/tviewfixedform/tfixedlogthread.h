#pragma once
// Worker of the fixed-position monitor: drains the window's ring into the per-identifier
// table and marks the window for repainting through its draw thread.
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "tviewfixedform/tfixedtable.h"
#include "monitorview/tmonitorlogthread.h"

namespace tarvik {

class TFixedLogThread final : public TMonitorLogThread {
public:
    TFixedLogThread(std::function<void()> refresh, const TMmTimer& ticks, TQueueBuffer& ring,
                    std::uint32_t refreshPeriod = 100);
    ~TFixedLogThread() override;

    // GUI thread: empties the ring and the table, then repaints at once. A record popped
    // just before may still reappear just after.
    void ClearTable();

    std::int32_t SlotCount() const { return table_.SlotCount(); }
    // Lines, copy and save carry the count and cycle columns while they are shown.
    void SetStatsColumns(bool shown) { columns_.store(shown); }
    bool StatsColumns() const { return columns_.load(); }
    std::string GetLine(std::int32_t index) const override { return table_.GetLine(index, StatsColumns()); }
    std::string GetAllText() const override { return table_.GetAllText(StatsColumns()); }
    const TFixedTable& Table() const { return table_; }
    std::uint32_t Now() const { return ticks_.Count(); }

    std::int32_t LineCount() const override { return SlotCount(); }
    void ClearLines() override { ClearTable(); }

protected:
    void Store(const AdapterRecord& record) override { table_.UpdateSlot(record, ticks_.Count()); }

private:
    const TMmTimer& ticks_;
    TFixedTable table_;
    std::atomic<bool> columns_{false};
};

}  // namespace tarvik
