#pragma once
// Plays back a candump log ("(1436509052.249713) can0 123#DEADBEEF" lines), either with
// the log's own timing or as fast as the host reads.
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "emulator/busmodel.h"

namespace tarvik {

struct TReplayFrame {
    EmuMicros offset;  // since the first frame of the log
    AdapterRecord record;
};

// Reads one log line. False for lines that carry no classic CAN frame (blank, malformed,
// CAN FD, error frames). `timeUs` is the absolute time of the line in microseconds.
bool ParseCandumpLine(std::string_view line, EmuMicros* timeUs, AdapterRecord* record);

class TReplayModel : public TBusModel {
public:
    TReplayModel(std::vector<TReplayFrame> frames, bool fast);
    // Parses a whole log; lines that carry no frame are skipped and counted.
    static std::unique_ptr<TReplayModel> FromText(std::string_view text, bool fast);

    std::string Name() const override { return "replay"; }
    void Start(BusMode mode, EmuMicros now) override;
    EmuMicros NextDue() const override;
    BusEvent Pop() override;
    void SkipTo(EmuMicros now) override;
    bool Paced() const override { return !fast_; }

    std::size_t FrameCount() const { return frames_.size(); }
    std::size_t SkippedLines() const { return skipped_; }

private:
    std::vector<TReplayFrame> frames_;
    bool fast_;
    bool started_ = false;
    EmuMicros start_ = 0;
    std::size_t next_ = 0;
    std::size_t skipped_ = 0;
};

}  // namespace tarvik
