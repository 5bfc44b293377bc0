// Cost of carrying one 20-byte record through a TQueueBuffer.
#include <benchmark/benchmark.h>

#include <atomic>
#include <thread>

#include "tusbdev/tqueuebuffer.h"

using tarvik::TQueueBuffer;

// One thread: push then pop, the lock taken twice per record.
static void BM_PushPopOneThread(benchmark::State& state)
{
    TQueueBuffer q(20, TQueueBuffer::kDefaultCapacity);
    std::uint8_t in[20] = {1, 2, 3}, out[20];
    for (auto _ : state) {
        q.Push(in);
        q.Pop(out);
        benchmark::DoNotOptimize(out);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_PushPopOneThread);

// Bursts as the receive thread delivers them (a read of up to 64 records), drained later.
static void BM_PushPopBurst64(benchmark::State& state)
{
    TQueueBuffer q(20, TQueueBuffer::kDefaultCapacity);
    std::uint8_t in[20] = {1, 2, 3}, out[20];
    for (auto _ : state) {
        for (int i = 0; i < 64; ++i) q.Push(in);
        for (int i = 0; i < 64; ++i) q.Pop(out);
        benchmark::DoNotOptimize(out);
    }
    state.SetItemsProcessed(state.iterations() * 64);
}
BENCHMARK(BM_PushPopBurst64);

// Producer and consumer on two threads, contending for the lock: wall time per record.
static void BM_TwoThreads(benchmark::State& state)
{
    constexpr std::int64_t kRecords = 1'000'000;
    for (auto _ : state) {
        TQueueBuffer q(20, TQueueBuffer::kDefaultCapacity);
        std::thread producer([&] {
            std::uint8_t in[20] = {7};
            for (std::int64_t i = 0; i < kRecords; ++i)
                while (!q.Push(in)) std::this_thread::yield();
        });
        std::uint8_t out[20];
        for (std::int64_t got = 0; got < kRecords;) {
            if (q.Pop(out))
                ++got;
            else
                std::this_thread::yield();
        }
        producer.join();
        benchmark::DoNotOptimize(out);
    }
    state.SetItemsProcessed(state.iterations() * kRecords);
}
BENCHMARK(BM_TwoThreads)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
