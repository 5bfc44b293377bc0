// Program entry: the small command line, the font mapping, then the main window.
#include <QApplication>
#include <QMessageBox>
#include <QSocketNotifier>
#include <csignal>
#include <cstdio>
#include <exception>
#include <functional>
#include <sys/socket.h>
#include <unistd.h>

#include "platform/apptitle.h"
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
            QMessageBox::critical(activeWindow(), tarvik::ApplicationTitle(), QString::fromLocal8Bit(e.what()));
        }
        return false;
    }
};

int g_signalPipe[2] = {-1, -1};

void OnTerminationSignal(int)
{
    const char c = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &c, 1);
}

void InstallTerminationHandler(std::function<void()> close)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalPipe) != 0) return;
    auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, qApp);
    QObject::connect(notifier, &QSocketNotifier::activated, qApp, [notifier, close = std::move(close)] {
        char c;
        [[maybe_unused]] const ssize_t n = ::read(g_signalPipe[0], &c, 1);
        notifier->setEnabled(false);
        close();
    });
    struct sigaction sa {};
    sa.sa_handler = OnTerminationSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &sa, nullptr);
    ::sigaction(SIGINT, &sa, nullptr);
}

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
        // A termination request (logout, kill) closes the window the normal way: off bus,
        // port closed, window position saved.
        InstallTerminationHandler([&form] { form.close(); });
        return app.exec();
    } catch (const std::exception& e) {
        QMessageBox::critical(nullptr, tarvik::ApplicationTitle(), QString::fromLocal8Bit(e.what()));
        return 1;
    }
}
