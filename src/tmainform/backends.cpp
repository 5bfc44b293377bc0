#include "tmainform/backends.h"

#include "emulator/emulatorbackend.h"
#include "tusbdev/serialbackend.h"

namespace tarvik {

std::shared_ptr<TFtBackend> MakeEmulatorBackend() { return std::make_shared<TEmulatorBackend>(); }

std::shared_ptr<TFtBackend> MakeSerialBackend(const QString& port)
{
    return std::make_shared<TSerialBackend>(port.toStdString());
}

}  // namespace tarvik
