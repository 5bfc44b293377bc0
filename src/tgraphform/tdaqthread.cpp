#include "tgraphform/tdaqthread.h"

#include <thread>

#include "platform/guicall.h"
#include "ttlabelinfo/labeltable.h"
#include "tusbdev/adapterprotocol.h"
#include "tusbdev/tqueuebuffer.h"

namespace tarvik {

TPlotThread::TPlotThread(TPlotTarget& target, std::int32_t sampleRateMs, const TMmTimer& timer)
    : target_(target), sampleRate_(static_cast<std::uint32_t>(sampleRateMs > 0 ? sampleRateMs : 1)), timer_(timer)
{
    SetName("tarvik-plot");
    SetPriority(Priority::AboveNormal);
}

TPlotThread::~TPlotThread() { TerminateAndWait(); }

void TPlotThread::Execute()
{
    std::uint32_t last = timer_.Count();
    while (SleepFor(std::chrono::milliseconds(1))) {
        const std::uint32_t now = timer_.Count();
        if (now - last < sampleRate_)  // unsigned: harmless across the wrap
            continue;
        // The next sample is due one period after this tick, not after this one's due time.
        last = now;
        if (!target_.DaqRunning())
            continue;
        if (!SyncGuiCall([this] { target_.PlotSample(); }))
            return;  // the application is gone
        samples_.fetch_add(1);
        if (target_.SampleCounter().fetch_add(1) + 1 >= target_.SamplesPerRefreshNow()) {
            if (!SyncGuiCall([this] { target_.RefreshWindow(); }))
                return;
        }
    }
}

TDaqThread::TDaqThread(TPlotTarget& target, LabelTable& labels, std::int32_t sampleRateMs, const TMmTimer& timer,
                       TQueueBuffer& ring)
    : target_(target), labels_(labels), sampleRate_(sampleRateMs), timer_(timer), ring_(ring)
{
    SetName("tarvik-daq");
    SetPriority(Priority::AboveNormal);
    Resume();
}

TDaqThread::~TDaqThread() { TerminateAndWait(); }

void TDaqThread::Drain()
{
    std::uint8_t record[kRecordSize];
    while (!Terminated()) {
        const std::uint32_t n = ring_.Count();
        if (n == 0) {
            SleepFor(std::chrono::milliseconds(1));
            continue;
        }
        for (std::uint32_t i = 0; i < n; ++i) {
            if (!ring_.Pop(record))
                break;
            popped_.fetch_add(1, std::memory_order_relaxed);
            std::uint32_t key;
            std::uint64_t data;
            if (ParseRecord(record, key, data)) {
                labels_.DecodeFrame(key, data);
                decoded_.fetch_add(1, std::memory_order_relaxed);
            }
        }
        // Once per batch, not per record: on a busy machine every yield can give away a
        // whole time slice, and a ring filling at tens of thousands of records per second
        // then overflows.
        std::this_thread::yield();
    }
}

void TDaqThread::Execute()
{
    TPlotThread plot(target_, sampleRate_, timer_);
    plot.Resume();
    try {
        Drain();
    } catch (...) {
        // A failed decode ends acquisition; the plot thread is still ended below.
    }
    plot.Terminate();
    plot.WaitFor();
    samples_.store(plot.Samples());
}

}  // namespace tarvik
