#include "logformats/tracefile.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <memory>

#include "logformats/asclog.h"
#include "logformats/candumplog.h"
#include "logformats/trclog.h"

namespace tarvik {

TTraceWriter::TTraceWriter(TTraceFormat format, std::int64_t openedMicros) : format_(format), opened_(openedMicros) {}

TTraceWriter::~TTraceWriter() = default;

void TTraceWriter::Begin(std::int64_t ticks, std::string& out)
{
    started_ = true;
    firstTicks_ = ticks;
    number_ = 0;
    const std::int64_t at = opened_ + ticks * 100;
    switch (format_) {
    case TTraceFormat::Asc: out += AscHeader(at); break;
    case TTraceFormat::Trc: out += TrcHeader(at); break;
    case TTraceFormat::Blf:
        blf_ = std::make_unique<TBlfWriter>();
        blf_->Begin(out);
        break;
    case TTraceFormat::Candump: break;
    }
}

void TTraceWriter::Write(const AdapterRecord& r, std::string& out)
{
    const std::uint32_t tick = r.TimeStamp();
    if (!everStarted_) {
        everStarted_ = true;
        ticks_ = tick;
    } else {
        // Signed difference: a forward step up to half the counter, including across the wrap.
        ticks_ += static_cast<std::int32_t>(tick - lastTick_);
    }
    lastTick_ = tick;
    if (!started_)
        Begin(ticks_, out);
    if (!r.IsCan() && !r.IsLin()) {
        ++counts_.skipped;
        return;
    }
    if (r.IsLin() && format_ != TTraceFormat::Asc) {
        ++counts_.linLeftOut;
        return;
    }
    const std::size_t at = out.size();
    switch (format_) {
    case TTraceFormat::Candump:
        out.resize(at + kMaxCandumpLine);
        out.resize(at + FormatCandumpLine(r, opened_ + ticks_ * 100, out.data() + at));
        break;
    case TTraceFormat::Asc:
        out.resize(at + kMaxAscLine);
        out.resize(at + FormatAscLine(r, (ticks_ - firstTicks_) * 100, out.data() + at));
        break;
    case TTraceFormat::Trc:
        out.resize(at + kMaxTrcLine);
        out.resize(at + FormatTrcLine(r, ++number_, (ticks_ - firstTicks_) * 100, out.data() + at));
        break;
    case TTraceFormat::Blf: blf_->Write(r, opened_ + ticks_ * 100, out); break;
    }
    ++counts_.written;
}

void TTraceWriter::Finish(std::string& out)
{
    if (!started_)
        Begin(everStarted_ ? ticks_ : 0, out);
    if (format_ == TTraceFormat::Asc)
        out += kAscFooter;
    else if (format_ == TTraceFormat::Blf)
        blf_->Finish(out);
}

std::string TTraceWriter::FinalHeader() const { return blf_ ? blf_->Header() : std::string(); }

void TTraceWriter::NextFile() { started_ = false; }

std::string FormatTrace(TTraceFormat format, std::span<const AdapterRecord> records, std::int64_t openedMicros,
                        TTraceCounts* counts)
{
    TTraceWriter writer(format, openedMicros);
    std::string text;
    for (const AdapterRecord& r : records)
        writer.Write(r, text);
    writer.Finish(text);
    if (writer.HeaderAtEnd()) {
        const std::string header = writer.FinalHeader();
        text.replace(0, header.size(), header);
    }
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
    std::string buf;
    buf.reserve(kPiece + TBlfWriter::kContainer);
    for (const AdapterRecord& r : records) {
        writer.Write(r, buf);
        if (buf.size() >= kPiece) {
            if (!file.Write(buf.data(), buf.size()))
                return fail();
            buf.clear();
        }
    }
    writer.Finish(buf);
    if (!file.Write(buf.data(), buf.size()))
        return fail();
    const std::string header = writer.FinalHeader();
    if (!file.WriteAt(0, header.data(), header.size()) || !file.Commit())
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
    if (path.endsWith(QStringLiteral(".trc"), Qt::CaseInsensitive)) {
        *format = TTraceFormat::Trc;
        return true;
    }
    if (path.endsWith(QStringLiteral(".blf"), Qt::CaseInsensitive)) {
        *format = TTraceFormat::Blf;
        return true;
    }
    return false;
}

}  // namespace tarvik
