// A recorded trace replayed as fast as the program reads, through the whole monitor
// pipeline: the emulator's replay model in process, the bus session, both monitor rings
// and both log threads (the scrolling one formatting a page per repaint).
//
//   replay_throughput [frames] [dir]      default 1000000 frames, log written into /tmp
//
// Prints the frames per second from go-on-bus until both histories hold every frame, and
// every drop on the way (a paced replay drops nothing, so any drop here is a loss).
#include <QCoreApplication>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "emulator/emulatorbackend.h"
#include "support/monitorpipeline.h"
#include "emulator/replaymodel.h"
#include "logformats/candumplog.h"
#include "platform/guicall.h"
#include "bus/devicekinds.h"

using namespace tarvik;

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const std::uint32_t n = argc > 1 ? std::uint32_t(std::atoi(argv[1])) : 1'000'000;
    const std::string path = std::string(argc > 2 ? argv[2] : "/tmp") + "/replay_throughput.log";
    {
        std::FILE* f = std::fopen(path.c_str(), "w");
        if (!f) {
            std::perror(path.c_str());
            return 1;
        }
        char line[kMaxCandumpLine];
        for (std::uint32_t i = 0; i < n; ++i) {
            AdapterRecord r;
            r.bytes[1] = kCanReceived;
            r.bytes[2] = 8;
            r.bytes[5] = std::uint8_t(i >> 8 & 0x07);
            r.bytes[6] = std::uint8_t(i);
            for (int k = 0; k < 4; ++k)
                r.bytes[11 + k] = std::uint8_t(i >> (24 - 8 * k));  // running number in data bytes 4..7
            std::fwrite(line, 1, FormatCandumpLine(r, 1'700'000'000'000'000 + std::int64_t(i) * 100, line), f);
        }
        std::fclose(f);
    }
    std::string error;
    auto model = TReplayModel::Open(path, true, 1.0, &error);
    if (!model) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    auto emu = std::make_shared<TEmulatorBackend>(std::move(model));
    benchsupport::MonitorPipeline pipe(MakeNativeDevice(emu), std::int32_t(n));
    pipe.bus.SetHoldWhenFull(true);  // as the main window does for a replay played as fast as read
    if (!pipe.bus.Open() || !pipe.bus.GoOnBus(OnBusConfig{})) {
        std::fprintf(stderr, "cannot go on bus\n");
        return 1;
    }
    const auto t0 = std::chrono::steady_clock::now();
    const bool done = WaitServingGuiCalls(
        [&] { return (pipe.normal.Drained() >= n && pipe.fixed.Drained() >= n) || pipe.Lost() > 0; },
        std::chrono::seconds(120));
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    pipe.bus.GoOffBus();
    pipe.bus.Close();
    const std::uint64_t emuDropped = emu->WithEngine([](AdapterEmulator& e) { return e.DroppedRecords(); });
    std::printf("replay --fast of %u frames: %.2f s, %.0f frames/s; stored %llu and %llu; lost %llu (rings %llu/%llu, "
                "bad %llu), emulator dropped %llu%s\n",
                n, wall, double(pipe.normal.Drained()) / wall, (unsigned long long)pipe.normal.Drained(),
                (unsigned long long)pipe.fixed.Drained(), (unsigned long long)pipe.Lost(),
                (unsigned long long)pipe.bus.Losses(1).dropped, (unsigned long long)pipe.bus.Losses(2).dropped,
                (unsigned long long)pipe.bus.Losses(1).badRecords,
                (unsigned long long)emuDropped, done ? "" : " (timed out)");
    std::remove(path.c_str());
    return pipe.Lost() == 0 && done ? 0 : 1;
}
