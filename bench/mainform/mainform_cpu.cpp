// Processor share of one core used by the whole program while on bus: the main window with
// its idle-time control updates, both monitor windows, the receive thread and the adapter
// channel. The window is driven as a user would: "Go On Bus(&G)", then the event loop runs.
//
//   bench_mainform_cpu [seconds] idle            emulator in process, no traffic
//   bench_mainform_cpu [seconds] load RATE       emulator in process, RATE records/s
//   bench_mainform_cpu [seconds] vehicle         emulator in process, vehicle traffic (as --simulate)
//   bench_mainform_cpu [seconds] port PATH       a serial port (e.g. tarvik-adapter-emu's pty)
//
// Run with QT_QPA_PLATFORM=offscreen where no display is available.
// First: its member named "signals" must be parsed before Qt defines that word.
#include "emulator/vehiclemodel.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <sys/resource.h>

#include "emulator/emulatorbackend.h"
#include "emulator/loadmodel.h"
#include "emulator/scriptedmodel.h"
#include "platform/fonts.h"
#include "bus/devicekinds.h"
#include "tmainform/mainform.h"
#include "tviewnormalform/tviewnormalform.h"

namespace {

double CpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    tarvik::InstallFontSubstitutes();
    QApplication::setFont(tarvik::WindowFont());
    const QStringList args = QApplication::arguments().mid(1);
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: bench_mainform_cpu SECONDS idle|vehicle|load RATE|port PATH\n");
        return 2;
    }
    const int seconds = args[0].toInt();
    const QString mode = args[1];

    tarvik::TMainFormOptions o;
    QTemporaryDir dir;
    o.settingsPath = dir.filePath("tarvik.INI");
    if (mode == "idle") {
        o.backend = std::make_shared<tarvik::TEmulatorBackend>(std::make_unique<tarvik::TScriptedModel>());
    } else if (mode == "vehicle") {
        o.device = tarvik::MakeEmulatorDevice();
    } else if (mode == "load" && args.size() > 2) {
        o.backend = std::make_shared<tarvik::TEmulatorBackend>(std::make_unique<tarvik::TLoadModel>(args[2].toDouble()));
    } else if (mode == "port" && args.size() > 2) {
        o.device = tarvik::MakePortDevice(QStringLiteral("native"), args[2]);
    } else {
        std::fprintf(stderr, "unknown mode\n");
        return 2;
    }
    o.showError = [](const QString& m) { std::fprintf(stderr, "error: %s\n", qPrintable(m)); };

    tarvik::TMainForm form(std::move(o));
    form.findChild<QAction*>("ActOnBus")->trigger();
    if (!form.OnBus()) {
        std::fprintf(stderr, "could not go on bus\n");
        return 1;
    }
    QTest::qWait(1000);  // settle: first records, first repaints

    const double cpu0 = CpuSeconds();
    QElapsedTimer wall;
    wall.start();
    // A plain event loop, as the program runs: QTest::qWait would poll every 10 ms and
    // measure itself.
    QEventLoop loop;
    QTimer::singleShot(seconds * 1000, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
    const double cpu = CpuSeconds() - cpu0;
    const double elapsed = double(wall.elapsed()) / 1000.0;
    const QString lines = QString::number(form.ViewNormalForm()->GetMonitorText().count('\n'));
    std::printf("%-8s %s: %.1f%% of one core over %.1f s (monitor lines %s)\n", qPrintable(mode),
                args.size() > 2 ? qPrintable(args[2]) : "", 100.0 * cpu / elapsed, elapsed, qPrintable(lines));
    form.close();
    return 0;
}
