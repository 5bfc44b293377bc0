// The session's own rules over a device the test scripts: what it sends only on bus, how
// it adds up losses, and that a new device keeps the consumers' rings.
#include <gtest/gtest.h>

#include <chrono>
#include <deque>
#include <mutex>
#include <thread>

#include "bus/tbussession.h"
#include "tusbdev/tqueuebuffer.h"

using namespace tarvik;
using namespace std::chrono_literals;

namespace {

class ScriptedDevice : public TBusDevice {
public:
    const char* Kind() const override { return "scripted"; }
    void SetErrorPresenter(ErrorPresenter) override {}
    void SetMessagePump(MessagePump) override {}
    bool DeviceCount(std::uint32_t* n) override
    {
        *n = 1;
        return true;
    }
    bool Open() override { return open = true; }
    bool Close() override
    {
        open = false;
        return true;
    }
    bool IsOpen() const override { return open; }
    std::string LastOpenError() const override { return {}; }
    bool GoOnBus(const OnBusConfig&) override
    {
        if (refuse) SetProblem("refused");
        return !refuse;
    }
    bool GoOffBus() override { return ++offBus, true; }
    bool Clear(bool onBus) override { return clearedOnBus = onBus, true; }
    bool Transmit(const TBusFrame& f) override { return sent.push_back(f.id), true; }
    bool StartPeriodic(const TBusFrame& f, std::uint32_t) override { return sent.push_back(f.id), true; }
    bool StopPeriodic() override { return true; }
    bool SendLinFrame(const LinFrame& f) override { return sent.push_back(f.id), true; }
    bool StopLinSlave() override { return true; }
    bool Receive(TReceiveSink& sink, std::uint32_t) override
    {
        std::deque<AdapterRecord> batch;
        {
            std::lock_guard<std::mutex> g(mu);
            batch.swap(queued);
        }
        if (batch.empty()) {
            std::this_thread::sleep_for(1ms);
            return true;
        }
        sink.Begin();
        for (const auto& r : batch)
            if (r.WellFormed())
                sink.Record(r.bytes.data());
            else
                sink.BadRecord();
        sink.End();
        return true;
    }
    void CancelWait() override {}
    TDeviceLosses Losses() const override { return losses; }
    void ResetLosses() override { losses = {}; }

    void Queue(AdapterRecord r)
    {
        std::lock_guard<std::mutex> g(mu);
        queued.push_back(r);
    }

    bool open = false, refuse = false, clearedOnBus = false;
    int offBus = 0;
    std::vector<std::uint32_t> sent;
    TDeviceLosses losses;
    std::mutex mu;
    std::deque<AdapterRecord> queued;
};

bool WaitFor(const std::function<bool()>& done)
{
    const auto end = std::chrono::steady_clock::now() + 5s;
    while (!done() && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(1ms);
    return done();
}

TEST(BusSession, SendsOnlyOnBusAndStartsReceptionOnlyWhenTheDeviceAccepted)
{
    auto dev = std::make_shared<ScriptedDevice>();
    TBusSession s(dev);
    ASSERT_TRUE(s.Open());
    const TBusFrame f = TBusFrame::Classic(0x123, false, 1, nullptr);
    EXPECT_FALSE(s.Transmit(f));
    EXPECT_FALSE(s.StartPeriodic(f, 10));
    EXPECT_FALSE(s.SendLinFrame(LinFrame{}));
    dev->refuse = true;
    EXPECT_FALSE(s.GoOnBus(OnBusConfig{}));
    EXPECT_FALSE(s.OnBus());
    EXPECT_EQ(s.Problem(), "refused");
    EXPECT_TRUE(dev->sent.empty());

    dev->refuse = false;
    ASSERT_TRUE(s.GoOnBus(OnBusConfig{}));
    EXPECT_TRUE(s.OnBus());
    EXPECT_TRUE(s.Transmit(f));
    EXPECT_TRUE(s.Clear());
    EXPECT_TRUE(dev->clearedOnBus);
    EXPECT_TRUE(s.GoOffBus());
    EXPECT_FALSE(s.OnBus());
    EXPECT_EQ(dev->offBus, 1);
    EXPECT_FALSE(s.Transmit(f));
    EXPECT_EQ(dev->sent, std::vector<std::uint32_t>{0x123});
}

TEST(BusSession, LossesAddTheRingsTheChecksAndTheDevice)
{
    auto dev = std::make_shared<ScriptedDevice>();
    TBusSession s(dev);
    TQueueBuffer small(20, 2);
    s.SetSlot(1, &small);
    ASSERT_TRUE(s.Open());
    ASSERT_TRUE(s.GoOnBus(OnBusConfig{}));
    for (int i = 0; i < 5; ++i) dev->Queue(AdapterRecord::Can(0x100 + i, false, 0).SetCheck(1));
    dev->Queue(AdapterRecord::Can(0x200, false, 0).SetCheck(1, 2));
    dev->Queue(AdapterRecord::Status(kCanStatus, 1).SetCheck(1));
    ASSERT_TRUE(WaitFor([&] { return s.RecordsRead() == 7; }));
    dev->losses.badLines = 4;
    dev->losses.overflowed = 1;
    dev->losses.partialBytes = 7;
    dev->losses.skippedBytes = 3;
    dev->losses.leftOut = 2;
    const TSessionLosses l = s.Losses(1);
    EXPECT_EQ(l.dropped, 3u) << "a ring of two kept two of five";
    EXPECT_EQ(l.badRecords, 1u);
    EXPECT_EQ(l.deviceLost, 5u);
    EXPECT_EQ(l.partialBytes, 10u);
    EXPECT_EQ(l.leftOut, 2u);
    EXPECT_EQ(l.Records(), 9u);
    EXPECT_EQ(s.BusStatus(), 1);
    EXPECT_TRUE(s.GoOffBus());
    s.SetSlot(1, nullptr);
}

TEST(BusSession, ANewDeviceKeepsTheConsumersRings)
{
    auto first = std::make_shared<ScriptedDevice>();
    auto second = std::make_shared<ScriptedDevice>();
    TBusSession s(first);
    TQueueBuffer ring(20, 16);
    s.SetSlot(2, &ring);
    s.SetDevice(second);
    EXPECT_EQ(&s.Device(), second.get());
    ASSERT_TRUE(s.Open());
    EXPECT_TRUE(second->open);
    EXPECT_FALSE(first->open);
    ASSERT_TRUE(s.GoOnBus(OnBusConfig{}));
    second->Queue(AdapterRecord::Can(0x321, false, 0).SetCheck(5));
    ASSERT_TRUE(WaitFor([&] { return ring.Count() == 1; }));
    EXPECT_TRUE(s.GoOffBus());
    s.SetSlot(2, nullptr);
}

}  // namespace
