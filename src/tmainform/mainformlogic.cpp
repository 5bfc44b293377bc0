#include "tmainform/mainformlogic.h"

#include <QSaveFile>
#include <QRegularExpression>
#include <QStringList>


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

    // Written aside and renamed over the target, so a failed save never leaves a cut-off
    // file in place of the previous one.
    QSaveFile file(path);
    file.setDirectWriteFallback(true);  // a writable file in a folder we cannot add to
    if (!file.open(QIODevice::WriteOnly)) {
        if (error) *error = file.errorString();
        return false;
    }
    QByteArray bytes;
    for (const QString& line : lines) {
        bytes += line.toLocal8Bit();
        bytes += "\r\n";
    }
    if (file.write(bytes) != bytes.size() || !file.commit()) {
        if (error) *error = file.errorString();
        return false;
    }
    return true;
}

}  // namespace tarvik
