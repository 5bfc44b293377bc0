// Sustained throughput of the monitor pipeline: the emulator's load model served on a
// pseudo-terminal, read through TUsbDev by TMonThread, copied into both monitor rings and
// drained by both log threads (each with its draw thread formatting a page per repaint).
//
//   monitor_throughput [seconds] [rate ...]      rate in frames/s, 0 = as fast as read
//
// For each rate it prints what was produced, read, stored and lost at each stage, and the
// CPU used by the program's side (the emulator's own thread is measured apart).
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include <QCoreApplication>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "emulator/adapteremulator.h"
#include "emulator/loadmodel.h"
#include "platform/guicall.h"
#include "subfuncs/subfuncs.h"
#include "support/monitorpipeline.h"
#include "tusbdev/serial/serialbackend.h"
#include "bus/devicekinds.h"

using namespace tarvik;

namespace {

EmuMicros Now()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return EmuMicros(ts.tv_sec) * 1'000'000 + ts.tv_nsec / 1000;
}

double ThreadCpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

double ProcessCpuSeconds()
{
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) + double(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

// The adapter's side: the emulator engine serving a pseudo-terminal from its own thread.
class PtyAdapter {
public:
    explicit PtyAdapter(double rate)
    {
        auto model = std::make_unique<TLoadModel>(rate);
        model_ = model.get();
        AdapterEmulator::Options o;
        o.keepLog = false;
        emu_ = std::make_unique<AdapterEmulator>(std::move(model), Now(), o);
        master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0)
            return;
        path_ = ptsname(master_);
        termios tio{};
        if (tcgetattr(master_, &tio) == 0) {
            cfmakeraw(&tio);
            tcsetattr(master_, TCSANOW, &tio);
        }
        keeper_ = open(path_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (keeper_ >= 0 && tcgetattr(keeper_, &tio) == 0) {
            cfmakeraw(&tio);
            tcsetattr(keeper_, TCSANOW, &tio);
        }
        fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
        thread_ = std::thread([this] { Run(); });
    }
    ~PtyAdapter()
    {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
        if (keeper_ >= 0)
            close(keeper_);
        if (master_ >= 0)
            close(master_);
    }
    const std::string& Path() const { return path_; }
    std::uint64_t Produced()
    {
        std::lock_guard<std::mutex> l(mu_);
        return model_->Produced();
    }
    std::uint64_t Dropped()
    {
        std::lock_guard<std::mutex> l(mu_);
        return emu_->DroppedRecords();
    }
    std::size_t Backlog()
    {
        std::lock_guard<std::mutex> l(mu_);
        return emu_->OutputSize();
    }
    double CpuSeconds() const { return cpu_.load(); }

private:
    void Run()
    {
        std::vector<std::uint8_t> in(4096);
        while (!stop_) {
            EmuMicros now = Now();
            int timeoutMs = 10;
            short events = POLLIN;
            {
                std::lock_guard<std::mutex> l(mu_);
                emu_->Advance(now);
                const EmuMicros due = emu_->NextDue(now);
                if (due != kEmuNever)
                    timeoutMs = int(std::clamp<EmuMicros>((due - now + 999) / 1000, 0, 10));
                if (emu_->OutputSize())
                    events |= POLLOUT;
            }
            pollfd p{master_, events, 0};
            poll(&p, 1, timeoutMs);
            now = Now();
            std::lock_guard<std::mutex> l(mu_);
            if (p.revents & POLLIN) {
                const ssize_t r = read(master_, in.data(), in.size());
                if (r > 0)
                    emu_->Feed(in.data(), std::size_t(r), now);
            }
            emu_->Advance(now);
            if (emu_->OutputSize()) {
                const ssize_t w = write(master_, emu_->OutputData(), emu_->OutputSize());
                if (w > 0)
                    emu_->ConsumeOutput(std::size_t(w));
            }
            cpu_ = ThreadCpuSeconds();
        }
    }

    TLoadModel* model_ = nullptr;
    std::unique_ptr<AdapterEmulator> emu_;
    std::mutex mu_;
    int master_ = -1, keeper_ = -1;
    std::string path_;
    std::atomic<bool> stop_{false};
    std::atomic<double> cpu_{0};
    std::thread thread_;
};

std::uint64_t Sequence(const AdapterRecord& r)
{
    std::uint64_t v = 0;
    for (int i = 0; i < 8; ++i)
        v = v << 8 | r.Data(i);
    return v;
}

bool RunOnce(double seconds, double rate)
{
    PtyAdapter adapter(rate);
    if (adapter.Path().empty()) {
        std::fprintf(stderr, "no pseudo-terminal\n");
        return false;
    }
    auto device = MakeNativeDevice(std::make_shared<TSerialBackend>(adapter.Path()));
    device->SetBaudRate(kMaxBaudRate);
    benchsupport::MonitorPipeline pipe(device);
    auto& normal = pipe.normal;
    auto& fixed = pipe.fixed;
    auto& bus = pipe.bus;

    if (!bus.Open() || !bus.GoOnBus(OnBusConfig{})) {
        std::fprintf(stderr, "cannot go on bus on %s\n", adapter.Path().c_str());
        return false;
    }
    const double cpu0 = ProcessCpuSeconds(), emuCpu0 = adapter.CpuSeconds();
    const auto t0 = std::chrono::steady_clock::now();
    // The main thread plays the GUI thread: it serves the draw threads' repaints meanwhile.
    const auto until = t0 + std::chrono::duration<double>(seconds);
    WaitServingGuiCalls([&] { return std::chrono::steady_clock::now() >= until; });
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    const double cpu = ProcessCpuSeconds() - cpu0, emuCpu = adapter.CpuSeconds() - emuCpu0;
    const std::uint64_t produced = adapter.Produced();
    const std::size_t backlog = adapter.Backlog();
    bus.GoOffBus();
    // Let both workers empty their rings.
    WaitServingGuiCalls(
        [&] {
            return pipe.normalRing.Count() == 0 && pipe.fixedRing.Count() == 0 &&
                   normal.Drained() + bus.Losses(1).dropped == fixed.Drained() + bus.Losses(2).dropped;
        },
        std::chrono::milliseconds(5000));
    bus.Close();

    // The history must hold an unbroken run of sequence numbers ending at the last one read.
    const TRecordHistory& h = normal.History();
    bool unbroken = h.Count() > 0;
    AdapterRecord r;
    std::uint64_t first = 0, last = 0;
    if (h.GetRecord(0, r))
        first = last = Sequence(r);
    for (std::int32_t i = 1; i < h.Count() && unbroken; ++i) {
        h.GetRecord(i, r);
        unbroken = Sequence(r) == last + 1;
        last = Sequence(r);
    }
    // Nothing overwritten: the run starts at the very first frame.
    unbroken = unbroken && (h.Overwritten() != 0 || first == 0);
    const std::uint64_t framesRead = last + 1;  // sequence numbers start at 0 on bus
    const bool allStored = normal.Drained() == framesRead && fixed.Drained() == framesRead;
    const auto& mon = bus.Reception();
    const std::uint64_t lost = mon.Dropped(1) + mon.Dropped(2) + mon.BadRecords() + adapter.Dropped() +
                               (unbroken ? 0 : 1) + (allStored ? 0 : 1);
    std::printf("rate %8.0f/s %5.1f s: produced %9llu, read %9llu (%.0f/s), in flight at stop %llu; "
                "ring drops %llu/%llu, bad %llu, partial bytes %llu, adapter drops %llu; history %d (overwritten "
                "%llu, unbroken %s), fixed drained %llu; repaints %llu; CPU %.0f%% of one core (+%.0f%% emulator) "
                "-> %s\n",
                rate, wall, (unsigned long long)produced, (unsigned long long)framesRead, double(framesRead) / wall,
                (unsigned long long)(produced - std::min(produced, framesRead) + backlog / 20),
                (unsigned long long)mon.Dropped(1), (unsigned long long)mon.Dropped(2),
                (unsigned long long)mon.BadRecords(), (unsigned long long)mon.PartialBytesDiscarded(),
                (unsigned long long)adapter.Dropped(), h.Count(), (unsigned long long)h.Overwritten(),
                unbroken ? "yes" : "NO", (unsigned long long)fixed.Drained(), (unsigned long long)pipe.pagesFormatted.load(),
                100.0 * (cpu - emuCpu) / wall, 100.0 * emuCpu / wall, lost == 0 ? "zero loss" : "LOSS");
    std::fflush(stdout);
    return lost == 0;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const double seconds = argc > 1 ? std::atof(argv[1]) : 60.0;
    std::vector<double> rates;
    for (int i = 2; i < argc; ++i)
        rates.push_back(std::atof(argv[i]));
    if (rates.empty())
        rates.push_back(60000);
    bool ok = true;
    for (double rate : rates)
        ok = RunOnce(seconds, rate) && ok;
    return ok ? 0 : 1;
}
