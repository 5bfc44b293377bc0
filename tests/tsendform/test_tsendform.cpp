#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <gtest/gtest.h>
#include <memory>
#include <thread>

#include "dialogs/twarningdialog.h"
#include "emulator/emulatorbackend.h"
#include "emulator/scriptedmodel.h"
#include "support/modalhelper.h"
#include "support/testsupport.h"
#include "tsendform/tsendform.h"
#include "tusbdev/tusbdev.h"

using namespace tarvik;

namespace {

std::string Stx(const std::string& body) { return "\x02" + body + "\x03"; }

// A transmit window writing into a list, with monitoring running unless told otherwise.
struct Fixture {
    std::vector<Command> sent;
    bool running = true;
    TSendForm form{[this](const Command& c) { sent.push_back(c); }, [this] { return running; }};

    Fixture()
    {
        form.show();
        QApplication::setActiveWindow(&form);
        EXPECT_TRUE(QTest::qWaitForWindowActive(&form));
    }
    TFieldEdit* Edit(int n) { return form.findChild<TFieldEdit*>(QStringLiteral("Edit%1").arg(n)); }
    QCheckBox* Check(int n) { return form.findChild<QCheckBox*>(QStringLiteral("CheckBox%1").arg(n)); }
    // Types into a field the way a user does, then leaves it with Tab.
    void Type(int n, const QString& keys, bool clear = true)
    {
        TFieldEdit* e = Edit(n);
        e->setFocus();
        if (clear)
            e->clear();
        QTest::keyClicks(e, keys);
    }
    void Leave(int n) { QTest::keyClick(Edit(n), Qt::Key_Tab); }
    void Page(int p) { form.findChild<QTabWidget*>("PageControl1")->setCurrentIndex(p); }
};

}  // namespace

TEST(SendForm, InitialWindow)
{
    Fixture f;
    EXPECT_EQ("Send Message Window", f.form.windowTitle());
    EXPECT_EQ(QSize(298, 168), f.form.size());
    EXPECT_TRUE(f.form.windowFlags() & Qt::WindowStaysOnTopHint);
    auto* pages = f.form.findChild<QTabWidget*>("PageControl1");
    EXPECT_EQ(0, pages->currentIndex());
    EXPECT_EQ(" One Message Send ", pages->tabText(0));
    EXPECT_EQ(" Interval Message Send ", pages->tabText(1));
    EXPECT_EQ("000", f.Edit(1)->text());
    EXPECT_EQ("8", f.Edit(2)->text());
    EXPECT_EQ("00", f.Edit(10)->text());
    EXPECT_EQ("000", f.Edit(11)->text());
    EXPECT_EQ("00", f.Edit(20)->text());
    EXPECT_EQ("1000", f.Edit(21)->text());
    EXPECT_EQ("Send(&G)", f.form.findChild<QPushButton*>("BitBtn1")->text());
    EXPECT_EQ("Start(&S)", f.form.findChild<QPushButton*>("BitBtn2")->text());
    EXPECT_EQ("Stop(&D)", f.form.findChild<QPushButton*>("BitBtn3")->text());
    f.form.grab().save(QString::fromStdString(testsupport::BinaryDir()) + "/sendform_0.png");
    f.Page(1);
    f.form.grab().save(QString::fromStdString(testsupport::BinaryDir()) + "/sendform_1.png");
}

TEST(SendForm, KeysAndLeavingFields)
{
    Fixture f;
    f.Type(1, "G-1f");
    EXPECT_EQ("1f", f.Edit(1)->text());
    f.Leave(1);
    EXPECT_EQ("01F", f.Edit(1)->text());
    // A space is taken, and the field reads as 0 when left.
    f.Type(3, " ");
    EXPECT_EQ(" ", f.Edit(3)->text());
    f.Leave(3);
    EXPECT_EQ("00", f.Edit(3)->text());
    // Decimal fields take digits only and drop leading zeros.
    f.Type(21, "0a0-5.0", true);
    f.Page(1);
    f.Type(21, "0a0-5.0");
    EXPECT_EQ("0050", f.Edit(21)->text());
    f.Leave(21);
    EXPECT_EQ("50", f.Edit(21)->text());
    // Length is one digit.
    f.Type(2, "93");
    EXPECT_EQ("9", f.Edit(2)->text());
    EXPECT_TRUE(f.sent.empty());
}

TEST(SendForm, EnterMovesFocusAndSendsNothing)
{
    Fixture f;
    f.Edit(1)->setFocus();
    QTest::keyClick(f.Edit(1), Qt::Key_Return);
    EXPECT_TRUE(f.Edit(2)->hasFocus());
    QTest::keyClick(f.Edit(2), Qt::Key_Enter);
    EXPECT_TRUE(f.Edit(3)->hasFocus());
    f.Edit(10)->setFocus();
    QTest::keyClick(f.Edit(10), Qt::Key_Return);
    EXPECT_TRUE(f.form.findChild<QPushButton*>("BitBtn1")->hasFocus());
    f.Check(1)->setFocus();
    QTest::keyClick(f.Check(1), Qt::Key_Return);
    EXPECT_TRUE(f.Edit(1)->hasFocus());
    EXPECT_FALSE(f.Check(1)->isChecked());
    EXPECT_TRUE(f.sent.empty());
}

TEST(SendForm, ExtendedBoxWidensAndNeverCutsTheIdentifier)
{
    Fixture f;
    f.Type(1, "1F");
    f.Leave(1);
    EXPECT_EQ("01F", f.Edit(1)->text());
    f.Check(1)->click();
    EXPECT_EQ("0000001F", f.Edit(1)->text());
    f.Type(1, "1FFFFFFFF");  // ninth digit refused
    EXPECT_EQ("1FFFFFFF", f.Edit(1)->text());
    f.Check(1)->click();
    EXPECT_FALSE(f.Check(1)->isChecked());
    EXPECT_EQ("1FFFFFFF", f.Edit(1)->text());
    f.Leave(1);
    EXPECT_EQ("1FFFFFFF", f.Edit(1)->text());
    f.form.ActSingleShot()->trigger();
    ASSERT_EQ(1u, f.sent.size());
    EXPECT_EQ(Stx("T081FFFFFFF" "0000000000000000"), f.sent[0]);
    // Once shortened by the user, the field is back to three digits.
    f.Type(1, "12345");
    EXPECT_EQ("123", f.Edit(1)->text());
    // The interval page's box governs its own field only.
    f.Page(1);
    f.Check(2)->click();
    EXPECT_EQ("00000000", f.Edit(11)->text());
    EXPECT_EQ("123", f.Edit(1)->text());
}

TEST(SendForm, CommandsOnBusOnly)
{
    Fixture f;
    f.Type(1, "123");
    f.Type(2, "2");
    f.Type(3, "11");
    f.Type(4, "22");
    f.Page(1);
    f.Type(11, "123");
    f.Type(12, "2");
    f.Type(13, "11");
    f.Type(14, "22");

    f.running = false;
    f.form.ActSingleShot()->trigger();
    f.form.ActSendStart()->trigger();
    f.form.ActSendStop()->trigger();
    EXPECT_TRUE(f.sent.empty());

    f.running = true;
    f.form.findChild<QPushButton*>("BitBtn2")->click();
    f.form.findChild<QPushButton*>("BitBtn3")->click();
    f.form.ActSingleShot()->trigger();
    ASSERT_EQ(3u, f.sent.size());
    EXPECT_EQ(Stx("I0200000123" "1122000000000000" "00002710"), f.sent[0]);
    EXPECT_EQ(Stx("S"), f.sent[1]);
    EXPECT_EQ(Stx("T0200000123" "1122000000000000"), f.sent[2]);

    f.Type(2, "9");
    f.form.ActSingleShot()->trigger();
    EXPECT_EQ(Stx("T0900000123" "1122000000000000"), f.sent.back());

    f.form.SetSendEnabled(false);
    EXPECT_FALSE(f.form.ActSingleShot()->isEnabled());
    EXPECT_FALSE(f.form.findChild<QPushButton*>("BitBtn2")->isEnabled());
    EXPECT_FALSE(f.form.ActSendStop()->isEnabled());
    f.form.SetSendEnabled(true);
    EXPECT_TRUE(f.form.findChild<QPushButton*>("BitBtn3")->isEnabled());
}

TEST(SendForm, IntervalPageSaysWhileItSends)
{
    Fixture f;
    f.Page(1);
    auto* state = f.form.findChild<QLabel*>("IntervalState");
    auto* start = f.form.findChild<QPushButton*>("BitBtn2");
    ASSERT_NE(state, nullptr);
    EXPECT_EQ(state->text(), "");
    f.Type(21, "250");
    start->click();
    EXPECT_EQ(state->text(), "sending every 250 ms");
    EXPECT_EQ(f.form.SendingEveryMs(), 250u);
    f.form.grab().save(QString::fromStdString(testsupport::BinaryDir()) + "/sendform_1_sending.png");
    // A second Start waits for Stop, also after the main window's periodic refresh.
    f.form.SetSendEnabled(true);
    EXPECT_FALSE(start->isEnabled());
    start->click();
    EXPECT_EQ(f.sent.size(), 1u);
    f.form.findChild<QPushButton*>("BitBtn3")->click();
    EXPECT_EQ(state->text(), "");
    EXPECT_TRUE(start->isEnabled());
    // Going off bus ends the periodic send with it.
    start->click();
    f.form.SetSendEnabled(false);
    f.form.SetSendEnabled(true);
    EXPECT_EQ(state->text(), "");
    EXPECT_TRUE(start->isEnabled());
    // A failed start says nothing is being sent.
    TSendForm failing([](const Command&) { throw TUsbError("USB Device Error : io error.", FT_IO_ERROR); },
                      [] { return true; });
    failing.SetErrorPresenter([](const QString&) {});
    failing.ActSendStartExecute();
    EXPECT_EQ(failing.SendingEveryMs(), 0u);
    EXPECT_TRUE(failing.ActSendStart()->isEnabled());
}

TEST(SendForm, TransportErrorIsShownNotThrown)
{
    std::vector<QString> shown;
    TSendForm form([](const Command&) { throw TUsbError("USB Device Error : io error.", FT_IO_ERROR); },
                   [] { return true; });
    form.SetErrorPresenter([&](const QString& m) { shown.push_back(m); });
    form.ActSendStopExecute();
    ASSERT_EQ(1u, shown.size());
    EXPECT_EQ("USB Device Error : io error.", shown[0]);
}

TEST(SendForm, ClosingHidesPlacementRightOfMainWindow)
{
    QWidget main;
    main.setGeometry(100, 80, 402, 249);
    main.show();
    TSendForm form([](const Command&) {}, [] { return false; });
    form.SetAnchor(&main);
    form.show();
    EXPECT_EQ(main.frameGeometry().left() + main.frameGeometry().width(), form.frameGeometry().left());
    EXPECT_EQ(main.frameGeometry().top(), form.frameGeometry().top());
    EXPECT_FALSE(form.close());
    EXPECT_TRUE(form.isHidden());
    form.show();
    form.SetCloseAllowed(true);
    EXPECT_TRUE(form.close());
}

TEST(SendWindowAction, WarningOncePerRun)
{
    TSendForm form([](const Command&) {}, [] { return false; });
    int asked = 0;
    auto ask = [&] {
        ++asked;
        return TWarningDialog::Ask(nullptr);
    };
    OnNextModal([](QWidget* w) { w->findChild<QPushButton*>("CancelBtn")->click(); });
    ToggleSendWindow(form, ask);
    EXPECT_TRUE(form.isHidden());
    OnNextModal([](QWidget* w) { QTest::keyClick(w, Qt::Key_Escape); });
    ToggleSendWindow(form, ask);
    EXPECT_TRUE(form.isHidden());
    OnNextModal([](QWidget* w) { w->close(); });
    ToggleSendWindow(form, ask);
    EXPECT_TRUE(form.isHidden());
    EXPECT_EQ(3, asked);

    OnNextModal([](QWidget* w) { w->findChild<QPushButton*>("OKBtn")->click(); });
    ToggleSendWindow(form, ask);
    EXPECT_EQ(4, asked);
    EXPECT_FALSE(form.isHidden());
    ToggleSendWindow(form, ask);
    EXPECT_TRUE(form.isHidden());
    ToggleSendWindow(form, ask);
    EXPECT_FALSE(form.isHidden());
    EXPECT_EQ(4, asked);
}

// The real path: the window writes through TUsbDev to the in-process adapter, which
// reports each frame back as a transmitted record.
TEST(SendFormOnEmulator, FramesComeBackAsTransmittedRecords)
{
    auto backend = std::make_shared<TEmulatorBackend>(std::make_unique<TScriptedModel>());
    TUsbDev usb(0, backend);
    usb.SetBaudRate(3000000);
    ASSERT_TRUE(usb.Open());
    std::uint8_t ack = 0;
    for (const Command& c : {cmd::Monitor(0), cmd::CanBus(0, 0, 0, 0), cmd::Masks(0, 0, 0, 0)}) {
        ASSERT_TRUE(usb.SendAndWait(c.data(), std::uint32_t(c.size()), 5000, 1, &ack));
        ASSERT_EQ(kAck, ack);
    }
    const Command on = cmd::OnBus();
    ASSERT_TRUE(usb.SendAndWait(on.data(), std::uint32_t(on.size()), 5000, 0, nullptr));  // N has no reply

    TSendForm form(usb, [] { return true; });
    auto edit = [&](int n) { return form.findChild<TFieldEdit*>(QStringLiteral("Edit%1").arg(n)); };
    form.findChild<QCheckBox*>("CheckBox1")->setChecked(true);
    edit(1)->setText("18DAF110");
    edit(2)->setText("3");
    edit(3)->setText("A1");
    edit(4)->setText("B2");
    edit(5)->setText("C3");
    backend->ClearLog();
    form.ActSingleShotExecute();
    form.ActSendStopExecute();

    // Collect records until the transmitted one arrives (status records may come first).
    AdapterRecord rec;
    bool found = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!found && std::chrono::steady_clock::now() < deadline) {
        std::uint32_t rx = 0;
        ASSERT_TRUE(usb.GetQueueStatus(&rx));
        if (rx < kRecordSize) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            continue;
        }
        std::uint32_t got = 0;
        ASSERT_TRUE(usb.Read(rec.bytes.data(), kRecordSize, &got));
        ASSERT_EQ(kRecordSize, got);
        found = rec.Type() == kCanTransmitted;
    }
    ASSERT_TRUE(found);
    EXPECT_TRUE(rec.WellFormed());
    EXPECT_TRUE(rec.Extended());
    EXPECT_EQ(3, rec.Length());
    EXPECT_EQ(0x18DAF110u, rec.Identifier());
    EXPECT_EQ(0xA1, rec.Data(0));
    EXPECT_EQ(0xB2, rec.Data(1));
    EXPECT_EQ(0xC3, rec.Data(2));
    const auto log = backend->CommandLog();
    ASSERT_EQ(2u, log.size());
    EXPECT_EQ(Stx("T1318DAF110" "A1B2C30000000000"), log[0]);
    EXPECT_EQ(Stx("S"), log[1]);
    usb.Close();
}
