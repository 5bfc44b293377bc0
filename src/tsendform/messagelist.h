#pragma once
// The transmit list: the rows of the send window's "Message List" page and their file, a
// small text format of our own, one row a line:
//
//   # Tarvik message list
//   # on id       ext len data             ms  [NAME=VALUE...] [# comment]
//   1 0C0      0 8 1F40640000000000 10  EngineSpeed=2000 Throttle=40 # engine at 2000 rpm
//   0 18FEF100 1 8 FFFFFFFFFFFFFFFF 100 # sent while the row is enabled and started
//   1 123      0 2 1122             0   # 0 ms: on demand only (Send once)
//
// Fields are separated by blanks: enabled (1 or 0), identifier (hex, at most 7FF, or
// 1FFFFFFF when extended), extended (1 or 0), length (0 to 8), data (up to 16 hex digits,
// the bytes from D0 on; missing bytes are 00, "-" is all 00), interval in milliseconds (0 to
// 99999999, 0 = on demand). Then, optionally, the label values the data was built from
// (NAME=VALUE; % escapes a blank, "#", "=" or "%" in a name as %20, %23, %3D, %25), and a
// comment: everything after a "#" that begins a field. Lines that are blank or begin with
// "#" are not rows. A line that does not read is reported with its number and kept: saving
// writes it back as it was, near where it stood.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tusbdev/busdevice.h"

namespace tarvik {

struct TSignalValue {
    std::string name;
    double value = 0;
    bool operator==(const TSignalValue&) const = default;
};

struct TMessageRow {
    static constexpr std::uint32_t kMaxIntervalMs = 99999999;  // the Interval field's eight digits

    bool enabled = true;
    std::uint32_t id = 0;
    bool extended = false;
    int length = 8;
    std::array<std::uint8_t, 8> data{};
    std::uint32_t intervalMs = 0;  // 0: sent on demand only
    // The label values the data was built from ("Signals"); empty for a row of bytes.
    std::vector<TSignalValue> signalValues;
    std::string comment;

    bool operator==(const TMessageRow&) const = default;
    TBusFrame Frame() const { return TBusFrame::Classic(id, extended, length, data.data()); }
    // The eight data bytes as one number, byte 0 most significant (as labels read them).
    std::uint64_t Data64() const;
    void SetData64(std::uint64_t d);
};

// A line that did not read as a row, kept as it was.
struct TKeptLine {
    int lineNumber = 0;  // in the file, from 1
    int beforeRow = 0;   // rows read before it: saving writes it back before that row
    std::string text;
    std::string reason;  // empty for a comment line
};

struct TMessageList {
    std::vector<TMessageRow> rows;
    std::vector<TKeptLine> kept;
    // "line 3: the length 9 is not 0 to 8": the lines kept because they did not read.
    std::vector<std::string> Problems() const;
};

// One row line (no comment line); false, with the reason, when it does not read.
bool ParseMessageRow(std::string_view line, TMessageRow& row, std::string* reason = nullptr);
// The line of a row, without line end.
std::string FormatMessageRow(const TMessageRow& row);
// Whether the row can go on the bus as it is; false with the reason (the reader's words).
bool CheckMessageRow(const TMessageRow& row, std::string* reason = nullptr);

TMessageList ParseMessageList(std::string_view text);
// The file text: a header, then the rows and the kept lines, LF after every line.
std::string FormatMessageList(const TMessageList& list);

// Reads the file; false (the reason in error) when it cannot be read. Bad lines do not fail
// the read: they are in list.kept.
bool ReadMessageList(const std::string& path, TMessageList& list, std::string* error = nullptr);
// Writes the file atomically: a failed save leaves the old file.
bool WriteMessageList(const std::string& path, const TMessageList& list, std::string* error = nullptr);

}  // namespace tarvik
