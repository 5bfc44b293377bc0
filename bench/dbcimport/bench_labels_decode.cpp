// Throughput of "tarvik-labels decode" on a generated candump log.
//   bench_labels_decode [LABELFILE [LINES]]
// LABELFILE defaults to examples/vehicle-labels.txt, LINES to 1,000,000. Four of five
// frames carry a labelled identifier (cycling through the table's keys), one does not.
#include <algorithm>
#include <array>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include "labelstool.h"
#include "ttlabelinfo/labeltable.h"

int main(int argc, char** argv)
{
    const std::string labels =
        argc > 1 ? argv[1] : std::string(TARVIK_SOURCE_DIR) + "/examples/vehicle-labels.txt";
    const long lines = argc > 2 ? std::atol(argv[2]) : 1000000;

    tarvik::LabelTable table;
    const std::array<std::uint32_t, 16> palette{};
    if (!table.LoadFromFile(labels, palette) || table.GroupCount() == 0) {
        std::fprintf(stderr, "no labels in %s\n", labels.c_str());
        return 1;
    }

    const std::string logPath = std::string(TARVIK_BINARY_DIR) + "/decode_bench.log";
    std::FILE* log = std::fopen(logPath.c_str(), "wb");
    if (!log) {
        std::perror(logPath.c_str());
        return 1;
    }
    std::mt19937_64 rng(1);
    std::uint64_t usec = 0;
    for (long i = 0; i < lines; ++i) {
        usec += 100;
        std::uint32_t key = (i % 5 == 4) ? 0x7E8 : table.Group(static_cast<int>(i % table.GroupCount())).Key;
        const std::uint64_t data = rng();
        if (key & 0x80000000u)
            std::fprintf(log, "(%llu.%06llu) can0 %08X#%016llX\n", 1436509052ull + usec / 1000000,
                         static_cast<unsigned long long>(usec % 1000000), key & 0x1FFFFFFFu,
                         static_cast<unsigned long long>(data));
        else
            std::fprintf(log, "(%llu.%06llu) can0 %03X#%016llX\n", 1436509052ull + usec / 1000000,
                         static_cast<unsigned long long>(usec % 1000000), key,
                         static_cast<unsigned long long>(data));
    }
    const long bytes = std::ftell(log);
    std::fclose(log);

    // The machine may be shared: processor time shows the cost when the wall clock waits.
    double best = 1e9, bestCpu = 1e9;
    for (int run = 0; run < 3; ++run) {
        std::FILE* out = std::fopen("/dev/null", "wb");
        std::FILE* err = std::fopen("/dev/null", "wb");
        const char* args[] = {"tarvik-labels", "decode", labels.c_str(), logPath.c_str()};
        const auto t0 = std::chrono::steady_clock::now();
        const std::clock_t c0 = std::clock();
        const int status = tarvik::RunTarvikLabels(4, args, stdin, out, err);
        const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        const double cpu = static_cast<double>(std::clock() - c0) / CLOCKS_PER_SEC;
        std::fclose(out);
        std::fclose(err);
        if (status != 0) {
            std::fprintf(stderr, "decode failed with status %d\n", status);
            return 1;
        }
        best = std::min(best, s);
        bestCpu = std::min(bestCpu, cpu);
    }
    std::printf("%ld lines (%.1f MB), %d labels in %d groups, best of 3:\n"
                "  wall %.3f s: %.0f frames/s, %.0f MB/s\n"
                "  processor %.3f s: %.0f frames/s\n",
                lines, bytes / 1e6, table.Count(), table.GroupCount(), best, lines / best,
                bytes / 1e6 / best, bestCpu, lines / bestCpu);
    if (!std::getenv("KEEP_LOG"))
        std::remove(logPath.c_str());
    return 0;
}
