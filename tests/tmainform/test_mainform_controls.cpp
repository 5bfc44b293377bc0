// The main window's control states, settings applied at start-up and written at close,
// the input rules of its edits, the LIN send group and saving the monitor text.
// First: its member named "signals" must be parsed before Qt defines that word.
#include "emulator/vehiclemodel.h"

#include <QDir>
#include <QLabel>
#include <QImage>
#include <QSet>
#include <QToolButton>

#include "mainform_fixture.h"
#include "monitorview/monitortextarea.h"
#include "subfuncs/subfuncs.h"
#include "support/logrecords.h"
#include "support/testsupport.h"
#include "tviewfixedform/tviewfixedform.h"
#include "tviewnormalform/tviewnormalform.h"

using namespace mainformtest;

namespace {

// Large repaints make Qt Gui split fills across its thread pool; Qt is not instrumented and
// those threads hand over through futexes, which ThreadSanitizer reports as races inside
// Qt. Tests whose repaints reach that size skip the sanitizer build; no code of ours runs
// on those threads.
#if defined(__SANITIZE_THREAD__)
#define SKIP_UNDER_THREAD_SANITIZER() GTEST_SKIP() << "Qt's parallel fills are invisible to ThreadSanitizer"
#else
#define SKIP_UNDER_THREAD_SANITIZER() static_cast<void>(0)
#endif

void PushFrame(tarvik::TQueueBuffer& ring, std::uint32_t id)
{
    ring.Push(testsupport::TraceRecord(tarvik::kCanReceived, id, false, {0xAB, 0x00}).bytes.data());
}

}  // namespace

TEST_F(MainFormTest, RowsForPortClosedOpenAndOnBus)
{
    Create();
    Idle();
    EXPECT_TRUE(Child<QGroupBox>("RadioGroup1")->isEnabled());
    EXPECT_TRUE(Act("ActPortOpen")->isVisible());
    EXPECT_FALSE(Act("ActPortClose")->isVisible());
    EXPECT_TRUE(Act("ActSystemConfig")->isEnabled());
    EXPECT_TRUE(Act("ActOnBus")->isVisible());
    EXPECT_FALSE(Act("ActOffBus")->isVisible());

    Act("ActPortOpen")->trigger();
    Idle();
    EXPECT_FALSE(Child<QGroupBox>("RadioGroup1")->isEnabled());
    EXPECT_FALSE(Act("ActPortOpen")->isVisible());
    EXPECT_TRUE(Act("ActPortClose")->isVisible());
    EXPECT_FALSE(Act("ActSystemConfig")->isEnabled());
    EXPECT_TRUE(Child<QGroupBox>("GroupBox1")->isEnabled());

    Act("ActOnBus")->trigger();
    Idle();
    EXPECT_FALSE(Act("ActOnBus")->isVisible());
    EXPECT_TRUE(Act("ActOffBus")->isVisible());
    // The button is the action: it hides and shows with it.
    EXPECT_FALSE(Child<QToolButton>("BitBtn1")->isVisible());
    EXPECT_TRUE(Child<QToolButton>("BitBtn2")->isVisible());
    EXPECT_FALSE(Child<QGroupBox>("GroupBox1")->isEnabled());
    EXPECT_FALSE(Child<QGroupBox>("GroupBox2")->isEnabled());
    EXPECT_FALSE(Child<QComboBox>("ComboBox1")->isEnabled());
    EXPECT_FALSE(Child<QLabel>("Label1")->isEnabled());

    Act("ActPortClose")->trigger();
    Idle();
    EXPECT_FALSE(form->OnBus());
    EXPECT_FALSE(form->PortOpen());
    EXPECT_TRUE(Child<QComboBox>("ComboBox1")->isEnabled());
}

TEST_F(MainFormTest, MaskEditsFollowTheirCheckBox)
{
    Create();
    Idle();
    EXPECT_FALSE(Child<QLineEdit>("Edit1")->isEnabled());
    EXPECT_FALSE(Child<QLineEdit>("Edit3")->isEnabled());
    Child<QCheckBox>("CheckBox1")->setChecked(true);
    Idle();
    EXPECT_TRUE(Child<QLineEdit>("Edit1")->isEnabled());
    EXPECT_TRUE(Child<QLineEdit>("Edit2")->isEnabled());
    EXPECT_FALSE(Child<QLineEdit>("Edit3")->isEnabled());
}

TEST_F(MainFormTest, LinModeRows)
{
    SKIP_UNDER_THREAD_SANITIZER();
    Create();
    SelectLin();
    EXPECT_EQ(Child<QLabel>("Label1")->text(), "LIN Bus Speed : ");
    EXPECT_FALSE(Child<QComboBox>("ComboBox1")->isVisibleTo(form.get()));
    EXPECT_TRUE(Child<QComboBox>("ComboBox2")->isVisibleTo(form.get()));
    EXPECT_FALSE(Child<QGroupBox>("GroupBox1")->isVisibleTo(form.get()));
    EXPECT_TRUE(Child<QGroupBox>("GroupBox3")->isVisibleTo(form.get()));
    EXPECT_FALSE(Act("ActSendWindow")->isEnabled());
    EXPECT_FALSE(Act("ActGraphWindow")->isEnabled());

    // Slave node: Start and Stop instead of Send, enabled only with the port open.
    EXPECT_FALSE(Act("ActLinMasterSend")->isVisible());
    EXPECT_TRUE(Act("ActLinSlaveStart")->isVisible());
    EXPECT_FALSE(Act("ActLinSlaveStart")->isEnabled());
    Act("ActPortOpen")->trigger();
    Idle();
    EXPECT_TRUE(Act("ActLinSlaveStart")->isEnabled());
    EXPECT_TRUE(Act("ActLinSlaveStop")->isEnabled());

    // Without "Use Send Message" every send action and edit is off, whatever the node.
    Child<QCheckBox>("CheckBox4")->setChecked(false);
    Child<QCheckBox>("CheckBox5")->setChecked(true);
    Idle();
    EXPECT_FALSE(Act("ActLinMasterSend")->isEnabled());
    EXPECT_TRUE(Act("ActLinMasterSend")->isVisible());
    EXPECT_FALSE(Child<QLineEdit>("Edit5")->isEnabled());
    EXPECT_FALSE(Child<QLineEdit>("Edit14")->isEnabled());
    EXPECT_FALSE(Child<QCheckBox>("CheckBox5")->isEnabled());

    // Master-Node cannot change on bus.
    Child<QCheckBox>("CheckBox4")->setChecked(true);
    Act("ActOnBus")->trigger();
    Idle();
    ASSERT_TRUE(form->OnBus());
    EXPECT_FALSE(Child<QCheckBox>("CheckBox5")->isEnabled());
    EXPECT_FALSE(Child<QCheckBox>("CheckBox4")->isEnabled());
    EXPECT_TRUE(Act("ActLinMasterSend")->isEnabled());
}

TEST_F(MainFormTest, SilentDriverModeDisablesSendWindow)
{
    Create();
    Idle();
    EXPECT_TRUE(Act("ActSendWindow")->isEnabled());
    form->SetDriverMode(1);
    Idle();
    EXPECT_FALSE(Act("ActSendWindow")->isEnabled());
    form->SetDriverMode(0);
    form->SetCanSendEnabled(false);
    Idle();
    EXPECT_FALSE(Act("ActSendWindow")->isEnabled());
}

TEST_F(MainFormTest, EmptyScrollingMonitorDisablesClearCopySave)
{
    Create();
    // Only the fixed view has lines: still disabled.
    PushFrame(form->ViewFixedForm()->Ring(), 0x10);
    form->ViewFixedForm()->Drain();
    ASSERT_TRUE(form->ViewFixedForm()->HasLines());
    Idle();
    EXPECT_FALSE(Act("ActClsWindow")->isEnabled());
    EXPECT_FALSE(Act("ActCopyToClipbord")->isEnabled());
    EXPECT_FALSE(Act("ActSaveToFile")->isEnabled());

    PushFrame(form->ViewNormalForm()->Ring(), 0x10);
    form->ViewNormalForm()->Drain();
    Idle();
    EXPECT_TRUE(Act("ActClsWindow")->isEnabled());
    EXPECT_TRUE(Act("ActCopyToClipbord")->isEnabled());
    EXPECT_TRUE(Act("ActSaveToFile")->isEnabled());

    // With the port open they stay: copy and save then take a snapshot.
    Act("ActPortOpen")->trigger();
    Idle();
    EXPECT_TRUE(Act("ActClsWindow")->isEnabled());
    EXPECT_TRUE(Act("ActCopyToClipbord")->isEnabled());
    EXPECT_TRUE(Act("ActSaveToFile")->isEnabled());

    // Clear empties both monitors and asks the adapter to clear (acknowledged off bus).
    emu->ClearLog();
    Act("ActClsWindow")->trigger();
    EXPECT_EQ(Commands(), std::vector<std::string>{Cmd("C")});
    EXPECT_FALSE(form->ViewNormalForm()->HasLines());
    EXPECT_FALSE(form->ViewFixedForm()->HasLines());
    Idle();
    EXPECT_FALSE(Act("ActClsWindow")->isEnabled());
}

TEST_F(MainFormTest, PauseAndContinueSwapPlaces)
{
    Create();
    Idle();
    ASSERT_TRUE(form->ViewNormalForm()->isVisible());  // ViewState defaults to shown
    EXPECT_TRUE(Act("ActPauseMonitor")->isEnabled());
    // Off bus there is nothing to pause: the monitors refuse.
    Act("ActPauseMonitor")->trigger();
    Idle();
    EXPECT_FALSE(form->ViewNormalForm()->IsPaused());
    EXPECT_TRUE(Act("ActPauseMonitor")->isVisible());
    Act("ActOnBus")->trigger();
    ASSERT_TRUE(form->OnBus());
    Act("ActPauseMonitor")->trigger();
    Idle();
    EXPECT_TRUE(form->ViewNormalForm()->IsPaused());
    EXPECT_TRUE(form->ViewFixedForm()->IsPaused());
    EXPECT_FALSE(Act("ActPauseMonitor")->isVisible());
    EXPECT_TRUE(Act("ActContiMonitor")->isVisible());
    Act("ActContiMonitor")->trigger();
    Idle();
    EXPECT_FALSE(form->ViewNormalForm()->IsPaused());

    Act("ActMonitor")->trigger();  // hides the only visible monitor
    Idle();
    EXPECT_FALSE(form->ViewNormalForm()->isVisible());
    EXPECT_FALSE(Act("ActPauseMonitor")->isEnabled());
}

TEST_F(MainFormTest, FixedIdPositionSwapsTheMonitorWindows)
{
    Create();
    Idle();
    ASSERT_TRUE(form->ViewNormalForm()->isVisible());
    Child<QCheckBox>("CheckBox3")->click();
    EXPECT_TRUE(form->ViewFixedForm()->isVisible());
    EXPECT_FALSE(form->ViewNormalForm()->isVisible());
    Child<QCheckBox>("CheckBox3")->click();
    EXPECT_FALSE(form->ViewFixedForm()->isVisible());
    EXPECT_TRUE(form->ViewNormalForm()->isVisible());
}

TEST_F(MainFormTest, MonitorClosedByTheUserOnlyHides)
{
    Create();
    ASSERT_TRUE(form->ViewNormalForm()->isVisible());
    form->ViewNormalForm()->close();
    EXPECT_FALSE(form->ViewNormalForm()->isVisible());
    Act("ActMonitor")->trigger();
    EXPECT_TRUE(form->ViewNormalForm()->isVisible());
}

// ---------------------------------------------------------------------------------------
// Settings

TEST_F(MainFormTest, NoSettingsFileStartsWithDefaults)
{
    Create();
    EXPECT_EQ(form->pos(), QPoint(0, 0));
    EXPECT_EQ(form->DeviceNo(), 0);
    EXPECT_EQ(form->BaudRate(), 3000000);
    EXPECT_EQ(Child<QComboBox>("ComboBox1")->currentText(), "1MBPS");
    EXPECT_EQ(form->SamplingPoint(), 0);
    EXPECT_EQ(form->DriverMode(), 0);
    EXPECT_EQ(form->Terminator(), 0);
    EXPECT_TRUE(form->CanSendEnabled());
    EXPECT_TRUE(Child<QCheckBox>("CheckBox4")->isChecked());
    EXPECT_EQ(Child<QComboBox>("ComboBox2")->currentText(), "19200BPS");
    EXPECT_FALSE(Child<QCheckBox>("CheckBox5")->isChecked());
    EXPECT_TRUE(form->GraphEnabled());
    EXPECT_TRUE(form->LabelFilePath().endsWith("/" + QFileInfo(QCoreApplication::applicationFilePath()).baseName() + ".TXT"));
    EXPECT_TRUE(QFileInfo(form->LabelFilePath()).isAbsolute());
    EXPECT_TRUE(form->ViewNormalForm()->isVisible());
    EXPECT_FALSE(form->ViewFixedForm()->isVisible());
    EXPECT_EQ(Child<QRadioButton>("RadioButtonCan")->isChecked(), true);
}

TEST_F(MainFormTest, SettingsFileAppliedToControls)
{
    Create(nullptr,
           "[MainForm]\r\nLeft=40\r\nTop=30\r\nViewState=0\r\n"
           "[CAN]\r\nBusSpeed=10\r\nDriverMode=1\r\nSamplingPoint=4\r\n"
           "[LIN]\r\nBusSpeed=3\r\nOperationNode=1\r\nSendEnabled=0\r\n"
           "[LOG]\r\nLogfilePrefix=Trace\r\n");
    EXPECT_EQ(form->pos(), QPoint(40, 30));
    EXPECT_FALSE(form->ViewNormalForm()->isVisible());
    EXPECT_FALSE(form->ViewFixedForm()->isVisible());
    EXPECT_EQ(Child<QComboBox>("ComboBox1")->currentIndex(), 10);
    EXPECT_EQ(Child<QComboBox>("ComboBox2")->currentIndex(), 3);
    EXPECT_TRUE(Child<QCheckBox>("CheckBox5")->isChecked());
    EXPECT_FALSE(Child<QCheckBox>("CheckBox4")->isChecked());
    EXPECT_EQ(form->LogfilePrefix(), "Trace");
    Idle();
    EXPECT_FALSE(Act("ActSendWindow")->isEnabled());  // "Silent"
    // The applied values reach the adapter.
    Act("ActOnBus")->trigger();
    ASSERT_GE(Commands().size(), 2u);
    EXPECT_EQ(Commands()[1], Cmd("BA410"));
}

TEST_F(MainFormTest, OddSettingValues)
{
    Create(nullptr, "[CAN]\nBusSpeed=40\n[LIN]\nBusSpeed=-1\nOperationNode=2\n[USB]\nDeviceNo=x\n");
    EXPECT_EQ(Child<QComboBox>("ComboBox1")->currentIndex(), 15);
    EXPECT_EQ(Child<QComboBox>("ComboBox2")->currentIndex(), 0);
    EXPECT_FALSE(Child<QCheckBox>("CheckBox5")->isChecked());
    EXPECT_EQ(form->DeviceNo(), 0);
}

TEST_F(MainFormTest, WindowPositionAndViewStateWrittenAtClose)
{
    Create();
    form->move(120, 80);
    form->ViewNormalForm()->hide();
    form->close();
    const std::string text = testsupport::ReadFile(iniPath.toStdString());
    EXPECT_NE(text.find("[MainForm]\r\nLeft=120\r\nTop=80\r\nViewState=0\r\n"), std::string::npos) << text;
    // Nothing but the window keys is written at close.
    EXPECT_EQ(text.find("[CAN]"), std::string::npos);
}

// ---------------------------------------------------------------------------------------
// Input rules

class MainFormInput : public MainFormTest {
protected:
    void Focus(QWidget* w)
    {
        QApplication::setActiveWindow(form.get());
        w->setFocus();
        QApplication::processEvents();
    }
};

TEST_F(MainFormInput, MaskEditFiltersKeysAndPadsOnExit)
{
    Create();
    Child<QCheckBox>("CheckBox1")->setChecked(true);
    Child<QCheckBox>("CheckBox2")->setChecked(true);
    Idle();
    auto* edit1 = Child<QLineEdit>("Edit1");
    edit1->clear();
    Focus(edit1);
    QTest::keyClicks(edit1, "1g-f ");
    EXPECT_EQ(edit1->text(), "1f ");  // letters beyond F and punctuation are dropped; space passes
    QTest::keyClick(edit1, Qt::Key_Return);
    EXPECT_EQ(QApplication::focusWidget(), Child<QLineEdit>("Edit2"));
    EXPECT_EQ(edit1->text(), "000");  // "1f " does not convert

    auto* edit3 = Child<QLineEdit>("Edit3");
    edit3->clear();
    Focus(edit3);
    QTest::keyClicks(edit3, "1f");
    QTest::keyClick(edit3, Qt::Key_Enter);
    EXPECT_EQ(edit3->text(), "0000001F");
    EXPECT_EQ(QApplication::focusWidget(), Child<QLineEdit>("Edit4"));

    // Enter on a check box moves on as well and does not toggle it.
    auto* box = Child<QCheckBox>("CheckBox2");
    Focus(box);
    QTest::keyClick(box, Qt::Key_Return);
    EXPECT_TRUE(box->isChecked());
    EXPECT_NE(QApplication::focusWidget(), box);
}

TEST_F(MainFormInput, LinIdExitSetsLength)
{
    Create();
    SelectLin();
    auto* id = Child<QLineEdit>("Edit5");
    auto* dlc = Child<QLineEdit>("Edit6");
    const std::pair<const char*, const char*> cases[] = {{"3c", "8"}, {"1", "2"}, {"25", "4"}, {"7F", "8"}, {"", "2"}};
    const char* shown[] = {"3C", "01", "25", "7F", "00"};
    for (size_t i = 0; i < std::size(cases); ++i) {
        id->setText(cases[i].first);
        Focus(id);
        Focus(Child<QLineEdit>("Edit7"));
        EXPECT_EQ(id->text(), shown[i]) << cases[i].first;
        EXPECT_EQ(dlc->text(), cases[i].second) << cases[i].first;
    }
    auto* data = Child<QLineEdit>("Edit8");
    data->setText("a");
    Focus(data);
    Focus(Child<QLineEdit>("Edit9"));
    EXPECT_EQ(data->text(), "0A");
}

TEST_F(MainFormInput, MasterSendWritesTheTransmitCommand)
{
    Create();
    SelectLin();
    Child<QCheckBox>("CheckBox5")->setChecked(true);
    Act("ActOnBus")->trigger();
    ASSERT_TRUE(form->OnBus());
    Idle();
    Child<QLineEdit>("Edit5")->setText("7F");
    Child<QLineEdit>("Edit6")->setText("2");
    Child<QLineEdit>("Edit7")->setText("11");
    Child<QLineEdit>("Edit8")->setText("22");
    emu->ClearLog();
    Act("ActLinMasterSend")->trigger();
    const std::string expected = Cmd("T020000003F" "1122" "000000000000");
    ASSERT_EQ(expected.size(), 29u);
    EXPECT_EQ(Commands(), std::vector<std::string>{expected});
}

TEST_F(MainFormInput, SlaveStartAndStopOnlyOnBus)
{
    Create();
    SelectLin();
    Act("ActPortOpen")->trigger();
    Idle();
    ASSERT_TRUE(Act("ActLinSlaveStop")->isEnabled());
    const auto before = recorder->Events().size();
    Act("ActLinSlaveStop")->trigger();
    Act("ActLinSlaveStart")->trigger();
    EXPECT_EQ(recorder->Events().size(), before);  // nothing written off bus

    Act("ActOnBus")->trigger();
    ASSERT_TRUE(form->OnBus());
    emu->ClearLog();
    Act("ActLinSlaveStart")->trigger();
    Act("ActLinSlaveStop")->trigger();
    EXPECT_EQ(Commands(), (std::vector<std::string>{Cmd("T02000000000000000000000000"), Cmd("S")}));
}

// ---------------------------------------------------------------------------------------
// Copy and save

TEST_F(MainFormTest, SaveProposesTheNextNameAndWritesCrLf)
{
    Create();
    QTemporaryDir work;
    const QString old = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(work.path()));
    const QString stem = "Log" + QDate::currentDate().toString("yyyyMMdd");
    for (const char* n : {"_001.txt", "_002.txt"}) {
        QFile f(stem + n);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    PushFrame(form->ViewNormalForm()->Ring(), 0x21);
    PushFrame(form->ViewNormalForm()->Ring(), 0x22);
    form->ViewNormalForm()->Drain();
    Idle();
    saveAnswer = work.filePath("out.txt");
    Act("ActSaveToFile")->trigger();
    QDir::setCurrent(old);
    ASSERT_EQ(proposedNames.size(), 1);
    EXPECT_EQ(proposedNames[0], stem + "_003.txt");
    const std::string text = testsupport::ReadFile(saveAnswer.toStdString());
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text, form->ViewNormalForm()->GetMonitorText().toStdString());
    size_t lines = 0;
    for (size_t p = text.find('\n'); p != std::string::npos; p = text.find('\n', p + 1)) {
        EXPECT_EQ(text[p - 1], '\r');
        ++lines;
    }
    EXPECT_EQ(lines, 2u);
    EXPECT_TRUE(errors.isEmpty());
}

TEST_F(MainFormTest, SaveFailureIsShown)
{
    Create();
    PushFrame(form->ViewNormalForm()->Ring(), 0x21);
    form->ViewNormalForm()->Drain();
    Idle();
    saveAnswer = "/nonexistent-dir/sub/out.txt";
    Act("ActSaveToFile")->trigger();
    EXPECT_EQ(errors.size(), 1);
}

TEST_F(MainFormTest, RenderedWindow)
{
    Create();
    Idle();
    const QString out = QString::fromStdString(testsupport::BinaryDir()) + "/mainform_can.png";
    const QImage can = form->grab().toImage();
    EXPECT_TRUE(can.save(out));
    // The lamp as drawn, not as computed: red off bus.
    QWidget* lamp = form->findChild<QWidget*>("Shape1");
    const QPoint centre = lamp->mapTo(form.get(), lamp->rect().center());
    EXPECT_EQ(can.pixelColor(centre), QColor(255, 0, 0));
    SelectLin();
    const QImage lin = form->grab().toImage();
    EXPECT_TRUE(lin.save(QString::fromStdString(testsupport::BinaryDir()) + "/mainform_lin.png"));
    EXPECT_NE(can, lin) << "choosing LIN changed nothing on screen";  // the LIN group comes alive
    EXPECT_EQ(form->centralWidget()->size(), QSize(402, 249));
    EXPECT_TRUE(form->windowTitle().startsWith("Halvorn Tarvik for PC  Ver. "));
}

TEST_F(MainFormTest, RenderedOnBusWithTraffic)
{
    SKIP_UNDER_THREAD_SANITIZER();
    Create(std::make_unique<tarvik::TVehicleModel>());
    Act("ActOnBus")->trigger();
    ASSERT_TRUE(form->OnBus());
    ASSERT_TRUE(WaitFor([&] {
        form->ViewNormalForm()->Drain();
        return form->ViewNormalForm()->HasLines();
    }));
    QTest::qWait(300);
    Idle();
    const QString dirOut = QString::fromStdString(testsupport::BinaryDir());
    const QImage shot = form->grab().toImage();
    EXPECT_TRUE(shot.save(dirOut + "/mainform_onbus.png"));
    const QImage monitor = form->ViewNormalForm()->grab().toImage();
    EXPECT_TRUE(monitor.save(dirOut + "/viewnormal_onbus.png"));
    EXPECT_EQ(form->LampColor(), QColor(0, 255, 0));
    QWidget* lamp = form->findChild<QWidget*>("Shape1");
    EXPECT_EQ(shot.pixelColor(lamp->mapTo(form.get(), lamp->rect().center())), QColor(0, 255, 0));
    // Traffic drawn: the monitor's first text line holds more than one colour.
    QWidget* area = form->ViewNormalForm()->TextArea();
    const QRect firstLine(area->mapTo(form->ViewNormalForm(), QPoint(0, 0)), QSize(area->width(), 12));
    QSet<QRgb> colours;
    for (int y = firstLine.top(); y <= firstLine.bottom(); ++y)
        for (int x = firstLine.left(); x <= firstLine.right(); ++x) colours.insert(monitor.pixel(x, y));
    EXPECT_GE(colours.size(), 2) << "no text on the first monitor line";
}

TEST_F(MainFormTest, ViewActionShowsCountAndCycleColumnsAndRemembersThem)
{
    Create();
    tarvik::TViewFixedForm* fixed = form->ViewFixedForm();
    Child<QCheckBox>("CheckBox3")->click();  // the fixed view is the one shown
    Idle();
    ASSERT_TRUE(fixed->isVisible());
    for (int i = 0; i < 3; ++i) PushFrame(fixed->Ring(), 0x10);
    ASSERT_TRUE(fixed->Drain());
    const std::string plain = fixed->GetMonitorText().toStdString();
    ASSERT_EQ(plain.size(), 64u);  // one line of the usual form

    QAction* columns = Act("ActFixedStats");
    columns->trigger();
    auto* header = fixed->findChild<QLabel*>(QStringLiteral("Panel1"));
    EXPECT_TRUE(header->text().endsWith(QStringLiteral("COUNT CYCLE ms")));
    const QStringList shown = fixed->TextArea()->VisibleLines();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0].mid(62).toStdString(), "          3      0.0");
    EXPECT_EQ(fixed->GetMonitorText().toStdString(), shown[0].toStdString() + "\r\n");
    QFile ini(iniPath);
    ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
    EXPECT_TRUE(ini.readAll().contains("[Monitor]\r\nFixedStatsColumns=1"));

    columns->trigger();
    EXPECT_EQ(fixed->GetMonitorText().toStdString(), plain);
    EXPECT_EQ(header->text().toStdString(), tarvik::kMonitorHeader);
    columns->trigger();
    form.reset();
    Create();
    EXPECT_TRUE(Act("ActFixedStats")->isChecked());
    EXPECT_TRUE(form->ViewFixedForm()->StatsColumns());
}
