#pragma once
// Label lines and label files: the field splitting and quoting rules shared by every
// reader and writer, the line rules of the file, and writing and renewing a label file.
//
// Text is handled as bytes (std::string): a label file may be in code page 932, and
// nothing here re-encodes it. Every byte >= 0x80 is an ordinary character.
//
//   EngineSpeed,"unsigned short",,0x0C0,Big,0,16,0.25,0,0,8000,rpm   acquired (DAQ on)
//   // Temp,"signed char",,0x123,Little,8,8,1,-40,-40,210,degC        DAQ off
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/atomicfile.h"

namespace tarvik {

// Number of fields of a label line, and of cells of a table row (the DAQ cell first).
inline constexpr int kLabelFieldCount = 12;
inline constexpr int kLabelRowCellCount = 13;

// Removes every character with a code from 0 to 32 from both ends.
std::string TrimLabelText(std::string_view text);

// Splits one label line into its fields. Commas and runs of blanks separate fields,
// double quotes enclose a field (a doubled quote inside stands for one), a leading or
// trailing comma gives an empty field. A NUL ends the text. A field whose quote never
// closes runs to the end of the text, its last character included.
std::vector<std::string> SplitLabelLine(std::string_view text);

// Joins fields into one line that SplitLabelLine reads back unchanged: a field holding a
// character with a code 0 to 32, a quote or a comma is quoted (quotes doubled); an empty
// field is written as nothing, except a list of exactly one empty field, written "".
// NUL characters are dropped: in a file they would end the text.
std::string JoinLabelLine(const std::vector<std::string>& fields);
// One field as JoinLabelLine writes it (quoted when needed), appended to out.
void AppendLabelField(std::string& out, std::string_view field);

// Cuts text into lines: CR, LF and CR LF each end a line, a last line without terminator
// is still a line, and a NUL ends the text.
std::vector<std::string> SplitTextLines(std::string_view text);

// A line that the readers ignore (blank or control characters only).
bool IsIgnoredLabelLine(std::string_view line);
// A label whose acquisition is off: the untrimmed line begins with "// ".
bool IsDaqOffLabelLine(std::string_view line);

// The 13 cells of a label table row for one line of a label file: "V" or "-", then the
// twelve fields (fields past the twelfth dropped, missing ones empty). None for an
// ignored line.
std::optional<std::vector<std::string>> LabelRowFromLine(std::string_view line);

// File text for table rows (DAQ cell, then the twelve fields): cells trimmed, "// " in
// front of rows whose DAQ cell is not "V", CR LF after every line. No rows: empty text.
std::string FormatLabelTable(const std::vector<std::vector<std::string>>& rows);

// Largest label file read: far above any real one, and low enough that a device such as
// /dev/zero given as the file ends in an error instead of exhausting memory.
inline constexpr std::size_t kLabelFileMaxBytes = 64u << 20;

// Reads a whole file as bytes, at most maxBytes of them. On failure (including a file
// larger than maxBytes: "Cannot read file "x": larger than 64 MB") returns false and sets
// *error (if given).
bool ReadFileBytes(const std::string& path, std::string& bytes, std::string* error = nullptr,
                   std::size_t maxBytes = kLabelFileMaxBytes);
// Reads a label file into its lines (SplitTextLines).
bool ReadLabelLines(const std::string& path, std::vector<std::string>& lines,
                    std::string* error = nullptr);

// A line that reads as a label: "Big" or "Little" as its fifth field, the byte order
// (after the "// " of a DAQ-off line). Later fields may be missing: they take defaults.
bool IsLabelLine(std::string_view line);

// What the lines of another kind of file look like, for telling a user who gave it as a
// label file: "a DBC file", "a candump log", "an ASC log", "an acquisition CSV", or empty.
std::string LabelFileLookAlike(const std::vector<std::string>& lines);

// Lines that are not a label file: some line is neither ignored nor a label line, and no
// line is a label line (an empty file is an empty table). Then false, with error
//   "x.dbc is not a label file (no line has the 12 label fields; it looks like a DBC
//    file - use Open to import it)"
// where the part after the look-alike is dbcHint, given only for a DBC file. Lines that fail
// inside a real label file are no reason to refuse it.
bool CheckLabelFileLines(const std::vector<std::string>& lines, const std::string& path,
                         std::string* error = nullptr,
                         std::string_view dbcHint = "use Open to import it");

// Writes table rows to a label file (FormatLabelTable, atomically).
bool WriteLabelTable(const std::string& path, const std::vector<std::vector<std::string>>& rows,
                     std::string* error = nullptr);

// The backup name of a label file: its extension replaced by ".bak", or ".bak" appended
// when the name has none (labels.txt -> labels.bak, labels -> labels.bak).
std::string LabelBackupFileName(const std::string& path);

// Renews the label file: copies an existing file to its backup (a failed copy is not
// reported), then writes the rows. False, with the old file intact, when the write fails;
// the caller then must not reload the graph.
bool RenewLabelFile(const std::string& path, const std::vector<std::vector<std::string>>& rows,
                    std::string* error = nullptr);

}  // namespace tarvik
