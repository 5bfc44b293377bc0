#pragma once
// The graph's two acquisition workers. TDaqThread drains the ring the receive thread fills
// with CAN frame records and decodes each frame's labels into their values (one atomic
// 64-bit store per label, so readers never see half a value). TPlotThread, which the
// acquisition thread owns, paces the samples by the program's millisecond counter and runs
// each plot step and window refresh synchronously on the GUI thread.
//
// Stopping on the GUI thread (TThread::WaitFor) keeps serving the plot thread's pending
// synchronous calls, so the chain GUI -> acquisition -> plot thread always ends.
#include <atomic>
#include <cstdint>
#include <memory>

#include "platform/tmmtimer.h"
#include "platform/tthread.h"

namespace tarvik {

class LabelTable;
class TQueueBuffer;

// What the plot thread reads and runs of the window.
class TPlotTarget {
public:
    virtual ~TPlotTarget() = default;
    // Read from the plot thread.
    virtual bool DaqRunning() const = 0;
    virtual int SamplesPerRefreshNow() const = 0;
    // Counted by the plot thread, reset by RefreshWindow.
    virtual std::atomic<int>& SampleCounter() = 0;
    // Run on the GUI thread.
    virtual void PlotSample() = 0;
    virtual void RefreshWindow() = 0;
};

class TPlotThread : public TThread {
public:
    TPlotThread(TPlotTarget& target, std::int32_t sampleRateMs, const TMmTimer& timer);
    ~TPlotThread() override;
    std::uint64_t Samples() const { return samples_.load(); }

protected:
    void Execute() override;

private:
    TPlotTarget& target_;
    const std::uint32_t sampleRate_;
    const TMmTimer& timer_;
    std::atomic<std::uint64_t> samples_{0};
};

class TDaqThread : public TThread {
public:
    // Starts at once; the plot thread starts with it.
    TDaqThread(TPlotTarget& target, LabelTable& labels, std::int32_t sampleRateMs, const TMmTimer& timer,
               TQueueBuffer& ring);
    ~TDaqThread() override;

    // Records taken from the ring, and those of them that were frames ParseRecord accepted.
    std::uint64_t Popped() const { return popped_.load(); }
    std::uint64_t Decoded() const { return decoded_.load(); }
    // Samples the plot thread took; final once this thread has ended.
    std::uint64_t Samples() const { return samples_.load(); }

protected:
    void Execute() override;

private:
    void Drain();

    TPlotTarget& target_;
    LabelTable& labels_;
    const std::int32_t sampleRate_;
    const TMmTimer& timer_;
    TQueueBuffer& ring_;
    std::atomic<std::uint64_t> popped_{0};
    std::atomic<std::uint64_t> decoded_{0};
    std::atomic<std::uint64_t> samples_{0};
};

}  // namespace tarvik
