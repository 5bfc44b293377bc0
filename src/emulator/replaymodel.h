#pragma once
// Plays back a candump, ASC, TRC or BLF log, either with the log's own timing (optionally faster or
// slower) or as fast as the host reads. The log is read line by line while it plays, never
// held whole, so its size is no limit. Each record carries the log's own time since its
// first frame as the adapter time stamp, so a replayed trace saves with the times it had.
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "emulator/busmodel.h"
#include "logformats/logsource.h"

namespace tarvik {

class TReplayModel : public TBusModel {
public:
    ~TReplayModel() override;
    // Opens and reads through a log once (counting what it holds). Null with `error`
    // naming the file and the reason when it cannot be read or holds no frame to play.
    // With `keepLeftOut`, a log whose frames are all of kinds the play leaves out (CAN FD,
    // say) opens too, so a window can say what it holds.
    static std::unique_ptr<TReplayModel> Open(const std::string& path, bool fast, double speed, std::string* error,
                                              bool keepLeftOut = false);
    // A log held in memory (tests, fuzzing); never null.
    static std::unique_ptr<TReplayModel> FromText(std::string_view text, bool fast);

    std::string Name() const override { return "replay"; }
    void Start(BusMode mode, EmuMicros now) override;
    EmuMicros NextDue() const override;
    BusEvent Pop() override;
    void SkipTo(EmuMicros now) override;
    bool Paced() const override { return !fast_; }

    // Frames the log plays: classic CAN and LIN.
    std::size_t FrameCount() const { return static_cast<std::size_t>(counts_.frames); }
    // Lines that were meant as frames but do not read.
    std::size_t SkippedLines() const { return static_cast<std::size_t>(counts_.malformed); }
    // Everything the first pass met: CAN FD, error and remote frames are left out of the play.
    const TLogCounts& Counts() const { return counts_; }
    // Time of the log's first frame, microseconds as the log gives it (since 1970 for a candump log).
    std::int64_t FirstMicros() const { return firstMicros_; }
    TLogFormat Format() const { return format_; }
    // FirstMicros is since 1970, so a save of the replay can keep the log's place in time.
    bool AbsoluteTimes() const { return absolute_; }
    // "<n> CAN FD frames, <n> error frames, <n> remote frames, <n> unreadable lines" for
    // the counts that are not zero; empty when nothing was left out.
    std::string SkippedText() const;

private:
    TReplayModel(std::FILE* in, std::string name, std::string text, bool fast, double speed);
    bool Scan(std::string* error);
    void ReadAhead();

    std::string text_;  // the in-memory log behind `in_`, when there is one
    std::FILE* in_;
    TLogSource source_;
    bool fast_;
    double speed_;
    TLogCounts counts_;
    TLogFormat format_ = TLogFormat::Unknown;
    bool absolute_ = false;
    std::int64_t firstMicros_ = 0;

    bool started_ = false;
    EmuMicros start_ = 0;
    bool havePending_ = false;
    AdapterRecord pending_;
    EmuMicros pendingOffset_ = 0;  // since the first frame, never stepping back
    // The longest step the records' 32-bit stamps of 100 µs can take and still be unwrapped
    // (half the counter's range: about 59.6 hours).
    static constexpr std::int64_t kMaxGapMicros = (std::int64_t{1} << 31) * 100 - 100;
    std::uint64_t longGaps_ = 0;         // counted by the first pass
    std::int64_t shortenedMicros_ = 0;  // taken out of this play's times so far
};

}  // namespace tarvik
