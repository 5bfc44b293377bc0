#pragma once
// tarvik-labels: labels from a shell, on the program's own label and import code.
//
//   tarvik-labels import-dbc [--little-endian] FILE.dbc
//                                           label lines of the database's big-endian signals
//                                           (and its exactly decodable little-endian ones);
//                                           what was read and skipped goes to standard error
//   tarvik-labels decode LABELFILE [LOG]    candump, ASC, TRC or BLF log (or standard input) to CSV
//
// decode writes a header "time(s)" and the name of every acquired label, in label-file
// order, then one row per frame that matches at least one label: the time since the
// log's first frame ("%.6f") and every label's latest value ("%lg"; an empty field until
// the label's first frame).
//   time(s),EngineSpeed,CoolantTemp
//   0.000000,1200,
//   0.010000,1200,85
// Malformed log lines are skipped and counted on standard error with their line numbers.
//
// Exit status: 0 done, 1 a file could not be read, was no label file, held no CAN frame, the output could not
// be written or the import aborted, 2 usage error.
#include <cstdio>

namespace tarvik {

int RunTarvikLabels(int argc, const char* const* argv, std::FILE* in, std::FILE* out,
                    std::FILE* err);

}  // namespace tarvik
