#include "emulator/replaymodel.h"

#include <sys/stat.h>

#include <algorithm>

namespace tarvik {

TReplayModel::TReplayModel(std::FILE* in, std::string name, std::string text, bool fast, double speed)
    : text_(std::move(text)),
      in_(in ? in : fmemopen(text_.data(), text_.size(), "r")),
      source_(in_, std::move(name)),
      fast_(fast),
      speed_(speed > 0 ? speed : 1.0)
{
}

TReplayModel::~TReplayModel()
{
    if (in_)
        std::fclose(in_);
}

std::unique_ptr<TReplayModel> TReplayModel::Open(const std::string& path, bool fast, double speed,
                                                 std::string* error, bool keepLeftOut)
{
    if (path == "-") {  // replay starts again at every go-on-bus: it needs a file to rewind
        if (error)
            *error = "-: a replay needs a file, not standard input";
        return nullptr;
    }
    // A device or a FIFO has no start to rewind to and may never end (/dev/urandom), and
    // opening a FIFO would wait for a writer: only a regular file plays.
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) {
        if (error)
            *error = path + ": not a regular file; a replay plays a log file";
        return nullptr;
    }
    std::FILE* f = OpenLogFile(path, error);
    if (!f)
        return nullptr;
    std::unique_ptr<TReplayModel> model(new TReplayModel(f, path, {}, fast, speed));
    if (!model->Scan(error))
        return nullptr;
    const TLogCounts& c = model->counts_;
    const bool leftOut = c.fdFrames + c.errorFrames + c.remoteFrames > 0;
    if (model->FrameCount() == 0 && !(keepLeftOut && leftOut)) {
        if (error)
            *error = path + ": no CAN or LIN frame in " + std::to_string(model->counts_.lines) + " lines";
        return nullptr;
    }
    return model;
}

std::unique_ptr<TReplayModel> TReplayModel::FromText(std::string_view text, bool fast)
{
    std::string copy(text);
    // fmemopen refuses a zero-length buffer; one blank line reads the same as nothing.
    if (copy.empty())
        copy = "\n";
    std::unique_ptr<TReplayModel> model(new TReplayModel(nullptr, "log", std::move(copy), fast, 1.0));
    model->Scan(nullptr);
    return model;
}

bool TReplayModel::Scan(std::string* error)
{
    if (!in_)
        return false;
    TLogFrame frame;
    TLogLine kind;
    bool first = true;
    std::int64_t last = 0;
    while (source_.Next(frame, kind)) {
        if (kind != TLogLine::Frame)
            continue;
        if (first) {
            firstMicros_ = last = frame.Micros();
            first = false;
        }
        if (frame.Micros() - last > kMaxGapMicros)
            ++longGaps_;
        last = std::max(last, frame.Micros());
    }
    counts_ = source_.Counts();
    format_ = source_.Format();
    absolute_ = source_.AbsoluteTimes();
    if (!source_.Error().empty()) {
        if (error)
            *error = source_.Error();
        return false;
    }
    return source_.Rewind();
}

std::string TReplayModel::SkippedText() const
{
    std::string s;
    auto add = [&s](std::uint64_t n, const char* what) {
        if (n == 0)
            return;
        if (!s.empty())
            s += ", ";
        s += std::to_string(n) + " " + what;
    };
    add(counts_.fdFrames, counts_.fdFrames == 1 ? "CAN FD frame" : "CAN FD frames");
    add(counts_.errorFrames, counts_.errorFrames == 1 ? "error frame" : "error frames");
    add(counts_.remoteFrames, counts_.remoteFrames == 1 ? "remote frame" : "remote frames");
    add(counts_.malformed, counts_.malformed == 1 ? "unreadable line" : "unreadable lines");
    if (counts_.unterminated > 0)
        s += " (the last line cut short)";
    add(longGaps_, longGaps_ == 1 ? "gap over 59 hours shortened to 59 hours" : "gaps over 59 hours shortened to 59 hours");
    return s;
}

void TReplayModel::ReadAhead()
{
    havePending_ = false;
    if (!in_)
        return;
    TLogFrame frame;
    TLogLine kind;
    while (source_.Next(frame, kind)) {
        if (kind != TLogLine::Frame)
            continue;
        // A log merged from several sources may step back in time; keep the order of the lines.
        // A gap the record's 32-bit stamp cannot carry is shortened to the longest it can:
        // the times after it then all move back by the same, stated amount.
        std::int64_t offset = frame.Micros() - firstMicros_ - shortenedMicros_;
        if (offset - pendingOffset_ > kMaxGapMicros) {
            shortenedMicros_ += offset - pendingOffset_ - kMaxGapMicros;
            offset = pendingOffset_ + kMaxGapMicros;
        }
        pendingOffset_ = std::max(pendingOffset_, offset);
        pending_ = frame.record;
        const std::uint32_t stamp = static_cast<std::uint32_t>(static_cast<std::uint64_t>(pendingOffset_ / 100));
        pending_.bytes[15] = static_cast<std::uint8_t>(stamp >> 24);
        pending_.bytes[16] = static_cast<std::uint8_t>(stamp >> 16);
        pending_.bytes[17] = static_cast<std::uint8_t>(stamp >> 8);
        pending_.bytes[18] = static_cast<std::uint8_t>(stamp);
        havePending_ = true;
        return;
    }
}

void TReplayModel::Start(BusMode, EmuMicros now)
{
    started_ = true;
    start_ = now;
    pendingOffset_ = 0;
    shortenedMicros_ = 0;
    if (in_)
        source_.Rewind();
    ReadAhead();
}

EmuMicros TReplayModel::NextDue() const
{
    if (!started_ || !havePending_)
        return kEmuNever;
    if (fast_)
        return start_;
    return start_ + static_cast<EmuMicros>(static_cast<double>(pendingOffset_) / speed_);
}

BusEvent TReplayModel::Pop()
{
    BusEvent ev;
    ev.due = NextDue();
    ev.record = pending_;
    ev.stamped = true;
    ReadAhead();
    return ev;
}

void TReplayModel::SkipTo(EmuMicros now)
{
    if (fast_)
        return;
    while (started_ && havePending_ && NextDue() < now)
        ReadAhead();
}

}  // namespace tarvik
