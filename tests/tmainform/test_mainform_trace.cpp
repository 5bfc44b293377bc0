// Traces out of the main window and back in: saving the history as candump and ASC logs,
// replaying them, and a save that fails part-way.
#include <QDir>
#include <csignal>
#include <sys/resource.h>

#include <chrono>
#include <thread>

#include "emulator/replaymodel.h"
#include "emulator/vehiclemodel.h"
#include "bus/tmonthread.h"
#include "tusbdev/tqueuebuffer.h"
#include "mainform_fixture.h"
#include "support/filesizelimit.h"
#include "support/testsupport.h"
#include "tviewnormalform/tnormallogthread.h"
#include "tviewnormalform/tviewnormalform.h"

using mainformtest::MainFormTest;

namespace {

class TraceTest : public MainFormTest {
protected:
    const tarvik::TRecordHistory& History() { return form->ViewNormalForm()->LogThread().History(); }

    // Goes on bus until the scrolling history holds at least n records, then off bus.
    std::int32_t Record(std::int32_t n)
    {
        Act("ActOnBus")->trigger();
        EXPECT_TRUE(WaitFor([&] { return History().Count() >= n; }, 10000)) << History().Count();
        Act("ActOffBus")->trigger();
        Idle();
        return History().Count();
    }
    std::string SaveAs(const QString& name)
    {
        saveAnswer = dir.filePath(name);
        Idle();
        EXPECT_TRUE(Act("ActSaveToFile")->isEnabled());
        Act("ActSaveToFile")->trigger();
        return testsupport::ReadFile(saveAnswer.toStdString());
    }
    // A fresh window plays the file back (as fast as it reads) and saves what it received.
    std::string ReplayAndSave(const QString& log, const QString& again, std::int32_t frames)
    {
        form.reset();
        Create();
        QString error;
        const tarvik::TReplaySource src = tarvik::MakeReplaySource(dir.filePath(log), true, 1.0, &error);
        EXPECT_TRUE(src.device) << error.toStdString();
        if (!src.device) return {};
        form->PlayLog(src);
        EXPECT_TRUE(form->windowTitle().contains(log)) << form->windowTitle().toStdString();
        EXPECT_EQ(Record(frames), frames) << "the replay brings every frame, nothing more";
        return SaveAs(again);
    }
    static std::string FromMeasurementOn(const std::string& asc)
    {
        const auto at = asc.find("Start of measurement");
        return at == std::string::npos ? std::string("no ASC body") : asc.substr(at);
    }
};

}  // namespace

TEST_F(TraceTest, CandumpAndAscLogsReplayIntoTheSameTrace)
{
    Create(std::make_unique<tarvik::TVehicleModel>());
    const std::int32_t n = Record(400);
    const std::string log = SaveAs("first.log");
    const std::string asc = SaveAs("first.asc");
    ASSERT_EQ(infos.size(), 2);
    EXPECT_EQ(infos[0], QStringLiteral("%1 frames written to %2.").arg(n).arg(dir.filePath("first.log")));
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), n);

    EXPECT_EQ(ReplayAndSave("first.log", "again.log", n), log) << "same frames, order and times";
    EXPECT_EQ(FromMeasurementOn(ReplayAndSave("first.asc", "again.asc", n)), FromMeasurementOn(asc));
    EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
}

TEST_F(TraceTest, LinFramesGoToAscAndAreCountedOutOfCandump)
{
    Create(std::make_unique<tarvik::TVehicleModel>());
    SelectLin();
    const std::int32_t n = Record(20);
    EXPECT_EQ(SaveAs("lin.log"), "");
    ASSERT_EQ(infos.size(), 1);
    EXPECT_TRUE(infos[0].contains(QStringLiteral("%1 LIN frames left out").arg(n))) << infos[0].toStdString();
    const std::string asc = SaveAs("lin.asc");
    EXPECT_NE(asc.find(" L1 10  Rx   "), std::string::npos) << asc.substr(0, 600);
}

TEST_F(TraceTest, FailedSaveKeepsTheOldFileAndNamesTheReason)
{
    Create(std::make_unique<tarvik::TVehicleModel>());
    Record(300);
    for (const char* name : {"full.txt", "full.log"}) {
        const QString path = dir.filePath(name);
        {
            QFile f(path);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write("old content\r\n");
        }
        // A file-size limit stands in for a full disk: the write fails part-way.
        errors.clear();
        {
            const testsupport::FileSizeLimit limit(4096);
            ASSERT_TRUE(limit.Set());
            SaveAs(name);
        }
        ASSERT_EQ(errors.size(), 1) << name;
        EXPECT_EQ(errors[0], QStringLiteral("Cannot write %1 : File too large").arg(path));
        EXPECT_EQ(testsupport::ReadFile(path.toStdString()), "old content\r\n") << name;
    }
}

TEST_F(TraceTest, OpenLogPlaysAFileAndNamesWhatCannotBePlayed)
{
    Create();
    openAnswer = dir.path();
    Idle();
    ASSERT_TRUE(Act("ActOpenLog")->isEnabled());
    Act("ActOpenLog")->trigger();
    ASSERT_EQ(errors.size(), 1);
    EXPECT_EQ(errors[0], dir.path() + QStringLiteral(": Is a directory"));

    QFile f(dir.filePath("mixed.log"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("(10.000000) can0 123#11 R\n(10.100000) can0 124##0112233\n(10.200000) can0 20000080#\n"
            "(10.300000) can0 125#2233 T\n");
    f.close();
    openAnswer = f.fileName();
    Act("ActOpenLog")->trigger();
    EXPECT_TRUE(form->windowTitle().endsWith(" - replay mixed.log (left out: 1 CAN FD frame, 1 error frame)"))
        << form->windowTitle().toStdString();
    tarvik::TViewNormalForm* monitor = form->ViewNormalForm();
    EXPECT_EQ(monitor->StatusNote(), "left out: 1 CAN FD frame, 1 error frame");
    // The end of the log is said where it stays readable: the status line and the lamp.
    const QString finished = "replay of " + f.fileName() + " finished: 2 frames; left out: 1 CAN FD frame, 1 error frame";
    Act("ActOnBus")->trigger();
    EXPECT_TRUE(WaitFor([&] { return monitor->StatusNote() == finished; }, 10000)) << monitor->StatusNote().toStdString();
    EXPECT_EQ(form->findChild<QWidget*>("Shape1")->toolTip(), finished);
    Act("ActOffBus")->trigger();
    EXPECT_EQ(Record(2), 2);
    Act("ActOnBus")->trigger();
    Idle();
    EXPECT_FALSE(Act("ActOpenLog")->isEnabled()) << "the channel changes only with the port closed";
    Act("ActOffBus")->trigger();

    // Nothing but CAN FD: the window opens the log and says so; a save has nothing to play.
    QFile fd(dir.filePath("fd.log"));
    ASSERT_TRUE(fd.open(QIODevice::WriteOnly));
    fd.write("(1.000000) can0 124##0112233\n(1.100000) can0 125##1AABB\n");
    fd.close();
    QString error;
    EXPECT_FALSE(tarvik::MakeReplaySource(fd.fileName(), true, 1.0, &error).device);
    EXPECT_TRUE(error.contains("no CAN or LIN frame")) << error.toStdString();
    openAnswer = fd.fileName();
    Act("ActOpenLog")->trigger();
    ASSERT_EQ(errors.size(), 1) << errors.join("\n").toStdString();
    EXPECT_EQ(monitor->StatusNote(), "left out: 2 CAN FD frames");
    Act("ActOnBus")->trigger();
    EXPECT_TRUE(WaitFor([&] { return monitor->StatusNote().startsWith("replay of " + fd.fileName() + " finished: 0 frames; "); },
                        10000))
        << monitor->StatusNote().toStdString();
    Act("ActOffBus")->trigger();
}

// Played for a file: saved once every frame of the log is in; taken off bus before the end,
// nothing is saved and the message says how far it came.
TEST_F(TraceTest, PlayAndSaveWaitsForTheWholeLog)
{
    QFile f(dir.filePath("slow.log"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("(10.000000) can0 123#11 R\n(10.001000) can0 124#22 R\n(40.000000) can0 125#33 R\n");
    f.close();
    for (const bool interrupted : {false, true}) {
        SCOPED_TRACE(interrupted);
        form.reset();
        Create();
        QString error;
        tarvik::TReplaySource src = tarvik::MakeReplaySource(f.fileName(), !interrupted, 1.0, &error);
        ASSERT_TRUE(src.device) << error.toStdString();
        form->PlayLog(src);
        int result = -1;
        const QString out = dir.filePath(interrupted ? "cut.log" : "whole.log");
        form->PlayAndSave(out, [&](bool saved) { result = saved; });
        if (interrupted) {
            // The third frame is due 30 s in: stop while the first two wait in the history.
            ASSERT_TRUE(WaitFor([&] { return History().Count() == 2; }));
            Act("ActOffBus")->trigger();
        }
        ASSERT_TRUE(WaitFor([&] { return result != -1; }));
        EXPECT_EQ(result, interrupted ? 0 : 1);
        EXPECT_EQ(QFile::exists(out), !interrupted);
        if (!interrupted) {
            EXPECT_EQ(testsupport::ReadFile(out.toStdString()), testsupport::ReadFile(f.fileName().toStdString()));
        }
        if (interrupted) {
            ASSERT_EQ(errors.size(), 1);
            EXPECT_EQ(errors[0], "The replay of " + f.fileName() + " stopped after 2 of 3 frames; nothing was saved");
        }
    }
}

// A log replayed as fast as it is read waits for a slow reader instead of losing frames; a
// live bus cannot wait, so there a full ring still drops (and counts).
TEST(ReplayHold, FastReplayWaitsForAFullRingLiveBusDrops)
{
    std::string log;
    for (int i = 0; i < 3000; ++i)
        log += "(1.000000) can0 123#" + std::string(i % 2 ? "11" : "22") + " R\n";
    for (bool hold : {true, false}) {
        auto emu = std::make_shared<tarvik::TEmulatorBackend>(tarvik::TReplayModel::FromText(log, true));
        tarvik::TBusSession bus(tarvik::MakeNativeDevice(emu));
        const tarvik::TMonThread& mon = bus.Reception();
        bus.SetHoldWhenFull(hold);
        tarvik::TQueueBuffer ring(20, 64);
        bus.SetSlot(1, &ring);
        ASSERT_TRUE(bus.Open());
        ASSERT_TRUE(bus.GoOnBus(tarvik::OnBusConfig{}));
        int taken = 0;
        std::uint8_t rec[20];
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (taken + int(mon.Dropped(1)) < 3000 && std::chrono::steady_clock::now() < until) {
            if (ring.Pop(rec)) {
                taken += rec[1] == tarvik::kCanReceived;
                std::this_thread::sleep_for(std::chrono::microseconds(taken % 16 == 0 ? 500 : 0));  // a slow reader
            }
        }
        bus.GoOffBus();
        bus.Close();
        if (hold) {
            EXPECT_EQ(taken, 3000);
            EXPECT_EQ(mon.Dropped(1), 0u);
        } else {
            EXPECT_GT(mon.Dropped(1), 0u) << "a 64-record ring behind a slow reader overflows";
            EXPECT_EQ(taken + int(mon.Dropped(1)), 3000);
        }
    }
}
