// Program entry: the small command line, the font mapping, then the main window.
#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QSocketNotifier>
#include <QTimer>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <functional>
#include <utility>
#include <sys/socket.h>
#include <unistd.h>

#include "platform/fonts.h"
#include "platform/version.h"
#include "tmainform/backends.h"
#include "tmainform/commandline.h"
#include "tmainform/mainform.h"
#include "tusbdev/tusbdev.h"

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

int g_signalPipe[2] = {-1, -1};

void OnTerminationSignal(int)
{
    const char c = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &c, 1);
}

// Ends every open dialog (message boxes, settings, file dialogs) as if cancelled, so that
// the modal loops they run return and the close can proceed.
void RejectOpenDialogs()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* d = qobject_cast<QDialog*>(w); d && d->isVisible())
            d->reject();
}

void InstallTerminationHandler(std::function<void()> close)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalPipe) != 0) return;
    auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, qApp);
    // A dialog may be open, or a command sequence may open one after the first attempt, so
    // the attempt repeats until the window has closed and the loop ends.
    auto* retry = new QTimer(qApp);
    retry->setInterval(50);
    QObject::connect(retry, &QTimer::timeout, qApp, [close] {
        RejectOpenDialogs();
        close();
    });
    QObject::connect(notifier, &QSocketNotifier::activated, qApp, [notifier, retry, close = std::move(close)] {
        char c;
        [[maybe_unused]] const ssize_t n = ::read(g_signalPipe[0], &c, 1);
        notifier->setEnabled(false);
        RejectOpenDialogs();
        close();
        retry->start();
    });
    struct sigaction sa {};
    sa.sa_handler = OnTerminationSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &sa, nullptr);
    ::sigaction(SIGINT, &sa, nullptr);
    ::sigaction(SIGHUP, &sa, nullptr);  // terminal closed, user logged out
}

// The window while it runs; null before and after.
tarvik::TMainForm* g_form = nullptr;

// When the display server goes away, the windowing layer ends the process with exit()
// from inside the event loop: no close event, no destructors of ours. The adapter must
// not stay on bus, so this takes it off and closes the port, touching no window.
void OffBusAtExit()
{
    tarvik::TMainForm* form = std::exchange(g_form, nullptr);
    if (!form) return;
    try {
        if (form->OnBus()) form->GoOffBus();
        if (form->UsbDev().IsOpen()) form->UsbDev().Close();
    } catch (const std::exception&) {
        // Going down regardless.
    }
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

    // A write beyond the file size limit (ulimit -f) then fails with EFBIG and is reported
    // like any other failed write, instead of killing the program mid-write.
    ::signal(SIGXFSZ, SIG_IGN);

    TApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tarvik"));
    QApplication::setApplicationDisplayName(QStringLiteral("Tarvik for Windows"));

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
        g_form = &form;
        struct Forget {
            ~Forget() { g_form = nullptr; }
        } forget;
        std::atexit(OffBusAtExit);
        // A termination request (logout, kill) closes the window the normal way: off bus,
        // port closed, window position saved.
        InstallTerminationHandler([&form] { form.close(); });
        return app.exec();
    } catch (const std::exception& e) {
        QMessageBox::critical(nullptr, QApplication::applicationDisplayName(), QString::fromLocal8Bit(e.what()));
        return 1;
    }
}
