// Renders the README's pictures of the main windows from a run on the built-in emulator:
//   tarvik-screenshots OUTDIR
// The windows are real (offscreen platform), on bus with the vehicle model's traffic.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QWidget>
#include <cstdio>

#include "platform/fonts.h"
#include "tmainform/backends.h"
#include "tmainform/mainform.h"

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
    options.backend = tarvik::MakeEmulatorBackend();
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
    form.ActOffBusExecute();
    form.close();
    return ok >= 4 ? 0 : 1;
}
