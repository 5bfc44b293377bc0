#include <gtest/gtest.h>

#include <cstdio>

#include "emulator/adapteremulator.h"
#include "emulator/loadmodel.h"
#include "emulator/scriptedmodel.h"
#include "emutestutil.h"

using namespace tarvik;
using emutest::Drain;
using emutest::Framed;
using emutest::Repeat;
using emutest::TakeAll;
using Reply = AdapterEmulator::ReplyMode;

namespace {

class EngineTest : public ::testing::Test {
protected:
    AdapterEmulator emu{std::make_unique<TScriptedModel>(), 0};

    std::string Send(const std::string& bytes, EmuMicros now = 0)
    {
        emu.Feed(bytes.data(), bytes.size(), now);
        return TakeAll(emu);
    }
    void GoOnBusCan()
    {
        for (const auto& c : emutest::kGoOnBusCan)
            Send(c);
        ASSERT_TRUE(emu.OnBus());
    }
    void GoOnBusLin()
    {
        ASSERT_EQ(Send(Framed("M1")), "\x06");
        ASSERT_EQ(Send(Framed("B3001")), "\x06");
        Send(Framed("N"));
        ASSERT_TRUE(emu.OnBus());
    }
};

TEST_F(EngineTest, GoOnBusSequencesGetOneAckPerConfigurationCommand)
{
    EXPECT_EQ(Send(Framed("M0")), "\x06");
    EXPECT_EQ(Send(Framed("BA511")), "\x06");
    EXPECT_EQ(Send(Framed("L000007FF00000123" "1FFFFFFF00000456")), "\x06");
    EXPECT_EQ(Send(Framed("N")), "");
    EXPECT_TRUE(emu.OnBus());
    EXPECT_EQ(emu.Can().speed, 10);
    EXPECT_EQ(emu.Can().samplingPoint, 5);
    EXPECT_EQ(emu.Can().driverMode, 1);
    EXPECT_EQ(emu.Can().terminator, 1);
    EXPECT_EQ(emu.Can().stdMask, 0x7FFu);
    EXPECT_EQ(emu.Can().stdCode, 0x123u);
    EXPECT_EQ(emu.Can().extMask, 0x1FFFFFFFu);
    EXPECT_EQ(emu.Can().extCode, 0x456u);
    EXPECT_EQ(Send(Framed("F")), "");
    EXPECT_FALSE(emu.OnBus());

    EXPECT_EQ(Send(Framed("M1")), "\x06");
    EXPECT_EQ(emu.Mode(), BusMode::Lin);
    EXPECT_EQ(Send(Framed("B3001")), "\x06");
    EXPECT_EQ(emu.Lin().speed, 3);
    EXPECT_EQ(emu.Lin().node, 1);
}

TEST_F(EngineTest, ClearIsAcknowledgedOnlyOffBus)
{
    EXPECT_EQ(Send(Framed("C")), "\x06");
    GoOnBusCan();
    EXPECT_EQ(Send(Framed("C")), "");
}

TEST_F(EngineTest, ConfigurationWhileOnBusLeavesTheBusFirst)
{
    GoOnBusCan();
    Send(Framed("I0" "1" "00000321" "5500000000000000" "0000000A"), 1000);
    EXPECT_EQ(Send(Framed("M0"), 2000), "\x06") << "no record may come between the command and its ACK";
    EXPECT_FALSE(emu.OnBus());
    EXPECT_FALSE(emu.PeriodicActive());
    emu.Advance(5'000'000);
    EXPECT_EQ(emu.OutputSize(), 0u);
}

TEST_F(EngineTest, OutOfRangeConfigurationIsRefused)
{
    EXPECT_EQ(Send(Framed("M2")), "\x15");
    EXPECT_EQ(Send(Framed("B0600")), "\x15");  // sampling point index 6 does not exist
    EXPECT_EQ(Send(Framed("M1")), "\x06");
    // The CAN form of B sent while in LIN mode.
    EXPECT_EQ(Send(Framed("B0400")), "\x15");
    EXPECT_EQ(Send(Framed("B6001")), "\x15");
}

TEST_F(EngineTest, ReplySwitchRefusesOrSilencesOnlyTheChosenLetter)
{
    emu.SetReplyMode('B', Reply::Refuse);
    EXPECT_EQ(Send(Framed("M0")), "\x06");
    EXPECT_EQ(Send(Framed("B4000")), "\x15");
    EXPECT_EQ(emu.Can().speed, 0) << "a refused command must not take effect";
    emu.SetReplyMode('B', Reply::Silent);
    EXPECT_EQ(Send(Framed("B4000")), "");
    EXPECT_EQ(emu.Can().speed, 0);
    emu.SetReplyMode('B', Reply::Normal);
    EXPECT_EQ(Send(Framed("B4000")), "\x06");
    EXPECT_EQ(emu.Can().speed, 4);

    emu.SetReplyMode('N', Reply::Refuse);
    EXPECT_EQ(Send(Framed("N")), "\x15");
    EXPECT_FALSE(emu.OnBus());
    emu.SetReplyMode('L', Reply::Silent);
    EXPECT_EQ(Send(Framed(Repeat("L", 32, '0'))), "");
}

TEST_F(EngineTest, ResynchronisesOnStxAndIgnoresBytesOutsideCommands)
{
    // Noise before, a command cut short by a new STX, noise between, a trailing ETX.
    const std::string stream = std::string("\x00\x03zz\x06", 5) + "\x02M" + Framed("M0") + "xyz\x03" + Framed("C");
    EXPECT_EQ(Send(stream), "\x06\x06");
    EXPECT_EQ(emu.ReceivedBytes(), stream) << "the raw byte log keeps everything the host wrote";
    ASSERT_EQ(emu.CommandLog().size(), 2u);
    EXPECT_EQ(emu.CommandLog()[0], Framed("M0"));
    EXPECT_EQ(emu.CommandLog()[1], Framed("C"));
}

TEST_F(EngineTest, MalformedCommandsAreIgnoredWithoutReply)
{
    const std::string bad[] = {
        Framed("Mx"), Framed("M"), Framed("M00"), Framed("B04"), Framed("B0G00"),
        Framed(Repeat("L", 31, '0')),                             // one digit short
        Framed(Repeat("L", 31, '0') + "a"),                       // lower-case hexadecimal
        Framed("Nx"), Framed("Q"), "\x02\x03",
        Framed("T2" "2" "00000123" "1122000000000000"),           // extended flag 2
        Framed("I0" "2" "00000123" "1122000000000000" "00000000"),  // interval 0
    };
    for (const auto& b : bad)
        EXPECT_EQ(Send(b), "") << "reply to " << b.substr(1, b.size() - 2);
    EXPECT_EQ(emu.MalformedCommands(), std::size(bad));
    // An STX run that never ends is dropped once it is too long; the next command still works.
    EXPECT_EQ(Send(Repeat("\x02", 60, 'B') + Framed("M0")), "\x06");
}

TEST_F(EngineTest, CommandsSplitAcrossWritesAreAssembled)
{
    const std::string l = Framed("L0000000100000002" "0000000300000004");
    std::string replies;
    for (char c : l)
        replies += Send(std::string(1, c));
    EXPECT_EQ(replies, "\x06");
    EXPECT_EQ(emu.Can().extCode, 4u);
    ASSERT_EQ(emu.CommandLog().size(), 1u);
    EXPECT_EQ(emu.CommandLog()[0], l);
}

TEST_F(EngineTest, TransmitIsEchoedAsTransmittedRecordOnlyOnBus)
{
    EXPECT_EQ(Send(Framed("T0" "2" "00000123" "1122000000000000")), "") << "off bus there is nothing to echo";
    GoOnBusCan();
    auto recs = emutest::SplitRecords(Send(Framed("T0" "2" "00000123" "1122000000000000"), 12'345'678));
    ASSERT_EQ(recs.size(), 1u);
    const AdapterRecord r = recs[0];
    EXPECT_EQ(r.Type(), kCanTransmitted);
    EXPECT_EQ(r.Length(), 2);
    EXPECT_FALSE(r.Extended());
    EXPECT_EQ(r.Identifier(), 0x123u);
    EXPECT_EQ(r.Data(0), 0x11);
    EXPECT_EQ(r.Data(1), 0x22);
    EXPECT_EQ(r.TimeStamp(), 123456u);
    EXPECT_TRUE(r.WellFormed());

    recs = emutest::SplitRecords(Send(Framed("T1" "8" "18FEF100" "0102030405060708"), 20'000'000));
    ASSERT_EQ(recs.size(), 1u);
    EXPECT_TRUE(recs[0].Extended());
    EXPECT_EQ(recs[0].Length(), 8);
    EXPECT_EQ(recs[0].Identifier(), 0x18FEF100u);
    EXPECT_EQ(recs[0].Data(7), 0x08);
    EXPECT_NE(recs[0].CheckByte(), r.CheckByte()) << "check bytes vary from record to record";
}

TEST_F(EngineTest, LinTransmitIsEchoedAsLinRecord)
{
    GoOnBusLin();
    auto recs = emutest::SplitRecords(Send(Framed("T0" "4" "0000003F" "A1B2C3D400000000"), 500));
    ASSERT_EQ(recs.size(), 1u);
    EXPECT_EQ(recs[0].Type(), kLinTransmitted);
    EXPECT_EQ(recs[0].Length(), 4);
    EXPECT_EQ(recs[0].LinIdentifier(), 0x3F);
    EXPECT_EQ(recs[0].LinErrorCode(), 0);
    EXPECT_EQ(recs[0].Data(3), 0xD4);
    EXPECT_EQ(recs[0].TimeStamp(), 5u);
}

TEST_F(EngineTest, PeriodicTransmitRepeatsAtItsIntervalUntilStopped)
{
    GoOnBusCan();
    // Interval 0x0A = 10 x 100 us = 1 ms, started at t = 1 ms.
    auto recs = emutest::SplitRecords(Send(Framed("I0" "1" "00000321" "5500000000000000" "0000000A"), 1000));
    ASSERT_EQ(recs.size(), 1u) << "the first echo goes out at once";
    emu.Advance(11'050);
    auto more = Drain(emu);
    ASSERT_EQ(more.size(), 10u);
    for (std::size_t i = 0; i < more.size(); ++i) {
        EXPECT_EQ(more[i].Type(), kCanTransmitted);
        EXPECT_EQ(more[i].Identifier(), 0x321u);
        EXPECT_EQ(more[i].TimeStamp(), 10u + 10u * (i + 1)) << "echo " << i;
    }
    Send(Framed("S"), 11'100);
    EXPECT_FALSE(emu.PeriodicActive());
    emu.Advance(50'000);
    EXPECT_EQ(Drain(emu).size(), 0u);

    // A new I replaces the running one; F stops it as well.
    EXPECT_EQ(Send(Framed("I0" "1" "00000001" "0000000000000000" "00000064"), 60'000).size(), kRecordSize);
    EXPECT_EQ(Send(Framed("I0" "1" "00000002" "0000000000000000" "00000064"), 60'000).size(), kRecordSize);
    emu.Advance(80'000);
    recs = Drain(emu);
    ASSERT_EQ(recs.size(), 2u);  // id 2 at 70 and 80 ms, id 1 no more
    EXPECT_EQ(recs[0].Identifier(), 2u);
    EXPECT_EQ(recs[1].Identifier(), 2u);
    Send(Framed("F"), 80'001);
    emu.Advance(200'000);
    EXPECT_EQ(Drain(emu).size(), 0u);
}

TEST_F(EngineTest, StatusRecordEverySecondCarriesInjectedCode)
{
    GoOnBusCan();
    emu.Advance(999'999);
    EXPECT_EQ(emu.OutputSize(), 0u);
    emu.Advance(1'000'000);
    auto recs = Drain(emu);
    ASSERT_EQ(recs.size(), 1u);
    EXPECT_EQ(recs[0].Type(), kCanStatus);
    EXPECT_EQ(recs[0].StatusCode(), 0);
    EXPECT_TRUE(recs[0].WellFormed());

    emu.InjectStatus(2, 1'500'000);
    recs = Drain(emu);
    ASSERT_EQ(recs.size(), 1u) << "an injected code is reported at once";
    EXPECT_EQ(recs[0].StatusCode(), 2);
    EXPECT_EQ(recs[0].TimeStamp(), 15000u);
    emu.Advance(3'000'000);
    recs = Drain(emu);
    ASSERT_EQ(recs.size(), 2u);
    EXPECT_EQ(recs[1].StatusCode(), 2) << "and stays until changed";
    EXPECT_EQ(emu.NextDue(3'000'000), 4'000'000);

    Send(Framed("F"));
    emu.InjectStatus(1, 3'100'000);
    EXPECT_EQ(emu.OutputSize(), 0u) << "no status records off bus";
    EXPECT_EQ(emu.NextDue(3'100'000), kEmuNever);
}

TEST_F(EngineTest, LinModeStatusRecordsHaveLinType)
{
    GoOnBusLin();
    emu.InjectStatus(1, 10);
    auto recs = Drain(emu);
    ASSERT_EQ(recs.size(), 1u);
    EXPECT_EQ(recs[0].Type(), kLinStatus);
    EXPECT_EQ(recs[0].StatusCode(), 1);
}

TEST(EngineClock, TimeStampsCountFromTheEmulatorStartAndWrap)
{
    AdapterEmulator emu(std::make_unique<TScriptedModel>(), 5'000'000);
    EXPECT_EQ(emu.TimeStampAt(5'000'000), 0u);
    EXPECT_EQ(emu.TimeStampAt(5'000'199), 1u);
    const EmuMicros wrap = EmuMicros(1) << 32;  // in 100 us units
    EXPECT_EQ(emu.TimeStampAt(5'000'000 + wrap * 100 + 300), 3u);
}

TEST(EngineLoad, StreamsOnlyBetweenNAndFWithWholeWellFormedRecords)
{
    AdapterEmulator emu(std::make_unique<TLoadModel>(1000), 0);
    emu.Advance(50'000);
    EXPECT_EQ(emu.OutputSize(), 0u) << "nothing flows before N";
    const std::string n = Framed("N");
    emu.Feed(n.data(), n.size(), 100'000);
    emu.Advance(109'999);
    auto recs = Drain(emu);
    ASSERT_EQ(recs.size(), 10u);
    for (std::size_t i = 0; i < recs.size(); ++i) {
        EXPECT_TRUE(recs[i].WellFormed());
        EXPECT_EQ(recs[i].Type(), kCanReceived);
        EXPECT_EQ(recs[i].TimeStamp(), 1000u + 10u * i);
        EXPECT_EQ(recs[i].Data(7), i) << "sequence number";
    }
    const std::string f = Framed("F");
    emu.Feed(f.data(), f.size(), 110'000);
    emu.Advance(500'000);
    EXPECT_EQ(emu.OutputSize(), 0u);
}

TEST(EngineLoad, FullOutputQueueDropsWholeRecordsAndCountsThem)
{
    AdapterEmulator::Options opt;
    opt.outputCapacity = 100 * kRecordSize;
    AdapterEmulator emu(std::make_unique<TLoadModel>(10'000), 0, opt);
    const std::string n = Framed("N");
    emu.Feed(n.data(), n.size(), 0);
    emu.Advance(49'999);  // 500 frames due, room for 100
    EXPECT_EQ(emu.OutputSize(), 100 * kRecordSize);
    EXPECT_EQ(emu.RecordsQueued(), 100u);
    EXPECT_EQ(emu.DroppedRecords(), 400u);
    auto recs = Drain(emu);
    EXPECT_EQ(recs.back().Data(7), 99) << "the oldest records are kept, the newest dropped";
    emu.Advance(50'000);
    EXPECT_EQ(Drain(emu).size(), 1u) << "streaming resumes once the host reads";
}

TEST(EngineLoad, UnpacedModelIsToppedUpAsTheHostReads)
{
    AdapterEmulator::Options opt;
    opt.unpacedFill = 50 * kRecordSize;
    AdapterEmulator emu(std::make_unique<TLoadModel>(0), 0, opt);
    const std::string n = Framed("N");
    emu.Feed(n.data(), n.size(), 0);
    EXPECT_EQ(emu.NextDue(0), 0);
    emu.Advance(0);
    EXPECT_EQ(emu.OutputSize(), 50 * kRecordSize);
    EXPECT_EQ(emu.NextDue(0), 1'000'000) << "full: only the status record is pending";
    auto first = Drain(emu);
    emu.Advance(10);
    auto second = Drain(emu);
    ASSERT_EQ(second.size(), 50u);
    EXPECT_EQ(second.front().Data(7), 50) << "nothing lost between fills";
    EXPECT_EQ(emu.DroppedRecords(), 0u);
}

TEST(EngineLoad, SkipToForgetsWhatNobodyHeard)
{
    AdapterEmulator emu(std::make_unique<TLoadModel>(1000), 0);
    const std::string n = Framed("N");
    emu.Feed(n.data(), n.size(), 0);
    emu.SkipTo(3'600'000'000);
    emu.Advance(3'600'000'000);
    auto recs = Drain(emu);
    ASSERT_EQ(recs.size(), 2u) << "one frame and the status record due right now";
    EXPECT_EQ(emu.NextDue(3'600'000'000), 3'600'001'000);
}

TEST(EngineScripted, BrokenRecordsGarbageAndDisconnectReachTheHostAsScripted)
{
    std::uint8_t d[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    const AdapterRecord frame = AdapterRecord::Can(0x7FF, false, 8, d);
    auto model = std::make_unique<TScriptedModel>();
    model->Frame(1000, frame).BadCheck(2000, frame).Garbage(3000, "\xAA\xBB\xCC").Partial(4000, frame, 7).Disconnect(
        5000);
    AdapterEmulator emu(std::move(model), 0);
    const std::string n = Framed("N");
    emu.Feed(n.data(), n.size(), 0);
    emu.Advance(4999);
    const std::string out = TakeAll(emu);
    ASSERT_EQ(out.size(), 20u + 20u + 3u + 7u);
    EXPECT_EQ(out[0], out[19]);
    EXPECT_EQ(std::uint8_t(out[20]), 0x55);
    EXPECT_EQ(std::uint8_t(out[39]), 0x54);
    EXPECT_EQ(out.substr(40, 3), "\xAA\xBB\xCC");
    EXPECT_FALSE(emu.Disconnected());
    emu.Advance(5000);
    EXPECT_TRUE(emu.Disconnected());
    EXPECT_EQ(emu.NextDue(6000), kEmuNever);
    emu.Feed(n.data(), n.size(), 6000);
    EXPECT_TRUE(emu.CommandLog().size() == 1) << "a vanished adapter hears nothing";
    emu.Reconnect();
    EXPECT_FALSE(emu.Disconnected());
    EXPECT_FALSE(emu.OnBus());
}

TEST(EngineMasks, ReceivedFramesPassTheAcceptanceFilterAsTheAdapterApplies)
{
    const std::uint32_t ids[] = {0x100, 0x123, 0x1FF, 0x7FF};
    const std::uint32_t extIds[] = {0x18DAF110, 0x18DAF111, 0x0CF00400};
    struct Case {
        const char* what;
        std::uint32_t stdMask, stdCode, extMask, extCode;
        std::vector<std::uint32_t> pass;  // received identifiers let in; 0x8... marks extended
    } cases[] = {
        {"no masks: everything", 0, 0, 0, 0, {0x100, 0x123, 0x1FF, 0x7FF, 0x98DAF110, 0x98DAF111, 0x8CF00400}},
        {"one standard identifier", 0x7FF, 0x123, 0, 0, {0x123, 0x98DAF110, 0x98DAF111, 0x8CF00400}},
        {"standard 0x100-0x1FF", 0x700, 0x100, 0, 0, {0x100, 0x123, 0x1FF, 0x98DAF110, 0x98DAF111, 0x8CF00400}},
        {"code bits outside the mask do not count", 0x700, 0x1AB, 0, 0,
         {0x100, 0x123, 0x1FF, 0x98DAF110, 0x98DAF111, 0x8CF00400}},
        {"extended group only", 0, 0, 0x1FFFFFFE, 0x18DAF110, {0x100, 0x123, 0x1FF, 0x7FF, 0x98DAF110, 0x98DAF111}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto model = std::make_unique<TScriptedModel>();
        EmuMicros at = 1000;
        for (std::uint32_t id : ids) model->Frame(at += 100, AdapterRecord::Can(id, false, 0, nullptr));
        for (std::uint32_t id : extIds) model->Frame(at += 100, AdapterRecord::Can(id, true, 0, nullptr));
        AdapterEmulator emu(std::move(model), 0);
        char masks[40];
        std::snprintf(masks, sizeof masks, "L%08X%08X%08X%08X", c.stdMask, c.stdCode, c.extMask, c.extCode);
        for (const std::string& cmd : {Framed("M0"), Framed("B0400"), Framed(masks), Framed("N")})
            emu.Feed(cmd.data(), cmd.size(), 0);
        TakeAll(emu);
        // The echo of our own transmit is no received frame and is never filtered.
        const std::string t = Framed("T0000000456" + std::string(16, '0'));
        emu.Feed(t.data(), t.size(), 0);
        emu.Advance(at);
        std::vector<std::uint32_t> got;
        bool echoed = false;
        for (const AdapterRecord& r : Drain(emu)) {
            if (r.IsTransmitted()) echoed = r.CanId() == 0x456;
            else if (r.IsCan()) got.push_back(r.CanId() | (r.Extended() ? 0x80000000u : 0));
        }
        EXPECT_EQ(got, c.pass);
        EXPECT_TRUE(echoed);
    }
}

}  // namespace
