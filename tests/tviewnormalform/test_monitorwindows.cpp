// Both monitor windows with their real worker threads, driven through their rings.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QImage>
#include <QScreen>
#include <QScrollBar>
#include <QTableWidget>
#include <QTest>
#include <QWheelEvent>
#include <chrono>
#include <functional>
#include <map>
#include <vector>

#include "platform/guicall.h"
#include "subfuncs/subfuncs.h"
#include "support/labelfile.h"
#include "support/testsupport.h"
#include "tviewfixedform/tfixedlogthread.h"
#include "tviewfixedform/tviewfixedform.h"
#include "monitorview/monitortextarea.h"
#include "tviewnormalform/monitorframes.h"
#include "tviewnormalform/tnormallogthread.h"
#include "tviewnormalform/tviewnormalform.h"

using namespace tarvik;
using namespace monitortest;
using namespace std::chrono_literals;

namespace {

void Wheel(QWidget* w, int delta)
{
    const QPointF pos(w->width() / 2.0, w->height() / 2.0);
    QWheelEvent ev(pos, w->mapToGlobal(pos), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier,
                   Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(w, &ev);
}

struct NormalRig {
    bool running = true;
    TLossCounts losses;
    TViewNormalForm form;
    explicit NormalRig(std::int32_t capacity = TRecordHistory::kCapacity) : form(nullptr, nullptr, capacity)
    {
        testsupport::InstallFonts();
        form.SetHost({[this] { return running; }, [this] { return losses; }, nullptr});
        form.show();
    }
    void Push(std::uint32_t from, std::uint32_t to)
    {
        for (std::uint32_t i = from; i < to; ++i)
            form.Ring().Push(Frame(i & 0x7FF, i).bytes.data());
    }
    // Waits for the records to be stored and for the draw thread to show them.
    bool Settle(std::int32_t count)
    {
        return WaitUntil([&] {
            return form.LogThread().Count() == count && !form.LogThread().DrawThread().Dirty.load() &&
                   form.Gauge()->Value().Position() == count;
        });
    }
    int L() const { return form.TextArea()->LinesPerPage(); }
};

}  // namespace

TEST(ViewNormalForm, FollowsTheNewestPage)
{
    NormalRig rig;
    ASSERT_GT(rig.L(), 10);
    // Fewer lines than the page: drawn from the top, the rest stays white.
    rig.Push(0, 3);
    ASSERT_TRUE(rig.Settle(3));
    const QStringList few = rig.form.TextArea()->VisibleLines();
    ASSERT_EQ(few.size(), 3);
    EXPECT_EQ(few[0].toStdString(), FrameToText(Frame(0, 0)));
    const QImage& img = rig.form.TextArea()->Surface().Canvas();
    const int below = 4 * rig.form.TextArea()->Surface().CellHeight();
    for (int y = below; y < img.height(); y += 7)
        for (int x = 0; x < img.width(); x += 5)
            ASSERT_EQ(img.pixel(x, y) & 0xFFFFFF, 0xFFFFFFu) << x << "," << y;

    rig.Push(3, 500);
    ASSERT_TRUE(rig.Settle(500));
    EXPECT_EQ(rig.form.ScrollBar()->maximum(), 500);
    EXPECT_EQ(rig.form.ScrollBar()->value(), 500);
    const QStringList page = rig.form.TextArea()->VisibleLines();
    ASSERT_EQ(page.size(), rig.L());
    EXPECT_EQ(page.back().toStdString(), FrameToText(Frame(499 & 0x7FF, 499)));
    EXPECT_EQ(page.front().toStdString(), FrameToText(Frame((500 - rig.L()) & 0x7FF, 500 - rig.L())));
    EXPECT_TRUE(rig.form.HasLines());
}

TEST(ViewNormalForm, PauseHoldsThePageWhileRecordsAreStillStored)
{
    NormalRig rig;
    rig.running = false;
    EXPECT_FALSE(rig.form.PauseMonitor());  // not monitoring
    EXPECT_FALSE(rig.form.IsPaused());
    EXPECT_FALSE(rig.form.ContinueMonitor());
    rig.running = true;
    rig.Push(0, 100);
    ASSERT_TRUE(rig.Settle(100));
    EXPECT_TRUE(rig.form.PauseMonitor());
    EXPECT_FALSE(rig.form.PauseMonitor());  // already paused
    EXPECT_TRUE(rig.form.IsPaused());

    rig.Push(100, 300);
    ASSERT_TRUE(rig.Settle(300));  // the gauge still moves
    EXPECT_EQ(rig.form.ScrollBar()->maximum(), 100);
    EXPECT_EQ(rig.form.ScrollBar()->value(), 100);

    // Wheel steps through what was there.
    const int L = rig.L();
    rig.form.ScrollBar()->setValue(0);
    Wheel(&rig.form, -120);
    EXPECT_EQ(rig.form.ScrollBar()->value(), std::min(L, 100));
    rig.form.ScrollBar()->setValue(L + 1);
    Wheel(&rig.form, 120);
    EXPECT_EQ(rig.form.ScrollBar()->value(), L);
    Wheel(&rig.form, 120);
    EXPECT_EQ(rig.form.ScrollBar()->value(), 0);
    EXPECT_EQ(rig.form.TextArea()->VisibleLines().front().toStdString(), FrameToText(Frame(0, 0)));

    EXPECT_TRUE(rig.form.ContinueMonitor());
    EXPECT_FALSE(rig.form.ContinueMonitor());
    rig.Push(300, 301);
    ASSERT_TRUE(rig.Settle(301));
    EXPECT_EQ(rig.form.ScrollBar()->value(), 301);
}

// A click in the trough turns a page of the visible lines; the arrows and the wheel, over
// the window or over the bar, move one line.
TEST(ViewNormalForm, ScrollBarPagesByTheVisibleLinesAndStepsByOne)
{
    NormalRig rig;
    rig.Push(0, 500);
    ASSERT_TRUE(rig.Settle(500));
    ASSERT_TRUE(rig.form.PauseMonitor());
    QScrollBar* bar = rig.form.ScrollBar();
    const int L = rig.L();
    ASSERT_GT(L, 5);
    EXPECT_EQ(bar->pageStep(), L);
    EXPECT_EQ(bar->singleStep(), 1);
    ASSERT_EQ(bar->value(), 500);

    struct Step {
        const char* what;
        std::function<void()> act;
        int moved;
    } steps[] = {
        {"trough above the handle", [&] { QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(8, 17 + 4)); }, -L},
        {"up arrow", [&] { QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(8, 5)); }, -1},
        {"wheel over the bar", [&] { Wheel(bar, 120); }, -1},
        {"wheel over the window", [&] { Wheel(&rig.form, 120); }, -1},
        {"down arrow", [&] { QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(8, bar->height() - 5)); }, 1},
    };
    for (const Step& s : steps) {
        const int before = bar->value();
        s.act();
        EXPECT_EQ(bar->value(), before + s.moved) << s.what;
    }
    // The page shown follows: it ends just before the position.
    bar->setValue(300);
    EXPECT_EQ(rig.form.TextArea()->VisibleLines().back().toStdString(), FrameToText(Frame(299 & 0x7FF, 299)));
    QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(8, bar->height() - 17 - 4));  // trough below
    EXPECT_EQ(bar->value(), 300 + L);
    EXPECT_EQ(rig.form.TextArea()->VisibleLines().front().toStdString(), FrameToText(Frame(300 & 0x7FF, 300)));
}

TEST(ViewNormalForm, ScrollingBackWithoutPauseLastsUntilTheNextRefresh)
{
    NormalRig rig;
    rig.Push(0, 200);
    ASSERT_TRUE(rig.Settle(200));
    rig.form.ScrollBar()->setValue(50);
    EXPECT_EQ(rig.form.TextArea()->VisibleLines().back().toStdString(), FrameToText(Frame(49, 49)));
    rig.Push(200, 201);
    ASSERT_TRUE(rig.Settle(201));
    EXPECT_EQ(rig.form.ScrollBar()->value(), 201);
}

TEST(ViewNormalForm, ClearCopyAndHide)
{
    NormalRig rig;
    EXPECT_EQ(rig.form.GetMonitorText(), "");
    rig.Push(0, 40);
    ASSERT_TRUE(rig.Settle(40));
    const QString text = rig.form.GetMonitorText();
    EXPECT_EQ(text.toStdString(), rig.form.LogThread().GetAllText());
    EXPECT_TRUE(text.endsWith("\r\n"));
    EXPECT_EQ(text.count("\r\n"), 40);

    // Closing with the title-bar button only hides; records are still stored.
    rig.form.close();
    EXPECT_FALSE(rig.form.isVisible());
    rig.Push(40, 50);
    ASSERT_TRUE(WaitUntil([&] { return rig.form.LogThread().Count() == 50; }));

    rig.form.show();
    rig.form.ClearMonitor();
    EXPECT_FALSE(rig.form.HasLines());
    EXPECT_EQ(rig.form.ScrollBar()->maximum(), 0);
    EXPECT_TRUE(rig.form.TextArea()->VisibleLines().isEmpty());
    EXPECT_EQ(rig.form.GetMonitorText(), "");
}

TEST(ViewNormalForm, GaugeShowsFillAndLosses)
{
    NormalRig rig(50);
    rig.losses.ringDropped = 3;
    rig.losses.badRecords = 2;
    rig.Push(0, 80);
    ASSERT_TRUE(WaitUntil([&] { return rig.form.LogThread().Drained() == 80; }));
    ASSERT_TRUE(rig.Settle(50));
    EXPECT_EQ(rig.form.Gauge()->Value().PerMille(), 1000);
    ASSERT_TRUE(WaitUntil([&] { return rig.form.Gauge()->Losses().overwritten == 30; }));
    EXPECT_EQ(rig.form.Gauge()->Losses().ringDropped, 3u);
    EXPECT_EQ(LossText(rig.form.Gauge()->Losses()), "lost 5");
    // The saved text still holds only monitor lines.
    EXPECT_EQ(rig.form.GetMonitorText().count("\r\n"), 50);

    // Half full, with losses: the strip as a person sees it.
    rig.form.ClearMonitor();
    rig.Push(100, 125);
    ASSERT_TRUE(rig.Settle(25));
    EXPECT_EQ(rig.form.Gauge()->Value().Text(), "50.0%");
    QImage strip(rig.form.Gauge()->size(), QImage::Format_RGB32);
    rig.form.Gauge()->render(&strip);
    EXPECT_TRUE(strip.save(QString::fromStdString(testsupport::BinaryDir()) + "/monitor_gauge.png"));
    // The bar covers the left half: its colour differs from the background on the right.
    const int y = strip.height() / 2 + strip.height() / 4;
    EXPECT_NE(strip.pixel(strip.width() / 8, y), strip.pixel(strip.width() * 7 / 8, y));
}

TEST(ViewNormalForm, CtrlFFindsAndMarksTheMatchAndTheFilterHidesTheRest)
{
    NormalRig rig(1000);
    rig.Push(0, 1500);  // records 0-499 overwritten; identifier and record number agree
    ASSERT_TRUE(rig.Settle(1000));
    rig.form.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&rig.form));
    QTest::keyClick(&rig.form, Qt::Key_F, Qt::ControlModifier);
    auto* id = rig.form.findChild<QLineEdit*>(QStringLiteral("EditFindId"));
    ASSERT_TRUE(id->isVisible());
    ASSERT_TRUE(id->hasFocus());
    QTest::keyClicks(id, QStringLiteral("3E8"));
    QTest::keyClick(id, Qt::Key_Return);
    EXPECT_EQ(rig.form.MarkedRecord(), 1000);
    EXPECT_TRUE(rig.form.IsPaused());  // so that the page stays on the match
    const auto& marks = rig.form.TextArea()->VisibleMarks();
    const auto at = std::find_if(marks.begin(), marks.end(), [](const TLineMarks& m) { return m.marked; });
    ASSERT_NE(at, marks.end());
    EXPECT_EQ(rig.form.TextArea()->VisibleLines()[int(at - marks.begin())].toStdString(),
              FrameToText(Frame(1000, 1000)));
    QTest::keyClick(id, Qt::Key_F3);
    EXPECT_EQ(rig.form.FindMessage(), QStringLiteral("not found"));
    EXPECT_EQ(rig.form.MarkedRecord(), 1000);
    id->setText(QStringLiteral("3E7"));
    QTest::keyClick(id, Qt::Key_P, Qt::AltModifier);  // Previous, from the mark back; a button clicks late
    EXPECT_TRUE(QTest::qWaitFor([&] { return rig.form.MarkedRecord() == 999; }));
    id->setText(QStringLiteral("10"));  // frame 16 was overwritten
    QTest::keyClick(id, Qt::Key_F3, Qt::ShiftModifier);
    EXPECT_EQ(rig.form.FindMessage(), QStringLiteral("not found"));

    id->setText(QStringLiteral("200-2FF"));
    rig.form.findChild<QCheckBox*>(QStringLiteral("CheckFilter"))->click();
    EXPECT_EQ(rig.form.FindMessage(), QStringLiteral("256 shown, 744 hidden"));
    EXPECT_EQ(rig.form.ScrollBar()->maximum(), 256);
    for (const QString& line : rig.form.TextArea()->VisibleLines())
        EXPECT_TRUE(line.mid(5, 4) >= QStringLiteral("0200") && line.mid(5, 4) <= QStringLiteral("02FF")) << line.toStdString();
    EXPECT_EQ(rig.form.GetMonitorText().count(QStringLiteral("\r\n")), 1000);  // copy keeps every frame
    rig.form.findChild<QCheckBox*>(QStringLiteral("CheckSaveShown"))->click();
    EXPECT_EQ(rig.form.GetMonitorText().count(QStringLiteral("\r\n")), 256);
    QTest::keyClick(id, Qt::Key_Escape);  // closing the bar ends the filter
    EXPECT_FALSE(rig.form.Filtering());
    EXPECT_EQ(rig.form.GetMonitorText().count(QStringLiteral("\r\n")), 1000);
}

TEST(ViewFixedForm, OneLinePerIdentifierAndTheScrollPositionStays)
{
    testsupport::InstallFonts();
    TViewFixedForm form(nullptr);
    form.SetHost({[] { return true; }, nullptr, nullptr});
    form.show();
    auto settle = [&](int n) {
        return WaitUntil([&] {
            return form.LogThread().SlotCount() == n && !form.LogThread().DrawThread().Dirty.load() &&
                   form.ScrollBar()->maximum() == n;
        });
    };
    for (std::uint32_t id : {0x200u, 0x100u, 0x300u})
        form.Ring().Push(Frame(id).bytes.data());
    form.Ring().Push(Frame(0x100, 0, true).bytes.data());
    ASSERT_TRUE(settle(4));
    const QStringList lines = form.TextArea()->VisibleLines();
    ASSERT_EQ(lines.size(), 4);
    EXPECT_EQ(lines[0].toStdString(), FrameToText(Frame(0x100)));
    EXPECT_EQ(lines[1].toStdString(), FrameToText(Frame(0x200)));
    EXPECT_EQ(lines[2].toStdString(), FrameToText(Frame(0x300)));
    EXPECT_EQ(lines[3].toStdString(), FrameToText(Frame(0x100, 0, true)));
    // All rows fit one page: the bar has nowhere to go.
    EXPECT_EQ(form.ScrollBar()->minimum(), form.ScrollBar()->maximum());

    // Many identifiers; the user scrolls, new ones arrive, the position stays.
    for (std::uint32_t id = 0x400; id < 0x400 + 200; ++id)
        form.Ring().Push(Frame(id).bytes.data());
    ASSERT_TRUE(settle(204));
    const int L = form.TextArea()->LinesPerPage();
    // Every position of the bar shows other rows: from the first page to the last.
    EXPECT_EQ(form.ScrollBar()->minimum(), L);
    for (int v : {L, L + 1, 150, 204}) {
        form.ScrollBar()->setValue(v);
        EXPECT_EQ(form.TextArea()->VisibleLines().front().toStdString(), form.LogThread().GetLine(v - L)) << v;
    }
    form.ScrollBar()->setValue(0);
    EXPECT_EQ(form.ScrollBar()->value(), L);
    form.ScrollBar()->setValue(120);
    for (std::uint32_t id = 0x10; id < 0x20; ++id)
        form.Ring().Push(Frame(id).bytes.data());
    ASSERT_TRUE(settle(220));
    EXPECT_EQ(form.ScrollBar()->value(), 120);
    EXPECT_EQ(form.TextArea()->VisibleLines().front().toStdString(), form.LogThread().GetLine(120 - L));

    // Paused: the table changes, the screen does not.
    EXPECT_TRUE(form.PauseMonitor());
    const QStringList frozen = form.TextArea()->VisibleLines();
    form.Ring().Push(Frame(0x1).bytes.data());
    ASSERT_TRUE(WaitUntil([&] { return form.LogThread().SlotCount() == 221; }));
    ASSERT_TRUE(WaitUntil([&] { return !form.LogThread().DrawThread().Dirty.load(); }));
    EXPECT_EQ(form.TextArea()->VisibleLines(), frozen);
    EXPECT_TRUE(form.ContinueMonitor());

    form.ClearMonitor();
    EXPECT_FALSE(form.HasLines());
    EXPECT_EQ(form.GetMonitorText(), "");
    EXPECT_EQ(form.ScrollBar()->value(), 0);
}

TEST(MonitorTextArea, RedrawingOnlyWhatChangedLeavesTheSurfaceAsAFullRedraw)
{
    testsupport::InstallFonts();
    std::vector<std::string> lines;
    std::map<std::int32_t, TLineMarks> marks;
    QWidget window;
    QScrollBar barA(Qt::Vertical), barB(Qt::Vertical);
    auto area = [&](QScrollBar& bar) {
        auto* a = new TMonitorTextArea([&](std::int32_t i) { return lines[std::size_t(i)]; },
                                       [&] { return std::int32_t(lines.size()); }, &bar, &window);
        a->SetMarkSource([&](std::int32_t i) { return marks.count(i) ? marks[i] : TLineMarks{}; });
        a->resize(400, 200);
        a->show();
        return a;
    };
    window.resize(420, 220);
    window.show();
    TMonitorTextArea* kept = area(barA);  // redrawn step after step
    const int L = kept->LinesPerPage();
    ASSERT_GT(L, 3);
    const auto line = [](int n) { return FrameToText(Frame(std::uint32_t(n), std::uint32_t(n))); };
    const std::function<void()> steps[] = {
        [&] { for (int n = 0; n < 2; ++n) lines.push_back(line(n)); },         // fewer lines than the page
        [&] { for (int n = 2; n < L + 3; ++n) lines.push_back(line(n)); },     // the page scrolls by some lines
        [&] { lines.push_back(line(900)); },                                   // and by one
        [&] { lines[std::size_t(lines.size() - 2)] = line(901); },             // a line in place changes
        [&] { marks[std::int32_t(lines.size()) - 3] = TLineMarks{0x05, true}; },
        [&] { marks.clear(); barA.setValue(L); },                              // back to the first page
        [&] { lines.resize(1); },                                              // most lines go
        [&] { lines.clear(); },
    };
    int step = 0;
    for (const auto& change : steps) {
        change();
        for (QScrollBar* bar : {&barA, &barB}) {
            bar->setRange(0, int(lines.size()));
            if (step != 5)
                bar->setValue(int(lines.size()));
        }
        barB.setValue(barA.value());
        kept->Redraw();
        std::unique_ptr<TMonitorTextArea> fresh(area(barB));
        ASSERT_TRUE(kept->Surface().Canvas() == fresh->Surface().Canvas()) << "step " << step;
        EXPECT_EQ(kept->VisibleLines(), fresh->VisibleLines()) << "step " << step;
        ++step;
    }
}

namespace {

QStringList PanelRows(const TMonitorForm& form)
{
    QStringList rows;
    const QTableWidget* grid = form.SignalGrid();
    for (int r = 0; r < grid->rowCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < grid->columnCount(); ++c)
            cells << grid->item(r, c)->text();
        rows << cells.join(QLatin1Char('|'));
    }
    return rows;
}

void ClickLine(TMonitorForm& form, std::int32_t index)
{
    QTest::mouseClick(form.TextArea(), Qt::LeftButton, Qt::NoModifier, QPoint(20, form.TextArea()->LineY(index) + 2));
}

}  // namespace

TEST(MonitorWindows, ClickingALineListsItsSignalsAndTheFixedViewFollowsThem)
{
    testsupport::InstallFonts();
    testsupport::TempLabelFile labels("Speed,\"unsigned short\",,0x100,Big,0,16,0.25,0,0,8000,rpm\r\n"
                                      "// Temp,\"signed char\",,0x100,Little,16,8,1,-40,-40,210,degC\r\n");
    const std::uint8_t first[8] = {0x01, 0x02, 0xFF}, second[8] = {0x00, 0x08, 0x00};
    TViewFixedForm form(nullptr);
    form.SetHost({[] { return true; }, nullptr, nullptr});
    form.SetLabelFile(QString::fromStdString(labels.Path()));
    form.show();
    EXPECT_FALSE(form.SignalPanel()->isVisible());
    form.Ring().Push(AdapterRecord::Can(0x200, false, 8).bytes.data());
    form.Ring().Push(AdapterRecord::Can(0x100, false, 8, first).bytes.data());
    ASSERT_TRUE(form.Drain());
    ASSERT_TRUE(WaitUntil([&] { return form.TextArea()->VisibleLines().size() == 2; }));
    ClickLine(form, 0);
    EXPECT_TRUE(form.SignalPanel()->isVisible());
    EXPECT_EQ(form.SignalHeading(), "0x100: 2 labels");
    EXPECT_EQ(PanelRows(form), QStringList({"Speed|64.5 rpm|0x102|yes", "Temp|-41 degC|0xFF|no"}));
    EXPECT_TRUE(form.TextArea()->VisibleMarks()[0].marked);
    // A new frame of the selected identifier reaches the panel with the next repaint.
    form.Ring().Push(AdapterRecord::Can(0x100, false, 8, second).bytes.data());
    ASSERT_TRUE(WaitUntil([&] { return PanelRows(form).value(0) == "Speed|2 rpm|0x8|yes"; }));
    QTest::keyClick(form.TextArea(), Qt::Key_Down);
    EXPECT_EQ(form.SignalHeading(), "0x200: no labels");
    EXPECT_EQ(form.SignalGrid()->rowCount(), 0);

    // The scrolling view selects a frame of its history the same way.
    NormalRig normal;
    normal.form.SetLabelFile(QString::fromStdString(labels.Path()));
    normal.form.Ring().Push(AdapterRecord::Can(0x100, false, 8, first).bytes.data());
    normal.form.Ring().Push(AdapterRecord::Can(0x100, false, 8, second).bytes.data());
    ASSERT_TRUE(normal.Settle(2));
    ClickLine(normal.form, 1);
    EXPECT_EQ(PanelRows(normal.form).value(0), "Speed|2 rpm|0x8|yes");
    QTest::keyClick(normal.form.TextArea(), Qt::Key_Up);
    EXPECT_EQ(PanelRows(normal.form).value(0), "Speed|64.5 rpm|0x102|yes");
    EXPECT_EQ(normal.form.MarkedRecord(), 0);
}

TEST(MonitorWindows, ShowPlacesTheWindowUnderTheMainWindow)
{
    QWidget mainWindow;
    mainWindow.setGeometry(60, 40, 402, 249);
    mainWindow.show();
    TViewFixedForm form(nullptr);
    form.SetHost({nullptr, nullptr, &mainWindow});
    form.show();
    const QRect main = mainWindow.frameGeometry();
    const QRect work = mainWindow.screen()->availableGeometry();
    EXPECT_EQ(form.frameGeometry().left(), main.left());
    EXPECT_EQ(form.frameGeometry().top(), main.top() + main.height());
    EXPECT_EQ(form.frameGeometry().width(), main.width());
    EXPECT_EQ(form.frameGeometry().height(), work.height() - main.height());
    // Without a main window it keeps its own size.
    TViewFixedForm alone(nullptr);
    alone.show();
    EXPECT_EQ(alone.size(), QSize(408, 640));
}

// Which whole-line bands of the rendered text area hold any pixel other than the
// background (its most frequent colour), top to bottom.
static std::vector<bool> InkedLines(TMonitorTextArea& area)
{
    QImage img(area.size(), QImage::Format_RGB32);
    area.render(&img);
    const QRect c = area.contentsRect();
    const int ch = area.Surface().CellHeight();
    std::map<QRgb, int> counts;
    for (int y = c.top(); y <= c.bottom(); ++y)
        for (int x = c.left(); x <= c.right(); ++x)
            ++counts[img.pixel(x, y)];
    QRgb background = 0;
    int most = 0;
    for (const auto& [colour, n] : counts)
        if (n > most) {
            most = n;
            background = colour;
        }
    std::vector<bool> ink(static_cast<std::size_t>(c.height() / ch), false);
    for (int y = c.top(); y < c.top() + int(ink.size()) * ch; ++y)
        for (int x = c.left(); x <= c.right(); ++x)
            if (img.pixel(x, y) != background) {
                ink[static_cast<std::size_t>((y - c.top()) / ch)] = true;
                break;
            }
    return ink;
}

// Both windows with traffic: every line shown carries text and nothing is drawn below the
// last line; the screenshots are kept for a person to look at.
TEST(MonitorWindows, Screenshots)
{
    NormalRig rig;
    TViewFixedForm fixed(nullptr);
    fixed.show();
    std::uint32_t stamp = 12345;
    for (int round = 0; round < 60; ++round)
        for (std::uint32_t id : {0x0C4u, 0x1A0u, 0x2F1u, 0x3E8u, 0x18FEF100u, 0x7DFu}) {
            AdapterRecord r = Frame(id, stamp += 97, id > 0x7FF);
            r.bytes[1] = (id == 0x7DF) ? 1 : 0;
            r.bytes[2] = std::uint8_t((r.bytes[2] & 0xF0) | (id % 9));
            rig.form.Ring().Push(r.bytes.data());
            fixed.Ring().Push(r.bytes.data());
        }
    AdapterRecord lin = Frame(0, stamp + 5);
    lin.bytes[1] = 0x80;
    lin.bytes[3] = 'P';
    lin.bytes[6] = 0x3C;
    rig.form.Ring().Push(lin.bytes.data());
    fixed.Ring().Push(lin.bytes.data());
    ASSERT_TRUE(rig.Settle(361));
    ASSERT_TRUE(WaitUntil([&] { return fixed.LogThread().SlotCount() == 7 && fixed.ScrollBar()->maximum() == 7; }));
    // The pictures show the count and cycle columns, and a found line.
    fixed.SetStatsColumns(true);
    rig.form.ActFindExecute();
    rig.form.findChild<QLineEdit*>(QStringLiteral("EditFindId"))->setText(QStringLiteral("2F1"));
    ASSERT_TRUE(rig.form.FindNext(false));
    const QString dir = QString::fromStdString(testsupport::BinaryDir());
    // Rendered straight into an image in the file's own pixel format, so that saving needs
    // no conversion (Qt would split a large conversion across its thread pool).
    auto shot = [](QWidget& w) {
        QImage img(w.size(), QImage::Format_RGB32);
        w.render(&img);
        return img;
    };
    EXPECT_TRUE(shot(rig.form).save(dir + "/monitor_realtime.png"));
    EXPECT_TRUE(shot(fixed).save(dir + "/monitor_fixed.png"));

    const std::vector<bool> realtime = InkedLines(*rig.form.TextArea());
    ASSERT_GE(realtime.size(), static_cast<std::size_t>(rig.L()));
    for (int i = 0; i < rig.L(); ++i)
        EXPECT_TRUE(realtime[static_cast<std::size_t>(i)]) << "realtime line " << i << " is blank";
    const std::vector<bool> table = InkedLines(*fixed.TextArea());
    ASSERT_GT(table.size(), 8u);
    for (std::size_t i = 0; i < table.size(); ++i)
        EXPECT_EQ(table[i], i < 7) << "fixed line " << i;
}
