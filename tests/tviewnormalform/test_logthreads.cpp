// Both monitor workers against a real ring, draw thread and GUI-thread refresh.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "support/threadguard.h"
#include "platform/guicall.h"
#include "subfuncs/subfuncs.h"
#include "tviewfixedform/tfixedlogthread.h"
#include "tviewnormalform/monitorframes.h"
#include "tviewnormalform/tnormallogthread.h"

using namespace tarvik;
using namespace monitortest;
using namespace std::chrono_literals;

namespace {

struct Rig {
    TMmTimer ticks;
    TQueueBuffer ring{20, TQueueBuffer::kDefaultCapacity};
    std::atomic<int> refreshes{0};
    std::function<void()> refresh = [this] {
        EXPECT_TRUE(IsGuiThread());
        ++refreshes;
    };
};

}  // namespace

TEST(NormalLogThread, StoresEveryRecordInOrderAndRepaints)
{
    Rig rig;
    TNormalLogThread log(rig.refresh, rig.ticks, rig.ring);
    std::string expected;
    for (std::uint32_t i = 0; i < 5000; ++i) {
        ASSERT_TRUE(rig.ring.Push(Frame(i & 0x7FF, i).bytes.data()));
        expected += FrameToText(Frame(i & 0x7FF, i)) + "\r\n";
    }
    ASSERT_TRUE(WaitUntil([&] { return log.Count() == 5000; }));
    EXPECT_EQ(log.GetAllText(), expected);
    EXPECT_EQ(log.Drained(), 5000u);
    // The draw thread repaints on the GUI thread within its period.
    EXPECT_TRUE(WaitUntil([&] { return rig.refreshes > 0; }));
    EXPECT_TRUE(WaitUntil([&] { return !log.DrawThread().Dirty.load(); }));
}

TEST(NormalLogThread, CountsOverwrittenRecords)
{
    Rig rig;
    TNormalLogThread log(rig.refresh, rig.ticks, rig.ring, 100, 100);
    for (std::uint32_t i = 0; i < 150; ++i)
        ASSERT_TRUE(rig.ring.Push(Frame(i, i).bytes.data()));
    ASSERT_TRUE(WaitUntil([&] { return log.Drained() == 150; }));
    EXPECT_EQ(log.Count(), 100);
    EXPECT_EQ(log.History().Overwritten(), 50u);
    EXPECT_EQ(log.GetLine(0), FrameToText(Frame(50, 50)));
}

TEST(NormalLogThread, ClearDiscardsRecordsArrivingDuringIt)
{
    Rig rig;
    TNormalLogThread log(rig.refresh, rig.ticks, rig.ring);
    for (std::uint32_t i = 0; i < 100; ++i)
        rig.ring.Push(Frame(i).bytes.data());
    ASSERT_TRUE(WaitUntil([&] { return log.Count() == 100; }));

    // A record that reaches the ring while the clear is being carried out must not survive it.
    std::atomic<bool> pushedLate{false};
    std::thread producer([&] {
        while (!log.ClearPending())
            std::this_thread::yield();
        std::this_thread::sleep_for(20ms);
        rig.ring.Push(Frame(0x7AA).bytes.data());
        pushedLate = true;
    });
    const int before = rig.refreshes;
    const bool cleared = log.RequestClear();
    producer.join();
    // On a badly overloaded machine the wait may give up first; the clear still happens.
    if (!cleared)
        ASSERT_TRUE(WaitUntil([&] { return !log.ClearPending(); }));
    else
        EXPECT_GT(rig.refreshes.load(), before);  // repainted empty at once
    EXPECT_TRUE(pushedLate);
    EXPECT_EQ(log.Count(), 0);
    EXPECT_EQ(log.GetAllText(), "");
    EXPECT_EQ(rig.ring.Count(), 0u);

    rig.ring.Push(Frame(0x155).bytes.data());
    ASSERT_TRUE(WaitUntil([&] { return log.Count() == 1; }));
    EXPECT_EQ(log.GetLine(0), FrameToText(Frame(0x155)));
}

TEST(NormalLogThread, PauseFlagLivesInTheDrawThread)
{
    Rig rig;
    TNormalLogThread log(rig.refresh, rig.ticks, rig.ring);
    EXPECT_FALSE(log.IsPaused());
    log.SetPaused(true);
    EXPECT_TRUE(log.DrawThread().Paused.load());
    // Paused windows still store records.
    rig.ring.Push(Frame(1).bytes.data());
    EXPECT_TRUE(WaitUntil([&] { return log.Count() == 1; }));
}

TEST(NormalLogThread, StopsWhileRecordsKeepArriving)
{
    Rig rig;
    std::atomic<bool> stop{false};
    testsupport::Background producer([&] {
        std::uint32_t i = 0;
        while (!stop)
            rig.ring.Push(Frame(i++ & 0x7FF).bytes.data());
    }, [&] { stop = true; });
    {
        TNormalLogThread log(rig.refresh, rig.ticks, rig.ring);
        ASSERT_TRUE(WaitUntil([&] { return log.Count() > 1000; }));
    }  // the destructor must return although the ring never empties
    stop = true;
    producer.Join();
}

TEST(FixedLogThread, KeepsTheLatestLinePerIdentifier)
{
    Rig rig;
    TFixedLogThread log(rig.refresh, rig.ticks, rig.ring);
    for (std::uint32_t id : {0x200u, 0x100u, 0x300u})
        rig.ring.Push(Frame(id).bytes.data());
    rig.ring.Push(Frame(0x100, 77, false, true).bytes.data());
    ASSERT_TRUE(WaitUntil([&] { return log.Drained() == 4; }));
    EXPECT_EQ(log.GetAllText(), FrameToText(Frame(0x100, 77, false, true)) + "\r\n" + FrameToText(Frame(0x200)) + "\r\n" +
                                    FrameToText(Frame(0x300)) + "\r\n");
    EXPECT_TRUE(WaitUntil([&] { return rig.refreshes > 0; }));

    const int before = rig.refreshes;
    log.ClearTable();
    EXPECT_EQ(log.SlotCount(), 0);
    EXPECT_EQ(log.GetAllText(), "");
    EXPECT_GT(rig.refreshes.load(), before);
}

// A quiet ring costs its worker a few wake-ups a second, yet the first record after the
// quiet spell wakes it at once; ending the worker does not wait out its sleep.
TEST(NormalLogThread, SleepsOnAQuietRingAndWakesForTheFirstRecord)
{
    Rig rig;
    auto log = std::make_unique<TNormalLogThread>(rig.refresh, rig.ticks, rig.ring);
    std::this_thread::sleep_for(300ms);  // past the short polls of a flowing stream
    // A 1 ms poll would wake a thousand times a second.
    EXPECT_LT(testsupport::QuietestSecond([&] { return log->CpuTime(); }, 3ms), 3ms);

    const auto t0 = std::chrono::steady_clock::now();
    ASSERT_TRUE(rig.ring.Push(Frame(1, 1).bytes.data()));
    ASSERT_TRUE(WaitUntil([&] { return log->Count() == 1; }));
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 50ms);

    std::this_thread::sleep_for(300ms);
    const auto t1 = std::chrono::steady_clock::now();
    log.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - t1, 50ms);
}
