#pragma once
// What the message list page's two halves (the rows, the signals) show alike.
#include <QAction>
#include <QPushButton>
#include <QString>
#include <QStringList>
#include <cstdint>

#include "platform/novalue.h"
#include "widgets/actions.h"

namespace tarvik::messagelist {

inline QString IdText(std::uint32_t id, bool extended)
{
    return QStringLiteral("%1").arg(id, extended ? 8 : 3, 16, QLatin1Char('0')).toUpper();
}

inline QString BytesText(std::uint64_t data, int count)
{
    QStringList bytes;
    for (int i = 0; i < count; ++i)
        bytes << QStringLiteral("%1").arg(unsigned(data >> (56 - 8 * i)) & 0xFFu, 2, 16, QLatin1Char('0')).toUpper();
    return bytes.join(QLatin1Char(' '));
}

inline QString NumberText(double v) { return IsNoValue(v) ? QString() : QString::number(v, 'g', 12); }

inline QPushButton* Button(QAction* action, QWidget* parent)
{
    auto* b = new QPushButton(parent);
    b->setObjectName(QStringLiteral("Btn") + action->objectName().mid(3));
    BindButton(b, action);
    b->setAutoDefault(false);
    return b;
}

}  // namespace tarvik::messagelist
