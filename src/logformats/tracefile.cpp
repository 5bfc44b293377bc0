#include "logformats/tracefile.h"

#include <QSaveFile>
#include <cerrno>
#include <cstring>

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

std::string FormatTrace(TTraceFormat format, std::int64_t n, const TRecordSource& records, std::int64_t openedMicros,
                        TTraceCounts* counts)
{
    TTraceWriter writer(format, openedMicros);
    std::string text;
    // Lines run about half their longest; grown by doubling when a trace runs longer.
    const std::size_t lineMax = format == TTraceFormat::Asc ? kMaxAscLine : kMaxCandumpLine;
    text.resize(static_cast<std::size_t>(n > 0 ? n : 0) * (lineMax / 2) + TTraceWriter::kMaxChunk);
    std::size_t used = 0;
    AdapterRecord r;
    for (std::int64_t i = 0; i < n; ++i) {
        if (!records(i, r))
            break;
        if (text.size() - used < TTraceWriter::kMaxChunk)
            text.resize(text.size() * 2);
        used += writer.Write(r, text.data() + used);
    }
    text.resize(used);
    text += writer.Finish();
    if (counts)
        *counts = writer.Counts();
    return text;
}

bool SaveFileAtomically(const QString& path, const char* data, std::int64_t size, QString* error)
{
    QSaveFile file(path);
    auto fail = [&](const QString& why) {
        if (error)
            *error = why;
        file.cancelWriting();
        return false;
    };
    // Unbuffered: through Qt's buffer a failed final flush can still commit a truncated
    // file as a success; written straight through, every failure shows at its write.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return fail(file.errorString());
    std::int64_t done = 0;
    while (done < size) {
        errno = 0;
        const qint64 w = file.write(data + done, size - done);
        if (w <= 0) {
            // The system's own words ("No space left on device", "File too large").
            const int e = errno;
            return fail(e ? QString::fromLocal8Bit(std::strerror(e)) : file.errorString());
        }
        done += w;
    }
    errno = 0;
    if (!file.commit()) {
        const int e = errno;
        if (error)
            *error = e ? QString::fromLocal8Bit(std::strerror(e)) : file.errorString();
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
