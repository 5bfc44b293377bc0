#pragma once
// What both monitor workers share: draining the window's ring record by record into the
// window's store, the draw thread that repaints the window, and the counts that tell when
// everything taken from the ring has been stored.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/tthread.h"
#include "monitorview/tdrawthread.h"
#include "platform/tmmtimer.h"
#include "tusbdev/adapterprotocol.h"
#include "tusbdev/tqueuebuffer.h"

namespace tarvik {

class TMonitorLogThread : public TThread {
public:
    ~TMonitorLogThread() override;

    // What the window shows: its lines, one text for saving, and emptying both.
    virtual std::int32_t LineCount() const = 0;
    virtual std::string GetLine(std::int32_t index) const = 0;
    virtual std::string GetAllText() const = 0;
    virtual void ClearLines() = 0;

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
    // refresh repaints the window (on the GUI thread). The derived constructor starts the
    // thread once its store exists, and its destructor stops it before the store goes.
    TMonitorLogThread(std::function<void()> refresh, const TMmTimer& ticks, TQueueBuffer& ring,
                      std::uint32_t refreshPeriod);

    void Execute() final;
    // For the derived destructors: ends the worker, waking it from its wait for records.
    void StopWorker();
    // Worker thread: keeps one record taken from the ring.
    virtual void Store(const AdapterRecord& record) = 0;
    // Worker thread: true ends the current batch early.
    virtual bool BatchInterrupted() const { return false; }
    // Worker thread: runs after every pass over the ring, empty or not.
    virtual void AfterPass() {}

    TQueueBuffer& ring_;
    // Owned by this object rather than by Execute, so that the pause flag can be read at
    // any time; Execute still stops it when it ends.
    std::unique_ptr<TDrawThread> draw_;

private:
    std::atomic<std::uint64_t> attempts_{0}, finished_{0};
    std::atomic<std::uint64_t> drained_{0};
};

}  // namespace tarvik
