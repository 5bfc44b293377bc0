// Renders the README's pictures of the main windows from a run on the built-in emulator:
//   tarvik-screenshots OUTDIR
// The windows are real (offscreen platform), on bus with the vehicle model's traffic.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTableView>
#include <QTemporaryDir>
#include <QWidget>
#include <cstdio>

#include "platform/apptitle.h"
#include "platform/fonts.h"
#include "bus/devicekinds.h"
#include "tgraphform/tgraphconfdialog.h"
#include "tgraphform/tgraphform.h"
#include "tlabelform/tlabeldetaildialog.h"
#include "tlabelform/tlabelform.h"
#include "tmainform/mainform.h"

#include <QMouseEvent>
#include <QWheelEvent>

namespace {

void Settle(int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 20);
}

bool Save(QWidget* w, const QDir& out, const char* name)
{
    if (!w) return false;
    const QString path = out.filePath(QString::fromLatin1(name));
    if (!w->grab().save(path)) {
        std::fprintf(stderr, "tarvik-screenshots: cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    tarvik::KeepNumbersInCLocale();
    if (argc != 2) {
        std::fprintf(stderr, "usage: tarvik-screenshots OUTDIR\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    if (!QDir().mkpath(out.path())) {
        std::fprintf(stderr, "tarvik-screenshots: cannot create %s\n", argv[1]);
        return 1;
    }
    tarvik::InstallFontSubstitutes();
    QApplication::setFont(tarvik::WindowFont());

    // A settings file of its own, so the pictures do not depend on the user's.
    QTemporaryDir settingsDir;
    tarvik::TMainFormOptions options;
    options.settingsPath = settingsDir.filePath(QStringLiteral("tarvik.INI"));
    {
        // The graph plots the example labels, which describe the vehicle model's traffic.
        QFile ini(options.settingsPath);
        if (ini.open(QIODevice::WriteOnly))
            ini.write("[GRAPH]\r\nCreateLogFile=0\r\nMinYScale=-100\r\nMaxYScale=3000\r\nYPitch=500\r\n"
                      "TimeWidth=10\r\nSampleRate=20\r\nLabelFileName=" TARVIK_SOURCE_DIR "/examples/vehicle-labels.txt\r\n");
    }
    options.device = tarvik::MakeEmulatorDevice();
    options.showError = [](const QString& m) { std::fprintf(stderr, "tarvik-screenshots: %s\n", qPrintable(m)); };
    tarvik::TMainForm form(std::move(options));
    form.show();
    Settle(200);

    int ok = 0;
    ok += Save(&form, out, "mainform.png");
    form.ActPortOpenExecute();
    form.ActOnBusExecute();
    Settle(1500);
    ok += Save(&form, out, "mainform_onbus.png");
    ok += Save(form.ViewNormalForm(), out, "monitor_scrolling.png");
    if (form.ViewFixedForm()) {
        form.ViewFixedForm()->show();
        Settle(400);
        ok += Save(form.ViewFixedForm(), out, "monitor_fixed.png");
    }
    if (form.SendForm()) {
        form.SendForm()->show();
        Settle(200);
        ok += Save(form.SendForm(), out, "sendform.png");
    }
    if (tarvik::TGraphForm* graph = form.GraphForm()) {
        graph->show();
        graph->resize(1000, 560);
        Settle(200);
        graph->EnableActions(true);
        graph->ActStart->trigger();
        Settle(6000);
        ok += Save(graph, out, "graph.png");
        // Stopped: zoomed in five notches around the middle of the plot, the cursor there.
        graph->EnableActions(true);
        graph->ActStop->trigger();
        const tarvik::TRect a = graph->Painter().PlotArea();
        const QPointF at(2 + (a.left + a.right) / 2, 2 + (a.top + a.bottom) / 2);
        QWheelEvent wheel(at, graph->mapToGlobal(at), QPoint(), QPoint(0, 600), Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(graph, &wheel);
        QMouseEvent move(QEvent::MouseMove, at, graph->mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(graph, &move);
        Settle(200);
        ok += Save(graph, out, "graph_stopped.png");
        tarvik::TGraphConfDialog dialog(graph);
        dialog.SetMinYScale(graph->MinYScale());
        dialog.SetMaxYScale(graph->MaxYScale());
        dialog.SetYPitch(graph->YPitch());
        dialog.SetTimeWidth(graph->TimeWidth());
        dialog.SetSampleRate(graph->SampleRate());
        dialog.SetPlotRate(graph->PlotRate());
        dialog.show();
        Settle(200);
        ok += Save(&dialog, out, "graph_config.png");
    }
    if (tarvik::TLabelForm* labels = form.LabelForm()) {
        const QString path = settingsDir.filePath(QStringLiteral("labels.txt"));
        QFile f(path);
        if (f.open(QIODevice::WriteOnly)) {
            f.write("EngineSpeed,\"unsigned short\",,0x0C0,Big,0,16,0.25,0,0,8000,rpm\r\n"
                    "Throttle,\"unsigned char\",,0x0C0,Big,16,8,0.4,0,0,100,%\r\n"
                    "// EngineRunning,bit,,0x0C0,Big,24,1,1,0,0,1,\r\n"
                    "VehicleSpeed,\"unsigned short\",,0x1A0,Big,0,16,0.01,0,0,250,km/h\r\n"
                    "LongAccel,\"signed short\",,0x1A0,Big,16,16,0.001,0,-10,10,m/s2\r\n"
                    "// SteeringAngle,\"signed short\",,0x2F0,Big,0,16,0.1,0,-720,720,deg\r\n"
                    "CoolantTemp,\"unsigned char\",,0x3C0,Big,0,8,1,-40,-40,215,degC\r\n"
                    "WheelBasedSpeed,\"unsigned short\",X,0x18FEF100,Little,8,16,0.00390625,0,0,250,km/h\r\n");
            f.close();
        }
        labels->SetLabelFilePath(path);
        labels->show();
        labels->resize(1240, 260);
        labels->StringGrid1->setCurrentIndex(labels->Model().index(4, 1));
        Settle(200);
        ok += Save(labels, out, "labels_table.png");
        tarvik::TLabelDetailDialog detail(labels);
        detail.SetLabelText(labels->Model().LabelText(4));
        detail.show();
        Settle(200);
        ok += Save(&detail, out, "labels_detail.png");
    }
    form.ActOffBusExecute();
    form.close();
    return ok >= 4 ? 0 : 1;
}
