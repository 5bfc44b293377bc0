// Program entry: the small command line, the language, the font mapping, then the main window.
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <exception>

#include "platform/apptitle.h"
#include "platform/fonts.h"
#include "platform/language.h"
#include "platform/version.h"
#include "bus/devicekinds.h"
#include "tmainform/commandline.h"
#include "tmainform/mainform.h"
#include "tmainform/termination.h"

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
            QMessageBox::critical(activeWindow(), tarvik::ApplicationTitle(), QString::fromLocal8Bit(e.what()));
        }
        return false;
    }
};

}  // namespace

int main(int argc, char** argv)
{
    // --help and --version answer without a display.
    QStringList raw;
    for (int i = 1; i < argc; ++i) raw << QString::fromLocal8Bit(argv[i]);
    const QString program = QStringLiteral("tarvik");
    if (raw.contains(QStringLiteral("--help"))) {
        std::fputs(qPrintable(tarvik::CommandLineUsage(program)), stdout);
        return 0;
    }
    if (raw.contains(QStringLiteral("--version"))) {
        const tarvik::FileVersion v = tarvik::CompiledVersion();
        std::printf("tarvik %u.%u.%u.%u\n", v.major, v.minor, v.release, v.build);
        return 0;
    }

    // A write beyond the file size limit (ulimit -f) then fails with EFBIG and is reported
    // like any other failed write, instead of killing the program mid-write.
    ::signal(SIGXFSZ, SIG_IGN);

    // A replay saved to a file shows no window: it needs no display (ssh, scripts).
    const bool saving = std::any_of(raw.begin(), raw.end(), [](const QString& a) {
        return a == QLatin1String("--save") || a.startsWith(QLatin1String("--save="));
    });
    if (saving && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && !raw.contains(QStringLiteral("-platform")))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    TApplication app(argc, argv);
    tarvik::SetApplicationIdentity();

    // Qt has taken its own options (-platform, -style, ...) out of the list by now.
    QStringList args = QApplication::arguments();
    if (!args.isEmpty()) args.removeFirst();
    const tarvik::TCommandLine cmd = tarvik::ParseCommandLine(args);
    if (!cmd.error.isEmpty()) {
        std::fprintf(stderr, "tarvik: %s\n%s", qPrintable(cmd.error), qPrintable(tarvik::CommandLineUsage(program)));
        return 2;
    }

    // Before any window: each takes its texts when it is made.
    tarvik::TTranslation translation;
    QString translationError;
    if (!translation.Use(tarvik::ChooseLanguage(cmd.lang, tarvik::SystemUiLanguage()), &translationError))
        std::fprintf(stderr, "tarvik: %s\n", qPrintable(translationError));

    tarvik::InstallFontSubstitutes();
    QApplication::setFont(tarvik::WindowFont());

    try {
        tarvik::TMainFormOptions options;
        tarvik::TReplaySource replay;
        if (!cmd.replay.isEmpty()) {
            QString error;
            // A window can show what a log without playable frames held; a save would be empty.
            replay = tarvik::MakeReplaySource(cmd.replay, cmd.fast, cmd.speed, &error, cmd.save.isEmpty());
            if (!replay.device) {
                std::fprintf(stderr, "tarvik: %s\n", qPrintable(error));
                return 1;
            }
            if (!replay.skipped.isEmpty())
                std::fprintf(stderr, "tarvik: %s: left out of the replay: %s\n", qPrintable(cmd.replay),
                             qPrintable(replay.skipped));
            options.device = replay.device;
            if (!cmd.save.isEmpty()) {
                // Played for a file, not for a person: messages go to the terminal.
                options.showError = [](const QString& m) { std::fprintf(stderr, "tarvik: %s\n", qPrintable(m)); };
                options.showInfo = [](const QString& m) { std::fprintf(stdout, "%s\n", qPrintable(m)); };
            }
        } else if (cmd.simulate) {
            options.device = tarvik::MakeEmulatorDevice();
        } else {
            // What the command line names wins over the settings file.
            const QString protocol = cmd.protocol, port = cmd.port;
            options.device = tarvik::MakePortDevice(protocol, port);
            options.portDevice = [protocol, port](const QString& setProtocol, const QString& setPort) {
                return tarvik::MakePortDevice(protocol.isEmpty() ? setProtocol : protocol,
                                              port.isEmpty() ? setPort : port);
            };
        }
        tarvik::TMainForm form(std::move(options));
        if (replay.device) form.PlayLog(replay);
        tarvik::SetFormForExit(&form);
        struct Forget {
            ~Forget() { tarvik::SetFormForExit(nullptr); }
        } forget;
        // A termination request (logout, kill) closes the window the normal way: off bus,
        // port closed, window position saved.
        tarvik::InstallTerminationHandler(form);
        if (cmd.save.isEmpty()) return app.exec();
        int status = 1;
        QTimer::singleShot(0, &form, [&] {
            form.PlayAndSave(cmd.save, [&](bool saved) {
                status = saved ? 0 : 1;
                form.close();
            });
        });
        return app.exec() == 0 ? status : 1;
    } catch (const std::exception& e) {
        QMessageBox::critical(nullptr, tarvik::ApplicationTitle(), QString::fromLocal8Bit(e.what()));
        return 1;
    }
}
