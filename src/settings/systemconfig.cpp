#include "settings/systemconfig.h"

#include <limits>

#include "platform/inifile.h"
#include "settings/settings.h"

namespace tarvik {

bool SaveSystemConfig(const TSettings& s, TIniFile& ini) { return s.SaveConfig(ini); }

namespace sysconf {

namespace {

QString Text(const char* name) { return QString::fromLatin1(name); }
QString Text(int value) { return QString::number(value); }

// The list texts of one option array, made once.
template <const auto& Options>
const QStringList& ItemsOf()
{
    static const QStringList l = [] {
        QStringList r;
        for (const auto& o : Options)
            r << Text(o);
        return r;
    }();
    return l;
}

}  // namespace

const QStringList& CanSpeedItems() { return ItemsOf<kCanSpeedNames>(); }
const QStringList& SamplingPointItems() { return ItemsOf<kSamplingPointNames>(); }
const QStringList& DriverModeItems() { return ItemsOf<kDriverModeNames>(); }
const QStringList& TerminatorItems() { return ItemsOf<kTerminatorNames>(); }
const QStringList& LinSpeedItems() { return ItemsOf<kLinSpeedNames>(); }
const QStringList& OperationNodeItems() { return ItemsOf<kOperationNodeNames>(); }
const QStringList& BufferSizeItems() { return ItemsOf<kBufferSizesMb>(); }
const QStringList& TimeWidthItems() { return ItemsOf<kTimeWidths>(); }
const QStringList& SampleRateItems() { return ItemsOf<kSampleRates>(); }
const QStringList& PlotRateItems() { return ItemsOf<kPlotRates>(); }
const QStringList& BaudRateItems()
{
    static const QStringList l = [] {
        QStringList r;
        for (int baud = 500000; baud <= 10000000; baud += 500000)
            r << QString::number(baud);
        return r;
    }();
    return l;
}

QStringList DeviceItems(std::optional<std::uint32_t> count)
{
    QStringList r;
    if (!count) {
        for (int i = 0; i < 8; ++i)
            r << QString::number(i);
        return r;
    }
    for (std::uint32_t i = 0; i < *count; ++i)
        r << QString::number(i);
    if (r.isEmpty())
        r << "0";
    return r;
}

int ParseInt(const QString& text, int fallback)
{
    if (text.isEmpty())
        return fallback;
    qsizetype i = 0;
    bool negative = false;
    if (text[0] == u'-' || text[0] == u'+') {
        negative = text[0] == u'-';
        i = 1;
    }
    if (i == text.size())
        return fallback;
    long long v = 0;
    for (; i < text.size(); ++i) {
        const char16_t u = text[i].unicode();
        if (u < u'0' || u > u'9')
            return fallback;
        v = v * 10 + (u - u'0');
        if (v > 2147483648LL)
            return fallback;
    }
    if (negative)
        v = -v;
    if (v < std::numeric_limits<int>::min() || v > std::numeric_limits<int>::max())
        return fallback;
    return int(v);
}

QString BufferSizeText(int bytes) { return QString::number(static_cast<std::uint32_t>(bytes) >> 20); }

int BufferSizeBytes(const QString& megabytes, int fallback)
{
    const int mb = ParseInt(megabytes, -1);
    // 2047 MB is the most that still fits the stored integer.
    if (mb < 0 || mb > 2047)
        return fallback;
    return mb << 20;
}

int IndexOfItem(const QStringList& items, const QString& text) { return int(items.indexOf(text)); }

}  // namespace sysconf
}  // namespace tarvik
