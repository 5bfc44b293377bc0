// Program entry: the small command line, the font mapping, then the main window.
#include <QApplication>
#include <QMessageBox>
#include <cstdio>
#include <exception>

#include "platform/fonts.h"
#include "platform/version.h"
#include "tmainform/backends.h"
#include "tmainform/commandline.h"
#include "tmainform/mainform.h"

namespace {

class TApplication : public QApplication {
public:
    using QApplication::QApplication;
    // An error escaping an event handler is shown, and the program goes on.
    bool notify(QObject* receiver, QEvent* event) override
    {
        try {
            return QApplication::notify(receiver, event);
        } catch (const std::exception& e) {
            QMessageBox::critical(activeWindow(), applicationDisplayName(), QString::fromLocal8Bit(e.what()));
        }
        return false;
    }
};

}  // namespace

int main(int argc, char** argv)
{
    TApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tarvik"));
    QApplication::setApplicationDisplayName(QStringLiteral("Tarvik for Windows"));

    QStringList args = QApplication::arguments();
    const QString program = args.isEmpty() ? QStringLiteral("tarvik") : args.takeFirst();
    const tarvik::TCommandLine cmd = tarvik::ParseCommandLine(args);
    if (!cmd.error.isEmpty()) {
        std::fprintf(stderr, "tarvik: %s\n%s", qPrintable(cmd.error), qPrintable(tarvik::CommandLineUsage(program)));
        return 2;
    }
    if (cmd.help) {
        std::fputs(qPrintable(tarvik::CommandLineUsage(program)), stdout);
        return 0;
    }
    if (cmd.version) {
        const tarvik::FileVersion v = tarvik::CompiledVersion();
        std::printf("tarvik %u.%u.%u.%u\n", v.major, v.minor, v.release, v.build);
        return 0;
    }

    tarvik::InstallFontSubstitutes();
    QApplication::setFont(tarvik::WindowFont());

    try {
        tarvik::TMainFormOptions options;
        if (cmd.simulate) {
            options.backend = tarvik::MakeEmulatorBackend();
        } else if (!cmd.port.isEmpty()) {
            options.backend = tarvik::MakeSerialBackend(cmd.port);
        } else {
            options.backend = tarvik::MakeSerialBackend(QString());
            options.portBackend = [](const QString& port) { return tarvik::MakeSerialBackend(port); };
        }
        tarvik::TMainForm form(std::move(options));
        return app.exec();
    } catch (const std::exception& e) {
        QMessageBox::critical(nullptr, QApplication::applicationDisplayName(), QString::fromLocal8Bit(e.what()));
        return 1;
    }
}
