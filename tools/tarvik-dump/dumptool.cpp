#include "dumptool.h"

#include <QStringList>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <ctime>
#include <sys/stat.h>
#include <thread>
#include <vector>

#include "logformats/tracefile.h"
#include "settings/systemconfig.h"
#include "subfuncs/subfuncs.h"
#include "bus/devicekinds.h"
#include "bus/tbussession.h"
#include "platform/atomicfile.h"
#include "platform/hexdigit.h"
#include "tusbdev/tqueuebuffer.h"
#include "tusbdev/tusbdev.h"

namespace tarvik {

const char* const kDumpUsage =
    "usage: tarvik-dump --port PATH|--device N|--simulate [--can-speed 500k|500000]\n"
    "                   [--mask std:MASK:CODE] [--mask ext:MASK:CODE] [--lin 19200 [--master]]\n"
    "                   [--format candump|asc|trc|blf|text] [--output FILE|PATTERN\n"
    "                   [--rotate-size BYTES] [--rotate-time SECONDS]] [-n COUNT] [--duration S]\n"
    "                   [--baud RATE] [--protocol native|slcan|socketcan]\n"
    "Streams the bus to standard output (or --output FILE) until SIGINT or SIGTERM, then goes\n"
    "off bus. BLF needs --output FILE. With --rotate-size/--rotate-time the output is a strftime\n"
    "pattern and a new file starts at the limit.\n";

namespace {

// "500k", "500K", "500KBPS" and "1M" all name "500KBPS" and "1MBPS"; -1 when none does.
int SpeedIndex(const QStringList& items, std::string text)
{
    QString t = QString::fromStdString(text).toUpper();
    if (!t.endsWith(QLatin1String("BPS")))
        t += QLatin1String("BPS");
    return items.indexOf(t);
}

// The CAN speeds are 1 Mbit/s divided by 1, 2, 4, 6 ... 30; their names round the rate
// ("83.3KBPS" is 1000000/12). The rate in bit/s of item i, as a whole number.
long CanSpeedBits(const QString& item, bool roundUp)
{
    QString k = item;
    k.chop(4);  // "KBPS"
    const double kbps = item.startsWith(QLatin1String("1M")) ? 1000.0 : k.toDouble();
    const double rate = 1e6 / std::round(1000.0 / kbps);
    return static_cast<long>(roundUp ? std::round(rate) : std::floor(rate));
}

// A CAN speed also as bit/s: "500000", "83333" (or "83334"); -1 when none is meant.
int CanSpeedIndex(const std::string& text)
{
    const QStringList items = sysconf::CanSpeedItems();
    const int named = SpeedIndex(items, text);
    if (named >= 0 || text.empty() || text.find_first_not_of("0123456789") != std::string::npos || text.size() > 9)
        return named;
    const long bits = std::stol(text);
    for (int i = 0; i < items.size(); ++i)
        if (bits == CanSpeedBits(items[i], false) || bits == CanSpeedBits(items[i], true))
            return i;
    return -1;
}

// The protocol to suggest when the one given gets no sensible answer.
std::string OtherProtocol(const std::string& kind) { return kind == "slcan" ? "native" : "slcan"; }

// Every CAN speed the option takes, by name and in bit/s.
std::string CanSpeedChoices()
{
    std::string names, bits;
    for (const QString& item : sysconf::CanSpeedItems()) {
        QString n = item;
        n.chop(3);  // "BPS"
        if (!names.empty()) {
            names += ", ";
            bits += ", ";
        }
        names += n.replace(QLatin1Char('K'), QLatin1Char('k')).toStdString();
        bits += std::to_string(CanSpeedBits(item, false));
    }
    return names + "; or in bit/s: " + bits;
}

bool ParseHex(const std::string& s, std::uint32_t max, std::uint32_t& v)
{
    if (s.empty() || s.size() > 8)
        return false;
    std::uint64_t n = 0;
    for (char c : s) {
        const int d = HexDigit(c);
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

// One pass over the arguments: each option a small step that fills the options or says
// what is wrong with it.
class ArgReader {
public:
    ArgReader(int argc, const char* const* argv, TDumpOptions& o, std::string& error)
        : argc_(argc), argv_(argv), o_(o), error_(error)
    {
    }

    bool Read()
    {
        for (i_ = 0; i_ < argc_; ++i_)
            if (!Option(argv_[i_])) {
                if (error_.empty()) error_ = "unknown argument: " + std::string(argv_[i_]);
                return false;
            }
        return Consistent();
    }

private:
    bool Fail(std::string message)
    {
        error_ = std::move(message);
        return false;
    }
    bool Value(const std::string& a, std::string& v)
    {
        if (i_ + 1 >= argc_) return Fail(a + " needs a value");
        v = argv_[++i_];
        return true;
    }
    bool Source(TDumpOptions::Source s)
    {
        if (haveSource_) return Fail("give one of --port, --device and --simulate");
        haveSource_ = true;
        o_.source = s;
        return true;
    }

    bool Option(const std::string& a)
    {
        std::string v;
        if (a == "--port") return Value(a, o_.port) && Source(TDumpOptions::Source::Port);
        if (a == "--device") return Value(a, v) && Source(TDumpOptions::Source::Device) && Device(v);
        if (a == "--simulate") return Source(TDumpOptions::Source::Simulate);
        if (a == "--can-speed") return Value(a, v) && CanSpeed(v);
        if (a == "--lin") return Value(a, v) && Lin(v);
        if (a == "--master") {
            o_.bus.linNode = 1;
            return true;
        }
        if (a == "--mask") return Value(a, v) && Mask(v);
        if (a == "--format") return Value(a, v) && Format(v);
        if (a == "-n") {
            if (!Value(a, v) || !ParseCount(v, o_.count) || o_.count == 0) return Fail("-n needs a count above 0");
            return true;
        }
        if (a == "--duration") return Value(a, v) && Duration(v);
        if (a == "--protocol") return Value(a, v) && Protocol(v);
        if (a == "--output") {
            if (!Value(a, o_.output) || o_.output.empty()) return Fail("--output needs a file name");
            return true;
        }
        if (a == "--rotate-size") {
            if (!Value(a, v) || !ParseCount(v, o_.rotateSize) || o_.rotateSize == 0)
                return Fail("--rotate-size needs bytes above 0");
            return true;
        }
        if (a == "--rotate-time") return Value(a, v) && Seconds(a, v, o_.rotateTime);
        if (a == "--baud") return Value(a, v) && Baud(v);
        return false;
    }

    bool Device(const std::string& v)
    {
        std::uint64_t n = 0;
        if (!ParseCount(v, n) || n > 255) return Fail("--device needs a device number");
        o_.device = static_cast<std::uint32_t>(n);
        return true;
    }
    bool CanSpeed(const std::string& v)
    {
        o_.bus.canSpeed = CanSpeedIndex(v);
        return o_.bus.canSpeed >= 0 || Fail("unknown CAN speed: " + v + " (" + CanSpeedChoices() + ")");
    }
    bool Lin(const std::string& v)
    {
        o_.bus.linSpeed = SpeedIndex(sysconf::LinSpeedItems(), v);
        if (o_.bus.linSpeed < 0) return Fail("unknown LIN speed: " + v + " (19200, 14400, 10400, 9600, 4800, 2400)");
        o_.bus.monitorFunction = 1;
        lin_ = true;
        return true;
    }
    bool Mask(const std::string& v)
    {
        const auto c1 = v.find(':'), c2 = v.find(':', c1 == std::string::npos ? c1 : c1 + 1);
        const std::string group = v.substr(0, c1);
        const bool ext = group == "ext";
        std::uint32_t mask = 0, code = 0;
        const std::uint32_t max = ext ? 0x1FFFFFFFu : 0x7FFu;
        if ((group != "std" && !ext) || c2 == std::string::npos || !ParseHex(v.substr(c1 + 1, c2 - c1 - 1), max, mask) ||
            !ParseHex(v.substr(c2 + 1), max, code))
            return Fail("--mask takes std:MASK:CODE or ext:MASK:CODE in hex");
        (ext ? o_.bus.extMask : o_.bus.stdMask) = mask;
        (ext ? o_.bus.extCode : o_.bus.stdCode) = code;
        return true;
    }
    bool Format(const std::string& v)
    {
        if (v == "candump")
            o_.format = TDumpOptions::Format::Candump;
        else if (v == "asc")
            o_.format = TDumpOptions::Format::Asc;
        else if (v == "trc")
            o_.format = TDumpOptions::Format::Trc;
        else if (v == "blf")
            o_.format = TDumpOptions::Format::Blf;
        else if (v == "text")
            o_.format = TDumpOptions::Format::Text;
        else
            return Fail("unknown format: " + v + " (candump, asc, trc, blf, text)");
        haveFormat_ = true;
        return true;
    }
    bool Duration(const std::string& v) { return Seconds("--duration", v, o_.duration); }
    bool Seconds(const std::string& a, const std::string& v, double& out)
    {
        char* end = nullptr;
        out = std::strtod(v.c_str(), &end);
        if (end == v.c_str() || *end != '\0' || !(out > 0) || out > 1e9) return Fail(a + " needs seconds above 0");
        return true;
    }
    bool Protocol(const std::string& v)
    {
        if (!FindDeviceKind(QString::fromStdString(v))) return Fail("--protocol needs " + DeviceKindChoice().toStdString());
        o_.kind = v;
        return true;
    }
    bool Baud(const std::string& v)
    {
        std::uint64_t n = 0;
        if (!ParseCount(v, n) || n == 0 || n > 12'000'000) return Fail("--baud needs a rate");
        o_.baud = static_cast<std::uint32_t>(n);
        return true;
    }

    bool Consistent()
    {
        if (o_.bus.linNode == 1 && !lin_) return Fail("--master belongs to --lin");
        if (!haveSource_) return Fail("give --port PATH, --device N or --simulate");
        const bool native = o_.kind == "native";
        if (!native && o_.source == TDumpOptions::Source::Simulate)
            return Fail("--simulate runs the native adapter; use tarvik-adapter-emu --protocol " + o_.kind + " and --port");
        if (!native && lin_) return Fail("serial-line CAN adapters have no LIN");
        TTraceFormat named;
        if (!haveFormat_ && TraceFormatOfName(QString::fromStdString(o_.output), &named))
            o_.format = named == TTraceFormat::Asc   ? TDumpOptions::Format::Asc
                        : named == TTraceFormat::Trc ? TDumpOptions::Format::Trc
                        : named == TTraceFormat::Blf ? TDumpOptions::Format::Blf
                                                     : TDumpOptions::Format::Candump;
        if (o_.format == TDumpOptions::Format::Blf && o_.output.empty())
            return Fail("--format blf needs --output FILE: a BLF header is completed at the end, which a pipe cannot take");
        if ((o_.rotateSize > 0 || o_.rotateTime > 0) && o_.output.empty())
            return Fail("--rotate-size and --rotate-time need --output PATTERN");
        return true;
    }

    int argc_;
    const char* const* argv_;
    TDumpOptions& o_;
    std::string& error_;
    int i_ = 0;
    bool haveSource_ = false;
    bool lin_ = false;
    bool haveFormat_ = false;
};

TTraceFormat TraceFormatOf(TDumpOptions::Format f)
{
    switch (f) {
    case TDumpOptions::Format::Asc: return TTraceFormat::Asc;
    case TDumpOptions::Format::Trc: return TTraceFormat::Trc;
    case TDumpOptions::Format::Blf: return TTraceFormat::Blf;
    case TDumpOptions::Format::Candump:
    case TDumpOptions::Format::Text: break;
    }
    return TTraceFormat::Candump;
}

// The name of a capture file: the pattern's strftime fields at `now`, and "-2", "-3" ...
// before the ending when the name was taken already (rotations within one second).
std::string RotatedName(const std::string& pattern, std::time_t now, const std::vector<std::string>& used)
{
    std::tm t{};
    localtime_r(&now, &t);
    char buf[4096];
    const std::size_t n = std::strftime(buf, sizeof buf, pattern.c_str(), &t);
    const std::string base = n > 0 ? std::string(buf, n) : pattern;
    const std::size_t slash = base.rfind('/');
    const std::size_t dot = base.rfind('.');
    const std::size_t cut = dot != std::string::npos && (slash == std::string::npos || dot > slash) ? dot : base.size();
    std::string name = base;
    struct stat st {};
    for (int k = 2; std::find(used.begin(), used.end(), name) != used.end() || ::lstat(name.c_str(), &st) == 0; ++k)
        name = base.substr(0, cut) + "-" + std::to_string(k) + base.substr(cut);
    return name;
}

// The frames on the way out: a buffer flushed when full or when the bus is quiet, to standard
// output or to files renamed into place when complete; the first write error kept.
class DumpOutput {
public:
    DumpOutput(const TDumpOptions& o, std::FILE* out, std::int64_t opened)
        : o_(o), out_(out), writer_(TraceFormatOf(o.format), opened)
    {
        buf_.reserve(kPiece + TBlfWriter::kContainer);
        if (ToFiles()) OpenFile();
    }

    bool Full() const { return o_.count > 0 && written_ + buffered_ >= o_.count; }
    bool Failed() const { return failed_; }
    std::uint64_t Written() const { return written_; }
    std::uint64_t LinLeftOut() const { return writer_.Counts().linLeftOut; }
    const std::string& Problem() const { return problem_; }
    const std::vector<std::string>& Files() const { return files_; }

    void Put(const AdapterRecord& r)
    {
        if (Full() || failed_) return;
        if (ToFiles() && !file_) OpenFile();  // after a rotation: a file only when a record comes
        if (failed_) return;
        if (o_.format == TDumpOptions::Format::Text) {
            if (!r.IsCan() && !r.IsLin()) return;
            const std::size_t at = buf_.size();
            buf_.resize(at + kMaxFrameText);
            buf_.resize(at + FormatFrame(r, buf_.data() + at));
            buf_ += '\n';
            ++buffered_;
        } else {
            const std::uint64_t before = writer_.Counts().written;
            writer_.Write(r, buf_);
            buffered_ += writer_.Counts().written - before;
        }
        if (buf_.size() >= kPiece) Flush();
        if (o_.rotateSize > 0 && fileBytes_ + buf_.size() >= o_.rotateSize) Rotate();
    }
    // Up to 4096 records from the ring; how many.
    int Drain(TQueueBuffer& ring)
    {
        std::uint8_t raw[kRecordSize];
        int n = 0;
        while (n < 4096 && ring.Pop(raw)) {
            Put(AdapterRecord::From(raw));
            ++n;
        }
        RotateWhenDue();
        return n;
    }
    // The bus is quiet: what is buffered goes out to a stream; a file may be due for rotation.
    void Idle()
    {
        if (ToFiles())
            RotateWhenDue();
        else
            Flush();
    }
    // The closing lines (and a BLF header), then everything out.
    void Finish()
    {
        if (failed_ || (ToFiles() && !file_)) return;
        if (o_.format != TDumpOptions::Format::Text) writer_.Finish(buf_);
        Flush();
        if (ToFiles()) CloseFile();
    }

private:
    static constexpr std::size_t kPiece = 1 << 16;
    static constexpr std::size_t kMaxFrameText = kMaxFrameTextLength + 1;

    bool ToFiles() const { return !o_.output.empty(); }
    bool Rotating() const { return o_.rotateSize > 0 || o_.rotateTime > 0; }

    void Fail(std::string why)
    {
        failed_ = true;
        problem_ = std::move(why);
    }
    // Frames count as written once they reached the output, not while buffered.
    void Flush()
    {
        if (failed_ || buf_.empty()) {
            if (!ToFiles() && !failed_ && std::fflush(out_) != 0) Fail(std::strerror(errno));
            buf_.clear();
            buffered_ = 0;
            return;
        }
        if (ToFiles()) {
            if (!file_ || !file_->Write(buf_.data(), buf_.size())) return Fail(file_ ? file_->Error() : "no file");
            fileBytes_ += buf_.size();
        } else if (std::fwrite(buf_.data(), 1, buf_.size(), out_) != buf_.size() || std::fflush(out_) != 0) {
            Fail(std::string("error writing the output: ") + std::strerror(errno));
        }
        if (!failed_) written_ += buffered_;
        buffered_ = 0;
        buf_.clear();
    }
    void OpenFile()
    {
        const std::string name = Rotating() ? RotatedName(o_.output, std::time(nullptr), files_) : o_.output;
        file_ = std::make_unique<TAtomicFile>(name);
        fileName_ = name;
        fileBytes_ = 0;
        fileBegan_ = std::chrono::steady_clock::now();
        if (!file_->Open()) Fail(file_->Error());
    }
    void CloseFile()
    {
        if (failed_) return;
        const std::string header = writer_.FinalHeader();
        if (!file_->WriteAt(0, header.data(), header.size()) || !file_->Commit()) return Fail(file_->Error());
        files_.push_back(fileName_);
        file_.reset();
    }
    void RotateWhenDue()
    {
        if (o_.rotateTime > 0 && !failed_ && file_ &&
            std::chrono::duration<double>(std::chrono::steady_clock::now() - fileBegan_).count() >= o_.rotateTime)
            Rotate();
    }
    // Closes the file between two records; the next record opens the next file, so no frame is
    // in both or neither, and no file is left empty when the capture ends at a rotation.
    void Rotate()
    {
        if (failed_) return;
        Finish();
        if (failed_) return;
        writer_.NextFile();
    }

    const TDumpOptions& o_;
    std::FILE* out_;
    TTraceWriter writer_;
    std::string buf_;
    std::uint64_t written_ = 0;   // reached the output
    std::uint64_t buffered_ = 0;  // waiting in buf_
    bool failed_ = false;
    std::string problem_;
    std::unique_ptr<TAtomicFile> file_;
    std::string fileName_;
    std::uint64_t fileBytes_ = 0;
    std::chrono::steady_clock::time_point fileBegan_;
    std::vector<std::string> files_;
};

void Report(std::FILE* err, const DumpOutput& out, const TSessionLosses& l)
{
    const auto u = [](std::uint64_t v) { return static_cast<unsigned long long>(v); };
    std::fprintf(err, "tarvik-dump: %llu frames written, %llu lost", u(out.Written()), u(l.Records()));
    if (l.dropped > 0) std::fprintf(err, " (%llu not taken by a full buffer)", u(l.dropped));
    if (l.badRecords > 0) std::fprintf(err, " (%llu failed their check)", u(l.badRecords));
    if (l.deviceLost > 0) std::fprintf(err, " (%llu lost by the adapter's link)", u(l.deviceLost));
    if (l.partialBytes > 0) std::fprintf(err, ", %llu bytes of partial records dropped", u(l.partialBytes));
    if (l.leftOut > 0)
        std::fprintf(err, ", left out: %llu CAN FD frame%s", u(l.leftOut), l.leftOut == 1 ? "" : "s");
    if (out.LinLeftOut() > 0)
        std::fprintf(err, ", %llu LIN frames left out (the log format has no LIN form)", u(out.LinLeftOut()));
    if (!out.Files().empty())
        std::fprintf(err, ", %zu file%s finished", out.Files().size(), out.Files().size() == 1 ? "" : "s");
    std::fputc('\n', err);
}

}  // namespace

bool ParseDumpArgs(int argc, const char* const* argv, TDumpOptions& o, std::string& error)
{
    return ArgReader(argc, argv, o, error).Read();
}

std::shared_ptr<TBusDevice> DumpDevice(const TDumpOptions& o)
{
    switch (o.source) {
    case TDumpOptions::Source::Simulate:
        return MakeEmulatorDevice();
    case TDumpOptions::Source::Port:
        return MakePortDevice(QString::fromStdString(o.kind), QString::fromStdString(o.port));
    case TDumpOptions::Source::Device:
        break;
    }
    return MakePortDevice(QString::fromStdString(o.kind), QString());
}

int RunDump(const TDumpOptions& o, std::shared_ptr<TFtBackend> backend, std::FILE* out, std::FILE* err,
            const std::atomic<bool>& stop)
{
    return RunDump(o, MakeNativeDevice(std::move(backend)), out, err, stop);
}

int RunDump(const TDumpOptions& o, std::shared_ptr<TBusDevice> device, std::FILE* out, std::FILE* err,
            const std::atomic<bool>& stop)
{
    device->SetDeviceNumber(o.device);
    device->SetBaudRate(o.baud);
    TBusSession session(std::move(device));
    if (!session.Open()) {
        std::fprintf(err, "tarvik-dump: %s\n", session.Device().LastOpenError().c_str());
        return 1;
    }
    TQueueBuffer ring(static_cast<std::int32_t>(kRecordSize), TQueueBuffer::kDefaultCapacity);
    session.SetSlot(1, &ring);
    auto closeQuietly = [&] {
        try {
            session.Close();
        } catch (const std::exception&) {
            // The device is gone; its error was reported already.
        }
    };
    try {
        if (!session.GoOnBus(o.bus)) {
            const std::string why = session.Problem().empty() ? "" : ": " + session.Problem();
            std::fprintf(err, "tarvik-dump: the adapter did not accept the go-on-bus sequence%s\n", why.c_str());
            // The commonest cause on a real port: the adapter speaks the other language. A
            // CAN interface has no language to mistake; its refusal names the command to run.
            if (o.source != TDumpOptions::Source::Simulate && o.kind != "socketcan")
                std::fprintf(err, "tarvik-dump: if the adapter speaks %s, try --protocol %s\n",
                             OtherProtocol(o.kind).c_str(), OtherProtocol(o.kind).c_str());
            closeQuietly();
            return 1;
        }
    } catch (const std::exception& e) {
        std::fprintf(err, "tarvik-dump: %s\n", e.what());
        closeQuietly();
        return 1;
    }
    DumpOutput output(o, out, WallMicros());
    const auto began = std::chrono::steady_clock::now();
    const auto timeUp = [&] {
        return o.duration > 0 &&
               std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count() >= o.duration;
    };

    bool failed = false;
    while (!stop.load() && !output.Failed() && !output.Full() && !timeUp()) {
        if (output.Drain(ring) > 0) continue;
        output.Idle();
        if (!session.OnBus()) {
            failed = true;  // the receive thread met a USB failure and stopped
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (!failed) {
        try {
            session.GoOffBus();
        } catch (const std::exception& e) {
            std::fprintf(err, "tarvik-dump: %s\n", e.what());
            failed = true;
        }
    }
    session.SetSlot(1, nullptr);
    while (output.Drain(ring) > 0) {
    }
    closeQuietly();
    output.Finish();

    if (failed && !session.ErrorText().empty()) std::fprintf(err, "%s\n", session.ErrorText().c_str());
    Report(err, output, session.Losses(1));
    if (output.Failed()) {
        std::fprintf(err, "tarvik-dump: %s; the capture stopped\n", output.Problem().c_str());
        return 1;
    }
    return failed ? 1 : 0;
}

}  // namespace tarvik
