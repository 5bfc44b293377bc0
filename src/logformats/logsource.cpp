#include "logformats/logsource.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

#include "logformats/candumplog.h"

namespace tarvik {

namespace {

bool IsFrameKind(TLogLine k)
{
    return k == TLogLine::Frame || k == TLogLine::FdFrame || k == TLogLine::ErrorFrame || k == TLogLine::RemoteFrame;
}

bool StartsWithWord(std::string_view line, std::string_view word)
{
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t'))
        line.remove_prefix(1);
    if (line.size() < word.size())
        return false;
    for (std::size_t i = 0; i < word.size(); ++i)
        if ((line[i] | 0x20) != word[i])
            return false;
    return line.size() == word.size() || line[word.size()] == ' ' || line[word.size()] == '\t';
}

}  // namespace

TLogSource::TLogSource(std::FILE* in, std::string name, std::size_t maxLine)
    : in_(in), name_(std::move(name)), reader_(in, maxLine, maxLine * kSkipFactor)
{
}

TLogLine TLogSource::Classify(std::string_view line, TLogFrame& frame)
{
    switch (format_) {
    case TLogFormat::Candump:
        return ParseCandumpLine(line, frame);
    case TLogFormat::Asc:
        return asc_.ParseLine(line, frame);
    case TLogFormat::Trc: {
        const TLogLine k = trc_.ParseLine(line, frame);
        counts_.otherKinds = trc_.OtherLines();
        return k;
    }
    case TLogFormat::Unknown:
    case TLogFormat::Blf:
        break;
    }
    // Neither a candump nor an ASC line starts with ';' (ASC comments are "//").
    std::string_view t = line;
    while (!t.empty() && (t.front() == ' ' || t.front() == '\t'))
        t.remove_prefix(1);
    if (!t.empty() && t.front() == ';') {
        format_ = TLogFormat::Trc;
        return trc_.ParseLine(line, frame);
    }
    const TLogLine c = ParseCandumpLine(line, frame);
    if (IsFrameKind(c)) {
        format_ = TLogFormat::Candump;
        return c;
    }
    const TLogLine a = asc_.ParseLine(line, frame);
    if (IsFrameKind(a) || StartsWithWord(line, "date") || StartsWithWord(line, "base") ||
        StartsWithWord(line, "begin")) {
        format_ = TLogFormat::Asc;
        return a;
    }
    return c;
}

bool TLogSource::NextBlf(TLogFrame& frame, TLogLine& kind)
{
    const bool got = blf_->Next(frame, kind);
    counts_.otherKinds = blf_->OtherObjects();
    if (!got) {
        error_ = blf_->Error();
        return false;
    }
    ++counts_.lines;
    switch (kind) {
    case TLogLine::FdFrame: ++counts_.fdFrames; break;
    case TLogLine::ErrorFrame: ++counts_.errorFrames; break;
    case TLogLine::RemoteFrame: ++counts_.remoteFrames; break;
    default: ++counts_.frames; break;
    }
    return true;
}

bool TLogSource::Next(TLogFrame& frame, TLogLine& kind)
{
    if (!error_.empty())
        return false;
    if (!probed_) {
        probed_ = true;
        if (reader_.Peek(4) == "LOGG") {
            format_ = TLogFormat::Blf;
            blf_ = std::make_unique<TBlfReader>(reader_, name_);
        }
    }
    if (blf_)
        return NextBlf(frame, kind);
    std::string_view line;
    bool truncated = false;
    while (reader_.Next(line, truncated)) {
        ++counts_.lines;
        if (truncated) {
            ++counts_.overlong;
            ++counts_.malformed;
            kind = TLogLine::Malformed;
            return true;
        }
        kind = Classify(line, frame);
        if (reader_.Unterminated() && IsFrameKind(kind)) {
            ++counts_.unterminated;
            kind = TLogLine::Malformed;
        }
        switch (kind) {
        case TLogLine::Frame: ++counts_.frames; return true;
        case TLogLine::FdFrame: ++counts_.fdFrames; return true;
        case TLogLine::ErrorFrame: ++counts_.errorFrames; return true;
        case TLogLine::RemoteFrame: ++counts_.remoteFrames; return true;
        case TLogLine::Malformed: ++counts_.malformed; return true;
        case TLogLine::Other: break;
        }
    }
    if (reader_.Runaway())
        error_ = name_ + ": line " + std::to_string(counts_.lines) + " is longer than " +
                 std::to_string(reader_.Capacity() * kSkipFactor) + " bytes: not a text log";
    else if (reader_.Failed())
        error_ = name_ + ": " + std::strerror(reader_.Error() ? reader_.Error() : EIO);
    return false;
}

bool TLogSource::Rewind()
{
    if (std::fseek(in_, 0, SEEK_SET) != 0) {
        error_ = name_ + ": " + std::strerror(errno);
        return false;
    }
    reader_.Reset();
    format_ = TLogFormat::Unknown;
    asc_ = TAscReader{};
    trc_ = TTrcReader{};
    blf_.reset();
    probed_ = false;
    counts_ = TLogCounts{};
    error_.clear();
    return true;
}

std::FILE* OpenLogFile(const std::string& path, std::string* error)
{
    if (path == "-")
        return stdin;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    int err = f ? 0 : errno;
    struct stat st {};
    if (f && fstat(fileno(f), &st) == 0 && S_ISDIR(st.st_mode))
        err = EISDIR;
    if (err != 0) {
        if (f)
            std::fclose(f);
        if (error)
            *error = path + ": " + std::strerror(err);
        return nullptr;
    }
    return f;
}

}  // namespace tarvik
