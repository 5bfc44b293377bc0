#include "tmainform/backends.h"

#include "emulator/emulatorbackend.h"
#include "emulator/replaymodel.h"
#include "tusbdev/serialbackend.h"

namespace tarvik {

std::shared_ptr<TFtBackend> MakeEmulatorBackend() { return std::make_shared<TEmulatorBackend>(); }

std::shared_ptr<TFtBackend> MakeSerialBackend(const QString& port)
{
    return std::make_shared<TSerialBackend>(port.toStdString());
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
