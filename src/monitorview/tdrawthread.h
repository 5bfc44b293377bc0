#pragma once
// Paces the repainting of one monitor window: at most once per interval, and only when
// records were stored since the last repaint (Dirty). The repaint itself runs on the GUI
// thread, synchronously. Between interval boundaries the thread sleeps, instead of
// polling the counter every millisecond, which gives the same pacing at far lower cost.
#include <atomic>
#include <cstdint>
#include <functional>

#include "platform/tthread.h"
#include "platform/tmmtimer.h"

namespace tarvik {

class TDrawThread : public TThread {
public:
    // Starts at once. refresh repaints the window; it runs on the GUI thread.
    TDrawThread(std::function<void()> refresh, std::uint32_t intervalMs, const TMmTimer& timer);
    ~TDrawThread() override;

    // Set by the window's log thread after it stored records.
    std::atomic<bool> Dirty{false};
    // The window's pause state, kept here for its log thread; never read by this thread.
    std::atomic<bool> Paused{false};

    // Repaints now on the GUI thread and clears Dirty (from this thread, from the log
    // thread after a clear, or inline from the GUI thread).
    void RefreshNow();

    std::uint32_t Interval() const { return interval_; }
    std::uint64_t RefreshCount() const { return refreshes_.load(); }

protected:
    void Execute() override;

private:
    const std::function<void()> refresh_;
    const std::uint32_t interval_;
    const TMmTimer& timer_;
    std::atomic<std::uint64_t> refreshes_{0};
};

}  // namespace tarvik
