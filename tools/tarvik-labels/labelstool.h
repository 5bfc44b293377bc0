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
//   tarvik-labels encode LABELFILE NAME=VALUE...
//                                           the frame that holds those physical values, in
//                                           candump form: cansend can0 $(tarvik-labels encode
//                                           labels.txt EngineSpeed=2000 Throttle=40)
//
// encode takes every label of the file (acquired or not). The names must all be labels of one
// frame; the frame's other bits are 0, and it is as long as its labels reach (0C0#1F406400).
// A value a label cannot hold is clamped (to Min..Max, the width) and said on standard error.
//
// Exit status: 0 done, 1 a file could not be read, was no label file, held no CAN frame, the output could not
// be written, the import aborted, or the labels to encode are unknown or of different frames; 2 usage
// error (an argument that is not NAME=VALUE).
#include <cstdio>

namespace tarvik {

int RunTarvikLabels(int argc, const char* const* argv, std::FILE* in, std::FILE* out,
                    std::FILE* err);

}  // namespace tarvik
