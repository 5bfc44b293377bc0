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

}  // namespace tarvik
