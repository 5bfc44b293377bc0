#pragma once
// Turns the message and big-endian signal definitions of a CAN database (DBC) text into
// label lines, one per signal, in file order:
//
//   BO_ 192 EngineData: 8 ECU
//    SG_ BatteryVoltage : 24|16@0+ (0.01,0) [0|655.35] "V" ECU
// gives
//   BatteryVoltage,"unsigned short",,0x0C0,Big,31,16,0.01,0,0,655.35,"V"
//
// Only "BO_", "SG_" and "SIG_VALTYPE_" lines are read; the last makes a signal a "float"
// (type 1, 32 bits) or "double" (type 2, 64 bits) label. A signal line must follow its message line (or
// another signal of it) directly; a "BO_" line too short to name a message ends the current
// one. Signals that do not fit the expected forms, little-endian signals and the signals of
// a repeated message are skipped silently. Runs of blanks separate like one blank, and a
// quoted unit keeps its blanks ("deg C"). Bytes are kept as they are: names and units pass
// through without re-encoding.
//
// Three kinds of damage abort the whole import with a DbcImportError naming the line and
// the token: a message identifier that is not an unsigned 32-bit decimal number, a signal
// line too short to hold position, scale, range and unit after its ":", and a file that
// cannot be read. The caller gets nothing back then, so its table stays as it was.
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace tarvik {

class DbcImportError : public std::runtime_error {
public:
    // line counts from 1; 0 when the failure is not tied to a line (unreadable file).
    DbcImportError(int line, std::string token, const std::string& message);

    int Line() const { return line_; }
    const std::string& Token() const { return token_; }

private:
    int line_;
    std::string token_;
};

struct DbcImportOptions {
    // Also import the little-endian signals that a label decodes exactly: those in whole
    // bytes (start and length multiples of 8, inside the frame) and those inside one byte.
    // Their labels are "Little"; a one-byte field is right-aligned, so its label start is
    // the position of its top bit.
    //   SG_ Temp : 16|8@1+ ...  -> ...,Little,16,8,...   (Data2)
    //   SG_ Gear : 10|3@1+ ...  -> ...,Little,11,3,...   (bits 2..4 of Data1)
    // A one-bit signal with a scale or offset becomes a char label, since "bit" ignores both.
    bool littleEndian = false;
};

// What one import read and why signals were left out. Every signal line read is either
// a label or counted in exactly one of the skipped reasons.
struct DbcImportReport {
    int messages = 0;         // message definitions read, repeated ones included
    int signalLines = 0;      // signal definitions read
    int labels = 0;           // label lines made
    int multiplexed = 0;      // of the labels: signals with a multiplexer marker, which
                              // decode from every frame of their message
    int floating = 0;         // of the labels: "float" or "double" (SIG_VALTYPE_ 1 or 2)
    int littleEndian = 0;     // skipped: little-endian (with the option: not exact)
    int malformed = 0;        // skipped: position, scale or range not in the expected form
    int repeatedMessage = 0;  // skipped: signals of a message defined before
    int outsideMessage = 0;   // skipped: not directly below a message line
    int floatUnfit = 0;       // skipped: a float not of 32 bits, a double not of 64, or
                              // either with a scale or offset (a float label applies none)
    int Skipped() const
    {
        return littleEndian + malformed + repeatedMessage + outsideMessage + floatUnfit;
    }
};

// One line for a status bar or standard error:
//   "12 messages, 40 signals read, 30 labels made (2 multiplexed, 1 float); skipped:
//    8 little-endian, 1 malformed, 1 repeated message, 0 outside a message, 0 unreadable float"
std::string FormatDbcImportReport(const DbcImportReport& report);

// Imports DBC text held in memory. Lines end at CR, LF or CR LF; a NUL ends the text.
std::vector<std::string> ImportDbc(std::string_view text);
std::vector<std::string> ImportDbc(std::string_view text, const DbcImportOptions& options,
                                   DbcImportReport* report = nullptr);

// Largest DBC file read; a bigger one (or an endless device) throws instead of filling memory.
inline constexpr std::size_t kDbcFileMaxBytes = 256u << 20;

// Reads the file's bytes and imports them; an unreadable or too large file throws with line 0.
std::vector<std::string> ImportDbcFile(const std::string& path);
std::vector<std::string> ImportDbcFile(const std::string& path, const DbcImportOptions& options,
                                       DbcImportReport* report = nullptr);

// The number form of imported scale, offset and range: up to 15 significant digits, no
// trailing zeros, fixed-point for magnitudes from 0.00001 with at most 15 integer digits,
// scientific otherwise: 0.1, -40, 0.00001, 1E-6, 1.5E20. Never depends on the locale.
std::string FormatGeneralDecimal(double v);

}  // namespace tarvik
