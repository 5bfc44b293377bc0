#pragma once
// The one text form of a bus frame, and the program's short version label.
//
// A monitor line is 62 characters, no line break (columns from 0):
//   0      "T" transmitted, " " received
//   1-8    identifier, upper-case hex ending in column 8: CAN standard "%04X",
//          CAN extended "%08X", LIN "%02X" (wider values push the line right)
//   11-12  "X " extended, "  " standard ("XR", " R" for a remote request, whose identifier
//          is shown without its flag and whose data columns stay blank), or the LIN status
//          code ("pe", "fe", "se", "te", "??")
//   15     length as received (0..15; 10..15 make the line one character longer)
//   16-49  up to eight data bytes "   %02X" then "  %02X", padded with spaces to 34
//   50-61  time stamp / 10000 as "%7d", ".", time stamp % 10000 as "%04d"
// Examples (received standard 0x123 with two bytes at time 345; transmitted extended 0x123
// with eight bytes at the largest time stamp):
//   "     0123      2   11  22                               0.0345"
//   "T00000123  X   8   01  02  03  04  05  06  07  08  429496.7295"
// A record whose check bytes (0 and 19) differ is shown as its 20 bytes "%02X", space-separated.
#include <QString>
#include <cstddef>
#include <string>

#include "platform/version.h"
#include "tusbdev/adapterprotocol.h"

namespace tarvik {

// Longest line FormatFrame can write (a standard identifier of eight digits and a two-digit length).
inline constexpr std::size_t kMaxFrameTextLength = 67;
// Width of a usual monitor line, and the column of data byte i's first digit in it.
inline constexpr std::size_t kFrameTextWidth = 62;
constexpr int DataByteColumn(int i) { return 19 + 4 * i; }
// The column header the monitor windows show above the lines.
inline constexpr const char* kMonitorHeader = "   ID     FLG LEN  D0...1...2...3...4...5...6..D7       TIME";

// Writes the monitor line of one record into out (at least kMaxFrameTextLength bytes, not
// terminated) and gives its length. Pure; safe from any thread.
std::size_t FormatFrame(const AdapterRecord& record, char* out);

// The monitor line as a string.
std::string FrameToText(const AdapterRecord& record);

// "major.minor.release.build" of a version.
QString FileVersionText(const FileVersion& version);
// Short label of a "a.b.c.d" version text: major, ".", minor with at least two digits.
// "1.2.0.0" gives "1.02", "1.15.3.0" gives "1.15", empty text gives ".0".
QString VersionLabelOf(const QString& fileVersion);

// The version compiled into this program; the file name is accepted for the callers' sake
// and not read, since our version is not stored in the executable as a resource.
QString GetFileVersion(const QString& fileName);
QString GetVersionLabel(const QString& fileName);

}  // namespace tarvik
