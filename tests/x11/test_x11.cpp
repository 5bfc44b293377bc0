// The main window under a real X server and window manager: what the X server itself holds
// and frames, which the offscreen platform cannot show.
#include <QAbstractButton>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <cstdio>
#include <algorithm>

#include "mainform_fixture.h"
#include "support/modalhelper.h"
#include "tgraphform/tgraphform.h"
#include "tlabelform/tlabelform.h"
#include "tsendform/tsendform.h"
#include "tviewnormalform/tviewnormalform.h"

using namespace mainformtest;
using tarvik::AdapterEmulator;

// Clicks sent through the X server while the adapter keeps Go On Bus waiting for its reply
// are dropped, not run as a second sequence once the wait ends.
TEST_F(MainFormTest, ClicksTheXServerHoldsDuringAReplyWaitAreDropped)
{
    ASSERT_EQ(QGuiApplication::platformName(), "xcb");
    Create();
    emu->SetReplyMode('M', AdapterEmulator::ReplyMode::Silent);
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    QTest::qWait(300);  // the window manager's placement settles
    auto* button = Child<QAbstractButton>("BitBtn1");
    const QPoint at = button->mapToGlobal(button->rect().center());
    QProcess clicks;
    clicks.start("xdotool", {"mousemove", "--sync", QString::number(at.x()), QString::number(at.y()), "click", "1",
                             "sleep", "1", "click", "1", "sleep", "1", "click", "1", "sleep", "1.5", "click", "1"});
    ASSERT_TRUE(clicks.waitForStarted());
    auto m0 = [&] {
        const std::vector<std::string> c = Commands();
        return std::count(c.begin(), c.end(), Cmd("M0"));
    };
    ASSERT_TRUE(WaitFor([&] { return m0() > 0; }, 5000)) << "the first click did not reach the button at "
                                                         << at.x() << "," << at.y();
    // The first click's wait of 5 s holds the rest; then give any held click time to act.
    ASSERT_TRUE(WaitFor([&] { return clicks.state() == QProcess::NotRunning; }, 15000));
    EXPECT_EQ(clicks.exitCode(), 0) << clicks.readAllStandardError().toStdString();
    QTest::qWait(1500);
    EXPECT_EQ(m0(), 1) << "a click held during the wait started the sequence again";
    EXPECT_TRUE(Act("ActOnBus")->isEnabled());
}

// Every window the main window opens keeps its title bar on the screen, and those set side by
// side (the monitor below the main window; graph above label window, both to its right) do
// not overlap once the window manager has framed them.
TEST_F(MainFormTest, FramedWindowsSitSideBySideWithTheirTitleBarsOnScreen)
{
    Create();
    form->move(0, 0);
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    QTest::qWait(300);
    if (!form->ViewNormalForm()->isVisible())
        Act("ActMonitor")->trigger();
    OnNextModal([](QWidget* w) { w->findChild<QPushButton*>("OKBtn")->click(); });
    Act("ActSendWindow")->trigger();
    Act("ActGraphWindow")->trigger();
    form->GraphForm()->ActLabel->trigger();
    struct Shown {
        const char* name;
        QWidget* w;
    };
    const Shown windows[] = {{"main", form.get()},
                             {"monitor", form->ViewNormalForm()},
                             {"send", form->SendForm()},
                             {"graph", form->GraphForm()},
                             {"label", form->LabelForm()}};
    for (const Shown& s : windows) {
        ASSERT_TRUE(QTest::qWaitForWindowExposed(s.w)) << s.name;
    }
    // The frames, and the second placement each window gets once framed, settle (slowly on a
    // loaded machine).
    // (A window the window manager has not framed yet is checked by what Qt knows of it.)
    for (const Shown& s : windows)
        (void)QTest::qWaitFor([&] { return s.w->frameGeometry().contains(s.w->geometry()) &&
                                          s.w->frameGeometry() != s.w->geometry(); }, 10000);
    QTest::qWait(500);
    ASSERT_NE(form->frameGeometry(), form->geometry()) << "the window manager frames windows";
    const QRect screen = form->screen()->availableGeometry();
    auto frame = [&](const char* name) {
        for (const Shown& s : windows)
            if (std::string(s.name) == name)
                return s.w->frameGeometry();
        return QRect();
    };
    for (const Shown& s : windows) {
        const QRect f = s.w->frameGeometry();
        std::fprintf(stderr, "%s frame %d,%d %dx%d client %d,%d %dx%d\n", s.name, f.x(), f.y(), f.width(), f.height(),
                     s.w->geometry().x(), s.w->geometry().y(), s.w->width(), s.w->height());
        EXPECT_TRUE(screen.contains(QRect(f.topLeft(), QSize(f.width(), 24)))) << s.name << ": title bar off screen";
    }
    const std::pair<const char*, const char*> apart[] = {{"main", "monitor"}, {"main", "send"},    {"main", "graph"},
                                                         {"main", "label"},   {"graph", "label"}, {"monitor", "graph"},
                                                         {"monitor", "label"}};
    for (const auto& [a, b] : apart)
        EXPECT_FALSE(frame(a).intersects(frame(b))) << a << " and " << b << " overlap";
    EXPECT_EQ(frame("monitor").topLeft(), frame("main").bottomLeft() + QPoint(0, 1));
    EXPECT_EQ(frame("graph").topLeft(), frame("main").topRight() + QPoint(1, 0));
}
