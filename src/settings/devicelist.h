#pragma once
// The device list of the settings dialog. For the native adapter its items are device
// numbers ("0", "1", ...); for serial-line CAN adapters, which come from many vendors and
// look alike by number, every USB serial port shows with its identity:
//   "0: CANable 2.0, 16d0:117e, SN 004A0035 (/dev/ttyACM0)"
// Either way an item starts with its device number.
#include <QString>
#include <QStringList>
#include <vector>

#include "tusbdev/serial/serialports.h"

namespace tarvik::sysconf {

// The protocol names the settings file and the dialog use; the first is the default.
const QStringList& ProtocolItems();  // the device kinds: "native", "slcan"
// A stored name as one of ProtocolItems(); anything else is the default.
QString ProtocolOrDefault(const QString& name);

// One item per port in device-number order; "0" alone when none is attached.
QStringList UsbPortItems(const std::vector<TUsbPortInfo>& ports);
// The device number an item starts with; fallback when it starts with none.
int DeviceNumberOfItem(const QString& item, int fallback);
// Index of the item for device number n, -1 when absent.
int IndexOfDeviceNumber(const QStringList& items, int n);

}  // namespace tarvik::sysconf
