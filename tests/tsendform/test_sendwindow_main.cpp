// The transmit window and the dialogs as the main window drives them, on the emulator.
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QTabWidget>

#include "support/modalhelper.h"
#include "support/testsupport.h"
#include "tmainform/mainform_fixture.h"
#include "tsendform/tmessagelistpage.h"
#include "tsendform/tsendform.h"

using namespace mainformtest;
using tarvik::TFieldEdit;

namespace {
void Answer(const char* button)
{
    OnNextModal([button](QWidget* w) { w->findChild<QPushButton*>(button)->click(); });
}
}  // namespace

TEST_F(MainFormTest, SendWindowAfterWarningSendsAFrameSeenAsTransmitted)
{
    Create();
    form->show();
    Idle();
    tarvik::TSendForm* send = form->SendForm();
    ASSERT_NE(nullptr, send);
    EXPECT_TRUE(send->isHidden());
    EXPECT_FALSE(send->ActSingleShot()->isEnabled());  // off bus

    Answer("CancelBtn");
    Act("ActSendWindow")->trigger();
    EXPECT_TRUE(send->isHidden());
    Answer("OKBtn");
    Act("ActSendWindow")->trigger();
    ASSERT_FALSE(send->isHidden());
    EXPECT_EQ(form->frameGeometry().left() + form->frameGeometry().width(), send->frameGeometry().left());

    Act("ActOnBus")->trigger();
    ASSERT_TRUE(form->OnBus());
    Idle();
    EXPECT_TRUE(send->ActSingleShot()->isEnabled());
    send->findChild<TFieldEdit*>("Edit1")->setText("123");
    send->findChild<TFieldEdit*>("Edit2")->setText("2");
    send->findChild<TFieldEdit*>("Edit3")->setText("11");
    send->findChild<TFieldEdit*>("Edit4")->setText("22");
    send->findChild<QPushButton*>("BitBtn1")->click();

    const auto log = Commands();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(Cmd("T0200000123" "1122000000000000"), log.back());
    // The adapter reports the frame back; the monitor shows it as a transmitted line.
    auto* monitor = form->ViewNormalForm();
    ASSERT_NE(nullptr, monitor);
    EXPECT_TRUE(WaitFor([&] {
        // The direction mark "T", the identifier and the two data bytes on one line.
        static const QRegularExpression line(QStringLiteral("(^|\\s)T\\s.*0123.*11\\s+22"),
                                             QRegularExpression::MultilineOption);
        return line.match(monitor->GetMonitorText()).hasMatch();
    }, 5000)) << monitor->GetMonitorText().toStdString();

    // Going to LIN hides it; the second use of the action no longer asks.
    Act("ActOffBus")->trigger();
    Idle();
    EXPECT_FALSE(send->ActSendStop()->isEnabled());
    SelectLin();
    EXPECT_TRUE(send->isHidden());
    Child<QRadioButton>("RadioButtonCan")->click();
    Idle();
    Act("ActSendWindow")->trigger();  // a modal warning here would block the test
    EXPECT_FALSE(send->isHidden());
    EXPECT_TRUE(errors.isEmpty()) << errors.join("|").toStdString();
}

// The last message list comes back at start-up, its rows run on the session's list timer and
// stop when the main window goes off bus; a list saved under a new name is remembered.
TEST_F(MainFormTest, MessageListReopensAtStartAndRunsOnTheSession)
{
    const QString list = dir.filePath("list.txt");
    QFile f(list);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("1 321 0 8 AB00000000000000 10\n0 322 0 8 00 10\n");
    f.close();
    Create(nullptr, "[SEND]\r\nMessageListFile=" + list.toUtf8() + "\r\n");
    tarvik::TSendForm* send = form->SendForm();
    tarvik::TMessageListPage* page = send->MessageListPage();
    ASSERT_EQ(page->RowCount(), 2);
    EXPECT_EQ(send->MessageListFile(), list);

    Act("ActOnBus")->trigger();
    ASSERT_TRUE(form->OnBus());
    Idle();
    page->ActStartAll->trigger();
    const auto sentOf = [&](const std::string& id) {
        int n = 0;
        for (const auto& c : Commands()) n += c.rfind("\x02T08" + id, 0) == 0;  // T, standard, 8 bytes
        return n;
    };
    EXPECT_TRUE(WaitFor([&] { return sentOf("00000321") >= 5; }, 5000));
    EXPECT_EQ(sentOf("00000322"), 0) << "a row not enabled does not start";
    Act("ActOffBus")->trigger();
    EXPECT_FALSE(form->Session().List().AnyRunning());

    const QString other = dir.filePath("other.txt");
    ASSERT_TRUE(page->SaveFile(other));
    page->onFileChanged(other);  // what Save As does after the dialog
    tarvik::TIniFile ini(iniPath);
    EXPECT_EQ(ini.ReadString("SEND", "MessageListFile", ""), other);
    EXPECT_TRUE(errors.isEmpty()) << errors.join("|").toStdString();
}

TEST_F(MainFormTest, SystemConfigOkAppliesAndWritesCancelWritesNothing)
{
    Create(nullptr, QByteArray("[System]\r\nAdministrator=1\r\n"));
    form->show();
    Idle();
    const std::string before = testsupport::ReadFile(iniPath.toStdString());

    OnNextModal([](QWidget* w) {
        w->findChild<QComboBox*>("ComboBox7")->setCurrentIndex(10);
        w->findChild<QPushButton*>("CancelBtn")->click();
    });
    Act("ActSystemConfig")->trigger();
    EXPECT_EQ(0, form->CanBusSpeed());
    EXPECT_EQ(before, testsupport::ReadFile(iniPath.toStdString()));

    bool adminShown = false;
    OnNextModal([&](QWidget* w) {
        auto* tabs = w->findChild<QTabWidget*>("PageControl1");
        adminShown = tabs->isTabVisible(3);
        w->findChild<QComboBox*>("ComboBox7")->setCurrentIndex(10);
        w->findChild<QComboBox*>("ComboBox5")->setCurrentIndex(1);
        w->findChild<QPushButton*>("OKBtn")->click();
    });
    Act("ActSystemConfig")->trigger();
    EXPECT_TRUE(adminShown);
    EXPECT_EQ(10, form->CanBusSpeed());
    EXPECT_EQ(1, form->DriverMode());
    Idle();
    EXPECT_FALSE(Act("ActSendWindow")->isEnabled());  // "Silent"
    tarvik::TIniFile ini(iniPath);
    EXPECT_EQ(10, ini.ReadInteger("CAN", "BusSpeed", -1));
    EXPECT_EQ(1, ini.ReadInteger("CAN", "DriverMode", -1));
    EXPECT_EQ(3000000, ini.ReadInteger("USB", "BaudRate", -1));
    EXPECT_TRUE(ini.ValueExists("GRAPH", "PlotRate"));
}

TEST_F(MainFormTest, AboutShowsTitleAndVersion)
{
    Create();
    QString version;
    OnNextModal([&](QWidget* w) {
        version = w->findChild<QLabel*>("Version")->text();
        w->findChild<QPushButton*>("OKButton")->click();
    });
    Act("ActAbout")->trigger();
    EXPECT_TRUE(version.startsWith("Ver. ")) << version.toStdString();
}

TEST_F(MainFormTest, PortPathFromTheFileAndTheDialogChoosesTheChannel)
{
    QStringList built;
    portBackend = [&](const QString&, const QString& port) {
        built << port;
        return recorder;
    };
    Create(nullptr, "[System]\r\nAdministrator=1\r\n[USB]\r\nPort=/dev/ttyA\r\n");
    EXPECT_EQ(built, QStringList{"/dev/ttyA"});
    EXPECT_EQ(form->Port(), "/dev/ttyA");

    struct {
        const char* typed;
        QStringList builtAfter;  // an unchanged path keeps its channel; empty goes back to the device number
    } const steps[] = {{"/dev/ttyB", {"/dev/ttyA", "/dev/ttyB"}},
                       {"/dev/ttyB", {"/dev/ttyA", "/dev/ttyB"}},
                       {"", {"/dev/ttyA", "/dev/ttyB"}}};
    for (const auto& step : steps) {
        OnNextModal([&](QWidget* w) {
            w->findChild<QLineEdit*>("Edit7")->setText(step.typed);
            w->findChild<QPushButton*>("OKBtn")->click();
        });
        Act("ActSystemConfig")->trigger();
        EXPECT_EQ(built, step.builtAfter) << step.typed;
        EXPECT_EQ(form->Port(), step.typed);
        EXPECT_NE(testsupport::ReadFile(iniPath.toStdString()).find("Port=" + std::string(step.typed) + "\r\n"),
                  std::string::npos);
    }
    Act("ActPortOpen")->trigger();  // the channel in use still answers
    EXPECT_TRUE(form->PortOpen());
}
