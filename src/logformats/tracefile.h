#pragma once
// A recorded history saved as a trace log that other tools read.
//
// Times: the adapter stamps records in 100 microsecond ticks on a 32-bit counter that wraps
// every 429,496.7296 s; the ticks are unwrapped from the first saved record on (a step
// back of more than half the counter is a wrap). A candump log carries absolute seconds:
// the wall clock when the bus was opened plus the record's unwrapped ticks, so it sorts
// with logs from other machines. An ASC log counts from its first record (t = 0) and is
// dated at that record's wall-clock time.
//
// What is written: CAN frames as received (Rx) or transmitted (Tx); LIN frames in ASC only
// (candump has no LIN form: they are left out and counted); status and unknown records
// are skipped.
//
// With the bus opened at 1436509052.249713 s, records at ticks 0 and 345:
//   candump  (1436509052.249713) can0 123#1122 R
//            (1436509052.284213) can0 18FEF100# T
//   ASC         0.000000 1  123             Rx   d 2 11 22
//               0.034500 1  18FEF100x       Tx   d 0
#include <QString>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "platform/atomicfile.h"
#include "tusbdev/adapterprotocol.h"

namespace tarvik {

enum class TTraceFormat { Candump, Asc };

struct TTraceCounts {
    std::uint64_t written = 0;      // frames in the file
    std::uint64_t linLeftOut = 0;   // LIN frames a candump log cannot hold
    std::uint64_t skipped = 0;      // status and unknown records
};

// Formats records one at a time, for a stream (the dump tool) or a whole history.
class TTraceWriter {
public:
    // Most bytes one Write gives: the ASC header and one line.
    static constexpr std::size_t kMaxChunk = 512;

    // `openedMicros` is the wall clock (microseconds since 1970) when the bus was opened.
    TTraceWriter(TTraceFormat format, std::int64_t openedMicros);
    // The text for one record (the ASC header before the first) into out; its length,
    // 0 for a record the format leaves out.
    std::size_t Write(const AdapterRecord& record, char* out);
    // What closes the file (the header too when no record came).
    std::string Finish();
    const TTraceCounts& Counts() const { return counts_; }

private:
    std::size_t Begin(std::int64_t ticks, char* out);

    TTraceFormat format_;
    std::int64_t opened_;
    TTraceCounts counts_;
    bool started_ = false;
    std::uint32_t lastTick_ = 0;
    std::int64_t ticks_ = 0;
    std::int64_t firstTicks_ = 0;
};

// The whole file text of the records, oldest first.
std::string FormatTrace(TTraceFormat format, std::span<const AdapterRecord> records, std::int64_t openedMicros,
                        TTraceCounts* counts = nullptr);

// Formats and writes the records in pieces through a temporary file renamed over `path`
// (memory stays small however long the history). False with `error` the system's reason.
bool SaveTrace(const QString& path, TTraceFormat format, std::span<const AdapterRecord> records,
               std::int64_t openedMicros, TTraceCounts* counts, QString* error);

// The format a file name asks for: ".asc" is ASC, ".log" a candump log; false otherwise.
bool TraceFormatOfName(const QString& path, TTraceFormat* format);

}  // namespace tarvik
