#include "bus/devicekinds.h"

#include "emulator/emulatorbackend.h"
#include "emulator/replaymodel.h"
#include "tusbdev/native/nativedevice.h"
#include "tusbdev/serial/serialbackend.h"
#include "tusbdev/slcan/slcandevice.h"
#include "tusbdev/socketcan/socketcandevice.h"

namespace tarvik {

namespace {

std::shared_ptr<TBusDevice> NativePort(const QString& port)
{
    return MakeNativeDevice(std::make_shared<TSerialBackend>(port.toStdString()));
}

// Serial-line adapters come from many vendors: without a path, the Nth USB serial port.
std::shared_ptr<TBusDevice> SlcanPort(const QString& port)
{
    return std::make_shared<TSlcanDevice>(std::make_shared<TSerialBackend>(port.toStdString(), true));
}

// A CAN network interface by name; without one, the Nth CAN interface.
std::shared_ptr<TBusDevice> SocketCanPort(const QString& port)
{
    return std::make_shared<TSocketCanDevice>(port.toStdString());
}

}  // namespace

const std::vector<TDeviceKind>& DeviceKinds()
{
    static const std::vector<TDeviceKind> kinds{
        {"native", "the native adapter (USB serial, vendor id 0403)", NativePort},
        {"slcan", "a serial-line CAN adapter (ASCII lines on any USB serial port)", SlcanPort},
        {"socketcan", "a Linux CAN network interface (can0, vcan0, ...), --port names it", SocketCanPort},
    };
    return kinds;
}

QStringList DeviceKindNames()
{
    QStringList names;
    for (const TDeviceKind& k : DeviceKinds()) names << QString::fromLatin1(k.name);
    return names;
}

QString DeviceKindChoice()
{
    QStringList names = DeviceKindNames();
    const QString last = names.takeLast();
    return names.isEmpty() ? last : names.join(QStringLiteral(", ")) + QStringLiteral(" or ") + last;
}

const TDeviceKind* FindDeviceKind(const QString& name)
{
    for (const TDeviceKind& k : DeviceKinds())
        if (name == QLatin1String(k.name)) return &k;
    return nullptr;
}

std::shared_ptr<TBusDevice> MakePortDevice(const QString& kind, const QString& port)
{
    const TDeviceKind* k = FindDeviceKind(kind);
    return (k ? k : &DeviceKinds().front())->make(port);
}

std::shared_ptr<TBusDevice> MakeNativeDevice(std::shared_ptr<TFtBackend> backend)
{
    return std::make_shared<TNativeDevice>(std::move(backend));
}

std::shared_ptr<TBusDevice> MakeEmulatorDevice() { return MakeNativeDevice(std::make_shared<TEmulatorBackend>()); }

TReplaySource MakeReplaySource(const QString& path, bool fast, double speed, QString* error, bool keepLeftOut)
{
    TReplaySource src;
    src.file = path;
    src.fast = fast;
    std::string why;
    auto model = TReplayModel::Open(path.toStdString(), fast, speed, &why, keepLeftOut);
    if (!model) {
        if (error) *error = QString::fromStdString(why);
        return src;
    }
    src.firstMicros = model->FirstMicros();
    src.absoluteTimes = model->AbsoluteTimes();
    src.frames = model->FrameCount();
    src.skipped = QString::fromStdString(model->SkippedText());
    src.device = MakeNativeDevice(std::make_shared<TEmulatorBackend>(std::move(model)));
    return src;
}

}  // namespace tarvik
