#include "tlabelform/labeldetail.h"

#include <QCoreApplication>
#include <QStringList>
#include <algorithm>

#include "platform/hexdigit.h"
#include "ttlabelinfo/tlabelinfo.h"

namespace tarvik {

namespace {

int LineInt(const QString& s) { return ParseLabelInt(s.toUtf8().toStdString()); }

}  // namespace

QString TrimControls(const QString& s)
{
    qsizetype b = 0, e = s.size();
    while (b < e && s[b].unicode() <= 32)
        ++b;
    while (e > b && s[e - 1].unicode() <= 32)
        --e;
    return s.mid(b, e - b);
}

QString CanonicalTypeName(const QString& name)
{
    for (const auto& t : kLabelTypes) {
        const QString n = QString::fromLatin1(t.name);
        if (n.compare(name, Qt::CaseInsensitive) == 0)
            return n;
    }
    return {};
}

void ApplyLabelText(TLabelDetail& d, const QString& text)
{
    // CR LF, CR and LF all end a line, as in the label file.
    QString normal = text;
    normal.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
    QStringList lines = normal.split(QLatin1Char('\n'));
    auto line = [&](int k, const char* fallback) {
        return k < lines.size() ? TrimControls(lines[k]) : QString::fromLatin1(fallback);
    };
    d.name = line(0, "");
    d.type = CanonicalTypeName(line(1, ""));
    d.extended = line(2, "") == QLatin1String("X");
    d.idText = FormatIdText(static_cast<std::uint32_t>(LineInt(line(3, "0"))), d.extended);
    const QString endian = line(4, "Big");
    if (endian == QLatin1String("Big"))
        d.endian = TEndianChoice::Big;
    else if (endian == QLatin1String("Little"))
        d.endian = TEndianChoice::Little;
    d.start = std::clamp(LineInt(line(5, "0")), 0, kDetailStartMax);
    d.width = std::clamp(LineInt(line(6, "0")), 0, kDetailWidthMax);
    d.lsb = line(7, "1");
    d.offset = line(8, "0");
    d.min = line(9, "0");
    d.max = line(10, "0");
    d.unit = line(11, "");
}

QString FormatLabelText(const TLabelDetail& d)
{
    const QString crlf = QStringLiteral("\r\n");
    QString s;
    s += d.name + crlf;
    s += d.type + crlf;
    s += (d.extended ? QStringLiteral("X") : QString()) + crlf;
    s += QStringLiteral("0x") + FormatIdText(ParseIdText(d.idText), d.extended) + crlf;
    s += (d.endian == TEndianChoice::Big      ? QStringLiteral("Big")
          : d.endian == TEndianChoice::Little ? QStringLiteral("Little")
                                              : QString()) +
         crlf;
    s += QString::number(d.lsbFirst ? d.start : kDetailStartMax - d.start) + crlf;
    s += QString::number(d.width) + crlf;
    s += d.lsb + crlf + d.offset + crlf + d.min + crlf + d.max + crlf + d.unit + crlf;
    return s;
}

std::uint32_t ParseIdText(const QString& text)
{
    // More than eight digits cannot be an identifier; the box never holds them.
    if (text.isEmpty() || text.size() > 8)
        return 0;
    std::uint64_t v = 0;
    return ParseDigits(text, 16, 0xFFFFFFFFu, v) ? static_cast<std::uint32_t>(v) : 0;
}

QString FormatIdText(std::uint32_t id, bool extended)
{
    return QStringLiteral("%1").arg(id, IdTextLimit(extended), 16, QLatin1Char('0')).toUpper();
}

bool ApplyTypeDefaults(TLabelDetail& d, const QString& type)
{
    for (const auto& t : kLabelTypes) {
        if (type == QLatin1String(t.name)) {
            d.width = t.width;
            d.min = QString::fromLatin1(t.min);
            d.max = QString::fromLatin1(t.max);
            return true;
        }
    }
    return false;
}

QString RulerText(bool lsbFirst)
{
    return lsbFirst
               ? QStringLiteral("0          8         16         24         32        40         48        56       63")
               : QStringLiteral("63       56        48         40         32        24         16         8          0");
}

int ReadBoxInt(const QString& text)
{
    bool ok = false;
    const int v = text.trimmed().toInt(&ok);
    return ok ? v : 0;
}

int DisplayedStart(const QString& startText, bool lsbFirst)
{
    if (lsbFirst)
        return ReadBoxInt(startText);
    bool ok = false;
    const int v = startText.trimmed().toInt(&ok);
    return kDetailStartMax - (ok ? v : kDetailStartMax);
}

std::uint64_t PositionRangeMask(int a, int n)
{
    std::uint64_t mask = 0;
    // Widened so that a huge typed start or width cannot overflow the end position.
    const long long first = std::max<long long>(a, 0);
    const long long end = std::min<long long>(static_cast<long long>(a) + n, 64);
    for (long long p = first; p < end; ++p)
        mask |= std::uint64_t{1} << (63 - p);
    return mask;
}

std::array<QString, 8> MaskByteTexts(std::uint64_t mask)
{
    std::array<QString, 8> out;
    for (int k = 0; k < 8; ++k) {
        const unsigned byte = static_cast<unsigned>(mask >> (56 - 8 * k)) & 0xFFu;
        out[static_cast<std::size_t>(k)] = QStringLiteral("%1").arg(byte, 2, 16, QLatin1Char('0')).toUpper();
    }
    return out;
}

int BoundaryX(int i, int width) { return static_cast<int>(i * (width / 64.0) + 0.5); }

TDetailProblem CheckLabelDetail(const QString& name, const QString& type)
{
    if (name.isEmpty())
        return TDetailProblem::NoName;
    if (type.isEmpty())
        return TDetailProblem::NoType;
    return TDetailProblem::None;
}

QString DetailProblemText(TDetailProblem p)
{
    switch (p) {
    case TDetailProblem::NoName: return QCoreApplication::translate("tarvik::TLabelDetailDialog", "Name が設定されていません。");
    case TDetailProblem::NoType: return QCoreApplication::translate("tarvik::TLabelDetailDialog", "Type が選択されていません。");
    case TDetailProblem::None: break;
    }
    return {};
}

}  // namespace tarvik
