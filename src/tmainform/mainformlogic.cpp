#include "tmainform/mainformlogic.h"

#include <QRegularExpression>
#include <QStringList>

#include "logformats/tracefile.h"


namespace tarvik {

int LinLengthForId(std::uint32_t id)
{
    switch (id & 0x30) {
    case 0x20: return 4;
    case 0x30: return 8;
    default: return 2;
    }
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
    // Written aside and renamed over the target, so a failed save never leaves a cut-off
    // file in place of the previous one; the reason is the system's own.
    return SaveFileAtomically(path, bytes.constData(), bytes.size(), error);
}

QString TraceSavedText(const QString& path, std::uint64_t written, std::uint64_t linLeftOut)
{
    QString text = QStringLiteral("%1 frames written to %2.").arg(written).arg(path);
    if (linLeftOut > 0)
        text += QStringLiteral("\n%1 LIN frames left out: this log format has no LIN form.").arg(linLeftOut);
    return text;
}

}  // namespace tarvik
