#include "tmainform/termination.h"

#include <QApplication>
#include <QDialog>
#include <QSocketNotifier>
#include <QTimer>
#include <csignal>
#include <cstdlib>
#include <exception>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>

#include "platform/shutdown.h"
#include "tmainform/mainform.h"
#include "tusbdev/tusbdev.h"

namespace tarvik {

namespace {

int g_signalPipe[2] = {-1, -1};
TMainForm* g_exitForm = nullptr;

void OnTerminationSignal(int)
{
    const char c = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &c, 1);
}

void OffBusAtExit()
{
    TMainForm* form = std::exchange(g_exitForm, nullptr);
    if (!form) return;
    try {
        if (form->OnBus()) form->GoOffBus();
        if (form->Session().IsOpen()) form->Session().Close();
    } catch (const std::exception&) {
        // Going down regardless.
    }
}

}  // namespace

void RejectOpenDialogs()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* d = qobject_cast<QDialog*>(w); d && d->isVisible()) d->reject();
}

void InstallTerminationHandler(TMainForm& form)
{
    if (g_signalPipe[0] < 0 && ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalPipe) != 0) return;
    auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, &form);
    // A dialog may be open, or a command sequence may open one after the first attempt, so
    // the attempt repeats until the window has closed.
    auto* retry = new QTimer(&form);
    retry->setInterval(50);
    auto attempt = [&form] {
        RejectOpenDialogs();
        form.close();
    };
    QObject::connect(retry, &QTimer::timeout, &form, attempt);
    QObject::connect(notifier, &QSocketNotifier::activated, &form, [notifier, retry, attempt] {
        char c;
        [[maybe_unused]] const ssize_t n = ::read(g_signalPipe[0], &c, 1);
        notifier->setEnabled(false);
        ShutdownFlag().store(true);
        attempt();
        retry->start();
    });
    struct sigaction sa {};
    sa.sa_handler = OnTerminationSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &sa, nullptr);
    ::sigaction(SIGINT, &sa, nullptr);
    ::sigaction(SIGHUP, &sa, nullptr);
}

void SetFormForExit(TMainForm* form)
{
    static const bool installed = std::atexit(OffBusAtExit) == 0;
    (void)installed;
    g_exitForm = form;
}

}  // namespace tarvik
