#pragma once
// Text in files from other machines: UTF-8 when it is valid UTF-8, else the Japanese Windows
// code page, else bytes as Latin-1, so nothing a user wrote is ever dropped.
#include <QByteArray>
#include <QString>
#include <QStringDecoder>

namespace tarvik {

inline QString DecodeFileText(const QByteArray& raw)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString s = utf8.decode(raw);
    if (!utf8.hasError())
        return s;
    QStringDecoder sjis("Shift_JIS");
    if (sjis.isValid()) {
        QString t = sjis.decode(raw);
        if (!sjis.hasError())
            return t;
    }
    return QString::fromLatin1(raw);
}

}  // namespace tarvik
