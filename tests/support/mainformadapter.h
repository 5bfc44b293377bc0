#pragma once
// The main window and the transmit window on a kind of adapter the program drives. Each test
// executable instantiates it over the adapters it can drive: the emulator tool on a
// pseudo-terminal (native, serial-line CAN) everywhere, CAN sockets in the VM.
#include <QAction>
#include <QApplication>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>

#include "support/emuprocess.h"
#include "support/modalhelper.h"
#include "tmainform/mainform.h"
#include "tsendform/tsendform.h"
#include "tviewnormalform/tviewnormalform.h"

namespace testsupport {

using tarvik::TFieldEdit;

class MainFormOnAdapter;

// One kind of adapter: how to make its device, with whatever drives its bus.
struct Adapter {
    const char* protocol;
    bool carriesLin;
    // Fails the test (and answers null) when the device cannot be made.
    std::shared_ptr<tarvik::TBusDevice> (*make)(MainFormOnAdapter& test, const Adapter& adapter);
};

class MainFormOnAdapter : public ::testing::TestWithParam<Adapter> {
protected:
    void SetUp() override
    {
        tarvik::TMainFormOptions o;
        o.settingsPath = dir.filePath("tarvik.INI");
        o.device = GetParam().make(*this, GetParam());
        ASSERT_TRUE(o.device);
        o.showError = [this](const QString& m) { errors << m; };
        o.askSaveFileName = [](const QString&) { return QString(); };
        form = std::make_unique<tarvik::TMainForm>(std::move(o));
        form->show();
        Idle();
    }
    void TearDown() override
    {
        form.reset();
        driver.reset();
    }

    QAction* Act(const char* name) const { return form->findChild<QAction*>(QString::fromLatin1(name)); }
    void Idle()
    {
        QCoreApplication::postEvent(form.get(), new QEvent(QEvent::User));
        for (int i = 0; i < 3; ++i) QApplication::processEvents();
    }
    QString Monitor() const { return form->ViewNormalForm()->GetMonitorText(); }
    int Count(const QString& pattern) const
    {
        const QRegularExpression re(pattern, QRegularExpression::MultilineOption);
        int n = 0;
        for (auto it = re.globalMatch(Monitor()); it.hasNext(); it.next()) ++n;
        return n;
    }

public:
    testsupport::EmuProcess emu;
    // Whatever else drives the bus (a traffic thread); its destructor stops it.
    std::shared_ptr<void> driver;

protected:
    QTemporaryDir dir;
    std::unique_ptr<tarvik::TMainForm> form;
    QStringList errors;
};

TEST_P(MainFormOnAdapter, GoOnBusShowsTrafficAndGoOffBusClosesThePort)
{
    Act("ActOnBus")->trigger();
    ASSERT_TRUE(form->OnBus());
    EXPECT_TRUE(QTest::qWaitFor([&] { return Count(QStringLiteral("^ \\s+[0-9A-F]{4}\\s")) >= 20; }, 5000))
        << Monitor().left(2000).toStdString();
    Act("ActOffBus")->trigger();
    Idle();
    EXPECT_FALSE(form->OnBus());
    EXPECT_FALSE(form->Session().IsOpen());
    EXPECT_TRUE(errors.isEmpty()) << errors.join("|").toStdString();
}

TEST_P(MainFormOnAdapter, SendWindowFramesShowAsTransmittedOnceEach)
{
    tarvik::TSendForm* send = form->SendForm();
    OnNextModal([](QWidget* w) { w->findChild<QPushButton*>("OKBtn")->click(); });
    Act("ActSendWindow")->trigger();
    ASSERT_FALSE(send->isHidden());
    Act("ActOnBus")->trigger();
    ASSERT_TRUE(form->OnBus());
    Idle();

    send->findChild<TFieldEdit*>("Edit1")->setText("123");
    send->findChild<TFieldEdit*>("Edit2")->setText("2");
    send->findChild<TFieldEdit*>("Edit3")->setText("11");
    send->findChild<TFieldEdit*>("Edit4")->setText("22");
    send->findChild<QPushButton*>("BitBtn1")->click();
    EXPECT_TRUE(QTest::qWaitFor([&] { return Count(QStringLiteral("^T\\s+0123\\s.*11\\s+22")) == 1; }, 5000));

    // 0x100 every 20 ms until fifty have come back, then stop: no faster than the interval,
    // and none after the stop.
    send->findChild<QTabWidget*>()->setCurrentIndex(1);
    send->findChild<TFieldEdit*>("Edit11")->setText("100");
    send->findChild<TFieldEdit*>("Edit12")->setText("1");
    send->findChild<TFieldEdit*>("Edit21")->setText("20");
    QElapsedTimer sending;
    sending.start();
    send->findChild<QPushButton*>("BitBtn2")->click();
    EXPECT_TRUE(QTest::qWaitFor([&] { return Count(QStringLiteral("^T\\s+0100\\s")) >= 50; }, 30000));
    send->findChild<QPushButton*>("BitBtn3")->click();
    const qint64 untilStop = sending.elapsed();
    // Frames already on their way still show: wait until the count has stood for 300 ms.
    int sent = Count(QStringLiteral("^T\\s+0100\\s"));
    for (int was = -1; sent != was && sending.elapsed() < untilStop + 10000;) {
        was = sent;
        QTest::qWait(300);
        sent = Count(QStringLiteral("^T\\s+0100\\s"));
    }
    EXPECT_GE(sent, 50);
    EXPECT_LE(sent, untilStop / 20 + 2) << "faster than one every 20 ms";
    QTest::qWait(300);
    EXPECT_EQ(Count(QStringLiteral("^T\\s+0100\\s")), sent) << "frames after the stop";
    EXPECT_EQ(Count(QStringLiteral("^T\\s+0123\\s")), 1);
    EXPECT_TRUE(errors.isEmpty()) << errors.join("|").toStdString();
}

// A serial-line adapter carries no LIN: the go-on-bus is refused the native way, and the
// window stays off bus with the port open and says so in its caption, as for any refusal.
TEST_P(MainFormOnAdapter, LinRunsWhereTheAdapterCarriesIt)
{
    form->findChild<QRadioButton*>("RadioButtonLin")->click();
    Idle();
    Act("ActOnBus")->trigger();
    Idle();
    EXPECT_EQ(form->OnBus(), GetParam().carriesLin);
    EXPECT_TRUE(form->Session().IsOpen());
    EXPECT_EQ(form->windowTitle().contains("with 0x15 instead of ACK"), !GetParam().carriesLin)
        << form->windowTitle().toStdString();
    if (form->OnBus()) Act("ActOffBus")->trigger();
    EXPECT_TRUE(errors.isEmpty()) << errors.join("|").toStdString();
}

inline const auto kAdapterName = [](const auto& info) { return std::string(info.param.protocol); };

}  // namespace testsupport
