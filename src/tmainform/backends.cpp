#include "tmainform/backends.h"

#include "emulator/emulatorbackend.h"
#include "emulator/replaymodel.h"
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

TReplaySource MakeReplayBackend(const QString& path, bool fast, double speed, QString* error)
{
    TReplaySource src;
    src.file = path;
    src.fast = fast;
    std::string why;
    auto model = TReplayModel::Open(path.toStdString(), fast, speed, &why);
    if (!model) {
        if (error) *error = QString::fromStdString(why);
        return src;
    }
    src.firstMicros = model->FirstMicros();
    src.absoluteTimes = model->Format() == TLogFormat::Candump;
    src.frames = model->FrameCount();
    src.skipped = QString::fromStdString(model->SkippedText());
    src.backend = std::make_shared<TEmulatorBackend>(std::move(model));
    return src;
}

}  // namespace tarvik
