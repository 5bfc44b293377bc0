// A recorded trace replayed as fast as the program reads, through the whole monitor
// pipeline: the emulator's replay model in process, TUsbDev, TMonThread, both monitor rings
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
#include "emulator/replaymodel.h"
#include "logformats/candumplog.h"
#include "platform/guicall.h"
#include "platform/tmmtimer.h"
#include "tmainform/buscontrol.h"
#include "tmainform/tmonthread.h"
#include "tusbdev/tqueuebuffer.h"
#include "tusbdev/tusbdev.h"
#include "tviewfixedform/tfixedlogthread.h"
#include "tviewnormalform/tnormallogthread.h"

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
    TUsbDev dev(0, emu);
    TMonThread mon(dev);
    mon.SetHoldWhenFull(true);  // as the main window does for a replay played as fast as read
    TMmTimer ticks;
    TQueueBuffer normalRing(20, TQueueBuffer::kDefaultCapacity), fixedRing(20, TQueueBuffer::kDefaultCapacity);
    TNormalLogThread* normalPtr = nullptr;
    auto repaint = [&] {
        if (!normalPtr)
            return;
        const std::int32_t c = normalPtr->Count();
        for (std::int32_t i = std::max(0, c - 58); i < c; ++i)
            (void)normalPtr->GetLine(i);
    };
    TNormalLogThread normal(repaint, ticks, normalRing, 100, std::int32_t(n));
    normalPtr = &normal;
    TFixedLogThread fixed([] {}, ticks, fixedRing);
    mon.SetSlot(1, &normalRing);
    mon.SetSlot(2, &fixedRing);
    TBusControl bus(dev, {[&] { return mon.Start(); }, [&] { mon.Stop(); }, [&] { return mon.Running(); }});
    if (!dev.Open() || !bus.GoOnBus(OnBusConfig{})) {
        std::fprintf(stderr, "cannot go on bus\n");
        return 1;
    }
    const auto t0 = std::chrono::steady_clock::now();
    auto lost = [&] { return mon.Dropped(1) + mon.Dropped(2) + mon.BadRecords(); };
    const bool done = WaitServingGuiCalls(
        [&] { return (normal.Drained() >= n && fixed.Drained() >= n) || lost() > 0; }, std::chrono::seconds(120));
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    bus.GoOffBus();
    dev.Close();
    const std::uint64_t emuDropped = emu->WithEngine([](AdapterEmulator& e) { return e.DroppedRecords(); });
    std::printf("replay --fast of %u frames: %.2f s, %.0f frames/s; stored %llu and %llu; lost %llu (rings %llu/%llu, "
                "bad %llu), emulator dropped %llu%s\n",
                n, wall, double(normal.Drained()) / wall, (unsigned long long)normal.Drained(),
                (unsigned long long)fixed.Drained(), (unsigned long long)lost(), (unsigned long long)mon.Dropped(1),
                (unsigned long long)mon.Dropped(2), (unsigned long long)mon.BadRecords(),
                (unsigned long long)emuDropped, done ? "" : " (timed out)");
    std::remove(path.c_str());
    return lost() == 0 && done ? 0 : 1;
}
