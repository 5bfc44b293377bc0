// Saving a full record history as a trace log, and reading it back.
//
//   trace_save [records] [dir]      default 1000000 records into /tmp
//
// Prints the milliseconds to format and write each format, and the read-back rate.
#include <QFileInfo>
#include <QString>
#include <ctime>
#include <vector>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "logformats/logsource.h"
#include "logformats/tracefile.h"
#include "tviewnormalform/trecordhistory.h"

using namespace tarvik;
using Clock = std::chrono::steady_clock;

namespace {

double CpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

double Ms(Clock::time_point since) { return std::chrono::duration<double, std::milli>(Clock::now() - since).count(); }

// A vehicle-like mix: standard and extended identifiers, 0..8 bytes, now and then a transmit.
AdapterRecord Make(std::uint32_t i)
{
    AdapterRecord r;
    r.bytes[0] = r.bytes[19] = static_cast<std::uint8_t>(i);
    r.bytes[1] = i % 17 == 0 ? kCanTransmitted : kCanReceived;
    const bool ext = i % 5 == 0;
    const std::uint32_t id = ext ? 0x18FEF100u + (i % 64) : 0x100u + (i % 0x500);
    r.bytes[2] = static_cast<std::uint8_t>((i % 9) | (ext ? 0x20 : 0));
    for (int k = 0; k < 4; ++k)
        r.bytes[3 + k] = static_cast<std::uint8_t>(id >> (24 - 8 * k));
    for (int k = 0; k < 8; ++k)
        r.bytes[7 + k] = static_cast<std::uint8_t>(i * 31 + static_cast<std::uint32_t>(k));
    const std::uint32_t stamp = i * 10;  // 1 ms apart
    for (int k = 0; k < 4; ++k)
        r.bytes[15 + k] = static_cast<std::uint8_t>(stamp >> (24 - 8 * k));
    return r;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::int32_t n = argc > 1 ? std::atoi(argv[1]) : 1'000'000;
    const std::string dir = argc > 2 ? argv[2] : "/tmp";
    TRecordHistory history(n);
    for (std::int32_t i = 0; i < n; ++i)
        history.Add(Make(static_cast<std::uint32_t>(i)));

    for (TTraceFormat format : {TTraceFormat::Candump, TTraceFormat::Asc}) {
        const bool candump = format == TTraceFormat::Candump;
        const std::string path = dir + (candump ? "/trace_save_bench.log" : "/trace_save_bench.asc");
        const auto t0 = Clock::now();
        const double cpu0 = CpuMs();
        std::vector<AdapterRecord> records;
        history.CopyAll(records);
        QString error;
        TTraceCounts counts;
        if (!SaveTrace(QString::fromStdString(path), format, records, 1436509052249713, &counts, &error)) {
            std::fprintf(stderr, "%s: %s\n", path.c_str(), qPrintable(error));
            return 1;
        }
        const double totalMs = Ms(t0), totalCpu = CpuMs() - cpu0;
        const double size = double(QFileInfo(QString::fromStdString(path)).size());

        const auto t1 = Clock::now();
        std::FILE* f = OpenLogFile(path, nullptr);
        TLogSource src(f, path);
        TLogFrame frame;
        TLogLine kind;
        std::uint64_t frames = 0;
        while (src.Next(frame, kind))
            frames += kind == TLogLine::Frame;
        std::fclose(f);
        const double readMs = Ms(t1);
        std::printf("%-7s %d records saved in %.1f ms (%.1f ms CPU, %.1f MB); read back %llu frames in %.1f ms "
                    "(%.2f M frames/s)\n",
                    candump ? "candump" : "ASC", n, totalMs, totalCpu, size / 1e6,
                    static_cast<unsigned long long>(frames), readMs, double(frames) / readMs / 1000.0);
        std::remove(path.c_str());
    }
    return 0;
}
