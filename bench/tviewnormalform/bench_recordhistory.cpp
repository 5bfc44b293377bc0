// The whole history as text (what Copy and Save take) and the cost of storing one record.
#include <benchmark/benchmark.h>

#include <memory>

#include "tviewnormalform/tfilteredlines.h"
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

// A full history that has wrapped: 1,500,000 records stored, the oldest 500,000 overwritten.
const tarvik::TRecordHistory& WrappedHistory(std::int32_t capacity)
{
    static std::unique_ptr<tarvik::TRecordHistory> h;
    if (!h || h->Capacity() != capacity) {
        h = std::make_unique<tarvik::TRecordHistory>(capacity);
        for (std::uint32_t i = 0; i < std::uint32_t(capacity) * 3 / 2; ++i)
            h->Add(Frame(i));
    }
    return *h;
}

// The find bar's search when nothing matches, at its dearest: every record passes the
// direction and identifier and has its data compared; data "12 ?? 34" occurs nowhere.
tarvik::TFrameMatch NoMatch()
{
    tarvik::TFrameMatch m;
    tarvik::ParseFrameMatch("0-7FF", "12 ?? 34", tarvik::TMatchDirection::Any, m, nullptr);
    return m;
}

void BM_Find(benchmark::State& state)
{
    const auto& h = WrappedHistory(std::int32_t(state.range(0)));
    const tarvik::TFrameMatch m = NoMatch();
    for (auto _ : state)
        if (h.Find(m, 0, true) != -1)
            state.SkipWithError("found a record that does not match");
}
BENCHMARK(BM_Find)->Arg(100'000)->Arg(1'000'000)->Unit(benchmark::kMillisecond);

// Building the filtered view from nothing: identifiers 0x100-0x1FF, about an eighth of the records.
void BM_BuildFilter(benchmark::State& state)
{
    const auto& h = WrappedHistory(std::int32_t(state.range(0)));
    tarvik::TFrameMatch m;
    tarvik::ParseFrameMatch("100-1FF", "", tarvik::TMatchDirection::Any, m, nullptr);
    std::int32_t shown = 0;
    for (auto _ : state) {
        tarvik::TFilteredLines f;
        f.SetMatch(m);
        f.Update(h);
        shown = f.Count();
    }
    std::int32_t expected = 0;
    for (std::uint32_t n = std::uint32_t(h.Overwritten()); n < std::uint32_t(h.Overwritten()) + std::uint32_t(h.Count()); ++n)
        expected += (n & 0x700) == 0x100;
    if (shown != expected)
        state.SkipWithError("the filter shows the wrong number of lines");
    state.counters["shown"] = double(shown);
}
BENCHMARK(BM_BuildFilter)->Arg(100'000)->Arg(1'000'000)->Unit(benchmark::kMillisecond);

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
