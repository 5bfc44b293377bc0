// The main window and the transmit window on the emulator tool over a real pseudo-terminal,
// speaking the native protocol or serial-line CAN (its own device kind). One script, both
// adapters; the VM runs it over CAN sockets too.
#include <QFile>
#include <gtest/gtest.h>

#include "bus/devicekinds.h"
#include "emulator/emulatorbackend.h"
#include "support/mainformadapter.h"
#include "tusbdev/native/nativedevice.h"
#include "tusbdev/serial/serialbackend.h"
#include "tusbdev/tusbdev.h"

using namespace testsupport;

namespace {

// The emulator tool with vehicle traffic, speaking the adapter's protocol.
std::shared_ptr<tarvik::TBusDevice> OnPty(MainFormOnAdapter& t, const Adapter& a)
{
    std::vector<std::string> args{"--model", "vehicle"};
    if (std::string(a.protocol) == "slcan") args.insert(args.begin(), {"--protocol", "slcan"});
    if (!t.emu.Start(args)) {
        ADD_FAILURE() << "the emulator did not start";
        return nullptr;
    }
    return tarvik::MakePortDevice(a.protocol, QString::fromStdString(t.emu.FirstLine()));
}

// The settings file's protocol picks the channel the window opens, ahead of the first open.
TEST(MainFormChannel, TheStoredProtocolPicksTheAdapterChannel)
{
    const struct {
        const char* ini;
        const char* protocol;  // nullptr: the channel given at start stays
        const char* port;
    } cases[] = {
        {"[USB]\r\nProtocol=slcan\r\n", "slcan", ""},
        {"[USB]\r\nProtocol=slcan\r\nPort=/dev/ttyACM3\r\n", "slcan", "/dev/ttyACM3"},
        {"[USB]\r\nProtocol=native\r\n", nullptr, ""},
        {"[USB]\r\nProtocol=can232\r\n", nullptr, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.ini);
        QTemporaryDir dir;
        QFile f(dir.filePath("tarvik.INI"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(c.ini);
        f.close();
        auto given = tarvik::MakeNativeDevice(std::make_shared<tarvik::TSerialBackend>("/nonexistent"));
        std::vector<std::pair<QString, QString>> built;
        std::shared_ptr<tarvik::TBusDevice> last;
        tarvik::TMainFormOptions o;
        o.settingsPath = f.fileName();
        o.device = given;
        o.showError = [](const QString&) {};
        o.portDevice = [&](const QString& protocol, const QString& port) {
            built.emplace_back(protocol, port);
            last = tarvik::MakePortDevice(protocol, port);
            return last;
        };
        tarvik::TMainForm form(std::move(o));
        if (!c.protocol) {
            EXPECT_TRUE(built.empty());
            EXPECT_EQ(&form.Session().Device(), given.get());
            continue;
        }
        ASSERT_FALSE(built.empty());
        EXPECT_EQ(built.back().first, c.protocol);
        EXPECT_EQ(built.back().second, c.port);
        EXPECT_EQ(&form.Session().Device(), last.get());
        EXPECT_STREQ(form.Session().Device().Kind(), "slcan");
        EXPECT_EQ(form.Protocol(), c.protocol);
    }
}

// An adapter at other settings than chosen, as a CAN interface at another bit rate answers.
class OwnSettingsDevice : public tarvik::TNativeDevice {
public:
    using TNativeDevice::TNativeDevice;
    void SetSettingsQuestion(SettingsQuestion q) override { question_ = std::move(q); }
    bool GoOnBus(const tarvik::OnBusConfig& c) override
    {
        if (!question_ || !question_("can0 runs at 250 kbit/s. To use 500 kbit/s: ...")) return false;
        return TNativeDevice::GoOnBus(c);
    }

private:
    SettingsQuestion question_;
};

TEST(MainFormOwnSettings, TheWindowAsksWhetherToGoOnBusAtTheAdaptersOwnSettings)
{
    for (const bool yes : {false, true}) {
        SCOPED_TRACE(yes);
        QTemporaryDir dir;
        QStringList asked, errors;
        tarvik::TMainFormOptions o;
        o.settingsPath = dir.filePath("tarvik.INI");
        o.device = std::make_shared<OwnSettingsDevice>(std::make_shared<tarvik::TEmulatorBackend>());
        o.showError = [&](const QString& m) { errors << m; };
        o.askYesNo = [&](const QString& q) {
            asked << q;
            return yes;
        };
        tarvik::TMainForm form(std::move(o));
        form.findChild<QAction*>(QStringLiteral("ActOnBus"))->trigger();
        ASSERT_EQ(asked.size(), 1);
        EXPECT_EQ(asked[0].toStdString(), "can0 runs at 250 kbit/s. To use 500 kbit/s: ...\n\n"
                                          "Go on bus at the adapter's own settings?");
        EXPECT_EQ(form.OnBus(), yes);
        EXPECT_TRUE(errors.isEmpty()) << errors.join("|").toStdString();
        if (yes) form.findChild<QAction*>(QStringLiteral("ActOffBus"))->trigger();
    }
}

INSTANTIATE_TEST_SUITE_P(Adapters, MainFormOnAdapter,
                         ::testing::Values(Adapter{"native", true, OnPty}, Adapter{"slcan", false, OnPty}), kAdapterName);

}  // namespace
