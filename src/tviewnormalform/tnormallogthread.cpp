#include "tviewnormalform/tnormallogthread.h"

#include "platform/guicall.h"

namespace tarvik {

TNormalLogThread::TNormalLogThread(std::function<void()> refresh, const TMmTimer& ticks, TQueueBuffer& ring,
                                   std::uint32_t refreshPeriod, std::int32_t historyCapacity)
    : TMonitorLogThread(std::move(refresh), ticks, ring, refreshPeriod), history_(historyCapacity)
{
    Resume();
}

TNormalLogThread::~TNormalLogThread()
{
    // The worker stops before the history it fills goes.
    StopWorker();
}

void TNormalLogThread::AfterPass()
{
    if (clearRequested_.load()) {
        EmptyHistory();
        clearRequested_.store(false);
        NotifyGuiWaiters();
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
    ring_.Wake();
    const bool done =
        WaitServingGuiCalls([this] { return !clearRequested_.load(); }, std::chrono::milliseconds(201));
    if (done)
        draw_->RefreshNow();
    return done;
}

}  // namespace tarvik
