// The whole program acquiring 32 labels: main window, graph window shown, receive thread,
// acquisition and plot threads, in-process emulator. Prints the processor share of one core
// and what the acquisition slot lost.
//
//   graph_acquisition SECONDS vehicle        vehicle traffic; 32 labels (the example file plus 8)
//   graph_acquisition SECONDS load RATE      RATE frames/s of one identifier carrying all 32 labels
//
// The graph runs at SampleRate 5 ms and PlotRate 50 ms. Run with QT_QPA_PLATFORM=offscreen
// where no display is available.
#include "emulator/vehiclemodel.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <sys/resource.h>

#include "emulator/emulatorbackend.h"
#include "emulator/loadmodel.h"
#include "platform/fonts.h"
#include "tgraphform/tgraphform.h"
#include "tmainform/mainform.h"
#include "bus/tmonthread.h"

namespace {

double CpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

std::string Labels(bool vehicle)
{
    std::string text;
    if (vehicle) {
        std::ifstream in(std::string(TARVIK_SOURCE_DIR) + "/examples/vehicle-labels.txt", std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        text = ss.str();
        // Eight more on the busiest message, to make 32.
        for (int i = 0; i < 8; ++i)
            text += "Extra" + std::to_string(i) + ",\"unsigned char\",,0x0C0,Big," + std::to_string(8 * i) +
                    ",8,1,0,0,255,\r\n";
    } else {
        for (int i = 0; i < 32; ++i)  // the load model's identifier, 2 bits each
            text += "Seq" + std::to_string(i) + ",\"unsigned char\",,0x100,Big," + std::to_string(2 * i) +
                    ",2,1,0,0,3,\r\n";
    }
    return text;
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    tarvik::InstallFontSubstitutes();
    QApplication::setFont(tarvik::WindowFont());
    const QStringList args = QApplication::arguments().mid(1);
    if (args.size() < 2 || (args[1] == "load" && args.size() < 3)) {
        std::fprintf(stderr, "usage: graph_acquisition SECONDS vehicle|load RATE\n");
        return 2;
    }
    const int seconds = args[0].toInt();
    const bool vehicle = args[1] == "vehicle";

    QTemporaryDir dir;
    QFile labels(dir.filePath("labels.txt"));
    labels.open(QIODevice::WriteOnly);
    labels.write(QByteArray::fromStdString(Labels(vehicle)));
    labels.close();
    QFile ini(dir.filePath("tarvik.INI"));
    ini.open(QIODevice::WriteOnly);
    ini.write("[GRAPH]\r\nSampleRate=5\r\nPlotRate=50\r\nCreateLogFile=0\r\nLabelFileName=" +
              labels.fileName().toUtf8() + "\r\n");
    ini.close();

    tarvik::TMainFormOptions o;
    o.settingsPath = ini.fileName();
    if (vehicle)
        o.backend = std::make_shared<tarvik::TEmulatorBackend>(std::make_unique<tarvik::TVehicleModel>());
    else
        o.backend = std::make_shared<tarvik::TEmulatorBackend>(std::make_unique<tarvik::TLoadModel>(args[2].toDouble()));
    o.showError = [](const QString& m) { std::fprintf(stderr, "error: %s\n", qPrintable(m)); };
    tarvik::TMainForm form(std::move(o));
    tarvik::TGraphForm* graph = form.GraphForm();
    form.findChild<QAction*>("ActGraphWindow")->trigger();
    form.findChild<QAction*>("ActOnBus")->trigger();
    if (!form.OnBus()) {
        std::fprintf(stderr, "could not go on bus\n");
        return 1;
    }
    QTest::qWait(200);
    graph->ActStart->trigger();
    if (!graph->Running() || graph->Labels().Count() != 32) {
        std::fprintf(stderr, "acquisition did not start with 32 labels\n");
        return 1;
    }
    QTest::qWait(1000);  // settle

    const std::uint64_t dropped0 = form.Session().Losses(3).dropped, popped0 = graph->DaqThread()->Popped();
    const double cpu0 = CpuSeconds();
    QElapsedTimer wall;
    wall.start();
    QTest::qWait(seconds * 1000);
    const double cpu = CpuSeconds() - cpu0;
    const double elapsed = double(wall.elapsed()) / 1000.0;
    const std::uint64_t dropped = form.Session().Losses(3).dropped - dropped0;
    const std::uint64_t popped = graph->DaqThread()->Popped() - popped0;
    std::printf("%-7s %s: %.1f%% of one core over %.1f s; acquisition took %llu records (%.0f/s), lost %llu; "
                "%d labels, %.1f%% of the log filled\n",
                qPrintable(args[1]), args.size() > 2 ? qPrintable(args[2]) : "", 100.0 * cpu / elapsed, elapsed,
                (unsigned long long)popped, double(popped) / elapsed, (unsigned long long)dropped,
                graph->Labels().Count(), graph->DaqLog() ? graph->DaqLog()->FillPercent() : 0.0);
    graph->StopDaq();
    form.close();
    return dropped == 0 ? 0 : 3;
}
