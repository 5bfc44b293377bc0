#pragma once
// A recorded history saved as a trace log that other tools read.
//
// Times: the adapter stamps records in 100 microsecond ticks on a 32-bit counter that wraps
// every 429,496.7296 s; the ticks are unwrapped from the first saved record on (a step
// back of more than half the counter is a wrap). A candump log carries absolute seconds:
// the wall clock when the bus was opened plus the record's unwrapped ticks, so it sorts
// with logs from other machines. ASC and TRC logs count from their first record (t = 0) and
// are dated at that record's wall-clock time; a BLF log is dated at it to the millisecond and
// its times count from there, so each keeps the absolute time of every frame.
//
// What is written: CAN frames as received (Rx) or transmitted (Tx); LIN frames in ASC only
// (candump, TRC and BLF as written here have no LIN form: they are left out and counted);
// status and unknown records are skipped.
//
// With the bus opened at 1436509052.249713 s, records at ticks 0 and 345:
//   candump  (1436509052.249713) can0 123#1122 R
//            (1436509052.284213) can0 18FEF100# T
//   ASC         0.000000 1  123             Rx   d 2 11 22
//               0.034500 1  18FEF100x       Tx   d 0
//   TRC            1         0.000 DT  1     0123 Rx -  2    11 22
//                  2        34.500 DT  1 18FEF100 Tx -  0
//   BLF      binary (blflog.h); its file header, written last, goes over the first bytes
#include <QString>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include <memory>

#include "logformats/blflog.h"
#include "platform/atomicfile.h"
#include "tusbdev/adapterprotocol.h"

namespace tarvik {

enum class TTraceFormat { Candump, Asc, Trc, Blf };

struct TTraceCounts {
    std::uint64_t written = 0;      // frames in the file
    std::uint64_t linLeftOut = 0;   // LIN frames a candump, TRC or BLF log does not hold
    std::uint64_t skipped = 0;      // status and unknown records
};

// Formats records one at a time, for a stream (the dump tool) or a whole history.
class TTraceWriter {
public:
    // `openedMicros` is the wall clock (microseconds since 1970) when the bus was opened.
    TTraceWriter(TTraceFormat format, std::int64_t openedMicros);
    ~TTraceWriter();
    TTraceWriter(const TTraceWriter&) = delete;
    TTraceWriter& operator=(const TTraceWriter&) = delete;

    // Appends the bytes of one record (the header before the first) to out; a BLF log gives
    // its bytes a container at a time.
    void Write(const AdapterRecord& record, std::string& out);
    // Appends what closes the file (the header too when no record came).
    void Finish(std::string& out);
    // A BLF log's header, complete only after Finish, to write over the first kBlfHeaderSize
    // bytes of the file; empty for the text formats, which need nothing rewritten.
    std::string FinalHeader() const;
    bool HeaderAtEnd() const { return format_ == TTraceFormat::Blf; }
    // After Finish: the next Write starts a new file (a rotated capture). Times go on from
    // the same unwrapped ticks, so a counter wrap before the new file is not lost.
    void NextFile();

    const TTraceCounts& Counts() const { return counts_; }
    TTraceFormat Format() const { return format_; }

private:
    void Begin(std::int64_t ticks, std::string& out);

    TTraceFormat format_;
    std::int64_t opened_;
    TTraceCounts counts_;
    bool started_ = false;      // the current file has its header
    bool everStarted_ = false;  // ticks are unwrapped from the first record on
    std::uint32_t lastTick_ = 0;
    std::int64_t ticks_ = 0;
    std::int64_t firstTicks_ = 0;
    std::uint64_t number_ = 0;  // TRC message numbers, from 1 in each file
    std::unique_ptr<TBlfWriter> blf_;
};

// The whole file of the records, oldest first (binary for BLF).
std::string FormatTrace(TTraceFormat format, std::span<const AdapterRecord> records, std::int64_t openedMicros,
                        TTraceCounts* counts = nullptr);

// Formats and writes the records in pieces through a temporary file renamed over `path`
// (memory stays small however long the history). False with `error` the system's reason.
bool SaveTrace(const QString& path, TTraceFormat format, std::span<const AdapterRecord> records,
               std::int64_t openedMicros, TTraceCounts* counts, QString* error);

// The format a file name asks for: ".asc" is ASC, ".log" a candump log, ".trc" TRC,
// ".blf" BLF (any case); false otherwise.
bool TraceFormatOfName(const QString& path, TTraceFormat* format);

}  // namespace tarvik
