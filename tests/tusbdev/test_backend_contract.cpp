// What TUsbDev and the receive thread rely on from every transport behind the function
// table, run over the fake table, the adapter emulator in process and the serial backend
// on a real pseudo-terminal.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "emulator/emulatorbackend.h"
#include "emulator/loadmodel.h"
#include "support/ptypair.h"
#include "support/threadguard.h"
#include "support/streambackend.h"
#include "tusbdev/serial/serialbackend.h"
#include "tusbdev/tusbdev.h"

using namespace tarvik;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

// One transport: its table, and the adapter's side that puts bytes on the channel.
struct Transport {
    std::shared_ptr<TFtBackend> backend;
    std::function<void(const std::string&)> deliver;
    std::function<void(FT_HANDLE, std::uint32_t ms)> setReadTimeout;
};

struct Kind {
    const char* name;
    std::function<Transport(testsupport::PtyPair&)> make;
};

const Kind kKinds[] = {
    {"fake",
     [](testsupport::PtyPair&) {
         auto b = std::make_shared<testsupport::StreamBackend>();
         return Transport{b, [b](const std::string& s) { b->Feed(reinterpret_cast<const std::uint8_t*>(s.data()), s.size()); },
                          [b](FT_HANDLE, std::uint32_t ms) { b->readTimeout = std::chrono::milliseconds(ms); }};
     }},
    {"emulator",
     [](testsupport::PtyPair&) {
         // Off bus the emulator streams nothing of its own; the test's bytes are all there is.
         auto b = std::make_shared<TEmulatorBackend>(std::make_unique<TLoadModel>(1000));
         return Transport{b, [b](const std::string& s) { b->InjectRaw(s); },
                          [b](FT_HANDLE h, std::uint32_t ms) { b->SetTimeouts(h, ms, 1000); }};
     }},
    {"serial",
     [](testsupport::PtyPair& pty) {
         auto b = std::make_shared<TSerialBackend>(pty.SlavePath());
         return Transport{b, [&pty](const std::string& s) { pty.Send(s); },
                          [b](FT_HANDLE h, std::uint32_t ms) { b->SetTimeouts(h, ms, 1000); }};
     }},
};

class BackendContract : public ::testing::TestWithParam<Kind> {
protected:
    BackendContract() : t(GetParam().make(pty)) {}

    FT_HANDLE OpenTable()
    {
        FT_HANDLE h = nullptr;
        EXPECT_EQ(t.backend->Open(0, &h), FT_OK);
        EXPECT_EQ(t.backend->SetTimeouts(h, 5000, 1000), FT_OK);
        return h;
    }
    std::uint32_t WaitForQueue(FT_HANDLE h, std::uint32_t want)
    {
        std::uint32_t rx = 0;
        const auto end = Clock::now() + 2s;
        while (Clock::now() < end && t.backend->GetQueueStatus(h, &rx) == FT_OK && rx < want)
            std::this_thread::sleep_for(2ms);
        return rx;
    }

    testsupport::PtyPair pty;
    Transport t;
};

}  // namespace

TEST_P(BackendContract, ReadGetsItsCountOrWhatArrivedByTheTimeOut)
{
    ASSERT_TRUE(pty.Ok());
    const FT_HANDLE h = OpenTable();
    t.setReadTimeout(h, 150);
    t.deliver("12345");
    char buf[20];
    std::uint32_t got = 0;
    const auto t0 = Clock::now();
    EXPECT_EQ(t.backend->Read(h, buf, 20, &got), FT_OK);
    EXPECT_EQ(got, 5u);
    EXPECT_EQ(std::string(buf, got), "12345");
    EXPECT_GE(Clock::now() - t0, 140ms);
    EXPECT_LT(Clock::now() - t0, 3000ms);
    // A whole record already there returns at once.
    t.deliver(std::string(20, 'x'));
    ASSERT_EQ(WaitForQueue(h, 20), 20u);
    const auto t1 = Clock::now();
    EXPECT_EQ(t.backend->Read(h, buf, 20, &got), FT_OK);
    EXPECT_EQ(got, 20u);
    EXPECT_LT(Clock::now() - t1, 140ms);
    EXPECT_EQ(t.backend->Close(h), FT_OK);
}

TEST_P(BackendContract, QueueLevelsAndPurge)
{
    ASSERT_TRUE(pty.Ok());
    const FT_HANDLE h = OpenTable();
    t.deliver(std::string(40, 'z'));
    EXPECT_EQ(WaitForQueue(h, 40), 40u);
    std::uint32_t rx = 0, tx = 9, ev = 9;
    EXPECT_EQ(t.backend->GetStatus(h, &rx, &tx, &ev), FT_OK);
    EXPECT_EQ(rx, 40u);
    EXPECT_EQ(t.backend->Purge(h, FT_PURGE_RX | FT_PURGE_TX), FT_OK);
    EXPECT_EQ(t.backend->GetQueueStatus(h, &rx), FT_OK);
    EXPECT_EQ(rx, 0u);
    EXPECT_EQ(t.backend->Close(h), FT_OK);
}

// The receive thread's idle wait: it sleeps until bytes come or the time-out passes, and a
// cancel from another thread (Stop) ends it at once, also one given just before the wait.
TEST_P(BackendContract, WaitForDataSleepsUntilBytesOrCancel)
{
    ASSERT_TRUE(pty.Ok());
    TUsbDev dev(0, t.backend);
    ASSERT_TRUE(dev.Open());
    std::uint32_t rx = 99;
    auto t0 = Clock::now();
    EXPECT_TRUE(dev.WaitForData(150, &rx));
    EXPECT_EQ(rx, 0u);
    EXPECT_GE(Clock::now() - t0, 120ms) << "returned without sleeping";

    {
        testsupport::Background adapter([&] {
            std::this_thread::sleep_for(100ms);
            t.deliver("abc");
        });
        t0 = Clock::now();
        EXPECT_TRUE(dev.WaitForData(3000, &rx));
        EXPECT_GE(rx, 1u);
        EXPECT_GE(Clock::now() - t0, 80ms);
        EXPECT_LT(Clock::now() - t0, 1000ms);
    }
    ASSERT_TRUE(dev.Flush());

    {
        testsupport::Background stopper([&] {
            std::this_thread::sleep_for(50ms);
            dev.CancelWait();
        });
        t0 = Clock::now();
        EXPECT_TRUE(dev.WaitForData(3000, &rx));
        EXPECT_EQ(rx, 0u);
        EXPECT_LT(Clock::now() - t0, 1000ms);
    }
    dev.CancelWait();
    t0 = Clock::now();
    EXPECT_TRUE(dev.WaitForData(3000, &rx));
    EXPECT_LT(Clock::now() - t0, 500ms) << "a cancel just before the wait was lost";
}

// Closing the device ends a read waiting for the rest of a record, and a wait for data, at
// once; neither reports a device failure, since the close was deliberate (going off bus).
TEST_P(BackendContract, CloseEndsBlockedCallsQuietly)
{
    ASSERT_TRUE(pty.Ok());
    for (const bool inRead : {true, false}) {
        TUsbDev dev(0, t.backend);
        ASSERT_TRUE(dev.Open());
        t.setReadTimeout(nullptr, 5000);  // the fake's own; the others took 5000 from the open
        if (inRead)
            t.deliver(std::string(10, '\x11'));  // half a record
        std::atomic<int> outcome{-1};         // 0 false, 1 true, 2 raised
        std::atomic<bool> entered{false};
        Clock::time_point closedAt{}, returnedAt{};
        const auto t0 = Clock::now();
        {
            testsupport::Background reader([&] {
                entered = true;
                try {
                    char buf[20];
                    std::uint32_t got = 0, rx = 0;
                    if (inRead)
                        outcome = dev.Read(buf, 20, &got) ? 1 : 0;
                    else
                        outcome = dev.WaitForData(5000, &rx) ? 1 : 0;
                } catch (const TUsbError&) {
                    outcome = 2;
                }
                returnedAt = Clock::now();
            });
            // The call must be under way before the close, however late the thread starts.
            const auto deadline = Clock::now() + 10s;
            while (!entered.load() && Clock::now() < deadline)
                std::this_thread::sleep_for(1ms);
            ASSERT_TRUE(entered.load());
            std::this_thread::sleep_for(150ms);
            EXPECT_EQ(outcome.load(), -1) << (inRead ? "read" : "wait") << " did not wait";
            closedAt = Clock::now();
            dev.Close();
        }
        // It blocked: it returned only after the close, not before it.
        EXPECT_GE(returnedAt, closedAt) << (inRead ? "read" : "wait") << " returned before the close";
        EXPECT_LT(returnedAt - closedAt, 2500ms) << "the close did not end the call at once";
        EXPECT_LT(Clock::now() - t0, 12500ms);
        EXPECT_EQ(outcome.load(), 0) << (inRead ? "read" : "wait");
        EXPECT_FALSE(dev.IsOpen());
    }
    // The table itself answers an invalid handle after the close.
    FT_HANDLE h = OpenTable();
    EXPECT_EQ(t.backend->Close(h), FT_OK);
    char buf[4];
    std::uint32_t n = 0;
    EXPECT_EQ(t.backend->Read(h, buf, 4, &n), FT_INVALID_HANDLE);
    EXPECT_EQ(t.backend->Close(h), FT_INVALID_HANDLE);
}

INSTANTIATE_TEST_SUITE_P(Transports, BackendContract, ::testing::ValuesIn(kKinds),
                         [](const ::testing::TestParamInfo<Kind>& info) { return std::string(info.param.name); });
