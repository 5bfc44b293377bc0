#pragma once
// Lines of a candump log (candump -l):
//
//   (1436509052.249713) can0 123#DEADBEEF          standard identifier, 3 hex digits
//   (1436509052.249800) can0 18FEF100#0102030405   extended identifier, 8 hex digits
//   (1436509052.250000) can1 123##1112233          CAN FD: a flags digit, then data
//   (1436509052.250100) can0 123#R                 remote request: no data
//   (1436509052.250200) vcan0 20000004#00...       error frame (flag bit 29 set)
//   (1436509052.250300) can0 123#1122 R            newer logs may mark direction T/R
//
// Data bytes fill the frame's 64-bit number from its most significant byte (byte 0);
// missing bytes are zero, bytes past the eighth (CAN FD) are not part of it.
#include <cstdint>
#include <cstdio>
#include <string_view>
#include <vector>

namespace tarvik {

struct CandumpFrame {
    std::int64_t seconds = 0;
    std::int32_t nanoseconds = 0;
    std::uint32_t key = 0;   // identifier, bit 31 set when extended (the label frame key)
    std::uint64_t data = 0;  // byte 0 most significant
};

enum class CandumpLineKind {
    Frame,      // a data frame; frame is filled
    NoData,     // well formed, but nothing to decode: blank, remote request, error frame
    Malformed,  // not a log line
};

CandumpLineKind ParseCandumpLine(std::string_view line, CandumpFrame& frame);

// Reads lines from a stream in fixed-size chunks, so memory stays constant however long
// the log. LF and CR LF end lines. A line longer than the buffer is returned cut, with
// truncated set, and the rest of it skipped.
class LineReader {
public:
    explicit LineReader(std::FILE* in, std::size_t capacity = 1 << 20);
    bool Next(std::string_view& line, bool& truncated);
    bool Failed() const { return failed_; }

private:
    bool Fill();

    std::FILE* in_;
    std::vector<char> buf_;
    std::size_t begin_ = 0;
    std::size_t end_ = 0;
    bool eof_ = false;
    bool failed_ = false;
    bool skipping_ = false;
};

}  // namespace tarvik
