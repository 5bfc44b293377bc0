#include <QCoreApplication>
#include <QThread>
#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <memory>
#include <sys/resource.h>
#include <vector>

#include "platform/guicall.h"
#include "support/streambackend.h"
#include "bus/tmonthread.h"
#include "tusbdev/native/nativedevice.h"
#include "tusbdev/tqueuebuffer.h"
#include "tusbdev/tusbdev.h"

using namespace std::chrono_literals;
using tarvik::AdapterRecord;
using tarvik::TMonThread;
using tarvik::TQueueBuffer;
using testsupport::MakeRecord;
using testsupport::StreamBackend;

namespace {

bool Eventually(const std::function<bool()>& cond, std::chrono::milliseconds t = 5000ms)
{
    return tarvik::WaitServingGuiCalls(cond, t);
}

AdapterRecord PopRecord(TQueueBuffer& q)
{
    AdapterRecord r;
    EXPECT_TRUE(q.Pop(r.bytes.data()));
    return r;
}

class MonThreadTest : public ::testing::Test {
protected:
    MonThreadTest()
    {
        dev.Open();
        host.UsbFailure = [this] {
            onGui = QThread::currentThread() == QCoreApplication::instance()->thread();
            events.push_back("failure");
            mon->Stop();  // what "Go Off Bus" does
            dev.Close();
        };
        host.ShowError = [this](const std::string& m) {
            events.push_back("error:" + m);
        };
        mon = std::make_unique<TMonThread>(dev, host);
    }
    ~MonThreadTest() override { mon.reset(); }

    void RegisterAll()
    {
        mon->SetSlot(1, &normal);
        mon->SetSlot(2, &fixed);
        mon->SetSlot(3, &daq);
    }

    std::shared_ptr<StreamBackend> backend = std::make_shared<StreamBackend>();
    tarvik::TUsbDev dev{0, backend};
    TQueueBuffer normal{20, TQueueBuffer::kDefaultCapacity};
    TQueueBuffer fixed{20, TQueueBuffer::kDefaultCapacity};
    TQueueBuffer daq{20, TQueueBuffer::kDefaultCapacity};
    std::vector<std::string> events;  // touched on the GUI thread only
    std::atomic<bool> onGui{false};
    TMonThread::Host host;
    std::unique_ptr<TMonThread> mon;
};

}  // namespace

TEST_F(MonThreadTest, CreatedSuspendedAndStoppedStatus)
{
    EXPECT_EQ(mon->BusStatus(), 2);
    EXPECT_FALSE(mon->Running());
    backend->Feed(MakeRecord(tarvik::kCanReceived));
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(backend->Pending(), 20u);  // nothing is read before Start
}

TEST_F(MonThreadTest, StartStopAndStatusCodes)
{
    ASSERT_TRUE(mon->Start());
    EXPECT_FALSE(mon->Start());  // already running
    EXPECT_EQ(mon->BusStatus(), 0);
    backend->Feed(MakeRecord(tarvik::kCanStatus, 1));
    ASSERT_TRUE(Eventually([&] { return mon->BusStatus() == 1; }));
    EXPECT_TRUE(mon->Stop());
    ASSERT_TRUE(Eventually([&] { return mon->BusStatus() == 2 && mon->Suspended(); }));
    // Records that arrive while stopped stay with the device until the next period on bus.
    backend->Feed(MakeRecord(tarvik::kLinStatus, 1));
    std::this_thread::sleep_for(30ms);
    EXPECT_EQ(backend->Pending(), 20u);
    dev.Flush();  // as the next go-on-bus does
    ASSERT_TRUE(mon->Start());
    EXPECT_EQ(mon->BusStatus(), 0);
    backend->Feed(MakeRecord(tarvik::kLinStatus, 1));
    ASSERT_TRUE(Eventually([&] { return mon->BusStatus() == 1; }));
}

TEST_F(MonThreadTest, RestartRightAfterStopKeepsRunningWithStatusZero)
{
    ASSERT_TRUE(mon->Start());
    for (int i = 0; i < 200; ++i) {
        mon->Stop();
        std::this_thread::sleep_for(std::chrono::microseconds((i % 5) * 200));
        ASSERT_TRUE(mon->Start());
        backend->Feed(MakeRecord(tarvik::kCanReceived));
        ASSERT_TRUE(Eventually([&] { return mon->RecordsRead() == 1; })) << "round " << i;
        EXPECT_EQ(mon->BusStatus(), 0) << "round " << i;
    }
}

TEST_F(MonThreadTest, ReadsWholeRecordsOnly)
{
    RegisterAll();
    ASSERT_TRUE(mon->Start());
    // 40 bytes: two records.
    std::vector<std::uint8_t> bytes;
    for (int i = 0; i < 2; ++i) {
        const AdapterRecord r = MakeRecord(tarvik::kCanReceived, 8, 0x100 + i, std::uint8_t(i));
        bytes.insert(bytes.end(), r.bytes.begin(), r.bytes.end());
    }
    backend->Feed(bytes.data(), bytes.size());
    ASSERT_TRUE(Eventually([&] { return normal.Count() == 2; }));
    EXPECT_EQ(PopRecord(normal).Identifier(), 0x100u);
    EXPECT_EQ(PopRecord(normal).Identifier(), 0x101u);

    // 30 bytes, then nothing until the read time-out: one record, the partial one is dropped.
    backend->Feed(bytes.data(), 30);
    ASSERT_TRUE(Eventually([&] { return mon->PartialBytesDiscarded() == 10; }));
    EXPECT_EQ(normal.Count(), 1u);
    EXPECT_EQ(mon->RecordsRead(), 3u);
    EXPECT_EQ(PopRecord(normal).Identifier(), 0x100u);
}

TEST_F(MonThreadTest, DispatchesByRecordType)
{
    RegisterAll();
    ASSERT_TRUE(mon->Start());
    backend->Feed(MakeRecord(tarvik::kCanReceived, 0x88, 0x1ABCDEF0, 1));
    backend->Feed(MakeRecord(tarvik::kLinTransmitted, 2, 0x3C, 2));
    backend->Feed(MakeRecord(tarvik::kCanStatus, 1));
    backend->Feed(MakeRecord(0x42));  // unknown type: ignored
    backend->Feed(MakeRecord(tarvik::kCanTransmitted, 2, 0x7FF, 3));
    ASSERT_TRUE(Eventually([&] { return mon->RecordsRead() == 5; }));
    EXPECT_EQ(normal.Count(), 3u);
    EXPECT_EQ(fixed.Count(), 3u);
    EXPECT_EQ(daq.Count(), 2u);  // CAN frames only
    EXPECT_EQ(mon->BusStatus(), 1);
    for (TQueueBuffer* q : {&normal, &fixed}) {
        EXPECT_EQ(PopRecord(*q).Identifier(), 0x1ABCDEF0u);
        const AdapterRecord lin = PopRecord(*q);
        EXPECT_TRUE(lin.IsLin());
        EXPECT_EQ(lin.Data(0), 2);
        EXPECT_EQ(PopRecord(*q).Type(), tarvik::kCanTransmitted);
    }
    const AdapterRecord first = PopRecord(daq);
    EXPECT_EQ(first.bytes, MakeRecord(tarvik::kCanReceived, 0x88, 0x1ABCDEF0, 1).bytes);  // copied whole
    EXPECT_EQ(PopRecord(daq).Identifier(), 0x7FFu);
}

TEST_F(MonThreadTest, WithoutConsumersFramesAreDroppedAndStatusFollows)
{
    ASSERT_TRUE(mon->Start());
    backend->Feed(MakeRecord(tarvik::kCanReceived));
    backend->Feed(MakeRecord(tarvik::kLinStatus, 2));
    ASSERT_TRUE(Eventually([&] { return mon->RecordsRead() == 2; }));
    EXPECT_EQ(mon->BusStatus(), 2);
    EXPECT_TRUE(mon->Running());
    EXPECT_EQ(mon->Dropped(1), 0u);  // no ring: nothing was refused
}

TEST_F(MonThreadTest, BadCheckByteThenStatusZero)
{
    RegisterAll();
    ASSERT_TRUE(mon->Start());
    backend->Feed(MakeRecord(tarvik::kCanReceived, 8, 0x123, 0, /*bad=*/true));
    ASSERT_TRUE(Eventually([&] { return mon->BusStatus() == 3; }));
    EXPECT_EQ(normal.Count() + fixed.Count() + daq.Count(), 0u);
    EXPECT_EQ(mon->BadRecords(), 1u);
    backend->Feed(MakeRecord(tarvik::kCanStatus, 0));
    ASSERT_TRUE(Eventually([&] { return mon->RecordsRead() == 2; }));
    EXPECT_EQ(mon->BusStatus(), 0);
}

TEST_F(MonThreadTest, FullRingLosesRecordsForItsOwnConsumerOnly)
{
    TQueueBuffer small(20, 2);
    mon->SetSlot(1, &normal);
    mon->SetSlot(2, &small);
    ASSERT_TRUE(mon->Start());
    for (int i = 0; i < 5; ++i)
        backend->Feed(MakeRecord(tarvik::kCanReceived, 8, std::uint32_t(i)));
    ASSERT_TRUE(Eventually([&] { return mon->RecordsRead() == 5; }));
    EXPECT_EQ(normal.Count(), 5u);
    EXPECT_EQ(small.Count(), 2u);
    EXPECT_EQ(mon->Dropped(1), 0u);
    EXPECT_EQ(mon->Dropped(2), 3u);
    EXPECT_EQ(mon->Dropped(3), 0u);
    mon->SetSlot(2, nullptr);
    mon->Stop();
    ASSERT_TRUE(Eventually([&] { return mon->Suspended(); }));
    mon->Start();  // counters belong to one period on bus
    EXPECT_EQ(mon->Dropped(2), 0u);
    EXPECT_EQ(mon->RecordsRead(), 0u);
}

TEST_F(MonThreadTest, ReadsAreCappedAtTheReadBuffer)
{
    mon->SetSlot(1, &normal);
    std::vector<std::uint8_t> bytes;
    for (int i = 0; i < 8500; ++i) {
        const AdapterRecord r = MakeRecord(tarvik::kCanReceived, 8, std::uint32_t(i));
        bytes.insert(bytes.end(), r.bytes.begin(), r.bytes.end());
    }
    backend->Feed(bytes.data(), bytes.size());
    ASSERT_TRUE(mon->Start());
    ASSERT_TRUE(Eventually([&] { return mon->RecordsRead() == 8500; }));
    EXPECT_EQ(backend->LargestRead(), tarvik::TNativeDevice::kReadBufferSize);
    ASSERT_EQ(normal.Count(), 8500u);
    for (std::uint32_t i = 0; i < 8500; ++i)
        ASSERT_EQ(PopRecord(normal).Identifier(), i);  // in order, none lost
}

TEST_F(MonThreadTest, UsbFailureGoesOffBusShowsTheErrorOnceAndSuspends)
{
    RegisterAll();
    ASSERT_TRUE(mon->Start());
    backend->FailNext("Read", tarvik::FT_IO_ERROR);
    backend->Feed(MakeRecord(tarvik::kCanReceived));
    ASSERT_TRUE(Eventually([&] { return events.size() == 2 && mon->Suspended(); }));
    EXPECT_EQ(events[0], "failure");
    EXPECT_EQ(events[1], "error:USB Device Error : io error.");
    EXPECT_TRUE(onGui.load());
    EXPECT_EQ(mon->ErrorText(), "USB Device Error : io error.");
    EXPECT_FALSE(mon->Running());
    EXPECT_FALSE(dev.IsOpen());
    EXPECT_EQ(mon->BusStatus(), 2);
    tarvik::WaitServingGuiCalls([] { return false; }, 100ms);
    EXPECT_EQ(events.size(), 2u);  // once

    // The program keeps working: open again, go on bus again.
    ASSERT_TRUE(dev.Open());
    ASSERT_TRUE(mon->Start());
    backend->Feed(MakeRecord(tarvik::kCanReceived));
    ASSERT_TRUE(Eventually([&] { return normal.Count() == 1; }));
}

TEST_F(MonThreadTest, FailureWithoutAWindowStillSuspends)
{
    mon.reset();
    mon = std::make_unique<TMonThread>(dev, TMonThread::Host{});
    ASSERT_TRUE(mon->Start());
    backend->FailNext("GetQueueStatus", tarvik::FT_IO_ERROR);
    ASSERT_TRUE(Eventually([&] { return !mon->Running() && mon->Suspended(); }));
    EXPECT_EQ(mon->ErrorText(), "USB Device Error : io error.");
}

TEST_F(MonThreadTest, ClosedDeviceWhileRunningDoesNotSpin)
{
    ASSERT_TRUE(mon->Start());
    dev.Close();  // GetQueueStatus now answers false
    rusage before{}, after{};
    getrusage(RUSAGE_SELF, &before);
    const auto t0 = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(400ms);
    getrusage(RUSAGE_SELF, &after);
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    auto secs = [](const rusage& r) {
        return r.ru_utime.tv_sec + r.ru_stime.tv_sec + (r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1e6;
    };
    EXPECT_LT(secs(after) - secs(before), 0.5 * wall);  // a spinning loop would take a whole core
    EXPECT_TRUE(mon->Running());
}

// A consumer may free its ring as soon as unregistering returns, even while records flow
// (the sanitizer builds catch a push into a freed ring).
TEST_F(MonThreadTest, UnregisteredRingIsNoLongerTouched)
{
    ASSERT_TRUE(mon->Start());
    std::atomic<bool> stop{false};
    std::thread feeder([&] {
        std::vector<std::uint8_t> burst;
        for (int i = 0; i < 2000; ++i) {
            const AdapterRecord r = MakeRecord(tarvik::kCanReceived, 8, std::uint32_t(i));
            burst.insert(burst.end(), r.bytes.begin(), r.bytes.end());
        }
        while (!stop.load()) {
            backend->Feed(burst.data(), burst.size());
            while (!stop.load() && backend->Pending() > 40000)
                std::this_thread::sleep_for(100us);
        }
    });
    for (int i = 0; i < 300; ++i) {
        auto ring = std::make_unique<TQueueBuffer>(20, 4096);
        mon->SetSlot(3, ring.get());
        std::this_thread::sleep_for(std::chrono::microseconds((i % 4) * 100));
        mon->SetSlot(3, nullptr);
        ring.reset();
    }
    stop = true;
    feeder.join();
    EXPECT_GT(mon->RecordsRead(), 0u);
}
