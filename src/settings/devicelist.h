#pragma once
// The device list of the settings dialog. For the native adapter its items are device
// numbers ("0", "1", ...); for serial-line CAN adapters, which come from many vendors and
// look alike by number, every USB serial port shows with its identity:
//   "0: CANable 2.0, 16d0:117e, SN 004A0035 (/dev/ttyACM0)"
// CAN interfaces show with their state and bit rate: "0: can0 (up, 500 kbit/s)".
// Either way an item starts with its device number.
#include <QString>
#include <QStringList>
#include <string>
#include <utility>
#include <vector>

#include "tusbdev/serial/serialports.h"
#include "tusbdev/socketcan/socketcanmap.h"

namespace tarvik::sysconf {

// The protocol names the settings file and the dialog use; the first is the default.
const QStringList& ProtocolItems();  // the device kinds: "native", "slcan"
// A stored name as one of ProtocolItems(); anything else is the default.
QString ProtocolOrDefault(const QString& name);

// One item per port in device-number order; "0" alone when none is attached.
QStringList UsbPortItems(const std::vector<TUsbPortInfo>& ports);
// One CAN interface by name and what the kernel says of it.
using CanInterface = std::pair<std::string, socketcan::InterfaceInfo>;
// "1: vcan0 (up, virtual)"; a real interface shows its bit rate, or "no bit rate" before one is set.
QString CanInterfaceLabel(std::uint32_t n, const CanInterface& iface);
// One item per interface in name order; "0" alone when there is none.
QStringList CanInterfaceItems(const std::vector<CanInterface>& interfaces);
// The CAN interfaces of this machine now.
std::vector<CanInterface> CurrentCanInterfaces();

// The device number an item starts with; fallback when it starts with none.
int DeviceNumberOfItem(const QString& item, int fallback);
// Index of the item for device number n, -1 when absent.
int IndexOfDeviceNumber(const QStringList& items, int n);

}  // namespace tarvik::sysconf
