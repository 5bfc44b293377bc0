#include "monitorview/monitorhost.h"

namespace tarvik {

QString LossText(const TLossCounts& c)
{
    QString s = QStringLiteral("lost %1").arg(LostFrames(c));
    if (c.partialBytes != 0)
        s += QStringLiteral(" +%1 bytes").arg(c.partialBytes);
    return s;
}

QString LossDetails(const TLossCounts& c)
{
    return QStringLiteral("ring full: %1\ncheck byte mismatch: %2\npartial record bytes: %3\nhistory overwritten: %4")
        .arg(c.ringDropped)
        .arg(c.badRecords)
        .arg(c.partialBytes)
        .arg(c.overwritten);
}

}  // namespace tarvik
