// A serial-line CAN adapter at the top of its link: tarvik-adapter-emu --protocol slcan
// --model load RATE on a pseudo-terminal, read through the bridge the way the receive thread
// reads. Prints records, lost frames (the load model numbers them) and CPU: the bridge's own
// threads, the reading thread, the emulator. The native adapter at the same rate for scale.
//   bench_slcanbridge [SECONDS [RATE]]     default: 60 s at 10000 frames/s
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <thread>

#include "support/emuprocess.h"
#include "support/usbhelpers.h"
#include "tusbdev/serialbackend.h"
#include "tusbdev/slcanbridge.h"

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

double ThreadCpu()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
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
    std::shared_ptr<TFtBackend> port = std::make_shared<TSerialBackend>(emu.FirstLine());
    std::shared_ptr<TSlcanBridge> bridge;
    if (slcan)
        port = bridge = std::make_shared<TSlcanBridge>(port);
    TUsbDev dev(0, port);
    dev.SetBaudRate(3'000'000);
    if (!dev.Open() || !testsupport::GoOnBusCan(dev)) {
        std::printf("%s  go on bus failed\n", name);
        return;
    }
    std::vector<std::uint8_t> buf(163840);
    std::uint64_t expect = 0, records = 0, lost = 0;
    bool first = true;
    const double proc0 = ProcessCpu(), main0 = ThreadCpu();
    const auto t0 = Clock::now();
    const auto end = t0 + std::chrono::duration<double>(seconds);
    // As the receive thread reads: queue level, 1 ms sleep when empty, whole records.
    while (Clock::now() < end) {
        std::uint32_t rx = 0;
        dev.GetQueueStatus(&rx);
        if (rx < 20) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            continue;
        }
        std::uint32_t got = 0;
        dev.Read(buf.data(), std::min<std::uint32_t>(rx / 20 * 20, std::uint32_t(buf.size())), &got);
        for (std::uint32_t i = 0; i + 20 <= got; i += 20) {
            const AdapterRecord r = AdapterRecord::From(buf.data() + i);
            if (r.Type() != kCanReceived)
                continue;
            std::uint64_t seq = 0;
            for (int k = 0; k < 8; ++k)
                seq = (seq << 8) | r.Data(k);
            if (!first && seq > expect)
                lost += seq - expect;
            first = false;
            expect = seq + 1;
            ++records;
        }
    }
    const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
    const double mainCpu = ThreadCpu() - main0;
    const double otherCpu = ProcessCpu() - proc0 - mainCpu;  // the bridge's threads; none on the native path
    testsupport::Send(dev, cmd::OffBus(), false);
    const auto counters = bridge ? bridge->GetCounters() : TSlcanBridge::Counters{};
    dev.Close();
    emu.Signal(SIGTERM);
    rusage child{};
    int status = 0;
    wait4(emu.Pid(), &status, 0, &child);
    emu.Forget();
    std::printf("%s  %.0f s  %9llu frames  %7.0f frames/s  %llu lost  bad lines %llu  bridge threads %.2f %%  reader %.2f %%"
                "  emulator %.2f %% of one core\n",
                name, wall, static_cast<unsigned long long>(records), double(records) / wall,
                static_cast<unsigned long long>(lost), static_cast<unsigned long long>(counters.badLines),
                100.0 * otherCpu / wall, 100.0 * mainCpu / wall,
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
