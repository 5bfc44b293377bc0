#include "tgraphform/tdaqlogdata.h"

#include "platform/novalue.h"

#include <QFile>
#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "platform/atomicfile.h"
#include "platform/csv.h"
#include "settings/options.h"

namespace tarvik {

// Every size the settings file can hold is taken as it stands.
static_assert(kMinLogBufferSize == std::uint32_t(kBufferSizesMb[0]) * kMegabyte);
static_assert(kMaxLogBufferSize == std::uint32_t(kMaxLogBufferMb) * kMegabyte);

namespace {

void FreeBlock(double* p) { std::free(p); }

}  // namespace

TDaqLogData::TDaqLogData(std::uint32_t sizeBytes, std::int32_t sampleRateMs, const Allocator& alloc)
    : size_(sizeBytes), sampleRate_(sampleRateMs), block_(nullptr, FreeBlock), capacity_(sizeBytes / 8)
{
    if (capacity_ == 0)
        throw std::runtime_error("A log buffer of " + std::to_string(sizeBytes) + " bytes holds no value.");
    errno = 0;
    // calloc hands back untouched zero pages, so a large block costs nothing until filled.
    void* p = alloc ? alloc(std::size_t(capacity_) * sizeof(double)) : std::calloc(capacity_, sizeof(double));
    if (!p)
        throw std::runtime_error(std::strerror(errno ? errno : ENOMEM));
    block_.reset(static_cast<double*>(p));
    base_ = write_ = block_.get();
}

TDaqLogData::~TDaqLogData() = default;

void AppendTime(std::string& out, double t)
{
    char buf[400];  // "%f" of the largest double has 309 integer digits
    const auto r = std::to_chars(buf, buf + sizeof buf, t, std::chars_format::fixed, 3);
    const std::size_t n = static_cast<std::size_t>(r.ptr - buf);
    if (n < 5)
        out.append(5 - n, ' ');
    out.append(buf, n);
}

TLogSamples TDaqLogData::Samples() const
{
    TLogSamples s;
    s.base = base_;
    s.capacity = capacity_;
    s.columns = static_cast<std::uint32_t>(Columns.size());
    s.sampleRate = sampleRate_;
    if (s.columns == 0)
        return s;
    s.rows = count_ / s.columns;
    if (count_ >= capacity_) {
        // rows × c values back from the write position, around the end of the block.
        const std::uint32_t back = s.rows * s.columns;
        const std::uint32_t w = static_cast<std::uint32_t>(write_ - base_);
        s.first = w >= back ? w - back : capacity_ - (back - w);
    }
    return s;
}

std::string TDaqLogData::BuildCsv() const
{
    std::string out = "time(s)";
    for (const std::string& name : Columns) {
        out += ',';
        out += CsvField(name);
    }
    out += "\r\n";
    const TLogSamples samples = Samples();
    const std::uint32_t c = samples.columns, rows = samples.rows;
    if (rows == 0)
        return out;
    const double* read = base_ + samples.first;
    const double* const end = base_ + capacity_;
    out.reserve(out.size() + std::size_t(rows) * (8 + std::size_t(c) * 13));
    const double step = sampleRate_ * 0.001;
    double t = 0.0;
    for (std::uint32_t row = 0; row < rows; ++row) {
        AppendTime(out, t);
        for (std::uint32_t col = 0; col < c; ++col) {
            out += ',';
            if (!IsNoValue(*read))  // before the label's first frame: an empty field
                AppendGeneral(out, *read);
            if (++read == end)
                read = base_;
        }
        out += "\r\n";
        t += step;
    }
    return out;
}

bool TDaqLogData::SaveToCsv(const QString& path, QString* error) const
{
    const std::string text = BuildCsv();
    QString reason;
    if (SaveFileAtomically(path, text.data(), static_cast<std::int64_t>(text.size()), &reason))
        return true;
    if (error)
        *error = QStringLiteral("Cannot write %1 : %2").arg(path, reason);
    return false;
}

QString DefaultDaqFileName(const QString& prefix, const QDate& date,
                           const std::function<bool(const QString&)>& exists)
{
    const QString stem = prefix + date.toString(QStringLiteral("yyyyMMdd")) + QLatin1Char('_');
    QString name;
    for (int i = 1; i <= 999; ++i) {
        name = stem + QStringLiteral("%1.csv").arg(i, 3, 10, QLatin1Char('0'));
        if (!(exists ? exists(name) : QFile::exists(name)))
            break;
    }
    return name;
}

std::uint32_t ClampLogBufferSize(std::int64_t bytes)
{
    return static_cast<std::uint32_t>(
        std::clamp<std::int64_t>(bytes, kMinLogBufferSize, kMaxLogBufferSize));
}

}  // namespace tarvik
