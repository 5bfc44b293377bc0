#include "logformats/tracefile.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <memory>

#include "logformats/asclog.h"
#include "logformats/candumplog.h"

namespace tarvik {

TTraceWriter::TTraceWriter(TTraceFormat format, std::int64_t openedMicros) : format_(format), opened_(openedMicros) {}

std::size_t TTraceWriter::Begin(std::int64_t ticks, char* out)
{
    started_ = true;
    firstTicks_ = ticks;
    if (format_ != TTraceFormat::Asc)
        return 0;
    const std::string header = AscHeader(opened_ + ticks * 100);
    std::memcpy(out, header.data(), header.size());
    return header.size();
}

std::size_t TTraceWriter::Write(const AdapterRecord& r, char* out)
{
    const std::uint32_t tick = r.TimeStamp();
    std::size_t n = 0;
    if (!started_) {
        ticks_ = tick;
        n = Begin(ticks_, out);
    } else {
        // Signed difference: a forward step up to half the counter, including across the wrap.
        ticks_ += static_cast<std::int32_t>(tick - lastTick_);
    }
    lastTick_ = tick;
    if (!r.IsCan() && !r.IsLin()) {
        ++counts_.skipped;
        return n;
    }
    if (format_ == TTraceFormat::Candump) {
        if (r.IsLin()) {
            ++counts_.linLeftOut;
            return n;
        }
        n += FormatCandumpLine(r, opened_ + ticks_ * 100, out + n);
    } else {
        n += FormatAscLine(r, (ticks_ - firstTicks_) * 100, out + n);
    }
    ++counts_.written;
    return n;
}

std::string TTraceWriter::Finish()
{
    if (format_ != TTraceFormat::Asc)
        return {};
    std::string tail;
    if (!started_)
        tail = AscHeader(opened_);
    tail += kAscFooter;
    return tail;
}

std::string FormatTrace(TTraceFormat format, std::span<const AdapterRecord> records, std::int64_t openedMicros,
                        TTraceCounts* counts)
{
    TTraceWriter writer(format, openedMicros);
    std::string text;
    char chunk[TTraceWriter::kMaxChunk];
    for (const AdapterRecord& r : records)
        text.append(chunk, writer.Write(r, chunk));
    text += writer.Finish();
    if (counts)
        *counts = writer.Counts();
    return text;
}

bool SaveTrace(const QString& path, TTraceFormat format, std::span<const AdapterRecord> records,
               std::int64_t openedMicros, TTraceCounts* counts, QString* error)
{
    TAtomicFile file(QFile::encodeName(path).toStdString(), true);
    auto fail = [&] {
        if (error) *error = QString::fromLocal8Bit(file.Reason());
        return false;
    };
    if (!file.Open())
        return fail();
    TTraceWriter writer(format, openedMicros);
    constexpr std::size_t kPiece = 4u << 20;
    std::unique_ptr<char[]> buf(new char[kPiece + TTraceWriter::kMaxChunk]);
    std::size_t used = 0;
    for (const AdapterRecord& r : records) {
        used += writer.Write(r, buf.get() + used);
        if (used >= kPiece) {
            if (!file.Write(buf.get(), used))
                return fail();
            used = 0;
        }
    }
    const std::string tail = writer.Finish();
    if (!file.Write(buf.get(), used) || !file.Write(tail.data(), tail.size()) || !file.Commit())
        return fail();
    if (counts)
        *counts = writer.Counts();
    return true;
}

bool TraceFormatOfName(const QString& path, TTraceFormat* format)
{
    if (path.endsWith(QStringLiteral(".asc"), Qt::CaseInsensitive)) {
        *format = TTraceFormat::Asc;
        return true;
    }
    if (path.endsWith(QStringLiteral(".log"), Qt::CaseInsensitive)) {
        *format = TTraceFormat::Candump;
        return true;
    }
    return false;
}

}  // namespace tarvik
