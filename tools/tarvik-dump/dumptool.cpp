#include "dumptool.h"

#include <QStringList>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "logformats/tracefile.h"
#include "settings/systemconfig.h"
#include "subfuncs/subfuncs.h"
#include "tmainform/backends.h"
#include "tmainform/tmonthread.h"
#include "tusbdev/tqueuebuffer.h"
#include "tusbdev/tusbdev.h"

namespace tarvik {

const char* const kDumpUsage =
    "usage: tarvik-dump --port PATH|--device N|--simulate [--can-speed 500k]\n"
    "                   [--mask std:MASK:CODE] [--mask ext:MASK:CODE] [--lin 19200 [--master]]\n"
    "                   [--format candump|asc|text] [-n COUNT] [--duration S] [--baud RATE]\n"
    "                   [--protocol native|slcan]\n"
    "Streams the bus to standard output until SIGINT or SIGTERM, then goes off bus.\n";

namespace {

// "500k", "500K", "500KBPS" and "1M" all name "500KBPS" and "1MBPS"; -1 when none does.
int SpeedIndex(const QStringList& items, std::string text)
{
    QString t = QString::fromStdString(text).toUpper();
    if (!t.endsWith(QLatin1String("BPS")))
        t += QLatin1String("BPS");
    return items.indexOf(t);
}

bool ParseHex(const std::string& s, std::uint32_t max, std::uint32_t& v)
{
    if (s.empty() || s.size() > 8)
        return false;
    std::uint64_t n = 0;
    for (char c : s) {
        const int d = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
        if (d < 0)
            return false;
        n = n * 16 + static_cast<std::uint64_t>(d);
    }
    if (n > max)
        return false;
    v = static_cast<std::uint32_t>(n);
    return true;
}

bool ParseCount(const std::string& s, std::uint64_t& v)
{
    if (s.empty() || s.size() > 18)
        return false;
    v = 0;
    for (char c : s) {
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return true;
}

std::int64_t WallMicros()
{
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

}  // namespace

bool ParseDumpArgs(int argc, const char* const* argv, TDumpOptions& o, std::string& error)
{
    bool haveSource = false, lin = false;
    for (int i = 0; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&](std::string& v) {
            if (i + 1 >= argc) {
                error = a + " needs a value";
                return false;
            }
            v = argv[++i];
            return true;
        };
        std::string v;
        auto source = [&](TDumpOptions::Source s) {
            if (haveSource) {
                error = "give one of --port, --device and --simulate";
                return false;
            }
            haveSource = true;
            o.source = s;
            return true;
        };
        if (a == "--port") {
            if (!value(o.port) || !source(TDumpOptions::Source::Port))
                return false;
        } else if (a == "--device") {
            std::uint64_t n = 0;
            if (!value(v) || !source(TDumpOptions::Source::Device))
                return false;
            if (!ParseCount(v, n) || n > 255) {
                error = "--device needs a device number";
                return false;
            }
            o.device = static_cast<std::uint32_t>(n);
        } else if (a == "--simulate") {
            if (!source(TDumpOptions::Source::Simulate))
                return false;
        } else if (a == "--can-speed") {
            if (!value(v))
                return false;
            o.bus.canSpeed = SpeedIndex(sysconf::CanSpeedItems(), v);
            if (o.bus.canSpeed < 0) {
                error = "unknown CAN speed: " + v + " (1M, 500k, 250k, ... 33.3k)";
                return false;
            }
        } else if (a == "--lin") {
            if (!value(v))
                return false;
            o.bus.linSpeed = SpeedIndex(sysconf::LinSpeedItems(), v);
            if (o.bus.linSpeed < 0) {
                error = "unknown LIN speed: " + v + " (19200, 14400, 10400, 9600, 4800, 2400)";
                return false;
            }
            o.bus.monitorFunction = 1;
            lin = true;
        } else if (a == "--master") {
            o.bus.linNode = 1;
        } else if (a == "--mask") {
            if (!value(v))
                return false;
            const auto c1 = v.find(':'), c2 = v.find(':', c1 == std::string::npos ? c1 : c1 + 1);
            const std::string group = v.substr(0, c1);
            const bool ext = group == "ext";
            std::uint32_t mask = 0, code = 0;
            const std::uint32_t max = ext ? 0x1FFFFFFFu : 0x7FFu;
            if ((group != "std" && !ext) || c2 == std::string::npos ||
                !ParseHex(v.substr(c1 + 1, c2 - c1 - 1), max, mask) || !ParseHex(v.substr(c2 + 1), max, code)) {
                error = "--mask takes std:MASK:CODE or ext:MASK:CODE in hex";
                return false;
            }
            (ext ? o.bus.extMask : o.bus.stdMask) = mask;
            (ext ? o.bus.extCode : o.bus.stdCode) = code;
        } else if (a == "--format") {
            if (!value(v))
                return false;
            if (v == "candump")
                o.format = TDumpOptions::Format::Candump;
            else if (v == "asc")
                o.format = TDumpOptions::Format::Asc;
            else if (v == "text")
                o.format = TDumpOptions::Format::Text;
            else {
                error = "unknown format: " + v + " (candump, asc, text)";
                return false;
            }
        } else if (a == "-n") {
            if (!value(v) || !ParseCount(v, o.count) || o.count == 0) {
                error = "-n needs a count above 0";
                return false;
            }
        } else if (a == "--duration") {
            if (!value(v))
                return false;
            char* end = nullptr;
            o.duration = std::strtod(v.c_str(), &end);
            if (end == v.c_str() || *end != '\0' || !(o.duration > 0) || o.duration > 1e9) {
                error = "--duration needs seconds above 0";
                return false;
            }
        } else if (a == "--protocol") {
            if (!value(v))
                return false;
            if (v != "native" && v != "slcan") {
                error = "--protocol needs native or slcan";
                return false;
            }
            o.slcan = v == "slcan";
        } else if (a == "--baud") {
            std::uint64_t n = 0;
            if (!value(v) || !ParseCount(v, n) || n == 0 || n > 12'000'000) {
                error = "--baud needs a rate";
                return false;
            }
            o.baud = static_cast<std::uint32_t>(n);
        } else {
            error = "unknown argument: " + a;
            return false;
        }
    }
    if (o.bus.linNode == 1 && !lin) {
        error = "--master belongs to --lin";
        return false;
    }
    if (!haveSource) {
        error = "give --port PATH, --device N or --simulate";
        return false;
    }
    if (o.slcan && o.source == TDumpOptions::Source::Simulate) {
        error = "--simulate runs the native adapter; use tarvik-adapter-emu --protocol slcan and --port";
        return false;
    }
    if (o.slcan && lin) {
        error = "serial-line CAN adapters have no LIN";
        return false;
    }
    return true;
}

std::shared_ptr<TFtBackend> DumpBackend(const TDumpOptions& o)
{
    const QString protocol = o.slcan ? QStringLiteral("slcan") : QStringLiteral("native");
    switch (o.source) {
    case TDumpOptions::Source::Simulate:
        return MakeEmulatorBackend();
    case TDumpOptions::Source::Port:
        return MakePortBackend(protocol, QString::fromStdString(o.port));
    case TDumpOptions::Source::Device:
        break;
    }
    return MakePortBackend(protocol, QString());
}

int RunDump(const TDumpOptions& o, std::shared_ptr<TFtBackend> backend, std::FILE* out, std::FILE* err,
            const std::atomic<bool>& stop)
{
    TUsbDev dev(o.device, std::move(backend));
    dev.SetBaudRate(o.baud);
    if (!dev.Open()) {
        std::fprintf(err, "tarvik-dump: %s\n", dev.LastOpenError().c_str());
        return 1;
    }
    TQueueBuffer ring(static_cast<std::int32_t>(kRecordSize), TQueueBuffer::kDefaultCapacity);
    TMonThread mon(dev);
    mon.SetSlot(1, &ring);
    TBusControl bus(dev, {[&] { return mon.Start(); }, [&] { mon.Stop(); }, [&] { return mon.Running(); }});

    auto closeQuietly = [&] {
        try {
            dev.Close();
        } catch (const std::exception&) {
            // The device is gone; its error was reported already.
        }
    };
    try {
        if (!bus.GoOnBus(o.bus)) {
            std::fprintf(err, "tarvik-dump: the adapter did not accept the go-on-bus sequence\n");
            closeQuietly();
            return 1;
        }
    } catch (const std::exception& e) {
        std::fprintf(err, "tarvik-dump: %s\n", e.what());
        closeQuietly();
        return 1;
    }
    const std::int64_t opened = WallMicros();
    const auto began = std::chrono::steady_clock::now();

    const TTraceFormat traceFormat = o.format == TDumpOptions::Format::Asc ? TTraceFormat::Asc : TTraceFormat::Candump;
    TTraceWriter writer(traceFormat, opened);
    std::vector<char> buf(1 << 16);
    std::size_t used = 0;
    std::uint64_t written = 0, linLeftOut = 0;
    bool outputFailed = false;
    int outputErrno = 0;
    auto flush = [&] {
        if (!outputFailed && ((used > 0 && std::fwrite(buf.data(), 1, used, out) != used) || std::fflush(out) != 0)) {
            outputFailed = true;
            outputErrno = errno;
        }
        used = 0;
    };
    auto put = [&](const AdapterRecord& r) {
        if (o.count > 0 && written >= o.count)
            return;
        if (buf.size() - used < TTraceWriter::kMaxChunk)
            flush();
        if (o.format == TDumpOptions::Format::Text) {
            if (!r.IsCan() && !r.IsLin())
                return;
            used += FormatFrame(r, buf.data() + used);
            buf[used++] = '\n';
            ++written;
            return;
        }
        const std::uint64_t before = writer.Counts().written;
        used += writer.Write(r, buf.data() + used);
        written += writer.Counts().written - before;
    };
    auto drain = [&] {
        std::uint8_t raw[kRecordSize];
        int n = 0;
        while (n < 4096 && ring.Pop(raw)) {
            put(AdapterRecord::From(raw));
            ++n;
        }
        return n;
    };

    bool failed = false;
    while (!stop.load() && !outputFailed) {
        if (o.count > 0 && written >= o.count)
            break;
        if (o.duration > 0 &&
            std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count() >= o.duration)
            break;
        if (drain() > 0)
            continue;
        flush();
        if (!mon.Running()) {
            failed = true;  // the receive thread met a USB failure and stopped
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }

    if (!failed) {
        try {
            bus.GoOffBus();
        } catch (const std::exception& e) {
            std::fprintf(err, "tarvik-dump: %s\n", e.what());
            failed = true;
        }
    }
    mon.SetSlot(1, nullptr);
    while (drain() > 0) {
    }
    closeQuietly();
    if (o.format == TDumpOptions::Format::Asc) {
        const std::string tail = writer.Finish();
        if (buf.size() - used < tail.size())
            flush();
        std::memcpy(buf.data() + used, tail.data(), tail.size());
        used += tail.size();
    }
    flush();
    linLeftOut = writer.Counts().linLeftOut;

    if (failed && !mon.ErrorText().empty())
        std::fprintf(err, "%s\n", mon.ErrorText().c_str());
    const std::uint64_t lost = mon.Dropped(1) + mon.BadRecords();
    std::fprintf(err, "tarvik-dump: %llu frames written, %llu lost", static_cast<unsigned long long>(written),
                 static_cast<unsigned long long>(lost));
    if (mon.Dropped(1) > 0)
        std::fprintf(err, " (%llu not taken by a full buffer)", static_cast<unsigned long long>(mon.Dropped(1)));
    if (mon.BadRecords() > 0)
        std::fprintf(err, " (%llu failed their check)", static_cast<unsigned long long>(mon.BadRecords()));
    if (mon.PartialBytesDiscarded() > 0)
        std::fprintf(err, ", %llu bytes of partial records dropped",
                     static_cast<unsigned long long>(mon.PartialBytesDiscarded()));
    if (linLeftOut > 0)
        std::fprintf(err, ", %llu LIN frames left out (a candump log has no LIN form)",
                     static_cast<unsigned long long>(linLeftOut));
    std::fputc('\n', err);
    if (outputFailed) {
        std::fprintf(err, "tarvik-dump: error writing the output: %s\n", std::strerror(outputErrno));
        return 1;
    }
    return failed ? 1 : 0;
}

}  // namespace tarvik
