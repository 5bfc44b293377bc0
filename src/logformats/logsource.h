#pragma once
// Frames from a candump, ASC, TRC or BLF log, read piece by piece from a stream: the one log
// reader of the replay, the label tool and anything else that takes a recorded trace.
//
// A stream that begins with "LOGG" is a BLF log. Otherwise the format is taken from the
// first line that reads as a frame (or an ASC header line, or a ';' line of a TRC header)
// in one of the text formats; lines before that count as malformed when they are not blank. A line
// longer than the limit is malformed and skipped; one over kSkipFactor times the limit ends
// reading with an error, so a file without line ends (/dev/zero, a sparse file) neither hangs nor fills memory.
// A last line without its line end may be a line still being written: it is never decoded
// (a cut data field would read as a shorter frame) but counted as malformed and unterminated.
#include <cstdint>
#include <cstdio>
#include <string>

#include <memory>

#include "logformats/asclog.h"
#include "logformats/blflog.h"
#include "logformats/linereader.h"
#include "logformats/logframe.h"
#include "logformats/trclog.h"

namespace tarvik {

enum class TLogFormat { Unknown, Candump, Asc, Trc, Blf };

// What a pass over a log met besides the frames it gave.
struct TLogCounts {
    std::uint64_t lines = 0;       // lines of a text log, objects of a BLF log
    std::uint64_t frames = 0;     // classic CAN and LIN frames
    std::uint64_t fdFrames = 0;
    std::uint64_t errorFrames = 0;
    std::uint64_t remoteFrames = 0;
    std::uint64_t malformed = 0;
    std::uint64_t overlong = 0;      // of the malformed: longer than the line limit
    std::uint64_t unterminated = 0;  // of the malformed: a last frame line without its line end
    std::uint64_t otherKinds = 0;  // BLF objects and TRC lines of kinds not carried (status, events)
};

class TLogSource {
public:
    static constexpr std::size_t kMaxLine = 64 * 1024;
    static constexpr std::size_t kSkipFactor = 256;

    // Reads `in` (not owned); `name` is the file's name in messages.
    TLogSource(std::FILE* in, std::string name, std::size_t maxLine = kMaxLine);

    // The next line that holds a frame of any kind (Frame, FdFrame, ErrorFrame,
    // RemoteFrame); Malformed lines are returned too so callers can list them. False at the
    // end of the stream or on an error (Error() then says which).
    bool Next(TLogFrame& frame, TLogLine& kind);
    // Back to the start of the stream (a seekable file) with the counts cleared.
    bool Rewind();

    TLogFormat Format() const { return format_; }
    // Frame times are since 1970 (a candump log, a BLF or TRC log with its start time), not
    // since the log began.
    bool AbsoluteTimes() const
    {
        return format_ == TLogFormat::Candump || (blf_ && blf_->HasStart()) ||
               (format_ == TLogFormat::Trc && trc_.HasStart());
    }
    const TLogCounts& Counts() const { return counts_; }
    std::uint64_t LineNumber() const { return counts_.lines; }
    // Non-empty after a read error, an overlong line or a damaged BLF log: "<name>: <reason>"
    // (a BLF log's damage with its file offset).
    const std::string& Error() const { return error_; }
    const std::string& Name() const { return name_; }

private:
    TLogLine Classify(std::string_view line, TLogFrame& frame);
    bool NextBlf(TLogFrame& frame, TLogLine& kind);

    std::FILE* in_;
    std::string name_;
    LineReader reader_;
    TLogFormat format_ = TLogFormat::Unknown;
    TAscReader asc_;
    TTrcReader trc_;
    std::unique_ptr<TBlfReader> blf_;
    bool probed_ = false;
    TLogCounts counts_;
    std::string error_;
};

// Opens a log for reading: any file but a directory, or standard input for "-". Null with `error`
// naming the file and the system's reason ("Is a directory", "No such file or directory").
std::FILE* OpenLogFile(const std::string& path, std::string* error);

}  // namespace tarvik
