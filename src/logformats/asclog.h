#pragma once
// The ASC log: a text trace with a header, read by the common CAN viewers and analysers.
//
//   date Tue Dec 08 03:50:13.000 pm 2026
//   base hex  timestamps absolute
//   internal events logged
//   Begin Triggerblock Tue Dec 08 03:50:13.000 pm 2026
//      0.000000 Start of measurement
//      0.000000 1  123             Rx   d 2 11 22
//      0.034500 1  18FEF100x       Tx   d 8 01 02 03 04 05 06 07 08
//      0.035000 L1 12  Rx   2 A1 B2
//      0.036000 1  321             Rx   r 2
//   End TriggerBlock
//
// Frame lines: time in seconds since the measurement began, channel (a number for CAN,
// "L" and a number for LIN), identifier ("x" marks a 29-bit one), Rx or Tx, "d" and the
// length code (hex) for a CAN data frame, then the data bytes; "r" and the length asked for
// (hex) for a remote request. LIN lines give the LIN
// identifier, direction, the length (decimal) and the data; the LIN error code of a
// record has no place here and is not written.
//
// Reading also takes: "base dec" (identifiers, length codes and data in decimal),
// "timestamps relative" (each time counts from the previous frame), trailing fields after
// the data ("Length = ...", "BitCount = ..."), remote frames ("r", length 0 when none
// follows; read as RemoteFrame with the remote record filled), "ErrorFrame" lines and
// "CANFD" lines (their first eight bytes). Every other line (header, comments, statistics,
// events) is Other; a frame line that does not read is Malformed.
//
// Writing: times with six fraction digits, right-aligned in 11 characters; upper-case hex;
// lengths 9 to 15 keep their code and write eight bytes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "logformats/logframe.h"

namespace tarvik {

class TAscReader {
public:
    // One line; the reader keeps the header's base and time mode across lines.
    TLogLine ParseLine(std::string_view line, TLogFrame& frame);

private:
    // Takes a line's time as the latest (added to it in a relative log), error frames too so
    // that the times after them stay right; false when it is out of range.
    bool AdvanceTime(std::int64_t sec, std::int32_t nsec);

    bool decimal_ = false;
    bool relative_ = false;
    std::int64_t lastNanos_ = 0;  // the previous frame's or error frame's time, for relative times
};

// The header up to and including "Start of measurement", dated at `startMicros` (wall
// clock, microseconds since 1970, shown in local time).
std::string AscHeader(std::int64_t startMicros);
inline constexpr std::string_view kAscFooter = "End TriggerBlock\n";

// Longest line FormatAscLine writes.
inline constexpr std::size_t kMaxAscLine = 112;

// Writes the line of a CAN or LIN record at `micros` since the measurement began, with its
// LF, into out (kMaxAscLine bytes) and gives its length. A CAN data frame with a length code
// above 8 is written "d 8" with its eight bytes.
std::size_t FormatAscLine(const AdapterRecord& record, std::int64_t micros, char* out);

}  // namespace tarvik
