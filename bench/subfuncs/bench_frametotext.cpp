// FrameToText per line against the printf forms, and the ratio of the two in the same run.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "support/printfreference.h"
#include "subfuncs/subfuncs.h"

namespace {

// A mix like real traffic: mostly standard CAN, some extended and LIN, varied lengths.
std::vector<tarvik::AdapterRecord> Traffic()
{
    std::vector<tarvik::AdapterRecord> v;
    std::uint32_t seed = 12345;
    auto next = [&] { return seed = seed * 1103515245u + 12345u; };
    for (int i = 0; i < 256; ++i) {
        tarvik::AdapterRecord r;
        const int kind = i % 8;
        r.bytes[1] = kind < 6 ? std::uint8_t(i & 1) : std::uint8_t(0x80 | (i & 1));
        r.bytes[2] = std::uint8_t((kind == 5 ? 0x80 : 0) | (i % 9));
        const std::uint32_t id = next();
        r.bytes[3] = kind >= 6 ? 'P' * (i & 1) : (kind == 5 ? std::uint8_t(id >> 24 & 0x1F) : 0);
        r.bytes[4] = kind == 5 ? std::uint8_t(id >> 16) : 0;
        r.bytes[5] = std::uint8_t(id >> 8 & (kind == 5 ? 0xFF : 0x07));
        r.bytes[6] = std::uint8_t(id);
        for (int k = 0; k < 8; ++k)
            r.bytes[7 + k] = std::uint8_t(next() >> 16);
        const std::uint32_t stamp = next();
        r.bytes[15] = std::uint8_t(stamp >> 24);
        r.bytes[16] = std::uint8_t(stamp >> 16);
        r.bytes[17] = std::uint8_t(stamp >> 8);
        r.bytes[18] = std::uint8_t(stamp);
        r.bytes[0] = r.bytes[19] = std::uint8_t(i);
        v.push_back(r);
    }
    return v;
}

const std::vector<tarvik::AdapterRecord> kTraffic = Traffic();

void BM_FormatFrame(benchmark::State& state)
{
    char buf[tarvik::kMaxFrameTextLength];
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(tarvik::FormatFrame(kTraffic[i++ & 255], buf));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_FormatFrame);

void BM_FrameToText(benchmark::State& state)
{
    std::size_t i = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(tarvik::FrameToText(kTraffic[i++ & 255]));
}
BENCHMARK(BM_FrameToText);

void BM_PrintfForm(benchmark::State& state)
{
    std::size_t i = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(testsupport::reference::Format(kTraffic[i++ & 255]));
}
BENCHMARK(BM_PrintfForm);

// Adds the speed-up over the printf forms after the usual table.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const auto& r : runs)
            if (r.run_type == Run::RT_Iteration && r.iterations > 0)
                ns_[r.run_name.function_name] = r.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
    void Finalize() override
    {
        ConsoleReporter::Finalize();
        const double ref = ns_["BM_PrintfForm"];
        for (const char* name : {"BM_FormatFrame", "BM_FrameToText"})
            if (ns_[name] > 0 && ref > 0)
                std::printf("%s: %.1f ns/line, %.1fx faster than the printf form (%.1f ns/line)\n", name, ns_[name],
                            ref / ns_[name], ref);
    }

private:
    std::map<std::string, double> ns_;
};

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
