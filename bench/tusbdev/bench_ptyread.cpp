// Records per second through TUsbDev on the serial backend, read the way the receive
// thread reads (queue level, then whole records), from a peer writing as fast as a
// pseudo-terminal takes it. A pty has no baud-rate limit, so this is the software ceiling.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <poll.h>
#include <time.h>
#include <unistd.h>

#include <cstdlib>
#include <thread>
#include <vector>

#include "tusbdev/adapterprotocol.h"
#include "tusbdev/serial/serialbackend.h"
#include "tusbdev/tusbdev.h"

using namespace tarvik;

namespace {
double ThreadCpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}
}  // namespace

static void BM_PtyReceive(benchmark::State& state)
{
    constexpr std::uint32_t kRecords = 100'000;
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        state.SkipWithError("no pseudo-terminal");
        return;
    }
    TUsbDev dev(0, std::make_shared<TSerialBackend>(ptsname(master)));
    dev.SetBaudRate(3'000'000);
    if (!dev.Open()) {
        state.SkipWithError("open failed");
        return;
    }
    std::vector<std::uint8_t> stream(std::size_t(kRecords) * kRecordSize);
    for (std::uint32_t i = 0; i < kRecords; ++i) {
        std::uint8_t* r = &stream[std::size_t(i) * kRecordSize];
        r[0] = r[19] = std::uint8_t(i);
        r[1] = kCanReceived;
        r[2] = 8;
    }
    double cpu = 0;
    std::uint64_t bad = 0;
    for (auto _ : state) {
        std::thread peer([&] {
            std::size_t done = 0;
            while (done < stream.size()) {
                const ssize_t n = ::write(master, stream.data() + done, stream.size() - done);
                if (n > 0) done += std::size_t(n);
            }
        });
        const double c0 = ThreadCpuSeconds();
        std::uint8_t buf[kRecordSize * 256];
        std::uint32_t records = 0;
        while (records < kRecords) {
            std::uint32_t rx = 0;
            dev.GetQueueStatus(&rx);
            if (rx < kRecordSize) {
                std::this_thread::yield();
                continue;
            }
            const std::uint32_t want = std::min<std::uint32_t>(rx / kRecordSize, 256) * kRecordSize;
            std::uint32_t got = 0;
            dev.Read(buf, want, &got);
            for (std::uint32_t off = 0; off < got; off += kRecordSize) bad += buf[off] != buf[off + 19];
            records += got / kRecordSize;
        }
        cpu += ThreadCpuSeconds() - c0;
        peer.join();
    }
    state.SetItemsProcessed(state.iterations() * kRecords);
    state.counters["reader_cpu_s_per_100k"] = cpu / double(state.iterations());
    state.counters["bad_records"] = double(bad);
    dev.Close();
    ::close(master);
}
BENCHMARK(BM_PtyReceive)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
