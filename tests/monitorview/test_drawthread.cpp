#include <QCoreApplication>
#include <QThread>
#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <memory>

#include "platform/guicall.h"
#include "monitorview/tdrawthread.h"
#include "platform/tmmtimer.h"

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using tarvik::TDrawThread;
using tarvik::TMmTimer;

namespace {

bool Eventually(const std::function<bool()>& cond, std::chrono::milliseconds t = 5000ms)
{
    return tarvik::WaitServingGuiCalls(cond, t);
}

// Serves GUI calls for d, whatever happens.
void ServeFor(std::chrono::milliseconds d) { tarvik::WaitServingGuiCalls([] { return false; }, d); }

}  // namespace

TEST(MmTimer, CountsMillisecondsAndWrapsAt32Bits)
{
    TMmTimer t(0xFFFFFFF0u);
    const std::uint32_t first = t.Count();
    std::this_thread::sleep_for(40ms);
    const std::uint32_t later = t.Count();
    EXPECT_LT(later, 0x1000u);               // wrapped past zero
    EXPECT_GE(std::uint32_t(later - first), 40u);  // the unsigned difference still measures time
    EXPECT_LT(std::uint32_t(later - first), 5000u);
}

TEST(DrawThread, FiresOneIntervalAfterACounterJustBelowTheWrap)
{
    TMmTimer timer(0xFFFFFFFFu - 15);  // 16 below the wrap
    std::atomic<bool> onGui{false};
    std::atomic<int> refreshes{0};
    QThread* gui = QCoreApplication::instance()->thread();
    const auto t0 = Clock::now();
    Clock::time_point fired;
    TDrawThread draw(
        [&] {
            if (refreshes.load() == 0)
                fired = Clock::now();
            onGui = QThread::currentThread() == gui;
            ++refreshes;
        },
        100, timer);
    draw.Dirty = true;
    ASSERT_TRUE(Eventually([&] { return refreshes.load() > 0; }));
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(fired - t0).count();
    EXPECT_GE(ms, 90);    // not at once: the wrap does not look like a long wait
    EXPECT_LT(ms, 2000);  // and not never
    EXPECT_TRUE(onGui.load());
    EXPECT_FALSE(draw.Dirty.load());
}

TEST(DrawThread, RepaintsOnlyWhenDirtyAndAtMostOncePerInterval)
{
    TMmTimer timer;
    std::atomic<int> refreshes{0};
    TDrawThread draw([&] { ++refreshes; }, 100, timer);
    ServeFor(350ms);
    EXPECT_EQ(refreshes.load(), 0);

    // A log thread that stores records all the time.
    std::atomic<bool> stop{false};
    std::thread producer([&] {
        while (!stop.load()) {
            draw.Dirty = true;
            std::this_thread::sleep_for(1ms);
        }
    });
    const auto t0 = Clock::now();
    ServeFor(600ms);
    stop = true;
    producer.join();
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t0).count();
    EXPECT_GE(refreshes.load(), 3);
    EXPECT_LE(refreshes.load(), ms / 100 + 2);
}

TEST(DrawThread, RecordsStoredDuringARepaintAreShownAtTheNextOne)
{
    TMmTimer timer;
    std::atomic<int> refreshes{0};
    std::unique_ptr<TDrawThread> draw;
    draw = std::make_unique<TDrawThread>(
        [&] {
            if (++refreshes == 1)
                draw->Dirty = true;  // the log thread stored a record while this repaint ran
        },
        50, timer);
    draw->Dirty = true;
    EXPECT_TRUE(Eventually([&] { return refreshes.load() >= 2; }, 3000ms));
    draw.reset();
}

TEST(DrawThread, RefreshNowFromTheGuiThreadRunsInline)
{
    TMmTimer timer;
    int refreshes = 0;
    TDrawThread draw([&] { ++refreshes; }, 100000, timer);
    draw.Dirty = true;
    draw.RefreshNow();
    EXPECT_EQ(refreshes, 1);
    EXPECT_FALSE(draw.Dirty.load());
    // Paused is the log thread's business: a repaint asked for still happens.
    draw.Paused = true;
    draw.Dirty = true;
    draw.RefreshNow();
    EXPECT_EQ(refreshes, 2);
    EXPECT_FALSE(draw.Dirty.load());
}

TEST(DrawThread, DestroyedWhileItsRepaintWaitsForTheGuiThread)
{
    TMmTimer timer;
    std::atomic<int> refreshes{0};
    auto draw = std::make_unique<TDrawThread>([&] { ++refreshes; }, 10, timer);
    draw->Dirty = true;
    std::this_thread::sleep_for(100ms);  // not serving: the repaint call is stuck in the queue
    EXPECT_EQ(refreshes.load(), 0);
    const auto t0 = Clock::now();
    draw.reset();  // must serve the pending repaint rather than deadlock
    EXPECT_EQ(refreshes.load(), 1);
    EXPECT_LT(Clock::now() - t0, 5s);
}
