// The whole history as text (what Copy and Save take) and the cost of storing one record.
#include <benchmark/benchmark.h>

#include "tviewnormalform/trecordhistory.h"

namespace {

tarvik::AdapterRecord Frame(std::uint32_t n)
{
    tarvik::AdapterRecord r;
    r.bytes[0] = r.bytes[19] = std::uint8_t(n);
    r.bytes[1] = std::uint8_t(n & 1);
    r.bytes[2] = std::uint8_t(n % 9);
    r.bytes[5] = std::uint8_t(n >> 8 & 7);
    r.bytes[6] = std::uint8_t(n);
    for (int k = 7; k < 15; ++k)
        r.bytes[std::size_t(k)] = std::uint8_t(n * std::uint32_t(k));
    r.bytes[16] = std::uint8_t(n >> 16);
    r.bytes[17] = std::uint8_t(n >> 8);
    r.bytes[18] = std::uint8_t(n);
    return r;
}

void BM_GetAllTextFullHistory(benchmark::State& state)
{
    static tarvik::TRecordHistory h;
    if (h.Count() < h.Capacity())
        for (std::uint32_t i = 0; i < std::uint32_t(h.Capacity()); ++i)
            h.Add(Frame(i));
    std::size_t bytes = 0;
    for (auto _ : state) {
        const std::string text = h.GetAllText();
        bytes = text.size();
        benchmark::DoNotOptimize(text.data());
    }
    state.counters["MB"] = double(bytes) / 1e6;
}
BENCHMARK(BM_GetAllTextFullHistory)->Unit(benchmark::kMillisecond)->Iterations(10);

// The text of n records in a history of n: the growth pair of scripts/test.sh (10,000 and
// 100,000) must stay near a ratio of 10.
void BM_GetAllText(benchmark::State& state)
{
    const auto n = std::int32_t(state.range(0));
    tarvik::TRecordHistory h(n);
    for (std::uint32_t i = 0; i < std::uint32_t(n); ++i)
        h.Add(Frame(i));
    for (auto _ : state)
        benchmark::DoNotOptimize(h.GetAllText().size());
}
BENCHMARK(BM_GetAllText)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_AddRecord(benchmark::State& state)
{
    static tarvik::TRecordHistory h;
    std::uint32_t i = 0;
    for (auto _ : state)
        h.Add(Frame(i++));
}
BENCHMARK(BM_AddRecord);

}  // namespace

BENCHMARK_MAIN();
