#pragma once
// The acquisition log: every plotted sample of every label, kept in one block of memory
// taken in full when a run starts, so a push never allocates. When the block is full the
// oldest values are overwritten and the file keeps the most recent complete rows.
//
// The CSV file it writes, line by line, each line ended by CR LF:
//   time(s),A,B          header: "time(s)" and ",name" per column, in column order
//   0.000,1,0.5          time "%5.3f", then ",%lg" per column
//   0.050,2,0.5          times are built by repeated addition of the sample step, so
//   0.100,3,0.5          their rounding error adds up exactly as a running sum does
// A name holding a comma, a double quote, CR or LF is written quoted with its quotes
// doubled ("a,b" -> "\"a,b\""), so the header keeps one field per column; other names are
// written byte for byte. Values: six significant digits, "nan", "-inf", "1e+300" as printf
// writes them; a label that had no frame yet (NoValue) leaves its field empty: "0.050,,0.5".
#include <QDate>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tarvik {

// The complete rows of a log, oldest first, read in place: value (row, column) lies
// row × columns + column values after the first one, around the end of the block.
struct TLogSamples {
    const double* base = nullptr;
    std::uint32_t capacity = 0;
    std::uint32_t first = 0;  // index of row 0, column 0 in the block
    std::uint32_t columns = 0;
    std::uint32_t rows = 0;
    std::int32_t sampleRate = 0;  // ms between rows

    double At(std::uint32_t row, std::uint32_t column) const
    {
        std::uint64_t i = first + std::uint64_t(row) * columns + column;
        if (i >= capacity)
            i -= capacity;
        return base[i];
    }
};

class TDaqLogData {
public:
    // Takes the block; throws std::runtime_error with the system's reason when it cannot,
    // or when the size holds not even one value. alloc (zero-filled bytes, nullptr with errno set on failure) defaults to calloc.
    using Allocator = std::function<void*(std::size_t bytes)>;
    TDaqLogData(std::uint32_t sizeBytes, std::int32_t sampleRateMs, const Allocator& alloc = {});
    ~TDaqLogData();
    TDaqLogData(const TDaqLogData&) = delete;
    TDaqLogData& operator=(const TDaqLogData&) = delete;

    std::vector<std::string> Columns;

    void Push(double v)
    {
        if (count_ < capacity_)
            ++count_;
        *write_ = v;
        if (++write_ == base_ + capacity_)
            write_ = base_;
    }
    double FillPercent() const { return count_ * 100.0 / capacity_; }
    std::uint32_t Count() const { return count_; }
    std::uint32_t Capacity() const { return capacity_; }
    std::int32_t SampleRate() const { return sampleRate_; }

    // The rows the file would hold, for reading back after a run.
    TLogSamples Samples() const;

    // The whole file text.
    std::string BuildCsv() const;
    // Writes the file atomically (the old file stays whole on failure); on failure error
    // gets "Cannot write <path> : <reason>".
    bool SaveToCsv(const QString& path, QString* error = nullptr) const;

private:
    std::uint32_t size_;
    std::int32_t sampleRate_;
    std::unique_ptr<double, void (*)(double*)> block_;
    double* base_ = nullptr;
    double* write_ = nullptr;
    std::uint32_t count_ = 0;
    std::uint32_t capacity_ = 0;
};

// printf "%5.3f" of t, appended to out (shared with the tests' reference).
void AppendTime(std::string& out, double t);

// "%s%s_%03d.csv" of prefix, date as yyyymmdd and the first i in 1..999 whose name does
// not exist yet (999 when all do). exists defaults to a test of the file system.
QString DefaultDaqFileName(const QString& prefix, const QDate& date,
                           const std::function<bool(const QString&)>& exists = {});

// Smallest and largest block a run takes; smaller requests are raised so a push always
// has room, larger ones cut so a mistyped settings value cannot ask for the whole machine.
inline constexpr std::uint32_t kMinLogBufferSize = 8u * 1024 * 1024;
inline constexpr std::uint32_t kMaxLogBufferSize = 1024u * 1024 * 1024;
std::uint32_t ClampLogBufferSize(std::int64_t bytes);

}  // namespace tarvik
