#pragma once
// A main window on the in-process emulator, with the user's error boxes recorded.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "emulator/emulatorbackend.h"
#include "emulator/scriptedmodel.h"
#include "support/forwardingbackend.h"
#include "tmainform/mainform.h"
#include "tusbdev/tusbdev.h"

namespace mainformtest {

// Passes every call to the emulator and notes writes and closes in order.
class TRecordingBackend : public testsupport::TForwardingBackend {
public:
    explicit TRecordingBackend(std::shared_ptr<tarvik::TEmulatorBackend> inner) : TForwardingBackend(std::move(inner)) {}
    std::vector<std::string> Events() const
    {
        std::lock_guard<std::mutex> l(mu_);
        return events_;
    }
    FT_STATUS Write(FT_HANDLE h, const void* b, std::uint32_t c, std::uint32_t* w) override
    {
        Note("W " + std::string(static_cast<const char*>(b), c));
        return TForwardingBackend::Write(h, b, c, w);
    }
    FT_STATUS Close(FT_HANDLE h) override
    {
        Note("Close");
        return TForwardingBackend::Close(h);
    }

private:
    void Note(std::string e)
    {
        std::lock_guard<std::mutex> l(mu_);
        events_.push_back(std::move(e));
    }
    mutable std::mutex mu_;
    std::vector<std::string> events_;
};

inline std::string Cmd(const std::string& body) { return "\x02" + body + "\x03"; }

class MainFormTest : public ::testing::Test {
protected:
    // model: null plays nothing (a script with no events).
    void Create(std::unique_ptr<tarvik::TBusModel> model = nullptr, const QByteArray& ini = {})
    {
        if (!model) model = std::make_unique<tarvik::TScriptedModel>();
        emu = std::make_shared<tarvik::TEmulatorBackend>(std::move(model));
        recorder = std::make_shared<TRecordingBackend>(emu);
        iniPath = dir.filePath("tarvik.INI");
        if (!ini.isEmpty()) {
            QFile f(iniPath);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(ini);
        }
        tarvik::TMainFormOptions o;
        o.settingsPath = iniPath;
        o.backend = recorder;
        o.showError = [this](const QString& m) { errors << m; };
        o.askSaveFileName = [this](const QString& proposed) {
            proposedNames << proposed;
            return saveAnswer;
        };
        o.askOpenLogName = [this] { return openAnswer; };
        o.showInfo = [this](const QString& m) { infos << m; };
        if (portBackend)
            o.portDevice = [pb = portBackend](const QString& protocol, const QString& port) {
                auto b = pb(protocol, port);
                return b ? tarvik::MakeNativeDevice(std::move(b)) : nullptr;
            };
        form = std::make_unique<tarvik::TMainForm>(std::move(o));
    }

    void TearDown() override { form.reset(); }

    QAction* Act(const char* name) const
    {
        auto* a = form->findChild<QAction*>(QString::fromLatin1(name));
        EXPECT_NE(a, nullptr) << name;
        return a;
    }
    template <class W>
    W* Child(const char* name) const
    {
        auto* w = form->findChild<W*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    // Any event lets the idle handler run once the queue is empty again.
    void Idle()
    {
        QCoreApplication::postEvent(form.get(), new QEvent(QEvent::User));
        for (int i = 0; i < 3; ++i) QApplication::processEvents();
    }
    std::vector<std::string> Commands() const { return emu->CommandLog(); }
    void SelectLin()
    {
        Child<QRadioButton>("RadioButtonLin")->click();
        Idle();
    }
    bool WaitFor(const std::function<bool()>& pred, int ms = 3000) { return QTest::qWaitFor(pred, ms); }

    QTemporaryDir dir;
    QString iniPath;
    std::shared_ptr<tarvik::TEmulatorBackend> emu;
    std::shared_ptr<TRecordingBackend> recorder;
    std::unique_ptr<tarvik::TMainForm> form;
    QStringList errors;
    QStringList proposedNames;
    QString saveAnswer;
    QString openAnswer;
    QStringList infos;
    // Set before Create: the channel for a serial port path named in the settings.
    std::function<std::shared_ptr<tarvik::TFtBackend>(const QString& protocol, const QString& port)> portBackend;
};

}  // namespace mainformtest
