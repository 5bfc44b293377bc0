// The main window against the in-process adapter emulator: the bytes of going on and off
// the bus, the ACK waits, the status lamp, a USB failure while receiving, and closing.
// First: its member named "signals" must be parsed before Qt defines that word.
#include "emulator/vehiclemodel.h"

#include <QElapsedTimer>
#include <QImage>
#include <QTimer>

#include "mainform_fixture.h"
#include "tviewnormalform/tviewnormalform.h"

using namespace mainformtest;
using tarvik::AdapterEmulator;

namespace {

const std::string kZeroMasks = Cmd("L" + std::string(32, '0'));

QColor LampPixel(tarvik::TMainForm& form)
{
    QWidget* lamp = form.findChild<QWidget*>("Shape1");
    const QImage img = lamp->grab().toImage();
    return img.pixelColor(img.width() / 2, img.height() / 2);
}

}  // namespace

TEST_F(MainFormTest, GoOnBusCanWritesTheSequenceAndStartsReception)
{
    Create();
    form->SetSamplingPoint(4);  // "80%"
    Act("ActOnBus")->trigger();
    EXPECT_TRUE(form->OnBus());
    EXPECT_TRUE(form->PortOpen());
    const std::vector<std::string> expected{Cmd("M0"), Cmd("B0400"), kZeroMasks, Cmd("N")};
    EXPECT_EQ(Commands(), expected);
    EXPECT_TRUE(form->ViewNormalForm()->isVisible());
    EXPECT_TRUE(errors.isEmpty());
}

TEST_F(MainFormTest, GoOnBusSendsSpeedIndexTenAsHexDigit)
{
    Create();
    form->SetCanBusSpeed(10);
    Act("ActOnBus")->trigger();
    ASSERT_GE(Commands().size(), 2u);
    EXPECT_EQ(Commands()[1], Cmd("BA000"));
}

TEST_F(MainFormTest, MasksOnlyFromGroupsWithUseMaskAndCode)
{
    Create();
    Child<QLineEdit>("Edit1")->setText("7FF");
    Child<QLineEdit>("Edit2")->setText("123");
    Child<QLineEdit>("Edit3")->setText("1FFFFFFF");
    Child<QLineEdit>("Edit4")->setText("00000001");
    Child<QCheckBox>("CheckBox2")->setChecked(true);
    Act("ActOnBus")->trigger();
    ASSERT_EQ(Commands().size(), 4u);
    EXPECT_EQ(Commands()[2], Cmd("L00000000000000001FFFFFFF00000001"));
    Act("ActOffBus")->trigger();

    Child<QCheckBox>("CheckBox1")->setChecked(true);
    Child<QCheckBox>("CheckBox2")->setChecked(false);
    emu->ClearLog();
    Act("ActOnBus")->trigger();
    ASSERT_EQ(Commands().size(), 4u);
    EXPECT_EQ(Commands()[2], Cmd("L000007FF000001230000000000000000"));
}

TEST_F(MainFormTest, GoOnBusLinMasterAt9600)
{
    Create();
    SelectLin();
    Child<QComboBox>("ComboBox2")->setCurrentIndex(3);
    Child<QCheckBox>("CheckBox5")->setChecked(true);
    Act("ActOnBus")->trigger();
    const std::vector<std::string> expected{Cmd("M1"), Cmd("B3001"), Cmd("N")};
    EXPECT_EQ(Commands(), expected);
    EXPECT_TRUE(form->OnBus());
}

TEST_F(MainFormTest, RefusedAckStopsTheSequenceAndLeavesThePortOpen)
{
    Create();
    emu->SetReplyMode('B', AdapterEmulator::ReplyMode::Refuse);
    Act("ActOnBus")->trigger();
    Idle();
    const std::vector<std::string> expected{Cmd("M0"), Cmd("B0000")};
    EXPECT_EQ(Commands(), expected);  // neither L nor N after the refusal
    EXPECT_FALSE(form->OnBus());
    EXPECT_TRUE(form->PortOpen());
    EXPECT_TRUE(Act("ActPortClose")->isVisible());
    EXPECT_TRUE(Act("ActOnBus")->isVisible());
    EXPECT_TRUE(errors.isEmpty());  // a refusal is silent
}

TEST_F(MainFormTest, MissingAckTimesOutAndLeavesThePortOpen)
{
    Create();
    emu->SetReplyMode('M', AdapterEmulator::ReplyMode::Silent);
    QElapsedTimer t;
    t.start();
    Act("ActOnBus")->trigger();
    Idle();
    EXPECT_GE(t.elapsed(), 4900);  // the full reply wait
    EXPECT_EQ(Commands().size(), 1u);
    EXPECT_FALSE(form->OnBus());
    EXPECT_TRUE(form->PortOpen());
    EXPECT_TRUE(Act("ActPortClose")->isVisible());
}

TEST_F(MainFormTest, GoOffBusWritesFAndClosesThePort)
{
    Create();
    Act("ActOnBus")->trigger();
    ASSERT_TRUE(form->OnBus());
    emu->ClearLog();
    Act("ActOffBus")->trigger();
    EXPECT_FALSE(form->OnBus());
    EXPECT_FALSE(form->PortOpen());
    EXPECT_EQ(Commands(), std::vector<std::string>{Cmd("F")});
    Idle();
    EXPECT_TRUE(Act("ActPortOpen")->isVisible());
    EXPECT_TRUE(Act("ActOnBus")->isVisible());
    EXPECT_FALSE(Act("ActOffBus")->isVisible());
}

TEST_F(MainFormTest, LampFollowsBusStatus)
{
    Create();
    Idle();
    EXPECT_EQ(form->LampColor(), QColor(255, 0, 0));
    EXPECT_EQ(LampPixel(*form), QColor(255, 0, 0));

    Act("ActOnBus")->trigger();
    Idle();
    EXPECT_EQ(form->LampColor(), QColor(0, 255, 0));
    EXPECT_EQ(LampPixel(*form), QColor(0, 255, 0));

    emu->InjectStatus(1);
    EXPECT_TRUE(WaitFor([&] { return form->BusStatus() == 1; }));
    Idle();
    EXPECT_EQ(LampPixel(*form), QColor(255, 255, 0));

    emu->InjectStatus(2);
    EXPECT_TRUE(WaitFor([&] { return form->BusStatus() == 2; }));
    Idle();
    EXPECT_EQ(LampPixel(*form), QColor(255, 0, 0));

    std::string bad(20, '\0');
    bad[0] = 0x55;
    bad[1] = 0x00;
    bad[19] = 0x54;
    emu->InjectRaw(bad);
    EXPECT_TRUE(WaitFor([&] { return form->BusStatus() == 3; }));
    Idle();
    EXPECT_EQ(LampPixel(*form), QColor(0, 0, 0));

    emu->InjectStatus(0);
    EXPECT_TRUE(WaitFor([&] { return form->BusStatus() == 0; }));
    Idle();
    EXPECT_EQ(LampPixel(*form), QColor(0, 255, 0));

    Act("ActOffBus")->trigger();
    Idle();
    EXPECT_EQ(LampPixel(*form), QColor(255, 0, 0));
}

TEST_F(MainFormTest, UsbFailureWhileReceivingGoesOffBusOnceAndRecovers)
{
    Create(std::make_unique<tarvik::TVehicleModel>());
    Act("ActOnBus")->trigger();
    ASSERT_TRUE(form->OnBus());
    emu->Disconnect();
    ASSERT_TRUE(WaitFor([&] { return !form->OnBus() && !form->PortOpen() && !errors.isEmpty(); }));
    QTest::qWait(300);  // a second report would arrive by now
    ASSERT_EQ(errors.size(), 1) << errors.join(" | ").toStdString();
    EXPECT_TRUE(errors[0].startsWith("USB Device Error : ")) << errors[0].toStdString();
    Idle();
    EXPECT_TRUE(Act("ActPortOpen")->isVisible());
    EXPECT_EQ(form->LampColor(), QColor(255, 0, 0));

    // The program keeps working: the adapter comes back, the port opens and the bus runs again.
    emu->Reconnect();
    Act("ActPortOpen")->trigger();
    EXPECT_TRUE(form->PortOpen());
    Act("ActOnBus")->trigger();
    EXPECT_TRUE(form->OnBus());
    EXPECT_EQ(errors.size(), 1);
}

TEST_F(MainFormTest, ClosingOnBusWritesFBeforeClosingAndDoesNotHang)
{
    Create(std::make_unique<tarvik::TVehicleModel>());
    Act("ActOnBus")->trigger();
    ASSERT_TRUE(form->OnBus());
    QElapsedTimer t;
    t.start();
    form->close();
    EXPECT_LT(t.elapsed(), 2000);
    const auto events = recorder->Events();
    ASSERT_GE(events.size(), 2u);
    EXPECT_EQ(events[events.size() - 2], "W " + Cmd("F"));
    EXPECT_EQ(events.back(), "Close");
    EXPECT_FALSE(emu->IsOpen());
}

TEST_F(MainFormTest, PortThatCannotOpenIsReportedAndNothingElseHappens)
{
    Create();
    emu->Disconnect();
    Act("ActOnBus")->trigger();
    EXPECT_FALSE(form->PortOpen());
    EXPECT_FALSE(form->OnBus());
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors[0].startsWith("USB Device Error : ")) << errors[0].toStdString();
    EXPECT_TRUE(Commands().empty());
}

TEST_F(MainFormTest, CloseDuringAReplyWaitWaitsForTheCommand)
{
    Create();
    emu->SetReplyMode('M', AdapterEmulator::ReplyMode::Silent);
    // The close request arrives while "Go On Bus(&G)" waits for the adapter's reply.
    QTimer::singleShot(200, form.get(), [this] { form->close(); });
    Act("ActOnBus")->trigger();
    EXPECT_EQ(Commands().size(), 1u);  // the sequence ended at the unanswered M, undisturbed
    EXPECT_TRUE(WaitFor([&] { return !form->isVisible(); }, 3000));
    EXPECT_FALSE(form->PortOpen());
    EXPECT_TRUE(errors.isEmpty());
}
