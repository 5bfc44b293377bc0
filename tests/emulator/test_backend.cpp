#include <gtest/gtest.h>

#include <atomic>
#include <set>

#include "support/threadguard.h"
#include "emulator/emulatorbackend.h"
#include "emulator/loadmodel.h"
#include "emulator/scriptedmodel.h"
#include "emulator/vehiclemodel.h"
#include "emutestutil.h"
#include "support/usbhelpers.h"

using namespace tarvik;
using namespace std::chrono_literals;
using Reply = AdapterEmulator::ReplyMode;

namespace {

struct Rig {
    std::shared_ptr<TEmulatorBackend> emu;
    TUsbDev dev;
    std::vector<std::string> shown;

    explicit Rig(std::unique_ptr<TBusModel> model = nullptr)
        : emu(std::make_shared<TEmulatorBackend>(std::move(model))), dev(0, emu)
    {
        dev.SetErrorPresenter([this](const std::string& m) { shown.push_back(m); });
    }
};

std::set<std::uint32_t> VehicleIds()
{
    std::set<std::uint32_t> ids;
    for (const auto& m : VehicleMessages())
        ids.insert(m.id);
    return ids;
}

TEST(EmulatorBackend, IsDeviceZeroAndOnlyDeviceZero)
{
    Rig rig;
    std::uint32_t count = 0;
    EXPECT_TRUE(rig.dev.DeviceCount(&count));
    EXPECT_EQ(count, 1u);
    rig.dev.SetDeviceNumber(1);
    EXPECT_FALSE(rig.dev.Open());
    ASSERT_EQ(rig.shown.size(), 1u);
    EXPECT_EQ(rig.shown[0], "USB Device Error : device not found.");
    rig.dev.SetDeviceNumber(0);
    EXPECT_TRUE(rig.dev.Open());
    EXPECT_TRUE(rig.emu->IsOpen());
    EXPECT_TRUE(rig.dev.Close());
    EXPECT_FALSE(rig.emu->IsOpen());
}

TEST(EmulatorBackend, GoOnBusSequenceWritesExactlyTheCommandsAndGetsItsAcks)
{
    Rig rig;
    ASSERT_TRUE(rig.dev.Open());
    ASSERT_TRUE(testsupport::GoOnBusCan(rig.dev));
    const std::vector<std::string> want = {cmd::Monitor(0), cmd::CanBus(0, 4, 0, 0), cmd::Masks(0, 0, 0, 0),
                                           cmd::OnBus()};
    EXPECT_EQ(rig.emu->CommandLog(), want);
    EXPECT_EQ(rig.emu->ReceivedBytes(), want[0] + want[1] + want[2] + want[3]);
    EXPECT_TRUE(rig.emu->WithEngine([](AdapterEmulator& e) { return e.OnBus(); }));
}

TEST(EmulatorBackend, RefusedOrSilentCommandStopsTheSequence)
{
    Rig rig;
    ASSERT_TRUE(rig.dev.Open());
    rig.emu->SetReplyMode('L', Reply::Refuse);
    EXPECT_FALSE(testsupport::GoOnBusCan(rig.dev));
    EXPECT_EQ(rig.emu->CommandLog().size(), 3u) << "N must not follow a refused L";

    rig.emu->SetReplyMode('L', Reply::Normal);
    rig.emu->SetReplyMode('B', Reply::Silent);
    rig.emu->ClearLog();
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_FALSE(testsupport::GoOnBusCan(rig.dev, 300));
    EXPECT_GE(std::chrono::steady_clock::now() - t0, 300ms) << "gave up before the reply time-out";
    EXPECT_EQ(rig.emu->CommandLog().size(), 2u);
    EXPECT_TRUE(rig.dev.IsOpen()) << "a missing ACK is not a device failure";
}

TEST(EmulatorBackend, OnBusStreamsWellFormedVehicleRecordsUntilF)
{
    Rig rig;
    ASSERT_TRUE(rig.dev.Open());
    ASSERT_TRUE(testsupport::GoOnBusCan(rig.dev));
    const auto recs = testsupport::ReceiveFor(rig.dev, 3s, 400);
    ASSERT_GE(recs.size(), 400u);
    const auto ids = VehicleIds();
    std::set<std::uint32_t> seen;
    for (const auto& r : recs) {
        ASSERT_TRUE(r.WellFormed());
        if (r.IsStatus())
            continue;
        ASSERT_EQ(r.Type(), kCanReceived);
        EXPECT_TRUE(ids.count(r.Identifier())) << std::hex << r.Identifier();
        seen.insert(r.Identifier());
    }
    EXPECT_GE(seen.size(), 8u);

    ASSERT_TRUE(testsupport::Send(rig.dev, cmd::OffBus(), false));
    testsupport::ReceiveFor(rig.dev, 100ms);
    EXPECT_TRUE(testsupport::ReceiveFor(rig.dev, 300ms).empty()) << "records after F";
}

TEST(EmulatorBackend, TransmitEchoesArriveWhileAnotherThreadReads)
{
    Rig rig(std::make_unique<TLoadModel>(2000));
    ASSERT_TRUE(rig.dev.Open());
    ASSERT_TRUE(testsupport::GoOnBusCan(rig.dev));
    std::atomic<bool> stop{false};
    std::vector<AdapterRecord> got;
    testsupport::Background reader([&] {
        while (!stop.load()) {
            auto part = testsupport::ReceiveFor(rig.dev, 20ms);
            got.insert(got.end(), part.begin(), part.end());
        }
        auto rest = testsupport::ReceiveFor(rig.dev, 100ms);
        got.insert(got.end(), rest.begin(), rest.end());
    }, [&] { stop = true; });
    const std::uint8_t data[8] = {0xCA, 0xFE};
    for (int i = 0; i < 200; ++i)
        ASSERT_TRUE(testsupport::Send(rig.dev, cmd::Transmit(0, 2, 0x7E0, data), false));
    std::this_thread::sleep_for(50ms);
    stop = true;
    reader.Join();
    int echoes = 0;
    std::uint64_t expect = 0;
    for (const auto& r : got) {
        ASSERT_TRUE(r.WellFormed());
        if (r.Type() == kCanTransmitted) {
            ++echoes;
            EXPECT_EQ(r.Identifier(), 0x7E0u);
        } else if (r.Type() == kCanReceived) {
            ASSERT_EQ(emutest::Sequence(r), expect) << "load record lost or reordered";
            ++expect;
        }
    }
    EXPECT_EQ(echoes, 200);
    EXPECT_GT(expect, 0u) << "no load record arrived beside the echoes";
}

TEST(EmulatorBackend, AsFastAsReadLoadLosesNothing)
{
    Rig rig(std::make_unique<TLoadModel>(0));
    ASSERT_TRUE(rig.dev.Open());
    ASSERT_TRUE(testsupport::GoOnBusCan(rig.dev));
    const auto recs = testsupport::ReceiveFor(rig.dev, 20s, 100'000);
    ASSERT_GE(recs.size(), 100'000u);
    std::uint64_t expect = 0;
    for (const auto& r : recs) {
        if (r.Type() != kCanReceived)
            continue;
        ASSERT_EQ(emutest::Sequence(r), expect);
        ++expect;
    }
    EXPECT_EQ(rig.emu->WithEngine([](AdapterEmulator& e) { return e.DroppedRecords(); }), 0u);
}

TEST(EmulatorBackend, ReadWaitsForItsCountOrTheTimeOut)
{
    auto emu = std::make_shared<TEmulatorBackend>(std::make_unique<TLoadModel>(1000));
    FT_HANDLE h = nullptr;
    ASSERT_EQ(emu->Open(0, &h), FT_OK);
    ASSERT_EQ(emu->SetTimeouts(h, 300, 100), FT_OK);
    std::uint8_t buf[4000];
    std::uint32_t got = 99;
    auto t0 = std::chrono::steady_clock::now();
    ASSERT_EQ(emu->Read(h, buf, 20, &got), FT_OK);
    EXPECT_EQ(got, 0u) << "off bus nothing arrives";
    EXPECT_GE(std::chrono::steady_clock::now() - t0, 290ms);

    const std::string n = "\x02N\x03";
    std::uint32_t written = 0;
    ASSERT_EQ(emu->Write(h, n.data(), 3, &written), FT_OK);
    ASSERT_EQ(emu->SetTimeouts(h, 5000, 100), FT_OK);
    t0 = std::chrono::steady_clock::now();
    ASSERT_EQ(emu->Read(h, buf, 2000, &got), FT_OK);  // 100 records at 1000/s
    const auto took = std::chrono::steady_clock::now() - t0;
    EXPECT_EQ(got, 2000u);
    EXPECT_GE(took, 60ms) << "returned before the bytes could have been produced";
    EXPECT_LT(took, 3000ms);
    EXPECT_EQ(emu->Close(h), FT_OK);
    EXPECT_EQ(emu->Read(h, buf, 20, &got), FT_INVALID_HANDLE);
}

TEST(EmulatorBackend, ScriptedDisconnectMakesTheNextReadRaiseAndCloses)
{
    auto script = std::make_unique<TScriptedModel>();
    const std::uint8_t d[8] = {1};
    for (int i = 0; i < 10; ++i)
        script->Frame(10'000 * i, tarvik::AdapterRecord::Can(0x100 + i, false, 1, d));
    script->Disconnect(150'000);
    Rig rig(std::move(script));
    ASSERT_TRUE(rig.dev.Open());
    ASSERT_TRUE(testsupport::GoOnBusCan(rig.dev));
    std::vector<std::uint8_t> buf(20 * 10);
    std::uint32_t got = 0;
    ASSERT_TRUE(rig.dev.Read(buf.data(), std::uint32_t(buf.size()), &got));
    EXPECT_EQ(got, buf.size());
    try {
        rig.dev.Read(buf.data(), 20, &got);
        FAIL() << "read after the disconnect did not raise";
    } catch (const TUsbError& e) {
        EXPECT_EQ(std::string(e.what()), "USB Device Error : io error.");
    }
    EXPECT_FALSE(rig.dev.IsOpen());
    EXPECT_FALSE(rig.emu->IsOpen());
    EXPECT_FALSE(rig.dev.Read(buf.data(), 20, &got)) << "closed device reads nothing";

    EXPECT_FALSE(rig.dev.Open()) << "an unplugged adapter cannot be opened";
    EXPECT_EQ(rig.shown.back(), "USB Device Error : device not found.");
    rig.emu->Reconnect();
    EXPECT_TRUE(rig.dev.Open());
}

TEST(EmulatorBackend, DisconnectWakesABlockedRead)
{
    Rig rig;
    ASSERT_TRUE(rig.dev.Open());
    std::atomic<bool> raised{false};
    std::thread reader([&] {
        std::uint8_t buf[20];
        std::uint32_t got = 0;
        try {
            rig.dev.Read(buf, 20, &got);  // off bus: would wait the full 5 s
        } catch (const TUsbError&) {
            raised = true;
        }
    });
    std::this_thread::sleep_for(100ms);
    const auto t0 = std::chrono::steady_clock::now();
    rig.emu->Disconnect();
    reader.join();
    EXPECT_TRUE(raised.load());
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 2s);
    EXPECT_FALSE(rig.dev.IsOpen());
}

TEST(EmulatorBackend, InjectedStatusReachesTheReader)
{
    Rig rig;
    ASSERT_TRUE(rig.dev.Open());
    ASSERT_TRUE(testsupport::GoOnBusCan(rig.dev));
    rig.emu->InjectStatus(2);
    bool sawRed = false;
    for (const auto& r : testsupport::ReceiveFor(rig.dev, 2s, 200))
        sawRed |= r.IsStatus() && r.StatusCode() == 2;
    EXPECT_TRUE(sawRed);
}

}  // namespace
