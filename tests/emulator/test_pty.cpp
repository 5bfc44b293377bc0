#include <gtest/gtest.h>

#include <algorithm>

#include <set>

#include "emulator/vehiclemodel.h"
#include "support/emuprocess.h"
#include "support/process.h"
#include "emutestutil.h"
#include "tusbdev/serial/serialbackend.h"
#include "support/usbhelpers.h"

using namespace tarvik;
using namespace std::chrono_literals;

namespace {

// The native adapter's byte protocol through the emulator tool on a real pty (the same
// script over every device kind is the device contract suite).
struct PtyRig {
    testsupport::EmuProcess emu;
    std::unique_ptr<TUsbDev> dev;
    std::vector<std::string> shown;

    void Start(std::vector<std::string> args)
    {
        ASSERT_TRUE(emu.Start(args)) << "the emulator printed no path";
        ASSERT_EQ(emu.FirstLine().rfind("/dev/pts/", 0), 0u) << emu.FirstLine();
        dev = std::make_unique<TUsbDev>(0, std::make_shared<TSerialBackend>(emu.FirstLine()));
        dev->SetBaudRate(3'000'000);
        dev->SetErrorPresenter([this](const std::string& m) { shown.push_back(m); });
        ASSERT_TRUE(dev->Open()) << (shown.empty() ? "" : shown.back());
    }
};

class EmulatorOverPty : public ::testing::Test {
protected:
    PtyRig rig;
};

TEST_F(EmulatorOverPty, VehicleStreamFromGoOnBusToTheEmulatorsDeath)
{
    ASSERT_NO_FATAL_FAILURE(rig.Start({"--model", "vehicle"}));
    TUsbDev& dev = *rig.dev;
    ASSERT_TRUE(testsupport::GoOnBusCan(dev));

    std::set<std::uint32_t> ids;
    for (const auto& m : VehicleMessages())
        ids.insert(m.id);
    const auto recs = testsupport::ReceiveFor(dev, 5s, 300);
    ASSERT_GE(recs.size(), 300u);
    std::set<std::uint32_t> seen;
    std::uint32_t lastStamp = 0;
    for (const auto& r : recs) {
        ASSERT_TRUE(r.WellFormed());
        if (r.IsStatus())
            continue;
        ASSERT_EQ(r.Type(), kCanReceived);
        ASSERT_TRUE(ids.count(r.Identifier())) << std::hex << r.Identifier();
        EXPECT_GE(r.TimeStamp(), lastStamp) << "time stamps run backwards";
        lastStamp = r.TimeStamp();
        seen.insert(r.Identifier());
    }
    EXPECT_GE(seen.size(), 8u);

    ASSERT_TRUE(testsupport::Send(dev, cmd::OffBus(), false));
    testsupport::ReceiveFor(dev, 200ms);
    EXPECT_TRUE(testsupport::ReceiveFor(dev, 400ms).empty()) << "records after F";

    // On bus again, then the emulator dies mid-stream.
    ASSERT_TRUE(testsupport::GoOnBusCan(dev));
    ASSERT_GE(testsupport::ReceiveFor(dev, 3s, 50).size(), 50u);
    rig.emu.Signal(SIGKILL);
    rig.emu.Wait();
    std::uint8_t buf[20 * 64];
    std::uint32_t got = 0;
    std::string error;
    try {
        dev.Read(buf, sizeof buf, &got);
    } catch (const TUsbError& e) {
        error = e.what();
    }
    EXPECT_EQ(error.rfind("USB Device Error : ", 0), 0u) << "the read after the emulator died did not raise";
    EXPECT_FALSE(dev.IsOpen());
    EXPECT_FALSE(dev.Read(buf, 20, &got));
}

TEST_F(EmulatorOverPty, HostMayCloseAndReopenThePort)
{
    ASSERT_NO_FATAL_FAILURE(rig.Start({"--model", "vehicle"}));
    ASSERT_TRUE(testsupport::GoOnBusCan(*rig.dev));
    ASSERT_FALSE(testsupport::ReceiveFor(*rig.dev, 2s, 20).empty());
    ASSERT_TRUE(testsupport::Send(*rig.dev, cmd::OffBus(), false));
    EXPECT_TRUE(rig.dev->Close());
    std::this_thread::sleep_for(100ms);
    ASSERT_TRUE(rig.dev->Open()) << (rig.shown.empty() ? "" : rig.shown.back());
    ASSERT_TRUE(testsupport::GoOnBusCan(*rig.dev)) << "the emulator stopped answering after a reopen";
    const auto again = testsupport::ReceiveFor(*rig.dev, 2s, 20);
    EXPECT_GE(again.size(), 20u) << "no stream after the reopen";
    for (const auto& r : again)
        ASSERT_TRUE(r.WellFormed());
}

// The host closed the port while on bus and records piled up unread, far beyond the pty's
// own buffer. Reopening purges; nothing of that pile may arrive later ahead of an ACK.
TEST_F(EmulatorOverPty, PurgeAfterReopenDropsTheRecordsNobodyRead)
{
    ASSERT_NO_FATAL_FAILURE(rig.Start({"--model", "load", "50000"}));
    ASSERT_TRUE(testsupport::GoOnBusCan(*rig.dev));
    ASSERT_FALSE(testsupport::ReceiveFor(*rig.dev, 2s, 1000).empty());
    ASSERT_TRUE(rig.dev->Close());
    std::this_thread::sleep_for(1500ms);
    ASSERT_TRUE(rig.dev->Open());
    ASSERT_TRUE(testsupport::Send(*rig.dev, cmd::OffBus(), false));
    std::this_thread::sleep_for(200ms);
    EXPECT_TRUE(testsupport::GoOnBusCan(*rig.dev, 2000)) << "stale records arrived ahead of the ACK";
}

TEST_F(EmulatorOverPty, LoadStreamArrivesWithoutLossAndTheToolStopsCleanly)
{
    ASSERT_NO_FATAL_FAILURE(rig.Start({"--model", "load", "20000"}));
    ASSERT_TRUE(testsupport::GoOnBusCan(*rig.dev));
    const auto recs = testsupport::ReceiveFor(*rig.dev, 10s, 10'000);
    ASSERT_GE(recs.size(), 10'000u);
    std::uint64_t expect = 0;
    for (const auto& r : recs) {
        ASSERT_TRUE(r.WellFormed());
        if (r.Type() != kCanReceived)
            continue;
        ASSERT_EQ(emutest::Sequence(r), expect);
        ++expect;
    }
    rig.emu.Signal(SIGTERM);
    const int status = rig.emu.Wait();
    ASSERT_TRUE(WIFEXITED(status)) << "status " << status;
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

// The native adapter reports what it sent: the user sees the frame once, as transmitted.
TEST_F(EmulatorOverPty, ASentFrameIsReportedOnceAsTransmitted)
{
    ASSERT_NO_FATAL_FAILURE(rig.Start({"--model", "load", "100"}));
    ASSERT_TRUE(testsupport::GoOnBusCan(*rig.dev));
    const std::uint8_t data[8] = {0x11, 0x22};
    ASSERT_TRUE(testsupport::Send(*rig.dev, cmd::Transmit(0, 2, 0x123, data), false));
    int sent = 0;
    for (const auto& r : testsupport::ReceiveFor(*rig.dev, 1s)) {
        ASSERT_TRUE(r.WellFormed());
        if (r.Type() != kCanTransmitted)
            continue;
        ++sent;
        EXPECT_EQ(r.Identifier(), 0x123u);
        EXPECT_EQ(r.Length(), 2);
        EXPECT_EQ(r.Data(1), 0x22);
    }
    EXPECT_EQ(sent, 1);
}

TEST(EmulatorTool, HelpAndBadArguments)
{
    {
        testsupport::EmuProcess p;
        ASSERT_TRUE(p.Start({"--help"}));
        EXPECT_EQ(p.FirstLine().rfind("Usage: tarvik-adapter-emu", 0), 0u);
        const std::string help = p.RestOfOutput();
        EXPECT_NE(help.find("--model load RATE"), std::string::npos);
        EXPECT_NE(help.find("--protocol slcan"), std::string::npos);
        const int status = p.Wait();
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    {
        testsupport::EmuProcess p;
        EXPECT_FALSE(p.Start({"--model", "load", "fast"})) << "no pty path for a bad model";
        const int status = p.Wait();
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2);
    }
}

// A specific mistake gets one line saying what it is, not the whole usage again.
TEST(EmulatorTool, BadArgumentsSayWhatIsWrongInOneLine)
{
    const struct {
        QStringList args;
        const char* says;
    } rows[] = {
        {{"--bogus"}, "unknown argument: --bogus"},
        {{"--protocol", "lawicel"}, "--protocol takes native or slcan, not lawicel"},
        {{"--protocol"}, "--protocol needs native or slcan"},
        {{"--model", "load", "fast"}, "RATE must be"},
        {{"--model", "nosuch"}, "nosuch"},
    };
    for (const auto& r : rows) {
        const testsupport::Ran ran = testsupport::RunProcess(QStringLiteral(TARVIK_EMU_PATH), r.args);
        EXPECT_EQ(ran.code, 2) << r.says;
        const std::string& err = ran.err;
        EXPECT_EQ(err.rfind("tarvik-adapter-emu: ", 0), 0u) << err;
        EXPECT_NE(err.find(r.says), std::string::npos) << err;
        EXPECT_EQ(err.find("Usage"), std::string::npos) << err;
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    }
}

}  // namespace
