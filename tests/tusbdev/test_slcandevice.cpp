// The serial-line device over a real pseudo-terminal, with the test playing the adapter:
// exact bytes on the wire, refusals in the native adapter's words, lines turned into records.
#include <gtest/gtest.h>

#include <thread>

#include "scriptedslcan.h"
#include "tusbdev/serial/serialbackend.h"
#include "tusbdev/slcan/slcandevice.h"

using namespace tarvik;
using testsupport::PtyPair;
using testsupport::ScriptedSlcan;
using namespace std::chrono_literals;

namespace {

// Keeps what Receive hands out.
struct Collect : TReceiveSink {
    std::vector<AdapterRecord> records;
    void Begin() override {}
    void Record(const std::uint8_t* r) override { records.push_back(AdapterRecord::From(r)); }
    void BadRecord() override { ADD_FAILURE() << "a built record failed its check"; }
    void End() override {}
};

struct Rig {
    PtyPair pty;
    std::unique_ptr<ScriptedSlcan> adapter;
    std::unique_ptr<TSlcanDevice> dev;
    std::vector<std::string> shown;

    void Start()
    {
        ASSERT_TRUE(pty.Ok());
        adapter = std::make_unique<ScriptedSlcan>(pty);
        dev = std::make_unique<TSlcanDevice>(std::make_shared<TSerialBackend>(pty.SlavePath()));
        dev->SetBaudRate(3'000'000);
        dev->SetErrorPresenter([this](const std::string& m) { shown.push_back(m); });
        ASSERT_TRUE(dev->Open()) << (shown.empty() ? "" : shown.back());
    }
    ~Rig()
    {
        if (dev) dev->Close();
    }

    bool GoOnBus(int speed, int driverMode = 0, std::uint32_t stdMask = 0, std::uint32_t stdCode = 0)
    {
        OnBusConfig c;
        c.canSpeed = speed;
        c.samplingPoint = 4;
        c.driverMode = driverMode;
        c.stdMask = stdMask;
        c.stdCode = stdCode;
        return dev->GoOnBus(c);
    }
    // Every record (status ones too) that arrives within `span`, or the first n.
    std::vector<AdapterRecord> Records(std::size_t n, std::chrono::milliseconds span)
    {
        Collect sink;
        const auto end = std::chrono::steady_clock::now() + span;
        while (sink.records.size() < n && std::chrono::steady_clock::now() < end) dev->Receive(sink, 50);
        return sink.records;
    }
    std::vector<AdapterRecord> Frames(std::size_t n, std::chrono::milliseconds span = 2s)
    {
        std::vector<AdapterRecord> out;
        const auto end = std::chrono::steady_clock::now() + span;
        while (out.size() < n && std::chrono::steady_clock::now() < end)
            for (const auto& r : Records(1, 50ms))
                if (!r.IsStatus()) out.push_back(r);
        return out;
    }
};

const std::uint8_t kData[8] = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88};

TEST(SlcanDevice, GoOnAndOffBusWriteTheseBytes)
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
        ASSERT_TRUE(rig.dev->GoOffBus());
        ASSERT_TRUE(rig.adapter->WaitLines(1));
        EXPECT_EQ(rig.adapter->Wire(), "C\r");
    }
}

TEST(SlcanDevice, WhatTheAdapterCannotDoIsTheNativeRefusal)
{
    Rig rig;
    ASSERT_NO_FATAL_FAILURE(rig.Start());
    OnBusConfig lin;
    lin.monitorFunction = 1;
    EXPECT_FALSE(rig.dev->GoOnBus(lin));
    EXPECT_EQ(rig.dev->Problem(), "The adapter answered M with 0x15 instead of ACK");
    for (int speed : {3, 6, 7, 8, 9, 11, 15}) {
        EXPECT_FALSE(rig.GoOnBus(speed)) << speed;
        EXPECT_EQ(rig.dev->Problem(), "The adapter answered B with 0x15 instead of ACK");
    }
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(rig.adapter->Wire(), "") << "a refused speed reached the adapter";
    EXPECT_FALSE(rig.dev->SendLinFrame(LinFrame{}));

    // The adapter itself refuses the speed with BEL.
    rig.adapter->SetResponder([](const std::string&) { return std::string("\a"); });
    EXPECT_FALSE(rig.GoOnBus(1));
    EXPECT_EQ(rig.dev->Problem(), "The adapter answered B with 0x15 instead of ACK");
    // Transmits are not sent while the go-on-bus failed.
    EXPECT_FALSE(rig.dev->Transmit(TBusFrame::Classic(0x123, false, 2, kData)));
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(rig.adapter->Wire().find('t'), std::string::npos);

    // An adapter that stays silent, or that takes the speed but does not open the channel.
    rig.adapter->SetResponder([](const std::string&) { return std::string(); });
    EXPECT_FALSE(rig.GoOnBus(1));
    EXPECT_EQ(rig.dev->Problem(), "No answer from the adapter to B within 5 s");
    rig.adapter->SetResponder([](const std::string& l) { return l[0] == 'O' ? std::string() : std::string("\r"); });
    EXPECT_FALSE(rig.GoOnBus(1));
    EXPECT_EQ(rig.dev->Problem(), "No answer from the adapter to O within 5 s") << rig.adapter->Wire();
    EXPECT_FALSE(rig.dev->Transmit(TBusFrame::Classic(0x123, false, 2, kData))) << "on bus after all";
    rig.adapter->SetResponder([](const std::string& l) { return l[0] == 'L' ? std::string("\a") : std::string("\r"); });
    EXPECT_FALSE(rig.GoOnBus(1, 1));
    EXPECT_EQ(rig.dev->Problem(), "The adapter answered L with 0x15 instead of ACK");
}

TEST(SlcanDevice, TransmitWritesOneLineAndReportsItOnceAccepted)
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
        const bool accepted = rig.dev->Transmit(TBusFrame::Classic(c.id, c.extended == 1, c.length, kData));
        EXPECT_EQ(accepted, c.wire != nullptr);
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
    EXPECT_EQ(rig.dev->Losses().refused, 2u);

    // A remote frame goes out as r/R and comes back as a transmitted remote record.
    rig.adapter->Clear();
    TBusFrame remote = TBusFrame::Classic(0x321, false, 4, kData);
    remote.remote = true;
    ASSERT_TRUE(rig.dev->Transmit(remote));
    ASSERT_TRUE(rig.adapter->WaitLines(1));
    EXPECT_EQ(rig.adapter->Wire(), "r3214\r");
    const auto remoteEcho = rig.Frames(1);
    ASSERT_EQ(remoteEcho.size(), 1u);
    EXPECT_EQ(remoteEcho[0].Identifier(), 0x321u | kRemoteFlag);
    EXPECT_EQ(remoteEcho[0].Data(0), 0);

    // A frame the adapter refuses is not shown as sent; neither is a CAN FD frame.
    rig.adapter->SetResponder([](const std::string& l) { return l[0] == 't' ? std::string("\a") : ScriptedSlcan::Accepting(l); });
    ASSERT_TRUE(rig.dev->Transmit(TBusFrame::Classic(0x123, false, 2, kData)));
    EXPECT_TRUE(rig.Frames(1, 300ms).empty());
    EXPECT_EQ(rig.dev->Losses().refused, 3u);
    TBusFrame fd = TBusFrame::Classic(0x123, false, 2, kData);
    fd.fd = true;
    EXPECT_FALSE(rig.dev->Transmit(fd));
    EXPECT_EQ(rig.dev->Losses().refused, 4u);
}

TEST(SlcanDevice, LinesFromTheAdapterBecomeRecordsAndBadOnesAreDropped)
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
    EXPECT_EQ(recs[1].Identifier(), 0x123u | kRemoteFlag);  // the remote frame: its length, no data
    EXPECT_EQ(recs[1].Length(), 2);
    EXPECT_EQ(recs[1].Data(0), 0);
    EXPECT_TRUE(recs[2].Extended());
    EXPECT_EQ(recs[2].Length(), 8);
    EXPECT_EQ(recs[3].Identifier(), 0x1ABCDEFu);
    EXPECT_EQ(recs[3].Data(7), 0x88);
    EXPECT_GE(recs[3].TimeStamp(), recs[0].TimeStamp());
    EXPECT_EQ(rig.dev->Losses().badLines, 2u);
    EXPECT_EQ(rig.dev->GetCounters().filtered, 1u);
}

TEST(SlcanDevice, AdapterTimeStampsAreUsedAcrossTheirWrap)
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

TEST(SlcanDevice, StatusFlagsBecomeTheBusStatus)
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
            for (const auto& r : rig.Records(1, 50ms))
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

TEST(SlcanDevice, AnAdapterThatGoesAwayFailsTheNextReceive)
{
    Rig rig;
    ASSERT_NO_FATAL_FAILURE(rig.Start());
    ASSERT_TRUE(rig.GoOnBus(1));
    ASSERT_TRUE(rig.adapter->WaitLines(3));
    rig.adapter->Push("t1000\rt1010\rt1020\r");
    std::this_thread::sleep_for(200ms);  // read by the device, not yet taken
    rig.adapter.reset();
    rig.pty.CloseMaster();
    std::string error;
    Collect sink;
    for (int i = 0; i < 200 && error.empty(); ++i) {
        try {
            rig.dev->Receive(sink, 20);
        } catch (const TUsbError& e) {
            error = e.what();
        }
    }
    EXPECT_EQ(error.rfind(kUsbErrorPrefix, 0), 0u) << error;
    EXPECT_FALSE(rig.dev->IsOpen());
    int frames = 0;
    for (const auto& r : sink.records) frames += r.IsCan();
    EXPECT_EQ(frames, 3) << "frames read before the adapter went were lost";
}

// The receive thread sleeps in Receive; a frame or a cancel must end the sleep at once.
TEST(SlcanDevice, ReceiveEndsWhenRecordsArriveOrOnCancel)
{
    Rig rig;
    ASSERT_NO_FATAL_FAILURE(rig.Start());
    ASSERT_TRUE(rig.GoOnBus(1));
    ASSERT_TRUE(rig.adapter->WaitLines(3));
    Collect sink;
    const auto waitFor = [&](std::uint32_t ms) {
        sink.records.clear();
        const auto t0 = std::chrono::steady_clock::now();
        EXPECT_TRUE(rig.dev->Receive(sink, ms));
        return std::chrono::steady_clock::now() - t0;
    };
    std::thread push([&] {
        std::this_thread::sleep_for(100ms);
        rig.adapter->Push("t12321122\r");
    });
    EXPECT_LT(waitFor(3000), 1500ms);
    push.join();
    EXPECT_GE(sink.records.size(), 1u);

    std::thread cancel([&] {
        std::this_thread::sleep_for(100ms);
        rig.dev->CancelWait();
    });
    const auto cancelled = waitFor(3000);
    EXPECT_LT(cancelled, 1500ms);
    EXPECT_GE(cancelled, 90ms) << "the wait ended before the cancel";
    cancel.join();
    rig.dev->CancelWait();  // before the wait: the next one ends at once
    EXPECT_LT(waitFor(3000), 500ms);
    EXPECT_GE(waitFor(200), 150ms) << "a cancel ends one wait only";
}

// 0x100 every 10 ms for 10 s, measured where the adapter receives it. A busy machine may
// deliver a frame late, but the lateness must not build up over the run.
TEST(SlcanDevice, IntervalSendKeepsItsRateWithoutDrift)
{
    Rig rig;
    ASSERT_NO_FATAL_FAILURE(rig.Start());
    ASSERT_TRUE(rig.GoOnBus(1));
    ASSERT_TRUE(rig.adapter->WaitLines(3));
    rig.adapter->Clear();
    ASSERT_TRUE(rig.dev->StartPeriodic(TBusFrame::Classic(0x100, false, 8, kData), 10));
    auto sent = [&] {
        std::vector<ScriptedSlcan::Clock::time_point> at;
        for (const auto& l : rig.adapter->Lines())
            if (l.text.rfind("t1008", 0) == 0) at.push_back(l.at);
        return at;
    };
    // Until 1000 frames have arrived (10 s on time), however long a loaded machine takes.
    const auto deadline = ScriptedSlcan::Clock::now() + 60s;
    while (sent().size() < 1000 && ScriptedSlcan::Clock::now() < deadline)
        std::this_thread::sleep_for(50ms);
    const auto stopAsked = ScriptedSlcan::Clock::now();
    ASSERT_TRUE(rig.dev->StopPeriodic());
    const std::vector<ScriptedSlcan::Clock::time_point> at = sent();
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
    // Sending each frame 10 ms after the last one was sent drifts by the timer's overshoot
    // every frame, 50 ms or more over 1000 frames; a held grid stays within a few ms even
    // when a loaded machine delays whole stretches.
    EXPECT_NEAR(endOff, startOff, 10.0) << "the schedule drifted over the run";
    // Every slot up to the stop is sent once: short stalls are made up, not dropped.
    const auto grid = at.front() + std::chrono::duration_cast<ScriptedSlcan::Clock::duration>(Ms(startOff));
    std::size_t beforeStop = 0;
    for (auto t : at) beforeStop += t < stopAsked;
    const double slots = Ms(stopAsked - grid).count() / 10.0;
    EXPECT_NEAR(double(beforeStop), slots, 5.0);
    std::size_t inTen = 0;
    for (auto t : at) inTen += t - grid < 10s;
    std::printf("interval: %zu frames in 10 s, %zu before the stop for %.1f slots, drift %.3f ms over the run\n",
                inTen, beforeStop, slots, endOff - startOff);
}

}  // namespace

TEST(SlcanDevice, OffBusThenStraightOnAgainIsNotAnsweredByTheOldReply)
{
    // As real adapters do: BEL to a C while closed, and a little time before each answer,
    // so the off-bus C is still owed its reply when the next go-on-bus begins.
    Rig rig;
    ASSERT_NO_FATAL_FAILURE(rig.Start());
    std::atomic<bool> open{false};
    rig.adapter->SetResponder([&open](const std::string& l) {
        std::this_thread::sleep_for(20ms);
        if (l == "C") return std::string(open.exchange(false) ? "\r" : "\a");
        if (l == "O" || l == "L") open = true;
        return ScriptedSlcan::Accepting(l);
    });
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        ASSERT_TRUE(rig.GoOnBus(1)) << rig.dev->Problem();
        ASSERT_TRUE(rig.dev->Transmit(TBusFrame::Classic(0x123, false, 2, kData)));
        ASSERT_TRUE(rig.dev->GoOffBus());
    }
    // The last session's transmit is not reported into the next one.
    ASSERT_TRUE(rig.GoOnBus(1)) << rig.dev->Problem();
    EXPECT_TRUE(rig.Frames(1, 300ms).empty());
}
