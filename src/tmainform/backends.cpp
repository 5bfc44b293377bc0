#include "tmainform/backends.h"

#include "emulator/emulatorbackend.h"
#include "tusbdev/serialbackend.h"
#include "tusbdev/slcanbridge.h"

namespace tarvik {

std::shared_ptr<TFtBackend> MakeEmulatorBackend() { return std::make_shared<TEmulatorBackend>(); }

std::shared_ptr<TFtBackend> MakeSerialBackend(const QString& port)
{
    return std::make_shared<TSerialBackend>(port.toStdString());
}

std::shared_ptr<TFtBackend> MakeSlcanBackend(const QString& port)
{
    return std::make_shared<TSlcanBridge>(std::make_shared<TSerialBackend>(port.toStdString(), true));
}

std::shared_ptr<TFtBackend> MakePortBackend(const QString& protocol, const QString& port)
{
    return protocol == QLatin1String("slcan") ? MakeSlcanBackend(port) : MakeSerialBackend(port);
}

}  // namespace tarvik
