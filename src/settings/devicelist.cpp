#include "settings/devicelist.h"

#include "bus/devicekinds.h"
#include "tusbdev/socketcan/socketcandevice.h"

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

QString CanInterfaceLabel(std::uint32_t n, const CanInterface& iface)
{
    const socketcan::InterfaceInfo& i = iface.second;
    const bool real = i.kind.empty() || i.kind == "can";
    const std::string rate = i.bitRate ? socketcan::BitRateText(i.bitRate) : real ? "no bit rate" : "virtual";
    return QString::fromStdString(std::to_string(n) + ": " + iface.first + " (" + (i.up ? "up" : "down") + ", " + rate +
                                  (i.listenOnly ? ", listen-only" : "") + ")");
}

QStringList CanInterfaceItems(const std::vector<CanInterface>& interfaces)
{
    QStringList items;
    for (std::size_t n = 0; n < interfaces.size(); ++n) items << CanInterfaceLabel(std::uint32_t(n), interfaces[n]);
    if (items.isEmpty()) items << QStringLiteral("0");
    return items;
}

std::vector<CanInterface> CurrentCanInterfaces()
{
    std::vector<CanInterface> out;
    for (const std::string& name : socketcan::CanInterfaces()) out.emplace_back(name, socketcan::QueryInterface(name));
    return out;
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
