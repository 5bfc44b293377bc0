#pragma once
// The TRC trace: a text log with ';' header lines and one frame per line, times in
// milliseconds since the first frame. Three shapes are read:
//
//   ;$FILEVERSION=1.1
//        1)      1059.9  Rx         0300  7  00 00 00 00 04 00 00
//        2)      1100.0  Rx     18FEF100  2  RTR
//   ;$FILEVERSION=2.0
//        1)      1059.900 DT     0300 Rx 7  00 00 00 00 04 00 00
//   ;$FILEVERSION=2.1
//   ;$STARTTIME=46000.5000000000
//   ;$COLUMNS=N,O,T,B,I,d,R,L,D
//         1        12.300 DT  1     0123 Rx -  2    11 22
//         2        13.000 RR  1 18FEF100 Tx -  4
//
// Identifiers of more than four hex digits are 29-bit ones. Version 1.x types: Rx, Tx
// (data or "RTR"), Error (an error frame); other types (Warng, bus status) are counted.
// Version 2.x types: DT data, RR remote request, FD/FB/FE/BI CAN FD (as FdFrame, first eight
// bytes), ER error frame; ST, EC, EV and others are counted. Version 2.1 takes its columns
// from $COLUMNS (N number, O time, T type, B bus, I identifier, d direction, R reserved,
// L length code, l length, D data). $STARTTIME (days since 30 Dec 1899, local time) makes
// the times absolute (seconds since 1970); without it they count from 0. A file without
// $FILEVERSION is read by the shape of its lines. A frame line that does not read is Malformed.
//
// Writing is version 2.1 with the columns above, bus 1, times with three decimals, the
// start time with twelve (well under a microsecond), upper-case hex, four identifier digits
// for 11-bit and eight for 29-bit frames; a length code above 8 is written as 8 with eight bytes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "logformats/logframe.h"

namespace tarvik {

class TTrcReader {
public:
    TLogLine ParseLine(std::string_view line, TLogFrame& frame);
    // Lines of kinds this program does not carry (bus status, events, error counters).
    std::uint64_t OtherLines() const { return others_; }
    // A $STARTTIME was read: frame times are since 1970.
    bool HasStart() const { return haveStart_; }

private:
    void HeaderLine(std::string_view line);
    TLogLine Version1(std::string_view* f, int n, TLogFrame& frame);
    TLogLine Version2(std::string_view* f, int n, int version, TLogFrame& frame);

    int version_ = 0;  // 10, 11, 20, 21; 0 until known
    bool haveStart_ = false;
    std::int64_t startNanos_ = 0;
    std::string columns_ = "NOTBIdRLD";
    std::uint64_t others_ = 0;
};

// The header lines, dated at `startMicros` (wall clock, microseconds since 1970).
std::string TrcHeader(std::int64_t startMicros);

inline constexpr std::size_t kMaxTrcLine = 96;

// The line of CAN record number `number` at `micros` since the first frame, with CR LF, into
// out (kMaxTrcLine bytes); its length.
std::size_t FormatTrcLine(const AdapterRecord& record, std::uint64_t number, std::int64_t micros, char* out);

}  // namespace tarvik
