#include "monitorview/tmonitorlogthread.h"

#include <thread>

namespace tarvik {

TMonitorLogThread::TMonitorLogThread(std::function<void()> refresh, const TMmTimer& ticks, TQueueBuffer& ring,
                                     std::uint32_t refreshPeriod)
    : ring_(ring), draw_(std::make_unique<TDrawThread>(std::move(refresh), refreshPeriod, ticks))
{
    SetPriority(Priority::AboveNormal);
}

TMonitorLogThread::~TMonitorLogThread()
{
    StopWorker();
    draw_.reset();
}

void TMonitorLogThread::StopWorker()
{
    Terminate();
    ring_.Wake();
    TerminateAndWait();
}

void TMonitorLogThread::Execute()
{
    struct StopDraw {
        TDrawThread& d;
        ~StopDraw()
        {
            d.Terminate();
            d.WaitFor();
        }
    } stopDraw{*draw_};

    // While records flow the ring is drained every 25 ms, well inside the 100 ms repaint and
    // the ring's 0.68 s at 60,000 records/s, so the receive thread need not wake this thread
    // for each few records; after a quiet spell of 100 ms it sleeps until the next record, a
    // request (clear) or the end wakes it.
    constexpr auto kFlowing = std::chrono::milliseconds(25);
    constexpr auto kQuiet = std::chrono::milliseconds(100);
    constexpr int kQuietPasses = 4;
    int emptyPasses = 0;
    AdapterRecord record;
    while (!Terminated()) {
        const std::uint32_t n = ring_.Count();
        if (n == 0) {
            if (++emptyPasses < kQuietPasses)
                SleepFor(kFlowing);
            else
                ring_.WaitForRecords(kQuiet);
        } else {
            emptyPasses = 0;
            for (std::uint32_t i = 0; i < n && !BatchInterrupted() && !Terminated(); ++i) {
                attempts_.fetch_add(1);
                if (ring_.Pop(record.bytes.data())) {
                    Store(record);
                    drained_.fetch_add(1, std::memory_order_release);
                    draw_->Dirty.store(true);
                }
                finished_.fetch_add(1);
            }
            // One yield per batch, not per record: on a loaded machine each yield may give
            // the processor away for a whole time slice, and the ring fills meanwhile.
            std::this_thread::yield();
        }
        AfterPass();
    }
}

}  // namespace tarvik
