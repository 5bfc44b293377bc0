#pragma once
// Text in files from other machines: UTF-8 when it is valid UTF-8, else the Japanese Windows
// code page, else bytes as Latin-1, so nothing a user wrote is ever dropped.
#include <QByteArray>
#include <QString>
#include <QStringDecoder>
#include <string>

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

enum class TTextEncoding { Utf8, ShiftJis, Latin1 };

inline bool DecodesCleanly(const char* codec, const std::string& bytes)
{
    QStringDecoder d(codec, QStringDecoder::Flag::Stateless);
    if (!d.isValid())
        return false;
    const QString s = d.decode(QByteArrayView(bytes.data(), qsizetype(bytes.size())));
    (void)s;
    return !d.hasError();
}

// The encoding that decodes all of bytes without error, tried in that order.
inline TTextEncoding DetectTextEncoding(const std::string& bytes)
{
    if (DecodesCleanly("UTF-8", bytes))
        return TTextEncoding::Utf8;
    if (DecodesCleanly("Shift_JIS", bytes))
        return TTextEncoding::ShiftJis;
    return TTextEncoding::Latin1;
}

}  // namespace tarvik
