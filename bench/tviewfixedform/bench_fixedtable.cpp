// What the fixed-position view's count, cycle and changed-byte bookkeeping adds to storing
// a record: the same stream of 60,000 records over 200 identifiers stored with it and
// without it. One iteration is one second of traffic at 60,000 records/s, so its time is the
// part of a core the table takes at that rate (2.3 ms: 0.23 %).
#include <benchmark/benchmark.h>

#include <vector>

#include "platform/tmmtimer.h"
#include "tviewfixedform/tfixedtable.h"

namespace {

std::vector<tarvik::AdapterRecord> Stream()
{
    std::vector<tarvik::AdapterRecord> v;
    for (std::uint32_t n = 0; n < 60'000; ++n) {
        const std::uint32_t id = 0x100 + n % 200;
        auto r = tarvik::AdapterRecord::Can(id, n % 7 == 0, 8);
        for (int k = 0; k < 8; ++k)
            r.SetData(k, std::uint8_t(k < 2 ? n / 200 : k));  // two bytes count, the rest stay
        v.push_back(r.SetTimeStamp(n * 10).SetCheck(0x42));
    }
    return v;
}

void BM_FixedTableStore(benchmark::State& state)
{
    static const std::vector<tarvik::AdapterRecord> stream = Stream();
    const tarvik::TMmTimer ticks;
    tarvik::TFixedTable table(state.range(0) != 0);
    for (auto _ : state) {
        // As the log thread stores: the clock read for every record.
        for (const auto& r : stream)
            table.UpdateSlot(r, ticks.Count());
    }
    benchmark::DoNotOptimize(table.SlotCount());
    state.SetLabel(state.range(0) != 0 ? "with counts, cycles, changes" : "latest frame only");
}
BENCHMARK(BM_FixedTableStore)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
