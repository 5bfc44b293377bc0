#include "tviewnormalform/tnormallogthread.h"

#include <thread>

#include "platform/guicall.h"

namespace tarvik {

TNormalLogThread::TNormalLogThread(std::function<void()> refresh, const TMmTimer& ticks, TQueueBuffer& ring,
                                   std::uint32_t refreshPeriod, std::int32_t historyCapacity)
    : ring_(ring), history_(historyCapacity),
      // Owned by this object rather than by Execute, so that the pause flag can be read at
      // any time; Execute still stops it when it ends.
      draw_(std::make_unique<TDrawThread>(std::move(refresh), refreshPeriod, ticks))
{
    SetPriority(Priority::AboveNormal);
    Resume();
}

TNormalLogThread::~TNormalLogThread()
{
    TerminateAndWait();
    draw_.reset();
}

void TNormalLogThread::Execute()
{
    struct StopDraw {
        TDrawThread& d;
        ~StopDraw()
        {
            d.Terminate();
            d.WaitFor();
        }
    } stopDraw{*draw_};

    AdapterRecord record;
    while (!Terminated()) {
        const std::uint32_t n = ring_.Count();
        if (n == 0) {
            SleepFor(std::chrono::milliseconds(1));
        } else {
            for (std::uint32_t i = 0; i < n && !clearRequested_.load() && !Terminated(); ++i) {
                attempts_.fetch_add(1);
                if (ring_.Pop(record.bytes.data())) {
                    history_.Add(record);
                    drained_.fetch_add(1, std::memory_order_release);
                    draw_->Dirty.store(true);
                }
                finished_.fetch_add(1);
            }
            // One yield per batch, not per record: on a loaded machine each yield may give
            // the processor away for a whole time slice, and the ring fills meanwhile.
            std::this_thread::yield();
        }
        if (clearRequested_.load()) {
            EmptyHistory();
            clearRequested_.store(false);
            NotifyGuiWaiters();
        }
    }
}

void TNormalLogThread::EmptyHistory()
{
    history_.Clear();
    // Records still in flight from before the clear land in the ring during this pause and
    // are discarded with it.
    SleepFor(std::chrono::milliseconds(100));
    ring_.Clear();
}

bool TNormalLogThread::RequestClear()
{
    clearRequested_.store(true);
    const bool done =
        WaitServingGuiCalls([this] { return !clearRequested_.load(); }, std::chrono::milliseconds(201));
    if (done)
        draw_->RefreshNow();
    return done;
}

}  // namespace tarvik
