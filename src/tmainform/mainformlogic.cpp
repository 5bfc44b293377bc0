#include "tmainform/mainformlogic.h"

#include <QRegularExpression>
#include <QStringList>

#include "logformats/tracefile.h"
#include "platform/hexdigit.h"

namespace tarvik {

std::uint32_t HexFieldValue(const QString& text)
{
    if (text.isEmpty()) return 0;
    std::uint64_t value = 0;
    for (QChar c : text) {
        const int d = HexDigit(c.unicode());
        if (d < 0) return 0;
        value = (value << 4) | std::uint64_t(d);
        if (value > 0xFFFFFFFFull) return 0;  // does not fit the 32-bit field
    }
    return std::uint32_t(value);
}

int DecimalFieldValue(const QString& text)
{
    bool ok = false;
    const int v = text.toInt(&ok, 10);
    return ok ? v : 0;
}

QString FormatHexField(std::uint32_t value, int width)
{
    return QStringLiteral("%1").arg(value, width, 16, QLatin1Char('0')).toUpper();
}

int LinLengthForId(std::uint32_t id)
{
    switch (id & 0x30) {
    case 0x20: return 4;
    case 0x30: return 8;
    default: return 2;
    }
}

EditKey ClassifyEditKey(int key, const QString& text)
{
    if (key == Qt::Key_Return || key == Qt::Key_Enter) return EditKey::NextControl;
    if (text.size() != 1) return EditKey::Pass;
    const QChar c = text.at(0);
    if (c == QLatin1Char(' ') || !c.isPrint()) return EditKey::Pass;
    return HexDigit(c.unicode()) >= 0 ? EditKey::Pass : EditKey::Discard;
}

QString ProposeLogFileName(const QString& prefix, const QDate& date,
                           const std::function<bool(const QString&)>& exists)
{
    const QString stem = prefix + date.toString(QStringLiteral("yyyyMMdd"));
    QString name;
    for (int n = 1; n <= 999; ++n) {
        name = QStringLiteral("%1_%2.txt").arg(stem).arg(n, 3, 10, QLatin1Char('0'));
        if (!exists(name)) break;
    }
    return name;
}

bool WriteLinesCrLf(const QString& path, const QString& text, QString* error)
{
    QStringList lines = text.split(QRegularExpression(QStringLiteral("\r\n|\r|\n")));
    if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();  // a final line break ends the last line

    QByteArray bytes;
    for (const QString& line : lines) {
        bytes += line.toLocal8Bit();
        bytes += "\r\n";
    }
    // Through a temporary file: a disk that fills up part-way leaves the old file whole.
    return SaveFileAtomically(path, bytes.constData(), bytes.size(), error);
}

QString TraceSavedText(const QString& path, std::uint64_t written, std::uint64_t linLeftOut)
{
    QString text = QStringLiteral("%1 frames written to %2.").arg(written).arg(path);
    if (linLeftOut > 0)
        text += QStringLiteral("\n%1 LIN frames left out: a candump log has no LIN form.").arg(linLeftOut);
    return text;
}

}  // namespace tarvik
