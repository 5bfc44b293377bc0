// The main window against a broken adapter and a hostile end: clicks repeated during a
// reply wait, unanswered and garbled replies, termination with a dialog open, and the
// display going away.
#include <QAbstractButton>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QTimer>
#include <csignal>
#include <cstdlib>

#include "mainform_fixture.h"
#include "support/childprocess.h"
#include "tmainform/termination.h"

using namespace mainformtest;
using tarvik::AdapterEmulator;

namespace {

int CountOf(const std::vector<std::string>& commands, const std::string& c)
{
    return int(std::count(commands.begin(), commands.end(), c));
}

}  // namespace

// Four clicks on Go On Bus against an adapter that never answers: one sequence, one wait,
// and the user is told which command went unanswered, without a box.
TEST_F(MainFormTest, ClicksDuringAReplyWaitAreDropped)
{
    Create();
    emu->SetReplyMode('M', AdapterEmulator::ReplyMode::Silent);
    auto* button = Child<QAbstractButton>("BitBtn1");
    int enabledDuringWait = -1;
    QTimer::singleShot(300, form.get(), [&] {
        enabledDuringWait = Act("ActOnBus")->isEnabled() ? 1 : 0;
        for (int i = 0; i < 3; ++i) {
            Act("ActOnBus")->trigger();
            QTest::mouseClick(button, Qt::LeftButton);
        }
    });
    QElapsedTimer t;
    t.start();
    Act("ActOnBus")->trigger();
    Idle();
    EXPECT_LT(t.elapsed(), 9000);  // one 5 s wait, not four
    EXPECT_EQ(enabledDuringWait, 0);
    EXPECT_EQ(CountOf(Commands(), Cmd("M0")), 1);
    // Back once the sequence has ended and the clicks held meanwhile have come in.
    EXPECT_FALSE(Act("ActOnBus")->isEnabled());
    EXPECT_TRUE(WaitFor([this] { return Act("ActOnBus")->isEnabled(); }, 1000));
    EXPECT_TRUE(errors.isEmpty());

    const QString notice = "No answer from the adapter to M within 5 s";
    EXPECT_TRUE(form->windowTitle().endsWith(notice)) << form->windowTitle().toStdString();
    EXPECT_EQ(form->findChild<QWidget*>("Shape1")->toolTip(), notice);

    // The next sequence that gets its answers clears the notice.
    emu->SetReplyMode('M', AdapterEmulator::ReplyMode::Normal);
    Act("ActOnBus")->trigger();
    Idle();
    EXPECT_TRUE(form->OnBus());
    EXPECT_FALSE(form->windowTitle().contains("No answer"));
    EXPECT_TRUE(form->findChild<QWidget*>("Shape1")->toolTip().isEmpty());
}

TEST_F(MainFormTest, RefusedCommandIsNamedWithoutABox)
{
    Create();
    emu->SetReplyMode('B', AdapterEmulator::ReplyMode::Refuse);
    Act("ActOnBus")->trigger();
    Idle();
    EXPECT_TRUE(errors.isEmpty());
    EXPECT_TRUE(form->windowTitle().endsWith("The adapter answered B with 0x15 instead of ACK"))
        << form->windowTitle().toStdString();
}

// A termination request while a dialog is open: the dialog goes, the adapter goes off bus,
// the window closes.
TEST_F(MainFormTest, TerminationClosesAnOpenDialogAndGoesOffBus)
{
    Create();
    tarvik::InstallTerminationHandler(*form);
    Act("ActOnBus")->trigger();
    ASSERT_TRUE(form->OnBus());
    emu->ClearLog();
    bool dialogSeen = false;
    // The request comes once the dialog is up, however long that takes; one that never comes
    // up is ended after 30 s so the test fails instead of hanging.
    QElapsedTimer t;
    QTimer raiser;
    QObject::connect(&raiser, &QTimer::timeout, form.get(), [&] {
        dialogSeen = QApplication::activeModalWidget() != nullptr;
        if (dialogSeen || t.elapsed() > 30000) {
            raiser.stop();
            t.start();
            std::raise(SIGTERM);
        }
    });
    t.start();
    raiser.start(20);
    Act("ActAbout")->trigger();  // modal: returns once the box is gone
    EXPECT_TRUE(dialogSeen);
    EXPECT_TRUE(WaitFor([&] { return !form->isVisible(); }, 10000));
    EXPECT_LT(t.elapsed(), 10000) << "from the request to the closed window";
    EXPECT_EQ(CountOf(Commands(), Cmd("F")), 1);
    EXPECT_FALSE(form->PortOpen());
}

// The display server going away ends the process with exit() from inside the event loop.
// The exit handler still takes the adapter off bus and closes the port. Run in a child:
// the exit is real.
TEST_F(MainFormTest, ExitFromTheEventLoopStillGoesOffBus)
{
#if defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "a forked copy of a threaded process is beyond what ThreadSanitizer follows";
#endif
    static tarvik::TEmulatorBackend* emulator;
    static tarvik::TMainForm* window;
    const int rc = testsupport::RunInChild([&] {
        // The window and its threads are made in the child: a fork copies only the forking
        // thread, and a lock another thread held at that moment would never be let go.
        Create();
        Act("ActOnBus")->trigger();
        if (!form->OnBus())
            return 5;
        emulator = emu.get();
        window = form.get();
        // Registered first, so it runs after the program's own handler: it judges the result.
        std::atexit([] {
            const auto c = emulator->CommandLog();
            const bool offBus = !c.empty() && c.back() == Cmd("F");
            std::_Exit(offBus && !window->PortOpen() ? 0 : 3);
        });
        tarvik::SetFormForExit(form.get());
        QTimer::singleShot(100, [] { std::exit(1); });  // what the windowing layer does
        QTest::qWait(5000);
        return 4;
    });
    EXPECT_EQ(rc, 0);
    tarvik::SetFormForExit(nullptr);
}
