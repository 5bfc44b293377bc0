#pragma once
// The candump log: one frame per line, as Linux's can-utils write it ("candump -l") and
// most CAN tools read it.
//
//   (1436509052.249713) can0 123#DEADBEEF R         received standard frame, 3 hex digits
//   (1436509052.249800) can0 18FEF100#0102030405 T  transmitted extended frame, 8 hex digits
//   (1436509052.250000) can1 123##1112233           CAN FD: a flags digit, then data
//   (1436509052.250100) can0 123#R                  remote request: no data ("#R2": asks for 2)
//   (1436509052.250200) vcan0 20000004#00...        error frame (flag bit 29 set)
//   (1436509052.250300) can0 123#1122334455667788_F eight bytes with a length code above 8
//
// Reading: the time is seconds "." up to nine fraction digits; any interface name; the
// direction mark " R" or " T" is optional (received when absent); data bytes may be split
// by dots ("11.22.33"). A remote request is RemoteFrame with the remote record filled. A
// line that is none of these is Malformed.
//
// Writing (CAN records only; LIN frames have no candump form): the time with six fraction
// digits, interface "can0", upper-case hex, the direction mark always, and the "_X" length
// code when the record's length is 9 to 15; a remote record as "#R" with its length digit
// unless 0. With the frame opened at 1436509052.249713 s:
//   standard 0x123, received, 11 22, stamp 0        (1436509052.249713) can0 123#1122 R
//   extended 0x18FEF100, transmitted, no data, 345  (1436509052.284213) can0 18FEF100# T
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "logformats/logframe.h"

namespace tarvik {

TLogLine ParseCandumpLine(std::string_view line, TLogFrame& frame);

// Longest line FormatCandumpLine writes.
inline constexpr std::size_t kMaxCandumpLine = 80;

// Writes the line of a CAN record at `micros` (microseconds since 1970) with its LF into
// out (kMaxCandumpLine bytes) and gives its length.
std::size_t FormatCandumpLine(const AdapterRecord& record, std::int64_t micros, char* out);

}  // namespace tarvik
