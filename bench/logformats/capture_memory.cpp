// A long capture's memory: tarvik-dump's loop on the in-process emulator's load model,
// rotating BLF files, with the peak resident size printed every minute and at the end.
//
//   capture_memory [seconds] [frames/s] [dir]      default 3600 s at 5000 frames/s into /tmp
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "dumptool.h"
#include "emulator/emulatorbackend.h"
#include "emulator/loadmodel.h"

namespace {

long PeakKb(const char* field)
{
    long kb = -1;
    if (std::FILE* f = std::fopen("/proc/self/status", "r")) {
        char line[256];
        const std::size_t n = std::char_traits<char>::length(field);
        while (std::fgets(line, sizeof line, f))
            if (std::string(line).compare(0, n, field) == 0)
                kb = std::atol(line + n);
        std::fclose(f);
    }
    return kb;
}

}  // namespace

int main(int argc, char** argv)
{
    const double seconds = argc > 1 ? std::atof(argv[1]) : 3600;
    const double rate = argc > 2 ? std::atof(argv[2]) : 5000;
    const std::string dir = argc > 3 ? argv[3] : "/tmp";
    tarvik::TDumpOptions o;
    o.source = tarvik::TDumpOptions::Source::Simulate;
    o.format = tarvik::TDumpOptions::Format::Blf;
    o.output = dir + "/capture_memory_%H%M%S.blf";
    o.rotateSize = 20'000'000;
    o.duration = seconds;
    auto emu = std::make_shared<tarvik::TEmulatorBackend>(std::make_unique<tarvik::TLoadModel>(rate));
    std::atomic<bool> stop{false}, done{false};
    std::thread watch([&] {
        const auto began = std::chrono::steady_clock::now();
        auto next = began + std::chrono::seconds(60);
        while (!done.load()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            if (std::chrono::steady_clock::now() >= next) {
                next += std::chrono::seconds(60);
                std::printf("%4.0f s: resident %ld kB, peak %ld kB\n",
                            std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count(),
                            PeakKb("VmRSS:"), PeakKb("VmHWM:"));
                std::fflush(stdout);
            }
        }
    });
    const long before = PeakKb("VmHWM:");
    const int status = tarvik::RunDump(o, emu, stdout, stderr, stop);
    done.store(true);
    watch.join();
    std::printf("%.0f s at %.0f frames/s: peak resident %ld kB (%ld kB before the capture); files in %s "
                "(capture_memory_*.blf, remove them)\n",
                seconds, rate, PeakKb("VmHWM:"), before, dir.c_str());
    return status;
}
