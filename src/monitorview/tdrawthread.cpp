#include "tdrawthread.h"

#include <algorithm>

#include "platform/guicall.h"

namespace tarvik {

TDrawThread::TDrawThread(std::function<void()> refresh, std::uint32_t intervalMs, const TMmTimer& timer)
    : refresh_(std::move(refresh)), interval_(std::max<std::uint32_t>(1, intervalMs)), timer_(timer)
{
    SetName("TDrawThread");
    Resume();
}

TDrawThread::~TDrawThread() { TerminateAndWait(); }

void TDrawThread::RefreshNow()
{
    // Cleared before the repaint: a record stored while it runs marks the window again,
    // so it is shown at the next boundary instead of waiting for yet another record.
    Dirty.store(false);
    ++refreshes_;
    if (refresh_)
        SyncGuiCall(refresh_);
}

void TDrawThread::Execute()
{
    std::uint32_t last = timer_.Count();
    while (!Terminated()) {
        const std::uint32_t now = timer_.Count();
        const std::uint32_t elapsed = now - last;  // unsigned: harmless across the wrap
        if (elapsed >= interval_) {
            last = now;
            if (Dirty.load())
                RefreshNow();
            continue;
        }
        SleepFor(std::chrono::milliseconds(interval_ - elapsed));
    }
}

}  // namespace tarvik
