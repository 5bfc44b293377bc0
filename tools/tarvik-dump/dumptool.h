#pragma once
// tarvik-dump: the bus as a text stream, for scripts and servers.
//
//   tarvik-dump --port PATH|--device N|--simulate [--can-speed 500k] [--mask std:MASK:CODE]
//               [--mask ext:MASK:CODE] [--lin 19200 [--master]]
//               [--format candump|asc|trc|blf|text] [--output FILE|PATTERN
//               [--rotate-size BYTES] [--rotate-time SECONDS]] [-n COUNT] [--duration S]
//               [--protocol native|slcan|socketcan]
//
// Opens the adapter, goes on bus with the main window's command sequence, and writes every
// frame to standard output until SIGINT or SIGTERM (or COUNT frames, or S seconds); then
// goes off bus (F) and closes the port. Formats: a candump log (the default; LIN frames have
// no candump form and are counted instead), an ASC, TRC or BLF log, or the monitor's own lines.
//
// --output writes a file instead (its ending picks the format unless --format is given);
// BLF needs it, since its header is completed at the end and a pipe cannot take that. With
// --rotate-size or --rotate-time the output is a strftime pattern (bench_%Y%m%d_%H%M%S.blf)
// and a new file starts when the current one reaches the size or the time; a name already
// used gets "-2", "-3" before its ending. Each file is written beside its name and renamed
// into place when complete, so every file there is a whole log; a failed write (a full
// disk) stops the capture with the reason and keeps the files finished before it.
// At exit standard error says how many frames were written and how many records were lost
// on the way (ring full, failed check, partial bytes), never silently:
//   tarvik-dump: 150000 frames written, 0 lost
//
// Exit status: 0 stopped as asked, 1 the adapter failed or could not be opened (its "USB
// Device Error : ..." text on standard error), 2 usage error.
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "tusbdev/busdevice.h"

namespace tarvik {

class TFtBackend;

struct TDumpOptions {
    enum class Source { Device, Port, Simulate };
    enum class Format { Candump, Asc, Trc, Blf, Text };
    Source source = Source::Device;
    std::uint32_t device = 0;
    std::string port;
    OnBusConfig bus;  // CAN at 1 Mbit/s, no masks, unless told otherwise
    std::uint32_t baud = 3000000;
    std::string kind = "native";  // the device kind (--protocol)
    Format format = Format::Candump;
    std::uint64_t count = 0;  // 0: no limit
    double duration = 0;      // seconds; 0: no limit
    std::string output;       // a file or a strftime pattern; empty: standard output
    std::uint64_t rotateSize = 0;  // bytes; 0: no limit
    double rotateTime = 0;         // seconds; 0: no limit
};

// Arguments without the program name. False with `error` for anything not understood.
bool ParseDumpArgs(int argc, const char* const* argv, TDumpOptions& options, std::string& error);
extern const char* const kDumpUsage;

// The device the options name, made from the table the main window uses.
std::shared_ptr<TBusDevice> DumpDevice(const TDumpOptions& options);

// Runs until `stop` is set, a limit is reached or the adapter fails; the exit status.
int RunDump(const TDumpOptions& options, std::shared_ptr<TBusDevice> device, std::FILE* out, std::FILE* err,
            const std::atomic<bool>& stop);
// The native adapter over a function table (the in-process emulator in tests).
int RunDump(const TDumpOptions& options, std::shared_ptr<TFtBackend> backend, std::FILE* out, std::FILE* err,
            const std::atomic<bool>& stop);

}  // namespace tarvik
