#include "tviewfixedform/tfixedlogthread.h"

#include <thread>

namespace tarvik {

TFixedLogThread::TFixedLogThread(std::function<void()> refresh, const TMmTimer& ticks, TQueueBuffer& ring,
                                 std::uint32_t refreshPeriod)
    : ring_(ring), draw_(std::make_unique<TDrawThread>(std::move(refresh), refreshPeriod, ticks))
{
    SetPriority(Priority::AboveNormal);
    Resume();
}

TFixedLogThread::~TFixedLogThread()
{
    TerminateAndWait();
    draw_.reset();
}

void TFixedLogThread::Execute()
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
            continue;
        }
        for (std::uint32_t i = 0; i < n && !Terminated(); ++i) {
            attempts_.fetch_add(1);
            if (ring_.Pop(record.bytes.data())) {
                table_.UpdateSlot(record);
                drained_.fetch_add(1, std::memory_order_release);
                draw_->Dirty.store(true);
            }
            finished_.fetch_add(1);
        }
        // One yield per batch, not per record: on a loaded machine each yield may give the
        // processor away for a whole time slice, and the ring fills meanwhile.
        std::this_thread::yield();
    }
}

void TFixedLogThread::ClearTable()
{
    ring_.Clear();
    table_.Clear();
    ring_.Clear();
    draw_->RefreshNow();
}

}  // namespace tarvik
