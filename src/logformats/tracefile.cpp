#include "logformats/tracefile.h"

#include <QSaveFile>
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

namespace {

// The system's words for the last failure, Qt's when the system gave none.
QString Reason(const QFileDevice& f, int e) { return e ? QString::fromLocal8Bit(std::strerror(e)) : f.errorString(); }

// Everything of one write, retried after short writes; false on failure with errno kept.
bool WriteAll(QSaveFile& file, const char* data, std::int64_t size)
{
    while (size > 0) {
        errno = 0;
        const qint64 w = file.write(data, size);
        if (w <= 0)
            return false;
        data += w;
        size -= w;
    }
    return true;
}

}  // namespace

bool SaveTrace(const QString& path, TTraceFormat format, std::span<const AdapterRecord> records,
               std::int64_t openedMicros, TTraceCounts* counts, QString* error)
{
    QSaveFile file(path);
    file.setDirectWriteFallback(true);  // a writable file in a folder we cannot add to
    // Unbuffered: through Qt's buffer a failed final flush can still commit a truncated
    // file as a success; written straight through, every failure shows at its write.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        if (error) *error = file.errorString();
        return false;
    }
    TTraceWriter writer(format, openedMicros);
    constexpr std::size_t kPiece = 4u << 20;
    std::unique_ptr<char[]> buf(new char[kPiece + TTraceWriter::kMaxChunk]);
    std::size_t used = 0;
    auto fail = [&] {
        const int e = errno;
        if (error) *error = Reason(file, e);
        file.cancelWriting();
        return false;
    };
    for (const AdapterRecord& r : records) {
        used += writer.Write(r, buf.get() + used);
        if (used >= kPiece) {
            if (!WriteAll(file, buf.get(), std::int64_t(used)))
                return fail();
            used = 0;
        }
    }
    const std::string tail = writer.Finish();
    if (!WriteAll(file, buf.get(), std::int64_t(used)) || !WriteAll(file, tail.data(), std::int64_t(tail.size())))
        return fail();
    errno = 0;
    if (!file.commit()) {
        if (error) *error = Reason(file, errno);
        return false;
    }
    if (counts)
        *counts = writer.Counts();
    return true;
}

bool SaveFileAtomically(const QString& path, const char* data, std::int64_t size, QString* error)
{
    QSaveFile file(path);
    file.setDirectWriteFallback(true);  // a writable file in a folder we cannot add to
    // Unbuffered, for the reason given at SaveTrace.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        if (error) *error = file.errorString();
        return false;
    }
    if (!WriteAll(file, data, size)) {
        const int e = errno;
        if (error) *error = Reason(file, e);
        file.cancelWriting();
        return false;
    }
    errno = 0;
    if (!file.commit()) {
        if (error) *error = Reason(file, errno);
        return false;
    }
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
