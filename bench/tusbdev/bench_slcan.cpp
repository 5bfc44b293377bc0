// A serial-line CAN adapter at the top of its link: tarvik-adapter-emu --protocol slcan
// --model load RATE on a pseudo-terminal, read by a bus session as every program reads it.
// Prints records, lost frames (the load model numbers them) and CPU: the device's own
// threads, the receive thread, the emulator. The native adapter at the same rate for scale.
//   bench_slcan [SECONDS [RATE]]     default: 60 s at 10000 frames/s
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <thread>

#include "bus/devicekinds.h"
#include "bus/tbussession.h"
#include "support/emuprocess.h"
#include "tusbdev/tqueuebuffer.h"

using namespace tarvik;
using Clock = std::chrono::steady_clock;

namespace {

double Seconds(const timeval& u, const timeval& s)
{
    return double(u.tv_sec + s.tv_sec) + double(u.tv_usec + s.tv_usec) / 1e6;
}

double ProcessCpu()
{
    rusage r{};
    getrusage(RUSAGE_SELF, &r);
    return Seconds(r.ru_utime, r.ru_stime);
}

void Run(bool slcan, double seconds, const std::string& rate)
{
    const char* name = slcan ? "slcan " : "native";
    testsupport::EmuProcess emu;
    std::vector<std::string> args{"--model", "load", rate};
    if (slcan)
        args.insert(args.begin(), {"--protocol", "slcan"});
    if (!emu.Start(args)) {
        std::printf("%s  emulator did not start\n", name);
        return;
    }
    TBusSession bus(MakePortDevice(slcan ? "slcan" : "native", QString::fromStdString(emu.FirstLine())));
    bus.Device().SetBaudRate(3'000'000);
    TQueueBuffer ring(20, TQueueBuffer::kDefaultCapacity);
    bus.SetSlot(1, &ring);
    if (!bus.Open() || !bus.GoOnBus(OnBusConfig{})) {
        std::printf("%s  go on bus failed\n", name);
        return;
    }
    std::uint64_t expect = 0, records = 0, lost = 0;
    bool first = true;
    const double proc0 = ProcessCpu();
    const auto mon0 = bus.Reception().CpuTime();
    const auto t0 = Clock::now();
    const auto end = t0 + std::chrono::duration<double>(seconds);
    std::uint8_t raw[20];
    while (Clock::now() < end) {
        if (!ring.Pop(raw)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            continue;
        }
        const AdapterRecord r = AdapterRecord::From(raw);
        if (r.Type() != kCanReceived) continue;
        std::uint64_t seq = 0;
        for (int k = 0; k < 8; ++k) seq = (seq << 8) | r.Data(k);
        if (!first && seq > expect) lost += seq - expect;
        first = false;
        expect = seq + 1;
        ++records;
    }
    const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
    const double monCpu = std::chrono::duration<double>(bus.Reception().CpuTime() - mon0).count();
    // The device's own threads (none on the native path) and this reading thread.
    const double otherCpu = ProcessCpu() - proc0 - monCpu;
    bus.GoOffBus();
    const TSessionLosses losses = bus.Losses(1);
    bus.SetSlot(1, nullptr);
    bus.Close();
    emu.Signal(SIGTERM);
    rusage child{};
    int status = 0;
    wait4(emu.Pid(), &status, 0, &child);
    emu.Forget();
    std::printf("%s  %.0f s  %9llu frames  %7.0f frames/s  %llu lost  device lost %llu  device and reader threads "
                "%.2f %%  receive thread %.2f %%  emulator %.2f %% of one core\n",
                name, wall, static_cast<unsigned long long>(records), double(records) / wall,
                static_cast<unsigned long long>(lost), static_cast<unsigned long long>(losses.deviceLost),
                100.0 * otherCpu / wall, 100.0 * monCpu / wall,
                100.0 * Seconds(child.ru_utime, child.ru_stime) / wall);
}

}  // namespace

int main(int argc, char** argv)
{
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const double seconds = argc > 1 ? std::atof(argv[1]) : 60.0;
    const std::string rate = argc > 2 ? argv[2] : "10000";
    std::printf("%s frames/s for %.0f s\n", rate.c_str(), seconds);
    Run(true, seconds, rate);
    Run(false, seconds, rate);
}
