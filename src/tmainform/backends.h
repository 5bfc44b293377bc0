#pragma once
// The adapter channels the program can run on.
#include <QString>
#include <cstdint>
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

// A recorded trace played by the in-process emulator as device 0.
struct TReplaySource {
    std::shared_ptr<TFtBackend> backend;  // null when the log cannot be played
    QString file;
    std::int64_t firstMicros = 0;  // time of the log's first frame
    bool absoluteTimes = false;    // a candump log: times since 1970
    bool fast = false;             // played as fast as read: the reader is waited for, nothing dropped
    std::uint64_t frames = 0;
    QString skipped;               // "2 CAN FD frames, 1 error frame", empty when none
};
// A null backend and `error` naming the file and the reason when the log cannot be played.
TReplaySource MakeReplayBackend(const QString& path, bool fast, double speed, QString* error);

}  // namespace tarvik
