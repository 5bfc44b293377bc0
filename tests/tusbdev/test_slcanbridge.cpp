// The bridge over a real pseudo-terminal, with the test playing the adapter: exact bytes
// on the wire, replies turned into the native ones, lines turned into records.
#include <gtest/gtest.h>

#include <thread>

#include "scriptedslcan.h"
#include "support/forwardingbackend.h"
#include "support/usbhelpers.h"
#include "tusbdev/serialbackend.h"
#include "tusbdev/slcanbridge.h"

using namespace tarvik;
using testsupport::PtyPair;
using testsupport::ScriptedSlcan;
using namespace std::chrono_literals;

namespace {

// Notes the handle TUsbDev gets, for calls the test makes on the bridge itself.
class HandleNote : public testsupport::TForwardingBackend {
public:
    using TForwardingBackend::TForwardingBackend;
    FT_STATUS Open(std::uint32_t n, FT_HANDLE* h) override
    {
        const FT_STATUS st = TForwardingBackend::Open(n, h);
        handle = *h;
        return st;
    }
    FT_HANDLE handle = nullptr;
};

struct Rig {
    PtyPair pty;
    FT_HANDLE handle = nullptr;
    std::unique_ptr<ScriptedSlcan> adapter;
    std::shared_ptr<TSlcanBridge> bridge;
    std::unique_ptr<TUsbDev> dev;
    std::vector<std::string> shown;

    void Start()
    {
        ASSERT_TRUE(pty.Ok());
        adapter = std::make_unique<ScriptedSlcan>(pty);
        bridge = std::make_shared<TSlcanBridge>(std::make_shared<TSerialBackend>(pty.SlavePath()));
        auto note = std::make_shared<HandleNote>(bridge);
        dev = std::make_unique<TUsbDev>(0, note);
        dev->SetBaudRate(3'000'000);
        dev->SetErrorPresenter([this](const std::string& m) { shown.push_back(m); });
        ASSERT_TRUE(dev->Open()) << (shown.empty() ? "" : shown.back());
        handle = note->handle;
    }
    ~Rig()
    {
        if (dev) dev->Close();
    }

    // The native reply byte to one command, 0 when none came.
    std::uint8_t Reply(const Command& c)
    {
        std::uint8_t r = 0;
        if (!dev->SendAndWait(c.data(), std::uint32_t(c.size()), 2000, 1, &r)) return 0;
        return r;
    }
    bool GoOnBus(int speed, int driverMode = 0, std::uint32_t stdMask = 0, std::uint32_t stdCode = 0)
    {
        return dev->Flush() && Reply(cmd::Monitor(0)) == kAck && Reply(cmd::CanBus(speed, 4, driverMode, 0)) == kAck &&
               Reply(cmd::Masks(stdMask, stdCode, 0, 0)) == kAck && testsupport::Send(*dev, cmd::OnBus(), false);
    }
    std::vector<AdapterRecord> Frames(std::size_t n, std::chrono::milliseconds span = 2s)
    {
        std::vector<AdapterRecord> out;
        const auto end = std::chrono::steady_clock::now() + span;
        while (out.size() < n && std::chrono::steady_clock::now() < end)
            for (const auto& r : testsupport::ReceiveFor(*dev, 50ms))
                if (!r.IsStatus()) out.push_back(r);
        return out;
    }
};

const std::uint8_t kData[8] = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88};

TEST(SlcanBridge, GoOnAndOffBusWriteTheseBytes)
{
    struct Case {
        int speed, driverMode;
        const char* wire;
    } cases[] = {
        {1, 0, "C\rS6\rO\r"},  // 500 kbit/s
        {0, 0, "C\rS8\rO\r"},  // 1 Mbit/s
        {2, 0, "C\rS5\rO\r"},
        {4, 1, "C\rS4\rL\r"},  // silent: listen only
        {5, 0, "C\rS3\rO\r"},
        {10, 0, "C\rS2\rO\r"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.wire);
        Rig rig;
        ASSERT_NO_FATAL_FAILURE(rig.Start());
        ASSERT_TRUE(rig.GoOnBus(c.speed, c.driverMode));
        ASSERT_TRUE(rig.adapter->WaitLines(3));
        EXPECT_EQ(rig.adapter->Wire(), c.wire);
        rig.adapter->Clear();
        ASSERT_TRUE(testsupport::Send(*rig.dev, cmd::OffBus(), false));
        ASSERT_TRUE(rig.adapter->WaitLines(1));
        EXPECT_EQ(rig.adapter->Wire(), "C\r");
    }
}

TEST(SlcanBridge, WhatTheAdapterCannotDoIsTheNativeRefusal)
{
    Rig rig;
    ASSERT_NO_FATAL_FAILURE(rig.Start());
    EXPECT_EQ(rig.Reply(cmd::Monitor(1)), kNak) << "LIN";
    EXPECT_EQ(rig.Reply(cmd::Monitor(0)), kAck);
    for (int speed : {3, 6, 7, 8, 9, 11, 15}) EXPECT_EQ(rig.Reply(cmd::CanBus(speed, 4, 0, 0)), kNak) << speed;
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(rig.adapter->Wire(), "") << "a refused speed reached the adapter";

    // The adapter itself refuses the speed with BEL.
    rig.adapter->SetResponder([](const std::string& l) { return l[0] == 'S' ? std::string("\a") : std::string("\a"); });
    EXPECT_EQ(rig.Reply(cmd::CanBus(1, 4, 0, 0)), kNak);
    EXPECT_FALSE(rig.GoOnBus(1));
    // Transmits are not sent while the go-on-bus failed.
    testsupport::Send(*rig.dev, cmd::Transmit(0, 2, 0x123, kData), false);
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(rig.adapter->Wire().find('t'), std::string::npos);
}

TEST(SlcanBridge, TransmitWritesOneLineAndReportsItOnceAccepted)
{
    Rig rig;
    ASSERT_NO_FATAL_FAILURE(rig.Start());
    ASSERT_TRUE(rig.GoOnBus(1));
    ASSERT_TRUE(rig.adapter->WaitLines(3));
    rig.adapter->Clear();

    struct Case {
        int extended, length;
        std::uint32_t id;
        const char* wire;  // nullptr: nothing may be sent
    } cases[] = {
        {0, 2, 0x123, "t12321122\r"},
        {1, 8, 0x1ABCDEF, "T01ABCDEF81122334455667788\r"},
        {0, 0, 0x7FF, "t7FF0\r"},
        {1, 9, 0x1FFFFFFF, "T1FFFFFFF81122334455667788\r"},  // length 9 means eight bytes
        {0, 2, 0xFFF, nullptr},         // eleven bits only: never cut to another identifier
        {1, 2, 0x3FFFFFFF, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        rig.adapter->Clear();
        ASSERT_TRUE(testsupport::Send(*rig.dev, cmd::Transmit(c.extended, c.length, c.id, kData), false));
        if (!c.wire) {
            std::this_thread::sleep_for(100ms);
            EXPECT_EQ(rig.adapter->Wire(), "");
            EXPECT_TRUE(rig.Frames(1, 100ms).empty());
            continue;
        }
        ASSERT_TRUE(rig.adapter->WaitLines(1));
        EXPECT_EQ(rig.adapter->Wire(), c.wire);
        const auto echo = rig.Frames(1);
        ASSERT_EQ(echo.size(), 1u);
        EXPECT_EQ(echo[0].Type(), kCanTransmitted);
        EXPECT_EQ(echo[0].Identifier(), c.id);
        EXPECT_EQ(echo[0].Extended(), c.extended == 1);
        EXPECT_EQ(echo[0].Length(), std::min(c.length, 8));
        EXPECT_EQ(echo[0].Data(1), 0x22);
    }
    EXPECT_EQ(rig.bridge->GetCounters().refusedTransmits, 2u);

    // A frame the adapter refuses is not shown as sent.
    rig.adapter->SetResponder([](const std::string& l) { return l[0] == 't' ? std::string("\a") : ScriptedSlcan::Accepting(l); });
    ASSERT_TRUE(testsupport::Send(*rig.dev, cmd::Transmit(0, 2, 0x123, kData), false));
    EXPECT_TRUE(rig.Frames(1, 300ms).empty());
    EXPECT_EQ(rig.bridge->GetCounters().refusedTransmits, 3u);
}

TEST(SlcanBridge, LinesFromTheAdapterBecomeRecordsAndBadOnesAreDropped)
{
    Rig rig;
    ASSERT_NO_FATAL_FAILURE(rig.Start());
    ASSERT_TRUE(rig.GoOnBus(1, 0, 0x7F0, 0x120));  // standard 120..12F only
    ASSERT_TRUE(rig.adapter->WaitLines(3));
    rig.adapter->Push("t12321122\r"
                      "r1232\r"
                      "T01ABCDEF81122334455667788EA5F0\r"  // 31 characters
                      "t12G21122\r"
                      "t2220\r"                           // outside the mask
                      "R000001238\r"
                      "T01ABCDEF81122334455667788\r");
    const auto recs = rig.Frames(4);
    ASSERT_EQ(recs.size(), 4u);
    for (const auto& r : recs) {
        EXPECT_TRUE(r.WellFormed());
        EXPECT_EQ(r.Type(), kCanReceived);
    }
    EXPECT_EQ(recs[0].Identifier(), 0x123u);
    EXPECT_EQ(recs[0].Length(), 2);
    EXPECT_EQ(recs[0].Data(1), 0x22);
    EXPECT_EQ(recs[1].Identifier(), 0x123u);  // the remote frame: its length, no data
    EXPECT_EQ(recs[1].Length(), 2);
    EXPECT_EQ(recs[1].Data(0), 0);
    EXPECT_TRUE(recs[2].Extended());
    EXPECT_EQ(recs[2].Length(), 8);
    EXPECT_EQ(recs[3].Identifier(), 0x1ABCDEFu);
    EXPECT_EQ(recs[3].Data(7), 0x88);
    EXPECT_GE(recs[3].TimeStamp(), recs[0].TimeStamp());
    const auto n = rig.bridge->GetCounters();
    EXPECT_EQ(n.badLines, 2u);
    EXPECT_EQ(n.filtered, 1u);
}

TEST(SlcanBridge, AdapterTimeStampsAreUsedAcrossTheirWrap)
{
    Rig rig;
    ASSERT_NO_FATAL_FAILURE(rig.Start());
    ASSERT_TRUE(rig.GoOnBus(1));
    ASSERT_TRUE(rig.adapter->WaitLines(3));
    rig.adapter->Push("t1000EA56\r");  // 59990 ms
    std::this_thread::sleep_for(20ms);
    rig.adapter->Push("t1000000A\r");  // 10 ms: 20 ms later, past the wrap
    const auto recs = rig.Frames(2);
    ASSERT_EQ(recs.size(), 2u);
    EXPECT_EQ(recs[0].TimeStamp(), 599900u);
    EXPECT_EQ(recs[1].TimeStamp(), 600100u);
}

TEST(SlcanBridge, StatusFlagsBecomeTheBusStatus)
{
    Rig rig;
    ASSERT_NO_FATAL_FAILURE(rig.Start());
    std::atomic<int> flags{0x20};  // error passive
    rig.adapter->SetResponder([&](const std::string& l) {
        if (l == "F") {
            char b[8];
            std::snprintf(b, sizeof b, "F%02X\r", flags.load());
            return std::string(b);
        }
        return ScriptedSlcan::Accepting(l);
    });
    ASSERT_TRUE(rig.GoOnBus(1));
    auto nextStatus = [&] {
        const auto end = std::chrono::steady_clock::now() + 3s;
        while (std::chrono::steady_clock::now() < end)
            for (const auto& r : testsupport::ReceiveFor(*rig.dev, 50ms))
                if (r.IsStatus()) return int(r.StatusCode());
        return -1;
    };
    EXPECT_EQ(nextStatus(), 1);
    flags = 0x80;  // bus error
    nextStatus();  // one poll may have been answered already
    EXPECT_EQ(nextStatus(), 2);
    flags = 0x00;
    nextStatus();
    EXPECT_EQ(nextStatus(), 0);
}

TEST(SlcanBridge, AnAdapterThatGoesAwayFailsTheNextRead)
{
    Rig rig;
    ASSERT_NO_FATAL_FAILURE(rig.Start());
    ASSERT_TRUE(rig.GoOnBus(1));
    rig.adapter.reset();
    rig.pty.CloseMaster();
    std::string error;
    std::uint8_t buf[20];
    std::uint32_t got = 0;
    for (int i = 0; i < 200 && error.empty(); ++i) {
        try {
            rig.dev->Read(buf, 20, &got);
        } catch (const TUsbError& e) {
            error = e.what();
        }
    }
    EXPECT_EQ(error.rfind(kUsbErrorPrefix, 0), 0u);
    EXPECT_FALSE(rig.dev->IsOpen());
}

// The receive thread sleeps in WaitForData; a frame or a cancel must end the sleep at once.
TEST(SlcanBridge, WaitForDataEndsWhenRecordsArriveOrOnCancel)
{
    Rig rig;
    ASSERT_NO_FATAL_FAILURE(rig.Start());
    ASSERT_TRUE(rig.GoOnBus(1));
    ASSERT_TRUE(rig.adapter->WaitLines(3));
    TSlcanBridge& b = *rig.bridge;
    std::uint32_t rx = 0;
    FT_STATUS st = FT_OK;
    const auto waitFor = [&](std::uint32_t ms) {
        const auto t0 = std::chrono::steady_clock::now();
        st = b.WaitForData(rig.handle, ms, &rx);
        return std::chrono::steady_clock::now() - t0;
    };
    std::thread push([&] {
        std::this_thread::sleep_for(100ms);
        rig.adapter->Push("t12321122\r");
    });
    EXPECT_LT(waitFor(3000), 1500ms);
    push.join();
    EXPECT_EQ(st, FT_OK);
    EXPECT_GE(rx, 20u);
    rig.Frames(1);

    std::thread cancel([&] {
        std::this_thread::sleep_for(100ms);
        b.CancelWait(rig.handle);
    });
    EXPECT_LT(waitFor(3000), 1500ms);
    cancel.join();
    EXPECT_EQ(rx, 0u);
    b.CancelWait(rig.handle);  // before the wait: the next one ends at once
    EXPECT_LT(waitFor(3000), 500ms);
    EXPECT_LT(waitFor(200), 1000ms) << "a cancel ends one wait only";
    EXPECT_EQ(rx, 0u);
}

// 0x100 every 10 ms for 10 s, measured where the adapter receives it. A busy machine may
// deliver a frame late, but the lateness must not build up over the run.
TEST(SlcanBridge, IntervalSendKeepsItsRateWithoutDrift)
{
    Rig rig;
    ASSERT_NO_FATAL_FAILURE(rig.Start());
    ASSERT_TRUE(rig.GoOnBus(1));
    ASSERT_TRUE(rig.adapter->WaitLines(3));
    rig.adapter->Clear();
    ASSERT_TRUE(testsupport::Send(*rig.dev, cmd::TransmitPeriodic(0, 8, 0x100, kData, 100), false));
    std::this_thread::sleep_for(10s + 50ms);
    const auto stopAsked = ScriptedSlcan::Clock::now();
    ASSERT_TRUE(testsupport::Send(*rig.dev, cmd::StopPeriodic(), false));
    std::this_thread::sleep_for(50ms);
    std::vector<ScriptedSlcan::Clock::time_point> at;
    for (const auto& l : rig.adapter->Lines())
        if (l.text.rfind("t1008", 0) == 0) at.push_back(l.at);
    ASSERT_GE(at.size(), 1000u);
    using Ms = std::chrono::duration<double, std::milli>;
    // How late frame k is against a 10 ms grid from the first frame. A stall only makes
    // frames late, so the most punctual frames of a stretch show where the grid really is.
    auto punctual = [&](std::size_t from, std::size_t to) {
        double best = 1e9;
        for (std::size_t k = from; k < to; ++k)
            best = std::min(best, Ms(at[k] - at.front()).count() - 10.0 * double(k));
        return best;
    };
    const double startOff = punctual(0, 100), endOff = punctual(at.size() - 100, at.size());
    EXPECT_NEAR(endOff, startOff, 2.0) << "the schedule drifted over the run";
    // Every slot up to the stop is sent once: short stalls are made up, not dropped.
    const auto grid = at.front() + std::chrono::duration_cast<ScriptedSlcan::Clock::duration>(Ms(startOff));
    std::size_t beforeStop = 0;
    for (auto t : at) beforeStop += t < stopAsked;
    const double slots = Ms(stopAsked - grid).count() / 10.0;
    EXPECT_NEAR(double(beforeStop), slots, 2.0);
    std::size_t inTen = 0;
    for (auto t : at) inTen += t - grid < 10s;
    std::printf("interval: %zu frames in 10 s, %zu before the stop for %.1f slots, drift %.3f ms over the run\n",
                inTen, beforeStop, slots, endOff - startOff);
}

}  // namespace
