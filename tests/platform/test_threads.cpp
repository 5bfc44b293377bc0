#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <stdexcept>

#include "platform/guicall.h"
#include "platform/tthread.h"

using namespace std::chrono_literals;
using tarvik::TThread;

namespace {

// Waits (serving GUI calls) until cond holds or 5 s pass.
bool Eventually(const std::function<bool()>& cond) { return tarvik::WaitServingGuiCalls(cond, 5000ms); }

// A worker shaped like the receive thread: runs while `running`, parks otherwise.
class TLoopThread : public TThread {
public:
    ~TLoopThread() override { TerminateAndWait(); }
    std::atomic<bool> running{false};
    std::atomic<int> executions{0};
    std::atomic<long> passes{0};

protected:
    void Execute() override
    {
        ++executions;
        while (!Terminated()) {
            if (!running.load()) {
                SuspendSelf();
                continue;
            }
            ++passes;
            SleepFor(1ms);
        }
    }
};

class TCallingThread : public TThread {
public:
    explicit TCallingThread(std::function<void()> body) : body_(std::move(body)) {}
    ~TCallingThread() override { TerminateAndWait(); }

protected:
    void Execute() override { body_(); }

private:
    std::function<void()> body_;
};

}  // namespace

TEST(ThreadBase, CreatedSuspendedAndStartedByResume)
{
    TLoopThread t;
    std::this_thread::sleep_for(30ms);
    EXPECT_EQ(t.executions.load(), 0);
    EXPECT_TRUE(t.Suspended());
    EXPECT_FALSE(t.Started());
    t.running = true;
    t.Resume();
    ASSERT_TRUE(Eventually([&] { return t.passes.load() > 3; }));
    EXPECT_EQ(t.executions.load(), 1);
}

TEST(ThreadBase, SuspendsItselfAndResumes)
{
    TLoopThread t;
    t.running = true;
    t.Resume();
    ASSERT_TRUE(Eventually([&] { return t.passes.load() > 0; }));
    t.running = false;
    ASSERT_TRUE(Eventually([&] { return t.Suspended(); }));
    const long parked = t.passes.load();
    std::this_thread::sleep_for(30ms);
    EXPECT_EQ(t.passes.load(), parked);  // a parked thread does no work
    t.running = true;
    t.Resume();
    ASSERT_TRUE(Eventually([&] { return t.passes.load() > parked + 3; }));
}

TEST(ThreadBase, ResumeJustBeforeTheWorkerParksIsNotLost)
{
    TLoopThread t;
    t.running = true;
    t.Resume();
    for (int i = 0; i < 300; ++i) {
        const long before = t.passes.load();
        t.running = false;  // the worker may be anywhere between its check and parking
        std::this_thread::sleep_for(std::chrono::microseconds((i % 7) * 150));
        t.running = true;
        t.Resume();
        ASSERT_TRUE(Eventually([&] { return t.passes.load() > before; })) << "round " << i;
    }
}

TEST(ThreadBase, TerminateWakesAParkedThreadAndWaitForReturns)
{
    TLoopThread t;
    t.Resume();  // starts, finds running false, parks
    ASSERT_TRUE(Eventually([&] { return t.Started() && t.Suspended(); }));
    t.Terminate();
    t.WaitFor();
    EXPECT_TRUE(t.Finished());

    TLoopThread never;
    never.WaitFor();  // never started: nothing to wait for
    EXPECT_FALSE(never.Finished());
}

TEST(GuiCall, RunsOnTheGuiThreadBeforeTheCallerGoesOn)
{
    QThread* gui = QCoreApplication::instance()->thread();
    std::atomic<bool> onGui{false};
    int value = 0;  // plain: SyncGuiCall orders the two threads' accesses
    std::atomic<int> seenAfter{0};
    TCallingThread w([&] {
        EXPECT_FALSE(tarvik::IsGuiThread());
        tarvik::SyncGuiCall([&] {
            onGui = QThread::currentThread() == gui;
            value = 42;
        });
        seenAfter = value;
    });
    w.Resume();
    w.WaitFor();
    EXPECT_TRUE(onGui.load());
    EXPECT_EQ(seenAfter.load(), 42);
}

TEST(GuiCall, InlineOnTheGuiThreadAndExceptionsReachTheCaller)
{
    bool ran = false;
    EXPECT_TRUE(tarvik::SyncGuiCall([&] { ran = true; }));
    EXPECT_TRUE(ran);

    std::atomic<bool> caught{false};
    TCallingThread w([&] {
        try {
            tarvik::SyncGuiCall([] { throw std::runtime_error("boom"); });
        } catch (const std::runtime_error& e) {
            caught = std::string(e.what()) == "boom";
        }
    });
    w.Resume();
    w.WaitFor();
    EXPECT_TRUE(caught.load());
}

TEST(GuiCall, ServedByTheEventLoop)
{
    std::atomic<int> calls{0};
    TCallingThread w([&] {
        for (int i = 0; i < 20; ++i)
            tarvik::SyncGuiCall([&] { ++calls; });
    });
    w.Resume();
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (w.Finished())
            loop.quit();
    });
    poll.start(5);
    QTimer::singleShot(5000, &loop, &QEventLoop::quit);
    loop.exec();
    EXPECT_TRUE(w.Finished());
    EXPECT_EQ(calls.load(), 20);
}

// Shutdown: the GUI thread waits for a worker that is itself waiting for the GUI thread.
TEST(GuiCall, WaitingForAWorkerBlockedInAGuiCallDoesNotDeadlock)
{
    std::atomic<int> calls{0};
    std::atomic<bool> inCall{false};
    TCallingThread w([&] {
        inCall = true;
        // A modal box on the GUI thread runs its own event loop while the worker waits.
        tarvik::SyncGuiCall([&] {
            QEventLoop modal;
            QTimer::singleShot(20, &modal, &QEventLoop::quit);
            modal.exec();
            ++calls;
        });
        for (int i = 0; i < 50; ++i)
            tarvik::SyncGuiCall([&] { ++calls; });
    });
    w.Resume();
    while (!inCall.load())
        std::this_thread::sleep_for(1ms);
    std::this_thread::sleep_for(20ms);  // the worker is now blocked on the GUI thread
    const auto t0 = std::chrono::steady_clock::now();
    w.Terminate();
    w.WaitFor();
    EXPECT_TRUE(w.Finished());
    EXPECT_EQ(calls.load(), 51);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 10s);
}

TEST(ThreadBase, ReportsItsProcessorTime)
{
    std::atomic<bool> stop{false};
    TCallingThread busy([&] {
        volatile unsigned long x = 0;
        while (!stop.load())
            x = x + 1;
    });
    busy.SetName("busy-worker");
    TLoopThread idle;
    idle.Resume();  // parks at once
    busy.Resume();
    std::this_thread::sleep_for(200ms);
    const auto busyCpu = busy.CpuTime();
    const auto idleCpu = idle.CpuTime();
    stop = true;
    busy.WaitFor();
    EXPECT_GT(busyCpu, 20ms);  // generous: the machine is shared
    EXPECT_LT(idleCpu, 20ms);
    EXPECT_EQ(busy.CpuTime(), 0ns);  // finished
}
