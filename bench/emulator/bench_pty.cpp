// Records per second read through TUsbDev on a pseudo-terminal from tarvik-adapter-emu
// --model load, and CPU seconds (both processes) per 100,000 records.
//   bench_emulator_pty [RATE|max ...]     default: 15000 21277 60000 200000 max
#include <sys/resource.h>
#include <sys/wait.h>

#include <cstdio>
#include <thread>

#include "emulator/emulatorbackend.h"
#include "emulator/loadmodel.h"
#include "support/emuprocess.h"
#include "support/usbhelpers.h"
#include "tusbdev/serial/serialbackend.h"

using namespace tarvik;
using Clock = std::chrono::steady_clock;

namespace {

double CpuSeconds(const rusage& r)
{
    return double(r.ru_utime.tv_sec + r.ru_stime.tv_sec) + double(r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1e6;
}

double SelfCpu()
{
    rusage r{};
    getrusage(RUSAGE_SELF, &r);
    return CpuSeconds(r);
}

struct Result {
    std::uint64_t records = 0, lost = 0;
    double seconds = 0, hostCpu = 0;
};

// Reads like the receive thread: queue level, 1 ms sleep when empty, whole records.
Result Drain(TUsbDev& dev, double seconds)
{
    Result res;
    std::vector<std::uint8_t> buf(163840);
    std::uint64_t expect = 0;
    const double cpu0 = SelfCpu();
    const auto t0 = Clock::now();
    const auto end = t0 + std::chrono::duration<double>(seconds);
    while (Clock::now() < end) {
        std::uint32_t rx = 0;
        dev.GetQueueStatus(&rx);
        if (rx == 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            continue;
        }
        const std::uint32_t want = std::min<std::uint32_t>((rx + 19) / 20 * 20, std::uint32_t(buf.size()));
        std::uint32_t got = 0;
        dev.Read(buf.data(), want, &got);
        for (std::uint32_t i = 0; i + 20 <= got; i += 20) {
            AdapterRecord r;
            std::copy_n(buf.begin() + i, 20, r.bytes.begin());
            if (r.Type() != kCanReceived)
                continue;
            std::uint64_t seq = 0;
            for (int k = 0; k < 8; ++k)
                seq = (seq << 8) | r.Data(k);
            if (seq > expect)
                res.lost += seq - expect;
            expect = seq + 1;
            ++res.records;
        }
    }
    res.seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    res.hostCpu = SelfCpu() - cpu0;
    return res;
}

void RunPty(const std::string& rate, double seconds)
{
    testsupport::EmuProcess emu;
    if (!emu.Start({"--model", "load", rate})) {
        std::printf("%-8s  emulator did not start\n", rate.c_str());
        return;
    }
    TUsbDev dev(0, std::make_shared<TSerialBackend>(emu.FirstLine()));
    dev.SetBaudRate(3'000'000);
    dev.SetErrorPresenter([](const std::string& m) { std::fprintf(stderr, "%s\n", m.c_str()); });
    if (!dev.Open() || !testsupport::GoOnBusCan(dev)) {
        std::printf("%-8s  go on bus failed\n", rate.c_str());
        return;
    }
    const Result r = Drain(dev, seconds);
    testsupport::Send(dev, cmd::OffBus(), false);
    dev.Close();
    emu.Signal(SIGTERM);
    // The child's CPU covers its whole life; start-up and the go-on-bus are a few ms of it.
    rusage child{};
    int status = 0;
    const pid_t pid = emu.Pid();
    wait4(pid, &status, 0, &child);
    emu.Forget();
    const double emuCpu = CpuSeconds(child);
    const double per100k = r.records ? (r.hostCpu + emuCpu) * 100000.0 / double(r.records) : 0;
    std::printf("%-8s  %10.0f rec/s  %9llu records  %6llu lost  host %.3f s + emulator %.3f s CPU  = %.3f CPU s per 100,000\n",
                rate.c_str(), double(r.records) / r.seconds, static_cast<unsigned long long>(r.records),
                static_cast<unsigned long long>(r.lost), r.hostCpu, emuCpu, per100k);
}

void RunInProcess(double seconds)
{
    auto backend = std::make_shared<TEmulatorBackend>(std::make_unique<TLoadModel>(0));
    TUsbDev dev(0, backend);
    if (!dev.Open() || !testsupport::GoOnBusCan(dev))
        return;
    const Result r = Drain(dev, seconds);
    std::printf("in-process max  %10.0f rec/s  %9llu records  %6llu lost  %.3f CPU s per 100,000 (both sides, one process)\n",
                double(r.records) / r.seconds, static_cast<unsigned long long>(r.records),
                static_cast<unsigned long long>(r.lost), r.records ? r.hostCpu * 100000.0 / double(r.records) : 0);
}

void RunIdle(double seconds)
{
    testsupport::EmuProcess emu;
    if (!emu.Start({"--model", "vehicle"}))
        return;
    TUsbDev dev(0, std::make_shared<TSerialBackend>(emu.FirstLine()));
    if (!dev.Open() || !testsupport::GoOnBusCan(dev))
        return;
    const Result r = Drain(dev, seconds);
    emu.Signal(SIGTERM);
    rusage child{};
    int status = 0;
    wait4(emu.Pid(), &status, 0, &child);
    emu.Forget();
    std::printf("vehicle   %10.0f rec/s over %.0f s: emulator %.3f s CPU, reader %.3f s CPU\n",
                double(r.records) / r.seconds, r.seconds, CpuSeconds(child), r.hostCpu);
}

}  // namespace

int main(int argc, char** argv)
{
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    std::vector<std::string> rates(argv + 1, argv + argc);
    if (rates.empty())
        rates = {"15000", "21277", "60000", "200000", "max"};
    std::printf("Physical limits: 3,000,000 baud 15,000 rec/s; 12,000,000 baud 60,000 rec/s; "
                "1 Mbit/s CAN saturated 21,277 frames/s\n");
    for (const auto& rate : rates)
        RunPty(rate, 5.0);
    RunInProcess(3.0);
    RunIdle(5.0);
}
