#pragma once
// The adapter channels the program can run on.
#include <QString>
#include <memory>

namespace tarvik {

class TFtBackend;

// The in-process adapter emulator playing the vehicle, as device 0.
std::shared_ptr<TFtBackend> MakeEmulatorBackend();
// Serial ports: with a path, that port whatever the device number; without, the Nth adapter port.
std::shared_ptr<TFtBackend> MakeSerialBackend(const QString& port);
// A serial-line CAN adapter through the bridge: with a path, that port; without, the Nth
// USB serial port of any vendor.
std::shared_ptr<TFtBackend> MakeSlcanBackend(const QString& port);
// One of the two by protocol name ("slcan", anything else native).
std::shared_ptr<TFtBackend> MakePortBackend(const QString& protocol, const QString& port);

}  // namespace tarvik
