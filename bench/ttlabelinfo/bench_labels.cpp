// Decoding cost per label and the throughput of LabelTable::DecodeFrame, which runs for
// every accepted frame on the acquisition thread; and the calculator on scale texts.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdio>
#include <vector>

#include "ttlabelinfo/labeltable.h"
#include "ttlabelinfo/tstrcalc.h"

using namespace tarvik;

namespace {

// Varying frame data so that nothing is folded into a constant.
std::vector<std::uint64_t> Frames(std::size_t n)
{
    std::vector<std::uint64_t> v(n);
    std::uint64_t x = 0x9E3779B97F4A7C15ull;
    for (auto& d : v) {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        d = x;
    }
    return v;
}

void DecodeOne(benchmark::State& state, const char* line)
{
    TLabelData l;
    l.SetFromLine(line);
    const auto frames = Frames(1024);
    std::size_t i = 0;
    for (auto _ : state) {
        l.Decode(frames[i++ & 1023]);
    }
    benchmark::DoNotOptimize(l.Value());
    state.SetItemsProcessed(state.iterations());
}

void BM_Decode_BigEndianInt(benchmark::State& s) { DecodeOne(s, "a,\"signed short\",,1,Big,4,12,0.25,-40"); }
void BM_Decode_LittleEndianInt(benchmark::State& s) { DecodeOne(s, "a,\"unsigned short\",,1,Little,8,16,0.1,0"); }
void BM_Decode_LittleEndianPartial(benchmark::State& s) { DecodeOne(s, "a,\"signed short\",,1,Little,8,12,0.1,0"); }
void BM_Decode_Float(benchmark::State& s) { DecodeOne(s, "a,float,,1,Big,32,32"); }
void BM_Decode_Double(benchmark::State& s) { DecodeOne(s, "a,double,,1,Little,0,64"); }
BENCHMARK(BM_Decode_BigEndianInt);
BENCHMARK(BM_Decode_LittleEndianInt);
BENCHMARK(BM_Decode_LittleEndianPartial);
BENCHMARK(BM_Decode_Float);
BENCHMARK(BM_Decode_Double);

// 100 labels over 20 frame keys (5 labels each, mixed types and byte orders), decoded
// from a stream that cycles through the 20 keys.
void BM_DecodeFrame_100Labels(benchmark::State& state)
{
    static const char* kTypes[] = {"\"unsigned short\"", "\"signed char\"", "bit", "\"signed long\"",
                                   "\"unsigned char\""};
    static const int kWidths[] = {16, 8, 1, 32, 8};
    std::vector<std::string> lines;
    for (int k = 0; k < 20; ++k) {
        for (int j = 0; j < 5; ++j) {
            char buf[128];
            std::snprintf(buf, sizeof buf, "L%d_%d,%s,%s,0x%X,%s,%d,%d,0.5,-3", k, j, kTypes[j],
                          k % 4 == 0 ? "X" : "", 0x100 + k * 17, (k + j) % 2 ? "Big" : "Little", j * 12,
                          kWidths[j]);
            lines.emplace_back(buf);
        }
    }
    LabelTable table;
    const std::array<std::uint32_t, 16> palette{};
    table.LoadFromLines(lines, palette);
    // The stream: keys in a shuffled cycle, precomputed so the loop itself stays cheap.
    const auto frames = Frames(4096);
    std::vector<std::uint32_t> keys(4096);
    for (std::size_t k = 0; k < keys.size(); ++k)
        keys[k] = table.Group(static_cast<int>((k * 7 + (frames[k] & 1)) % table.GroupCount())).Key;
    std::size_t i = 0;
    std::int64_t labels = 0;
    for (auto _ : state) {
        labels += table.DecodeFrame(keys[i & 4095], frames[i & 4095]);
        ++i;
    }
    state.SetItemsProcessed(labels);
    state.counters["labels/s"] = benchmark::Counter(static_cast<double>(labels), benchmark::Counter::kIsRate);
    state.counters["frames/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_DecodeFrame_100Labels);

// The same table with one key holding all 100 labels: the per-label cost without lookups.
void BM_DecodeFrame_100LabelsOneKey(benchmark::State& state)
{
    std::vector<std::string> lines;
    for (int j = 0; j < 100; ++j) {
        char buf[128];
        std::snprintf(buf, sizeof buf, "L%d,\"unsigned short\",,0x123,%s,%d,16,0.5,-3", j,
                      j % 2 ? "Big" : "Little", (j * 8) % 48);
        lines.emplace_back(buf);
    }
    LabelTable table;
    const std::array<std::uint32_t, 16> palette{};
    table.LoadFromLines(lines, palette);
    const auto frames = Frames(4096);
    std::size_t i = 0;
    std::int64_t labels = 0;
    for (auto _ : state)
        labels += table.DecodeFrame(0x123, frames[i++ & 4095]);
    state.SetItemsProcessed(labels);
    state.counters["labels/s"] = benchmark::Counter(static_cast<double>(labels), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_DecodeFrame_100LabelsOneKey);

// Reference under the same machine load: a plain mask/shift/multiply-add loop over 100
// fields with no lookup, no byte order and no types.
void BM_Anchor_PlainMaskShiftLoop(benchmark::State& state)
{
    struct Field {
        std::uint64_t mask;
        int shift;
        double k, c;
    };
    std::vector<Field> fields;
    for (int j = 0; j < 100; ++j) {
        const int start = (j * 8) % 48;
        fields.push_back({0xFFFFull << (48 - start), 48 - start, 0.5, -3});
    }
    std::vector<double> values(100);
    const auto frames = Frames(4096);
    std::size_t i = 0;
    for (auto _ : state) {
        const std::uint64_t d = frames[i++ & 4095];
        for (std::size_t j = 0; j < fields.size(); ++j)
            values[j] = static_cast<double>((d & fields[j].mask) >> fields[j].shift) * fields[j].k + fields[j].c;
        benchmark::ClobberMemory();
    }
    state.counters["labels/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * 100, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Anchor_PlainMaskShiftLoop);

// Loading and grouping n labels, each on an extended identifier of its own (the shape of a
// large DBC import). The target: 1,000,000 labels grouped in under a second.
std::vector<std::string> DistinctKeyLines(std::uint32_t n)
{
    std::vector<std::string> lines;
    lines.reserve(n);
    for (std::uint32_t k = 0; k < n; ++k) {
        char buf[96];
        std::snprintf(buf, sizeof buf, "S%u,\"unsigned char\",X,0x%X,Big,%u,8,0.5,-3", k, k, (k & 1) * 8);
        lines.emplace_back(buf);
    }
    return lines;
}

void BM_LoadAndGroup(benchmark::State& state)
{
    const auto n = static_cast<std::uint32_t>(state.range(0));
    const std::vector<std::string> lines = DistinctKeyLines(n);
    const std::array<std::uint32_t, 16> palette{};
    LabelTable table;
    for (auto _ : state) {
        table.LoadFromLines(lines, palette);
        benchmark::DoNotOptimize(table.GroupCount());
    }
    state.counters["groups"] = table.GroupCount();
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * n);
}
BENCHMARK(BM_LoadAndGroup)->Arg(40'000)->Arg(1'000'000)->Unit(benchmark::kMillisecond)->Iterations(3);

// The grouping alone: labels already read, handed to the table (the copy of the input and
// the release of the previous table are not timed).
void BM_GroupOnly(benchmark::State& state)
{
    const auto n = static_cast<std::uint32_t>(state.range(0));
    const std::vector<std::string> lines = DistinctKeyLines(n);
    std::vector<TGraphInfo> parsed(lines.size());
    for (std::size_t i = 0; i < lines.size(); ++i)
        parsed[i].SetFromLine(lines[i]);
    LabelTable table;
    for (auto _ : state) {
        state.PauseTiming();
        table.Clear();
        std::vector<TGraphInfo> copy = parsed;
        state.ResumeTiming();
        table.LoadFromLabels(std::move(copy));
        benchmark::DoNotOptimize(table.GroupCount());
    }
    state.counters["groups"] = table.GroupCount();
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * n);
}
// 10,000 and 100,000 are the growth pair of scripts/test.sh: linear grouping keeps their
// ratio near 10, a return to comparing every label with every other makes it 100.
BENCHMARK(BM_GroupOnly)->Arg(10'000)->Arg(100'000)->Arg(1'000'000)->Unit(benchmark::kMillisecond)->Iterations(3);

void Calc(benchmark::State& state, const char* text)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(TStrCalc::Calc(text));
}
void BM_Calc_Scale(benchmark::State& s) { Calc(s, "0.25"); }
void BM_Calc_Fraction(benchmark::State& s) { Calc(s, "1/16"); }
void BM_Calc_Expression(benchmark::State& s) { Calc(s, "(5/9)*0.1-40"); }
BENCHMARK(BM_Calc_Scale);
BENCHMARK(BM_Calc_Fraction);
BENCHMARK(BM_Calc_Expression);

}  // namespace

BENCHMARK_MAIN();
