#include "platform/numberfield.h"

#include <Qt>

#include "platform/hexdigit.h"

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
    const int d = HexDigit(c.unicode());
    if (d >= 0 && (kind == FieldKind::Hex || d < 10))
        return KeyVerdict::Pass;
    return KeyVerdict::Discard;
}

std::uint32_t ParseHexField(const QString& text)
{
    if (text.isEmpty())
        return 0;
    std::uint64_t v = 0;
    // A value that does not fit the 32-bit field is 0.
    return ParseDigits(text, 16, 0xFFFFFFFFull, v) ? std::uint32_t(v) : 0;
}

std::uint32_t ParseDecField(const QString& text)
{
    if (text.isEmpty())
        return 0;
    std::uint64_t v = 0;
    return ParseDigits(text, 10, 0x7FFFFFFFull, v) ? std::uint32_t(v) : 0;
}

QString FormatHexField(std::uint32_t value, int width)
{
    return QStringLiteral("%1").arg(value, width, 16, QLatin1Char('0')).toUpper();
}

QString NormaliseHexField(const QString& text, int width) { return FormatHexField(ParseHexField(text), width); }

QString NormaliseDecField(const QString& text) { return QString::number(ParseDecField(text)); }

}  // namespace tarvik
