#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "platform/guicall.h"
#include "platform/tmmtimer.h"
#include "tgraphform/tdaqthread.h"
#include "tgraphform/tgraphplot.h"
#include "ttlabelinfo/labeltable.h"
#include "tusbdev/tqueuebuffer.h"
#include "graphtest.h"
#include "support/logrecords.h"
#include "support/threadguard.h"

using namespace tarvik;
using testsupport::TraceRecord;
using namespace std::chrono_literals;

namespace {

// The window as the plot thread sees it; every call is checked to run on the GUI thread.
struct FakeWindow : TPlotTarget {
    std::atomic<bool> running{true};
    std::atomic<int> perRefresh{1};
    std::atomic<int> count{0};
    int plots = 0, refreshes = 0, offGui = 0;
    std::chrono::milliseconds plotCost{0};
    LabelTable* labels = nullptr;
    std::vector<double> seen;  // first label's value at each sample

    bool DaqRunning() const override { return running.load(); }
    int SamplesPerRefreshNow() const override { return perRefresh.load(); }
    std::atomic<int>& SampleCounter() override { return count; }
    void PlotSample() override
    {
        offGui += IsGuiThread() ? 0 : 1;
        ++plots;
        if (labels && labels->Count() > 0)
            seen.push_back(labels->Label(0).Value());
        std::this_thread::sleep_for(plotCost);
    }
    void RefreshWindow() override
    {
        offGui += IsGuiThread() ? 0 : 1;
        ++refreshes;
        count.store(0);
    }
};

bool WaitFor(const std::function<bool()>& cond) { return WaitServingGuiCalls(cond, 10s); }

void Stop(std::unique_ptr<TDaqThread>& t)
{
    t->Terminate();
    t->WaitFor();
    t.reset();
}

}  // namespace

TEST(DaqThread, DecodesEveryAcceptedFrameOfTheRing)
{
    FakeWindow w;
    w.running = false;
    LabelTable labels;
    labels.LoadFromLines(graphtest::WordLabels({"a"}, "0x100"), kGraphPalette);
    TQueueBuffer ring(20, TQueueBuffer::kDefaultCapacity);
    for (std::uint8_t i = 1; i <= 200; ++i)
        ring.Push(TraceRecord(0x00, 0x100, false, {0, i}, 0, 8).bytes.data());
    ring.Push(TraceRecord(0x80, 0x100, false, {0xFF, 0xFF}, 0, 8).bytes.data());
    ring.Push(TraceRecord(0x00, 0x100, false, {0xEE, 0xEE}, 0, 8).SetCheck(0x5A, 0x5B).bytes.data());
    ring.Push(TraceRecord(0x02, 0, false, {}, 0, 0).bytes.data());
    auto t = std::make_unique<TDaqThread>(w, labels, 10, ProgramTimer(), ring);
    ASSERT_TRUE(WaitFor([&] { return t->Popped() == 203; }));
    EXPECT_EQ(t->Decoded(), 200u);
    EXPECT_EQ(labels.Label(0).Value(), 200);
    // Records arriving later are still taken.
    ring.Push(TraceRecord(0x01, 0x100, false, {0x12, 0x34}, 0, 2).bytes.data());
    ASSERT_TRUE(WaitFor([&] { return t->Popped() == 204; }));
    EXPECT_EQ(labels.Label(0).Value(), 0x1234);
    Stop(t);
    EXPECT_EQ(w.plots, 0) << "nothing is plotted while the window is not running";
}

TEST(PlotThread, PacesSamplesAndRefreshes)
{
    const struct {
        int rate, perRefresh;
    } cases[] = {{10, 2}, {10, 0}, {20, 3}};
    for (const auto& c : cases) {
        FakeWindow w;
        w.perRefresh = c.perRefresh;
        LabelTable labels;
        TQueueBuffer ring(20, 64);
        auto t = std::make_unique<TDaqThread>(w, labels, c.rate, ProgramTimer(), ring);
        const auto start = std::chrono::steady_clock::now();
        ASSERT_TRUE(WaitFor([&] { return w.plots >= 20; })) << c.rate;
        Stop(t);
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        EXPECT_GE(ms, 19.0 * c.rate) << "samples come no faster than the rate";
        EXPECT_EQ(w.offGui, 0);
        const int expected = c.perRefresh <= 1 ? w.plots : w.plots / c.perRefresh;
        EXPECT_EQ(w.refreshes, expected) << c.rate << "/" << c.perRefresh;
    }
}

// The plot thread blocks in a call onto the GUI thread while the GUI thread stops the
// acquisition: the stop must serve that call, not wait for it forever.
TEST(DaqThread, StopOnTheGuiThreadWhilePlotCallsArePending)
{
    FakeWindow w;
    w.plotCost = 3ms;
    LabelTable labels;
    labels.LoadFromLines(graphtest::WordLabels({"a"}, "0x100"), kGraphPalette);
    w.labels = &labels;
    TQueueBuffer ring(20, TQueueBuffer::kDefaultCapacity);
    std::atomic<bool> feeding{true};
    std::atomic<int> last{0};
    // A producer that never stops while acquisition runs, as the receive thread does. It
    // counts up and holds at the top, so a value that goes back can only be a wrong read.
    testsupport::Background producer([&] {
        std::uint16_t n = 0;
        while (feeding.load()) {
            if (n < 0xFFFF)
                ++n;
            ring.Push(TraceRecord(0x00, 0x100, false, {std::uint8_t(n >> 8), std::uint8_t(n)}, 0, 8)
                          .bytes.data());
            last.store(n);
            std::this_thread::sleep_for(100us);
        }
    }, [&] { feeding = false; });
    for (int round = 0; round < 5; ++round) {
        auto t = std::make_unique<TDaqThread>(w, labels, 5, ProgramTimer(), ring);
        const int before = w.plots;
        ASSERT_TRUE(WaitFor([&] { return w.plots >= before + 3; }));
        std::this_thread::sleep_for(4ms);  // let a call be queued but not yet served
        const auto start = std::chrono::steady_clock::now();
        Stop(t);
        EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
    }
    feeding = false;
    producer.Join();
    // Values were whole and rising: each sample sees a value the producer wrote (a whole
    // number no larger than its last), and no sample sees an older value than the one before.
    ASSERT_FALSE(w.seen.empty());
    for (std::size_t i = 0; i < w.seen.size(); ++i) {
        const double v = w.seen[i];
        EXPECT_EQ(v, double(std::uint16_t(v))) << v;
        EXPECT_LE(v, double(last.load())) << v;
        if (i > 0) {
            EXPECT_GE(v, w.seen[i - 1]) << "sample " << i;
        }
    }
    EXPECT_GT(w.seen.back(), w.seen.front()) << "values rise while the producer writes";
}
