// Processor time of the receive path while on bus: TMonThread and two TDrawThreads (one per
// monitor window), with the adapter emulator in process. Prints the share of one core per
// thread, idle on bus and at a given record rate from the emulator's load model.
//
//   bench_receive_cpu [seconds per scenario] [records per second]
//
// Two stand-in log threads drain the rings and mark their window dirty, as the monitor
// windows' log threads do; they are reported separately. For comparison the draw threads
// also run once in the shape that polls the counter every millisecond.
#include <QCoreApplication>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sys/resource.h>
#include <vector>

#include "emulator/emulatorbackend.h"
#include "emulator/loadmodel.h"
#include "emulator/scriptedmodel.h"
#include "platform/guicall.h"
#include "platform/tthread.h"
#include "monitorview/tdrawthread.h"
#include "platform/tmmtimer.h"
#include "bus/tmonthread.h"
#include "tusbdev/adapterprotocol.h"
#include "tusbdev/tqueuebuffer.h"
#include "bus/devicekinds.h"
#include "bus/tbussession.h"

using namespace std::chrono;
using namespace tarvik;

namespace {

// Drains a ring and marks the window dirty, sleeping 1 ms when the ring is empty.
class TDrainThread : public TThread {
public:
    TDrainThread(TQueueBuffer& ring, std::atomic<bool>& dirty) : ring_(ring), dirty_(dirty)
    {
        SetName("drain");
        Resume();
    }
    ~TDrainThread() override { TerminateAndWait(); }
    std::uint64_t taken = 0;

protected:
    void Execute() override
    {
        AdapterRecord r;
        while (!Terminated()) {
            bool any = false;
            while (ring_.Pop(r.bytes.data())) {
                ++taken;
                any = true;
            }
            if (any)
                dirty_.store(true);
            SleepFor(milliseconds(1));
        }
    }

private:
    TQueueBuffer& ring_;
    std::atomic<bool>& dirty_;
};

// The draw thread in its polling shape: checks the counter after every 1 ms sleep.
class TPollingDrawThread : public TThread {
public:
    TPollingDrawThread(std::function<void()> refresh, std::uint32_t interval, const TMmTimer& timer)
        : refresh_(std::move(refresh)), interval_(interval), timer_(timer)
    {
        SetName("polldraw");
        Resume();
    }
    ~TPollingDrawThread() override { TerminateAndWait(); }
    std::atomic<bool> Dirty{false};

protected:
    void Execute() override
    {
        std::uint32_t last = timer_.Count();
        while (!Terminated()) {
            SleepFor(milliseconds(1));
            const std::uint32_t now = timer_.Count();
            if (now - last >= interval_) {
                last = now;
                if (Dirty.exchange(false))
                    SyncGuiCall(refresh_);
            }
        }
    }

private:
    std::function<void()> refresh_;
    std::uint32_t interval_;
    const TMmTimer& timer_;
};

double ProcessCpu()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double Share(nanoseconds cpu, double wall) { return 100.0 * duration<double>(cpu).count() / wall; }

template <class Draw>
void Run(const char* title, std::unique_ptr<TBusModel> model, double seconds)
{
    AdapterEmulator::Options opt;
    opt.keepLog = false;
    auto backend = std::make_shared<TEmulatorBackend>(std::move(model), opt);
    TBusSession bus(MakeNativeDevice(backend));
    TMonThread& mon = bus.Reception();
    TMmTimer timer;
    if (!bus.Open()) {
        std::printf("%s: the emulator did not open\n", title);
        return;
    }
    TQueueBuffer ring1(20, TQueueBuffer::kDefaultCapacity), ring2(20, TQueueBuffer::kDefaultCapacity);
    bus.SetSlot(1, &ring1);
    bus.SetSlot(2, &ring2);
    std::atomic<std::uint64_t> repaints{0};
    auto refresh = [&] { ++repaints; };
    Draw draw1(refresh, 100, timer), draw2(refresh, 100, timer);
    TDrainThread log1(ring1, draw1.Dirty), log2(ring2, draw2.Dirty);

    if (!bus.GoOnBus(OnBusConfig{})) {
        std::printf("%s: the emulator refused the configuration\n", title);
        return;
    }

    WaitServingGuiCalls([] { return false; }, milliseconds(1000));  // settle
    const auto t0 = steady_clock::now();
    const double p0 = ProcessCpu();
    const auto m0 = mon.CpuTime(), d10 = draw1.CpuTime(), d20 = draw2.CpuTime();
    const auto l10 = log1.CpuTime(), l20 = log2.CpuTime();
    const std::uint64_t r0 = mon.RecordsRead(), rp0 = repaints.load();
    WaitServingGuiCalls([] { return false; }, milliseconds(long(seconds * 1000)));
    const double wall = duration<double>(steady_clock::now() - t0).count();
    const double proc = 100.0 * (ProcessCpu() - p0) / wall;
    const double monShare = Share(mon.CpuTime() - m0, wall);
    const double drawShare = Share(draw1.CpuTime() - d10, wall) + Share(draw2.CpuTime() - d20, wall);
    const double logShare = Share(log1.CpuTime() - l10, wall) + Share(log2.CpuTime() - l20, wall);
    std::printf("%-34s records/s %8.0f  TMonThread %5.2f%%  2 draw %5.2f%%  = %5.2f%%  | 2 drain %5.2f%%  "
                "process %5.2f%%  repaints/s %5.1f  dropped %llu\n",
                title, double(mon.RecordsRead() - r0) / wall, monShare, drawShare, monShare + drawShare, logShare,
                proc, double(repaints.load() - rp0) / wall,
                static_cast<unsigned long long>(mon.Dropped(1) + mon.Dropped(2)));
    bus.GoOffBus();
    bus.SetSlot(1, nullptr);
    bus.SetSlot(2, nullptr);
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const double seconds = argc > 1 ? std::atof(argv[1]) : 5.0;
    const double rate = argc > 2 ? std::atof(argv[2]) : 15000.0;
    std::printf("share of one core over %.1f s each (the targets: below 2%% idle, below 10%% at 15000/s)\n", seconds);
    Run<TDrawThread>("idle on bus", std::make_unique<TScriptedModel>(), seconds);
    Run<TDrawThread>("load model", std::make_unique<TLoadModel>(rate), seconds);
    Run<TPollingDrawThread>("idle on bus, 1 ms polling draw", std::make_unique<TScriptedModel>(), seconds);
    Run<TPollingDrawThread>("load model, 1 ms polling draw", std::make_unique<TLoadModel>(rate), seconds);
    return 0;
}
