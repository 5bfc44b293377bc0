#pragma once
// The kinds of bus device the program drives, by name, and the sources made of them: the
// built-in emulator and a recorded trace played as the bus. The command line, the settings
// and tarvik-dump all pick a kind from this one table.
#include <QString>
#include <QStringList>
#include <cstdint>
#include <memory>

#include "tusbdev/busdevice.h"

namespace tarvik {

class TFtBackend;

struct TDeviceKind {
    const char* name;         // as the command line and the settings file spell it
    const char* description;  // one line for --help
    // With a port path, that port; without, the Nth adapter of the kind by device number.
    std::shared_ptr<TBusDevice> (*make)(const QString& port);
};

// Every kind, the default (the native adapter) first.
const std::vector<TDeviceKind>& DeviceKinds();
QStringList DeviceKindNames();
// "native or slcan": the names for a usage message.
QString DeviceKindChoice();
// The kind of that name, or nullptr.
const TDeviceKind* FindDeviceKind(const QString& name);
// A device of that kind; an unknown name gets the default kind.
std::shared_ptr<TBusDevice> MakePortDevice(const QString& kind, const QString& port);

// The native adapter over a function table (serial port, emulator, a test's fake).
std::shared_ptr<TBusDevice> MakeNativeDevice(std::shared_ptr<TFtBackend> backend);
// The in-process adapter emulator playing the vehicle, as device 0.
std::shared_ptr<TBusDevice> MakeEmulatorDevice();

// A recorded trace played by the in-process emulator as device 0.
struct TReplaySource {
    std::shared_ptr<TBusDevice> device;  // null when the log cannot be played
    QString file;
    std::int64_t firstMicros = 0;  // time of the log's first frame
    bool absoluteTimes = false;    // candump, BLF, TRC with a start time: times since 1970
    bool fast = false;             // played as fast as read: the reader is waited for, nothing dropped
    std::uint64_t frames = 0;
    QString skipped;               // "2 CAN FD frames, 1 error frame", empty when none
};
// A null device and `error` naming the file and the reason when the log cannot be played.
// `keepLeftOut`: a log holding only frames the play leaves out still gives a device (see TReplayModel).
TReplaySource MakeReplaySource(const QString& path, bool fast, double speed, QString* error, bool keepLeftOut = false);

}  // namespace tarvik
