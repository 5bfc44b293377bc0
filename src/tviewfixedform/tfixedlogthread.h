#pragma once
// Worker of the fixed-position monitor: drains the window's ring into the per-identifier
// table and marks the window for repainting through its draw thread.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/tthread.h"
#include "tmainform/tdrawthread.h"
#include "tmainform/tmmtimer.h"
#include "tusbdev/tqueuebuffer.h"
#include "tviewfixedform/tfixedtable.h"

namespace tarvik {

class TFixedLogThread final : public TThread {
public:
    TFixedLogThread(std::function<void()> refresh, const TMmTimer& ticks, TQueueBuffer& ring,
                    std::uint32_t refreshPeriod = 100);
    ~TFixedLogThread() override;

    // GUI thread: empties the ring and the table, then repaints at once. A record popped
    // just before may still reappear just after.
    void ClearTable();

    std::int32_t SlotCount() const { return table_.SlotCount(); }
    std::string GetLine(std::int32_t index) const { return table_.GetLine(index); }
    std::string GetAllText() const { return table_.GetAllText(); }
    const TFixedTable& Table() const { return table_; }

    bool IsPaused() const { return draw_->Paused.load(); }
    void SetPaused(bool paused) { draw_->Paused.store(paused); }
    TDrawThread& DrawThread() { return *draw_; }
    std::uint64_t Drained() const { return drained_.load(std::memory_order_acquire); }
    // True while nothing waits in the ring and every record taken from it is stored.
    bool Idle() const
    {
        // A record taken from the ring is claimed before the ring's count drops, so a count of
        // 0 with as many finished attempts as claims leaves nothing in flight.
        return ring_.Count() == 0 && finished_.load() == attempts_.load();
    }

protected:
    void Execute() override;

private:
    TQueueBuffer& ring_;
    TFixedTable table_;
    std::unique_ptr<TDrawThread> draw_;
    std::atomic<std::uint64_t> attempts_{0}, finished_{0};
    std::atomic<std::uint64_t> drained_{0};
};

}  // namespace tarvik
