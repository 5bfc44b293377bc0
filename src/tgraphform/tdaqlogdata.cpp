#include "tgraphform/tdaqlogdata.h"

#include <QFile>
#include <QSaveFile>
#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

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

std::string CsvHeaderField(const std::string& name)
{
    if (name.find_first_of(",\"\r\n") == std::string::npos)
        return name;
    std::string out = "\"";
    for (char c : name) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
    return out;
}

namespace {

constexpr double kPow10[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9};
constexpr std::uint32_t kPow10i[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000, 1000000000};

// "%g" for the values a log mostly holds (1e-4 <= |v| < 999999.5, fixed notation), from six
// digits rounded in double arithmetic. Exact except within a hair of a rounding tie, which is
// left to the slow path along with everything else; false then.
bool AppendGeneralFixed(std::string& out, double v)
{
    const double a = std::fabs(v);
    if (!(a >= 1e-4 && a < 1e6))
        return false;
    int x = 5;  // decimal exponent: 10^x <= a < 10^(x+1); a wrong guess is caught below
    while (x > -4 && a < kPow10[x + 4] * 1e-4)
        --x;
    const double scaled = a * kPow10[5 - x];  // one rounding: |error| < 1.2e-10 below 1e6
    const double whole = std::floor(scaled);
    const double frac = scaled - whole;
    if (std::fabs(frac - 0.5) < 1e-6)
        return false;
    const std::uint32_t digits = std::uint32_t(whole) + (frac > 0.5 ? 1u : 0u);
    if (digits < 100000 || digits > 999999)
        return false;  // exponent misjudged, or rounded up into the next decade
    char buf[24];
    char* p = buf;
    if (std::signbit(v))
        *p++ = '-';
    const int decimals = 5 - x;
    const std::uint32_t unit = kPow10i[decimals];
    p = std::to_chars(p, buf + sizeof buf, digits / unit).ptr;
    std::uint32_t fraction = digits % unit;
    if (fraction != 0) {
        int d = decimals;
        while (fraction % 10 == 0) {
            fraction /= 10;
            --d;
        }
        *p++ = '.';
        for (int i = d - 1; i >= 0; --i) {
            p[i] = char('0' + fraction % 10);
            fraction /= 10;
        }
        p += d;
    }
    out.append(buf, p);
    return true;
}

}  // namespace

void AppendGeneral(std::string& out, double v)
{
    if (AppendGeneralFixed(out, v))
        return;
    // to_chars in general format with precision 6 is defined as printf "%g"; the tests hold
    // both paths against snprintf over random doubles, NaN and infinities included.
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 6);
    out.append(buf, r.ptr);
}

void AppendTime(std::string& out, double t)
{
    char buf[400];  // "%f" of the largest double has 309 integer digits
    const auto r = std::to_chars(buf, buf + sizeof buf, t, std::chars_format::fixed, 3);
    const std::size_t n = static_cast<std::size_t>(r.ptr - buf);
    if (n < 5)
        out.append(5 - n, ' ');
    out.append(buf, n);
}

std::string TDaqLogData::BuildCsv() const
{
    std::string out = "time(s)";
    for (const std::string& name : Columns) {
        out += ',';
        out += CsvHeaderField(name);
    }
    out += "\r\n";
    const std::uint32_t c = static_cast<std::uint32_t>(Columns.size());
    if (c == 0)
        return out;
    const std::uint32_t rows = count_ / c;
    if (rows == 0)
        return out;
    const double* read = base_;
    if (count_ >= capacity_) {
        // rows × c values back from the write position, around the end of the block.
        const std::uint32_t back = rows * c;
        const std::uint32_t w = static_cast<std::uint32_t>(write_ - base_);
        read = base_ + (w >= back ? w - back : capacity_ - (back - w));
    }
    const double* const end = base_ + capacity_;
    out.reserve(out.size() + std::size_t(rows) * (8 + std::size_t(c) * 13));
    const double step = sampleRate_ * 0.001;
    double t = 0.0;
    for (std::uint32_t row = 0; row < rows; ++row) {
        AppendTime(out, t);
        for (std::uint32_t col = 0; col < c; ++col) {
            out += ',';
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
    QSaveFile file(path);
    // Unbuffered: through Qt's buffer a write cut short (full disk, file size limit) can still
    // be committed as a whole file; written directly, the short write is seen here.
    if (file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) &&
        file.write(text.data(), static_cast<qint64>(text.size())) == static_cast<qint64>(text.size()) &&
        file.commit())
        return true;
    if (error)
        *error = QStringLiteral("Cannot write %1 : %2").arg(path, file.errorString());
    file.cancelWriting();
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
