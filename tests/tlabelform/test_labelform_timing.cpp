// The largest real database reaches the screen and scrolls. Prints the figures; how fast
// is bench/tlabelform's measure, not a bound here (a loaded machine would fail it).
#include <QElapsedTimer>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QTableView>

#include "labelform_fixture.h"
#include "support/paintclock.h"
#include "support/skipmissing.h"
#include "support/testsupport.h"

using testsupport::PaintClock;

TEST_F(LabelFormTest, LargestDatabaseShowsAndScrolls)
{
    QString largest;
    qint64 size = 0;
    for (const auto& f : testsupport::SharedDbcFiles()) {
        const QFileInfo info(QString::fromStdString(f));
        if (info.size() > size) {
            size = info.size();
            largest = info.filePath();
        }
    }
    if (largest.isEmpty())
        TARVIK_SKIP_MISSING("the shared DBC corpus (../shared/dbc)");
    form.SetDbcLittleEndian(true);
    form.resize(1200, 700);
    ShowForm();

    QElapsedTimer clock;
    PaintClock paints(clock);
    form.StringGrid1->viewport()->installEventFilter(&paints);
    OnNextModal([](QWidget* w) { qobject_cast<QMessageBox*>(w)->button(QMessageBox::No)->click(); });
    clock.start();
    form.FileOpen1Accept(largest);
    ASSERT_GT(form.Model().Count(), 1000);
    ASSERT_GE(paints.first, 0);

    const double perPage = testsupport::MsPerScrolledPage(*form.StringGrid1);
    std::printf("%s: %d labels, first paint %lld ms after accepting; %.2f ms per scrolled page\n",
                qPrintable(QFileInfo(largest).fileName()), form.Model().Count(),
                static_cast<long long>(paints.first), perPage);
    EXPECT_LT(perPage, 100.0);
}
