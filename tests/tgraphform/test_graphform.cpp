#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <map>
#include <cerrno>
#include <cstring>

#include "platform/guicall.h"
#include "support/altkeys.h"
#include "support/modalhelper.h"
#include "support/testsupport.h"
#include "tgraphform/tdaqlogdata.h"
#include "tgraphform/tgraphconfdialog.h"
#include "tgraphform/tgraphform.h"
#include "graphtest.h"
#include "support/logrecords.h"

using namespace tarvik;
using namespace std::chrono_literals;

namespace {

class GraphForm : public ::testing::Test {
protected:
    void SetUp() override
    {
        testsupport::InstallFonts();
        ASSERT_TRUE(dir.isValid());
        WriteLabels(3);
        form.SetLabelFileName(dir.filePath("labels.txt"));
        form.SetRingRegistrar([this](TQueueBuffer* r) { registered = r; });
        form.SetLogSaver([this](const TDaqLogData& log, const QString& name) {
            saves.push_back({name, log.BuildCsv()});
        });
        form.SetCreateLogFile(true);
        form.SetSampleRate(10);
        form.SetPlotRate(20);
        form.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    }
    void TearDown() override { form.StopDaq(); }
    void WriteLabels(int n, const std::string& first = "")
    {
        std::vector<std::string> names;
        for (int i = 0; i < n; ++i)
            names.push_back(i == 0 && !first.empty() ? first : "L" + std::to_string(i));
        QFile f(dir.filePath("labels.txt"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        for (const auto& line : graphtest::WordLabels(names))
            f.write((line + "\r\n").c_str());
    }
    bool Start()
    {
        form.EnableActions(true);
        form.ActStart->trigger();
        return form.Running();
    }
    // Samples the plot thread has run on the window since the start.
    bool WaitSamples(std::uint32_t values)
    {
        return WaitServingGuiCalls([&] { return form.DaqLog() && form.DaqLog()->Count() >= values; }, 10s);
    }

    QTemporaryDir dir;
    TGraphForm form;
    TQueueBuffer* registered = nullptr;
    struct Save {
        QString name;
        std::string csv;
    };
    std::vector<Save> saves;
};

}  // namespace

TEST_F(GraphForm, ActionStatesFollowMonitoringLabelsAndRunning)
{
    ASSERT_EQ(form.Labels().Count(), 3);
    const struct {
        bool monitoring;
        bool start, stop, clear, config;
    } idle[] = {{false, false, false, true, true}, {true, true, false, true, true}};
    for (const auto& c : idle) {
        form.EnableActions(c.monitoring);
        EXPECT_EQ(form.ActStart->isEnabled(), c.start) << c.monitoring;
        EXPECT_EQ(form.ActStop->isEnabled(), c.stop);
        EXPECT_EQ(form.ActClear->isEnabled(), c.clear);
        EXPECT_EQ(form.ActConfig->isEnabled(), c.config);
        EXPECT_TRUE(form.ActLabel->isEnabled());
    }
    ASSERT_TRUE(Start());
    form.EnableActions(true);
    EXPECT_FALSE(form.ActStart->isEnabled());
    EXPECT_TRUE(form.ActStop->isEnabled());
    EXPECT_FALSE(form.ActConfig->isEnabled());
    EXPECT_TRUE(form.CheckBox1->isEnabled());
    form.EnableActions(false);
    EXPECT_FALSE(form.ActStop->isEnabled());

    WriteLabels(0);
    form.ReloadLabels();
    form.EnableActions(true);
    EXPECT_FALSE(form.ActStart->isEnabled());
    EXPECT_FALSE(form.ActClear->isEnabled());
}

TEST_F(GraphForm, StartRegistersTheRingAndStopOffersTheRun)
{
    ASSERT_TRUE(Start());
    EXPECT_EQ(registered, &form.DaqRing());
    ASSERT_NE(form.DaqLog(), nullptr);
    EXPECT_EQ(form.DaqLog()->Columns, (std::vector<std::string>{"L0", "L1", "L2"}));
    // Frames arriving through the ring reach the plotted and recorded values.
    form.DaqRing().Push(testsupport::TraceRecord(0x00, 0x100, false, {0x01, 0x2C}, 0, 8).bytes.data());
    ASSERT_TRUE(WaitServingGuiCalls([&] { return form.Labels().Label(0).Value() == 300; }, 5s));
    ASSERT_TRUE(WaitSamples(3 * 5));
    form.EnableActions(true);
    form.ActStop->trigger();
    EXPECT_FALSE(form.Running());
    EXPECT_EQ(registered, nullptr);
    EXPECT_EQ(form.DaqThread(), nullptr);
    EXPECT_EQ(form.DaqLog(), nullptr);
    ASSERT_EQ(saves.size(), 1u);
    EXPECT_TRUE(QFileInfo(saves[0].name).fileName().startsWith("Daq" + QDate::currentDate().toString("yyyyMMdd") + "_"));
    EXPECT_TRUE(saves[0].name.endsWith(".csv"));
    EXPECT_TRUE(saves[0].csv.starts_with("time(s),L0,L1,L2\r\n0.000,"));
    EXPECT_NE(saves[0].csv.find(",300,300,300\r\n"), std::string::npos);
}

// After a stop the run stays on screen to look back over: the wheel zooms around the
// mouse, a drag pans, the panel shows the values under the cursor, Home fits the whole
// run, and a click on a label's row takes its curve off the plot.
TEST_F(GraphForm, StoppedRunIsExploredWithCursorWheelAndDrag)
{
    using graphtest::Mouse;
    ASSERT_TRUE(Start());
    const auto frame = [&](std::uint8_t hi, std::uint8_t lo) {
        form.DaqRing().Push(testsupport::TraceRecord(0x00, 0x100, false, {hi, lo}, 0, 8).bytes.data());
    };
    frame(0x01, 0x2C);
    ASSERT_TRUE(WaitServingGuiCalls([&] { return form.Labels().Label(0).Value() == 300; }, 5s));
    const std::uint32_t first300 = form.DaqLog()->Count() / 3;  // this row and later ones hold 300
    ASSERT_TRUE(WaitSamples((first300 + 40) * 3));
    frame(0x01, 0xF4);
    ASSERT_TRUE(WaitServingGuiCalls([&] { return form.Labels().Label(0).Value() == 500; }, 5s));
    ASSERT_TRUE(WaitSamples(form.DaqLog()->Count() + 30 * 3));
    const TRect a = form.Painter().PlotArea();
    // The three curves lie on one another; the last one drawn, yellow, hides the others.
    const auto plotPixels = [&](TColor c) {
        const QImage& img = form.GraphCtrl().Canvas();
        int n = 0;
        for (int py = a.top; py < a.bottom; ++py)
            for (int px = a.left; px < a.right; ++px)
                n += graphtest::Pixel(img, px, py) == graphtest::Rgb(c);
        return n;
    };
    const TColor lime = form.Labels().Label(1).Color(), yellow = form.Labels().Label(2).Color();
    EXPECT_GT(plotPixels(yellow), 0);
    EXPECT_EQ(plotPixels(lime), 0);
    const int H = form.GraphCtrl().CellHeight(), W = form.GraphCtrl().CellWidth();
    const TRect panel = form.Painter().PanelCells();
    const QPoint row2(2 + W * (panel.left + 5), 2 + H * (panel.top + 1) + H / 2);
    // While running, the sweep is drawn again without the curve, and with it once shown again.
    QTest::mouseClick(&form, Qt::LeftButton, Qt::NoModifier, row2);
    EXPECT_EQ(plotPixels(yellow), 0);
    EXPECT_GT(plotPixels(lime), 0);
    QTest::mouseClick(&form, Qt::LeftButton, Qt::NoModifier, row2);
    EXPECT_GT(plotPixels(yellow), 0);
    form.EnableActions(true);
    form.ActStop->trigger();
    ASSERT_NE(form.ViewLog(), nullptr);

    const int width = a.Width(), y = 2 + (a.top + a.bottom) / 2;
    const auto at = [&](int column) { return QPoint(2 + a.left + column, y); };
    const auto columnOf = [&](double t) { return int((t - form.View().t0) * width / form.View().Span()); };
    const double t = (first300 + 20) * 10.0;  // inside the stretch of 300s

    const int c0 = columnOf(t);
    const double before = TimeAtColumn(form.View(), c0, width);
    graphtest::Wheel(&form, at(c0), 20);
    const TTimeView zoomed = form.View();
    ASSERT_LT(zoomed.Span(), 300);
    EXPECT_NEAR(TimeAtColumn(zoomed, c0, width), before, zoomed.Span() / width) << "the point stays under the mouse";

    Mouse(&form, QEvent::MouseButtonPress, at(c0), Qt::LeftButton, Qt::LeftButton);
    Mouse(&form, QEvent::MouseMove, at(c0 + 40), Qt::NoButton, Qt::LeftButton);
    Mouse(&form, QEvent::MouseButtonRelease, at(c0 + 40), Qt::LeftButton, Qt::NoButton);
    EXPECT_NEAR(form.View().t0, zoomed.t0 - 40 * zoomed.Span() / width, 1e-6) << "dragged right: earlier times";

    Mouse(&form, QEvent::MouseMove, at(columnOf(t)), Qt::NoButton, Qt::NoButton);
    EXPECT_EQ(form.Painter().PanelText(0), "     300.000");
    const std::string time = form.Painter().PanelText(3);
    ASSERT_TRUE(time.starts_with("Time=")) << time;
    EXPECT_NEAR(std::stod(time.substr(5)) * 1000, t, 10 + form.View().Span() / width);

    QTest::keyClick(&form, Qt::Key_Home);
    EXPECT_EQ(form.View(), FitLog(form.ViewLog()->Samples()));
    Mouse(&form, QEvent::MouseMove, at(width - 1), Qt::NoButton, Qt::NoButton);
    EXPECT_EQ(form.Painter().PanelText(0), "     500.000");

    QTest::mouseClick(&form, Qt::LeftButton, Qt::NoModifier, row2);
    EXPECT_TRUE(form.Painter().Hidden(2));
    EXPECT_EQ(plotPixels(yellow), 0);
    EXPECT_GT(plotPixels(lime), 0);
}

TEST_F(GraphForm, EveryGeometryChangeStopsAndOffersTheRun)
{
    const struct {
        const char* what;
        std::function<void(TGraphForm&)> act;
    } paths[] = {
        {"resize", [](TGraphForm& f) { f.resize(f.width() + 40, f.height() + 20); }},
        {"clear", [](TGraphForm& f) { f.ActClear->trigger(); }},
        {"max scale", [](TGraphForm& f) { f.SetMaxYScale(f.MaxYScale() + 1); }},
        {"sample rate", [](TGraphForm& f) { f.SetSampleRate(20); }},
        {"reload", [](TGraphForm& f) { f.ReloadLabels(); }},
        {"show again", [](TGraphForm& f) {
             f.hide();
             f.show();
         }},
    };
    for (const auto& p : paths) {
        saves.clear();
        ASSERT_TRUE(Start()) << p.what;
        ASSERT_TRUE(WaitSamples(3)) << p.what;
        p.act(form);
        QCoreApplication::processEvents();
        EXPECT_FALSE(form.Running()) << p.what;
        EXPECT_EQ(saves.size(), 1u) << p.what;
    }
    // Unticked: the run is stopped and dropped without asking.
    form.SetCreateLogFile(false);
    saves.clear();
    ASSERT_TRUE(Start());
    form.resize(form.width() - 40, form.height());
    QCoreApplication::processEvents();
    EXPECT_FALSE(form.Running());
    EXPECT_TRUE(saves.empty());
}

TEST_F(GraphForm, HidingKeepsAcquiringClosingOnlyHides)
{
    ASSERT_TRUE(Start());
    form.close();
    EXPECT_FALSE(form.isVisible());
    EXPECT_TRUE(form.Running());
    const std::uint32_t before = form.DaqLog()->Count();
    ASSERT_TRUE(WaitSamples(before + 6));
    form.show();
    EXPECT_FALSE(form.Running());
    EXPECT_EQ(saves.size(), 1u);
}

TEST_F(GraphForm, RestoringAMinimisedWindowIsNoShowing)
{
    ASSERT_TRUE(Start());
    ASSERT_TRUE(WaitSamples(3));
    WriteLabels(5);  // a showing would load these
    form.showMinimized();
    QCoreApplication::processEvents();
    form.showNormal();
    QCoreApplication::processEvents();
    EXPECT_TRUE(form.Running());
    EXPECT_TRUE(saves.empty());
    EXPECT_EQ(form.Labels().Count(), 3);
    const std::uint32_t before = form.DaqLog()->Count();
    EXPECT_TRUE(WaitSamples(before + 3));
}

TEST_F(GraphForm, LabelWindowHooks)
{
    int toggles = 0, hides = 0;
    form.SetLabelWindowHooks([&] { ++toggles; }, [&] { ++hides; });
    form.ActLabel->trigger();
    EXPECT_EQ(toggles, 1);
    form.hide();
    EXPECT_EQ(hides, 1);
}

// Each button's Alt+letter runs it, and no other letter does anything; the letters are
// shown underlined, so the icon text keeps its mnemonic.
TEST_F(GraphForm, EveryAltLetterRunsItsButton)
{
    form.SetLabelWindowHooks([] {}, [] {});
    EXPECT_EQ(form.findChild<QToolButton*>("BitBtn1")->text(), "Start(&A)");
    const std::map<char, QString> owners = {{'A', "ActStart"}, {'S', "ActStop"}, {'D', "ActClear"},
                                            {'C', "ActConfig"}, {'L', "ActLabel"}};
    // Start and Stop last: Graph Config is refused while running.
    for (char letter : std::string("CLDBEFGHIJKMNOPQRTUVWXYZAS")) {
        if (letter == 'C')
            OnNextModal([](QWidget* w) { w->findChild<QPushButton*>("CancelBtn")->click(); });
        form.EnableActions(true);
        const auto it = owners.find(letter);
        EXPECT_EQ(testsupport::PressAlt(&form, nullptr, letter, "Act").toStdString(),
                  it == owners.end() ? std::string() : it->second.toStdString())
            << "Alt+" << letter;
    }
}

TEST_F(GraphForm, ConfigDialogAppliesOnOkOnly)
{
    form.SetTimeWidth(15);  // not offered: the box keeps its own default
    form.SetSampleRate(50);
    form.SetPlotRate(100);
    OnNextModal([](QWidget* w) {
        auto* d = qobject_cast<TGraphConfDialog*>(w);
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(d->ComboBox1->currentText(), "20");
        EXPECT_EQ(d->ComboBox2->currentText(), "50");
        EXPECT_EQ(d->ComboBox3->currentText(), "100");
        d->Edit1->setText("-500");
        d->Edit2->setText("$400");
        d->Edit3->setText("abc");
        d->ComboBox2->setCurrentText("25");
        d->OKBtn->click();
    });
    form.ActConfig->trigger();
    EXPECT_EQ(form.MinYScale(), -500);
    EXPECT_EQ(form.MaxYScale(), 1024);
    EXPECT_EQ(form.YPitch(), 100);
    EXPECT_EQ(form.TimeWidth(), 20);
    EXPECT_EQ(form.SampleRate(), 25);
    EXPECT_EQ(form.PlotRate(), 100);

    OnNextModal([](QWidget* w) {
        qobject_cast<TGraphConfDialog*>(w)->Edit1->setText("7");
        qobject_cast<TGraphConfDialog*>(w)->CancelBtn->click();
    });
    form.ActConfig->trigger();
    EXPECT_EQ(form.MinYScale(), -500);
}

TEST_F(GraphForm, RatesThatCannotPaceAreRaised)
{
    form.SetSampleRate(0);
    form.SetPlotRate(-3);
    form.SetLogBufferSize(100);
    EXPECT_EQ(form.SampleRate(), 5);
    EXPECT_EQ(form.PlotRate(), 10);
    EXPECT_EQ(form.LogBufferSize(), kMinLogBufferSize);
    form.SetLogBufferSize(256 * 1024 * 1024);
    EXPECT_EQ(form.LogBufferSize(), 256u * 1024 * 1024);
}

// The largest block the settings allow is asked for whole; when it cannot be had the
// reason is shown and nothing starts, and a later start with memory to spare runs.
TEST_F(GraphForm, BlockThatCannotBeTakenStartsNothing)
{
    form.SetLogBufferSize(std::int64_t(1) << 32);
    std::size_t asked = 0;
    form.SetLogAllocator([&](std::size_t bytes) -> void* {
        asked = bytes;
        errno = ENOMEM;
        return nullptr;
    });
    QString shown;
    OnNextModal([&](QWidget* w) {
        if (auto* box = qobject_cast<QMessageBox*>(w))
            shown = box->text();
        qobject_cast<QDialog*>(w)->accept();
    });
    EXPECT_FALSE(Start());
    EXPECT_EQ(asked, std::size_t(kMaxLogBufferSize));
    EXPECT_EQ(shown, QString::fromLocal8Bit(std::strerror(ENOMEM)));
    EXPECT_EQ(registered, nullptr);
    EXPECT_EQ(form.DaqThread(), nullptr);
    EXPECT_EQ(form.DaqLog(), nullptr);
    form.EnableActions(true);
    EXPECT_TRUE(form.ActStart->isEnabled());
    EXPECT_FALSE(form.ActStop->isEnabled());

    form.SetLogAllocator({});
    form.SetLogBufferSize(kMinLogBufferSize);
    ASSERT_TRUE(Start());
    EXPECT_EQ(registered, &form.DaqRing());
    EXPECT_TRUE(saves.empty());
}

// A failed write keeps the run: the reason is shown and the dialog comes back; only a
// cancel drops it.
TEST(DaqSaveDialog, FailedWriteOffersTheDialogAgain)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    TDaqLogData log(1024, 50);
    log.Columns = {"A"};
    log.Push(1);
    const QString bad = QDir(dir.path()).absoluteFilePath("no/such/dir/run.csv");
    const QString good = QDir(dir.path()).absoluteFilePath("run.csv");
    QString initial, warning;
    int dialogs = 0;
    std::function<void(QWidget*)> step = [&](QWidget* w) {
        if (auto* box = qobject_cast<QMessageBox*>(w)) {
            warning = box->text();
            OnNextModal(step);
            box->accept();
            return;
        }
        auto* d = qobject_cast<QFileDialog*>(w);
        ASSERT_NE(d, nullptr);
        // Typed into the name field and accepted at once: selectFile() settles asynchronously
        // and may lose to the dialog's own directory loading.
        auto* edit = d->findChild<QLineEdit*>("fileNameEdit");
        ASSERT_NE(edit, nullptr);
        if (++dialogs == 1) {
            initial = d->selectedFiles().value(0);
            edit->setText(bad);
            OnNextModal(step);  // the warning comes next
        } else {
            edit->setText(good);
        }
        static_cast<QDialog*>(d)->accept();  // the file dialog's own accept, through the public base
    };
    OnNextModal(step);
    EXPECT_TRUE(SaveDaqLogWithDialog(nullptr, log, "Daq20150601_001.csv"));
    EXPECT_EQ(dialogs, 2);
    EXPECT_TRUE(initial.endsWith("Daq20150601_001.csv")) << initial.toStdString();
    EXPECT_EQ(warning, "Cannot write " + bad + " : No such file or directory");
    EXPECT_EQ(testsupport::ReadFile(good.toStdString()), "time(s),A\r\n0.000,1\r\n");
    OnNextModal([](QWidget* w) { qobject_cast<QDialog*>(w)->reject(); });
    EXPECT_FALSE(SaveDaqLogWithDialog(nullptr, log, ""));
}
