#include "logformats/tracefile.h"

#include <QSaveFile>
#include <cerrno>
#include <cstring>

#include "logformats/asclog.h"
#include "logformats/candumplog.h"

namespace tarvik {

namespace {

// Unwraps the adapter's 32-bit tick into a 64-bit count.
class TTickUnwrapper {
public:
    std::int64_t Next(std::uint32_t tick)
    {
        if (!started_) {
            started_ = true;
            total_ = tick;
        } else {
            // Signed difference: a forward step up to half the counter, including across the wrap.
            total_ += static_cast<std::int32_t>(tick - last_);
        }
        last_ = tick;
        return total_;
    }

private:
    bool started_ = false;
    std::uint32_t last_ = 0;
    std::int64_t total_ = 0;
};

}  // namespace

std::string FormatTrace(TTraceFormat format, std::int64_t n, const TRecordSource& records, std::int64_t openedMicros,
                        TTraceCounts* counts)
{
    TTraceCounts c;
    std::string text;
    const std::size_t lineMax = format == TTraceFormat::Asc ? kMaxAscLine : kMaxCandumpLine;
    text.resize(static_cast<std::size_t>(n > 0 ? n : 0) * (lineMax / 2) + 1024);
    std::size_t used = 0;
    auto room = [&](std::size_t need) {
        if (text.size() - used < need)
            text.resize(text.size() * 2 + need);
        return text.data() + used;
    };
    TTickUnwrapper ticks;
    std::int64_t firstTicks = 0;
    bool first = true;
    AdapterRecord r;
    for (std::int64_t i = 0; i < n; ++i) {
        if (!records(i, r))
            break;
        const std::int64_t t = ticks.Next(r.TimeStamp());
        if (first) {
            first = false;
            firstTicks = t;
            if (format == TTraceFormat::Asc) {
                const std::string header = AscHeader(openedMicros + t * 100);
                std::memcpy(room(header.size()), header.data(), header.size());
                used += header.size();
            }
        }
        if (!r.IsCan() && !r.IsLin()) {
            ++c.skipped;
            continue;
        }
        if (format == TTraceFormat::Candump) {
            if (r.IsLin()) {
                ++c.linLeftOut;
                continue;
            }
            used += FormatCandumpLine(r, openedMicros + t * 100, room(kMaxCandumpLine));
        } else {
            used += FormatAscLine(r, (t - firstTicks) * 100, room(kMaxAscLine));
        }
        ++c.written;
    }
    if (format == TTraceFormat::Asc) {
        if (first) {
            const std::string header = AscHeader(openedMicros);
            std::memcpy(room(header.size()), header.data(), header.size());
            used += header.size();
        }
        std::memcpy(room(kAscFooter.size()), kAscFooter.data(), kAscFooter.size());
        used += kAscFooter.size();
    }
    text.resize(used);
    if (counts)
        *counts = c;
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
    if (!file.open(QIODevice::WriteOnly))
        return fail(file.errorString());
    std::int64_t done = 0;
    while (done < size) {
        errno = 0;
        const qint64 w = file.write(data + done, size - done);
        if (w <= 0) {
            // The system's own words: Qt's text for a failed write is "Unknown error".
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
