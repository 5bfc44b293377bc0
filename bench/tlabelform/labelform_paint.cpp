// How fast a DBC import reaches the screen in the label window, and what one page of
// scrolling costs. Prints the figures; nothing here is a pass or fail bound.
//   labelform_paint [FILE.dbc]     default: the largest file of the corpus beside the
//                                  checkout, else examples/vehicle.dbc
#include <QApplication>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <cstdio>

#include "platform/fonts.h"
#include "support/paintclock.h"
#include "tlabelform/tlabelform.h"

namespace {

using testsupport::PaintClock;

QString LargestCorpusFile()
{
    QString largest;
    qint64 size = 0;
    QDirIterator it(QStringLiteral(TARVIK_SOURCE_DIR "/../shared/dbc"), QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        if (info.suffix().compare("dbc", Qt::CaseInsensitive) == 0 && info.size() > size) {
            size = info.size();
            largest = info.filePath();
        }
    }
    return largest.isEmpty() ? QStringLiteral(TARVIK_SOURCE_DIR "/examples/vehicle.dbc") : largest;
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    tarvik::InstallFontSubstitutes();
    const QStringList args = QApplication::arguments().mid(1);
    const QString path = args.isEmpty() ? LargestCorpusFile() : args[0];

    tarvik::TLabelForm form;
    form.SetErrorPresenter([](const QString& m) { std::fprintf(stderr, "error: %s\n", qPrintable(m)); });
    form.SetDbcLittleEndian(true);
    form.resize(1200, 700);
    form.show();

    // The import asks whether to keep the labels already open: answer No.
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
            if (QAbstractButton* no = box->button(QMessageBox::No))
                no->click();
    });
    answer.start(5);

    QElapsedTimer clock;
    PaintClock paints(clock);
    form.StringGrid1->viewport()->installEventFilter(&paints);
    clock.start();
    form.FileOpen1Accept(path);
    while (paints.first < 0 && clock.elapsed() < 60000)
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    if (paints.first < 0 || form.Model().Count() == 0) {
        std::fprintf(stderr, "%s: no labels reached the screen\n", qPrintable(path));
        return 1;
    }

    const double perPage = testsupport::MsPerScrolledPage(*form.StringGrid1);
    std::printf("%s: %d labels, first paint %lld ms after accepting; %.2f ms per scrolled page\n",
                qPrintable(QFileInfo(path).fileName()), form.Model().Count(), static_cast<long long>(paints.first),
                perPage);
    return 0;
}
