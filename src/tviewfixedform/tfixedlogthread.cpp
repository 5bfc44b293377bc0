#include "tviewfixedform/tfixedlogthread.h"

namespace tarvik {

TFixedLogThread::TFixedLogThread(std::function<void()> refresh, const TMmTimer& ticks, TQueueBuffer& ring,
                                 std::uint32_t refreshPeriod)
    : TMonitorLogThread(std::move(refresh), ticks, ring, refreshPeriod), ticks_(ticks)
{
    Resume();
}

TFixedLogThread::~TFixedLogThread()
{
    // The worker stops before the table it fills goes.
    StopWorker();
}

void TFixedLogThread::ClearTable()
{
    ring_.Clear();
    table_.Clear();
    ring_.Clear();
    draw_->RefreshNow();
}

}  // namespace tarvik
