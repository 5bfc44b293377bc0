#include "tsendform/sendfields.h"

#include <Qt>

namespace tarvik {

KeyVerdict FilterKey(int qtKey, const QString& text, FieldKind kind)
{
    if (qtKey == Qt::Key_Return || qtKey == Qt::Key_Enter)
        return KeyVerdict::NextField;
    if (text.size() != 1)
        return KeyVerdict::Pass;
    const QChar c = text.at(0);
    if (!c.isPrint() || c.isSpace())
        return KeyVerdict::Pass;
    const char16_t u = c.unicode();
    const bool digit = u >= u'0' && u <= u'9';
    const bool hexLetter = (u >= u'A' && u <= u'F') || (u >= u'a' && u <= u'f');
    if (digit || (kind == FieldKind::Hex && hexLetter))
        return KeyVerdict::Pass;
    return KeyVerdict::Discard;
}

std::uint32_t ParseHexField(const QString& text)
{
    if (text.isEmpty())
        return 0;
    std::uint64_t v = 0;
    for (QChar c : text) {
        const char16_t u = c.unicode();
        int d;
        if (u >= u'0' && u <= u'9')
            d = u - u'0';
        else if (u >= u'A' && u <= u'F')
            d = u - u'A' + 10;
        else if (u >= u'a' && u <= u'f')
            d = u - u'a' + 10;
        else
            return 0;
        v = v * 16 + std::uint64_t(d);
        if (v > 0xFFFFFFFFull)
            return 0;
    }
    return std::uint32_t(v);
}

std::uint32_t ParseDecField(const QString& text)
{
    if (text.isEmpty())
        return 0;
    std::uint64_t v = 0;
    for (QChar c : text) {
        const char16_t u = c.unicode();
        if (u < u'0' || u > u'9')
            return 0;
        v = v * 10 + std::uint64_t(u - u'0');
        if (v > 0x7FFFFFFFull)
            return 0;
    }
    return std::uint32_t(v);
}

QString NormaliseHexField(const QString& text, int width)
{
    return QStringLiteral("%1").arg(ParseHexField(text), width, 16, QLatin1Char('0')).toUpper();
}

QString NormaliseDecField(const QString& text) { return QString::number(ParseDecField(text)); }

namespace {

struct FrameValues {
    int extended;
    int length;
    std::uint32_t id;
    std::uint8_t data[8];
};

FrameValues Read(const TFrameFields& f)
{
    FrameValues v{f.extended ? 1 : 0, int(ParseDecField(f.length)), ParseHexField(f.id), {}};
    // A one-character field keeps the length to one digit; a longer text (never typed,
    // only set from code) must not stretch the fixed-size command.
    if (v.length > 9)
        v.length = 0;
    for (int i = 0; i < 8; ++i)
        v.data[i] = std::uint8_t(ParseHexField(f.data[std::size_t(i)]) & 0xFF);
    return v;
}

}  // namespace

Command SingleShotCommand(const TFrameFields& f)
{
    const FrameValues v = Read(f);
    return cmd::Transmit(v.extended, v.length, v.id, v.data);
}

Command IntervalCommand(const TFrameFields& f, const QString& intervalMs)
{
    const FrameValues v = Read(f);
    // The field holds at most eight digits, so times 10 fits 32 bits; a longer text set
    // from code saturates rather than wrapping to a short interval.
    const std::uint64_t wide = std::uint64_t(ParseDecField(intervalMs)) * 10u;
    const std::uint32_t units = wide > 0xFFFFFFFFull ? 0xFFFFFFFFu : std::uint32_t(wide);
    return cmd::TransmitPeriodic(v.extended, v.length, v.id, v.data, units);
}

}  // namespace tarvik
