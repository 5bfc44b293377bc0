#pragma once
// Worker of the scrolling monitor: drains the window's ring into the record history and
// marks the window for repainting through its draw thread.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/tthread.h"
#include "tmainform/tdrawthread.h"
#include "tmainform/tmmtimer.h"
#include "tusbdev/tqueuebuffer.h"
#include "tviewnormalform/trecordhistory.h"

namespace tarvik {

class TNormalLogThread final : public TThread {
public:
    // Starts at once. refresh repaints the window (on the GUI thread); ring is drained.
    TNormalLogThread(std::function<void()> refresh, const TMmTimer& ticks, TQueueBuffer& ring,
                     std::uint32_t refreshPeriod = 100, std::int32_t historyCapacity = TRecordHistory::kCapacity);
    ~TNormalLogThread() override;

    // GUI thread: asks this thread to empty the history and waits for it up to ~200 ms,
    // serving the draw thread's calls meanwhile; then repaints at once. False when the
    // request is still pending (it is carried out at the next pass).
    bool RequestClear();
    bool ClearPending() const { return clearRequested_.load(); }

    std::int32_t Count() const { return history_.Count(); }
    std::string GetLine(std::int32_t index) const { return history_.GetLine(index); }
    std::string GetAllText() const { return history_.GetAllText(); }
    const TRecordHistory& History() const { return history_; }

    bool IsPaused() const { return draw_->Paused.load(); }
    void SetPaused(bool paused) { draw_->Paused.store(paused); }
    TDrawThread& DrawThread() { return *draw_; }

    // Records taken from the ring and stored since start.
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
    void EmptyHistory();

    TQueueBuffer& ring_;
    TRecordHistory history_;
    std::unique_ptr<TDrawThread> draw_;
    std::atomic<bool> clearRequested_{false};
    std::atomic<std::uint64_t> attempts_{0}, finished_{0};
    std::atomic<std::uint64_t> drained_{0};
};

}  // namespace tarvik
