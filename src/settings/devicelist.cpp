#include "settings/devicelist.h"

#include "bus/devicekinds.h"

namespace tarvik::sysconf {

const QStringList& ProtocolItems()
{
    static const QStringList l = DeviceKindNames();
    return l;
}

QString ProtocolOrDefault(const QString& name)
{
    return ProtocolItems().contains(name) ? name : ProtocolItems().first();
}

QStringList UsbPortItems(const std::vector<TUsbPortInfo>& ports)
{
    QStringList items;
    for (std::size_t i = 0; i < ports.size(); ++i)
        items << QString::fromStdString(UsbPortLabel(std::uint32_t(i), ports[i]));
    if (items.isEmpty()) items << QStringLiteral("0");
    return items;
}

int DeviceNumberOfItem(const QString& item, int fallback)
{
    const qsizetype colon = item.indexOf(QLatin1Char(':'));
    bool ok = false;
    const int n = (colon < 0 ? item : item.left(colon)).trimmed().toInt(&ok);
    return ok && n >= 0 ? n : fallback;
}

int IndexOfDeviceNumber(const QStringList& items, int n)
{
    for (qsizetype i = 0; i < items.size(); ++i)
        if (DeviceNumberOfItem(items[i], -1) == n) return int(i);
    return -1;
}

}  // namespace tarvik::sysconf
