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
    TerminateAndWait();
    draw_.reset();
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

    AdapterRecord record;
    while (!Terminated()) {
        const std::uint32_t n = ring_.Count();
        if (n == 0) {
            SleepFor(std::chrono::milliseconds(1));
        } else {
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
