// The receive thread on a real pseudo-terminal through the serial backend, fed with the
// adapter emulator's records: a stream out of step, and going off bus mid-record.
#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "emulator/adapteremulator.h"
#include "emulator/emulatorbackend.h"
#include "emulator/loadmodel.h"
#include "platform/guicall.h"
#include "support/ptypair.h"
#include "support/threadguard.h"
#include "bus/tmonthread.h"
#include "tusbdev/serial/serialbackend.h"
#include "tusbdev/tqueuebuffer.h"
#include "tusbdev/tusbdev.h"

using namespace std::chrono_literals;
using tarvik::AdapterRecord;
using tarvik::TMonThread;
using tarvik::TQueueBuffer;

namespace {

// The first `frames` frames the emulator's load model streams once on bus (status records
// in between included), as the adapter would put them on the wire.
std::string EmulatorStream(std::size_t frames)
{
    tarvik::AdapterEmulator emu(std::make_unique<tarvik::TLoadModel>(double(frames)), 0);
    const std::string onBus = "\x02N\x03";
    emu.Feed(onBus.data(), onBus.size(), 0);
    emu.Advance(1'000'000);
    std::string out(emu.OutputSize(), '\0');
    out.resize(emu.TakeOutput(out.data(), out.size()));
    std::size_t seen = 0, end = 0;
    while (end + tarvik::kRecordSize <= out.size() && seen < frames) {
        seen += AdapterRecord::From(out.data() + end).IsCan();
        end += tarvik::kRecordSize;
    }
    EXPECT_EQ(seen, frames);
    return out.substr(0, end);
}

// Load-model frames carry their sequence number big-endian in the data bytes.
std::uint64_t Sequence(const AdapterRecord& r)
{
    std::uint64_t v = 0;
    for (int i = 0; i < 8; ++i) v = (v << 8) | r.Data(i);
    return v;
}

// TUsbDev and the receive thread as the main window holds them; the host records what
// the window would show.
struct Reception {
    std::shared_ptr<tarvik::TFtBackend> backend;
    tarvik::TUsbDev dev;
    TQueueBuffer normal{20, TQueueBuffer::kDefaultCapacity};
    std::vector<std::string> shown;  // GUI thread only
    std::unique_ptr<TMonThread> mon;

    explicit Reception(std::shared_ptr<tarvik::TFtBackend> b) : backend(std::move(b)), dev(0, backend)
    {
        TMonThread::Host host;
        host.UsbFailure = [this] {
            shown.push_back("off bus");
            mon->Stop();
            dev.Close();
        };
        host.ShowError = [this](const std::string& m) { shown.push_back(m); };
        mon = std::make_unique<TMonThread>(dev, host);
        mon->SetSlot(1, &normal);
    }
    ~Reception()
    {
        mon->Stop();
        mon.reset();
    }
    // "Go Off Bus": stop, let the thread park, F, then close the port.
    void GoOffBus()
    {
        mon->Stop();
        std::this_thread::sleep_for(100ms);
        const tarvik::Command f = tarvik::cmd::OffBus();
        dev.SendAndWait(f.data(), std::uint32_t(f.size()), 5000, 0, nullptr);
        dev.Close();
    }
};

}  // namespace

// Seven stray bytes (a USB glitch) in front of 30,000 records: the receive thread gets back
// in step, loses at most one record, and counts exactly the stray bytes.
TEST(MonThreadOnPty, StrayBytesThenThirtyThousandRecordsStayInStep)
{
    testsupport::PtyPair pty;
    ASSERT_TRUE(pty.Ok());
    Reception rx(std::make_shared<tarvik::TSerialBackend>(pty.SlavePath()));
    ASSERT_TRUE(rx.dev.Open());
    ASSERT_TRUE(rx.mon->Start());

    const std::string stream = EmulatorStream(30000);
    std::atomic<bool> written{false};
    {
        const testsupport::Background writer([&] { written = pty.Send("\x31\x42\x53\x64\x75\x86\x97" + stream); });
        tarvik::WaitServingGuiCalls([&] { return rx.normal.Count() >= 30000; }, 20s);
    }
    tarvik::WaitServingGuiCalls([&] { return rx.normal.Count() >= 30000; }, 1s);
    EXPECT_TRUE(written.load());
    const std::uint32_t got = rx.normal.Count();
    EXPECT_GE(got, 29999u);
    EXPECT_LE(got, 30000u);
    EXPECT_EQ(rx.mon->SkippedBytes(), 7u);
    EXPECT_EQ(rx.mon->PartialBytesDiscarded(), 7u);  // what the loss counters show
    EXPECT_LE(rx.mon->BadRecords(), 1u);
    // In order, with no bogus frame among them.
    AdapterRecord r;
    std::uint64_t last = 0;
    std::uint32_t popped = 0, inOrder = 0;
    while (rx.normal.Pop(r.bytes.data())) {
        inOrder += popped == 0 || Sequence(r) > last;
        last = Sequence(r);
        ++popped;
    }
    EXPECT_EQ(inOrder, got);
    EXPECT_EQ(last, 29999u);
    EXPECT_TRUE(rx.shown.empty());
}

// Going off bus while the thread waits for the rest of a half-arrived record is quiet: the
// close that ends the wait is no failure of the device. Over the emulator in process and
// over a real pseudo-terminal.
TEST(MonThreadOnPty, OffBusDuringAPartialRecordIsQuiet)
{
    testsupport::PtyPair pty;
    ASSERT_TRUE(pty.Ok());
    auto emulator = std::make_shared<tarvik::TEmulatorBackend>(std::make_unique<tarvik::TLoadModel>(0.001));
    struct Case {
        const char* name;
        std::shared_ptr<tarvik::TFtBackend> backend;
        std::function<void()> sendHalfARecord;
    } cases[] = {
        {"emulator", emulator, [&] { emulator->InjectRaw(std::string(10, '\x11')); }},
        {"pty", std::make_shared<tarvik::TSerialBackend>(pty.SlavePath()),
         [&] { pty.Send(std::string(10, '\x11')); }},
    };
    for (auto& c : cases) {
        Reception rx(c.backend);
        ASSERT_TRUE(rx.dev.Open()) << c.name;
        ASSERT_TRUE(rx.mon->Start()) << c.name;
        c.sendHalfARecord();
        std::this_thread::sleep_for(300ms);  // the read now waits (5 s) for ten more bytes
        rx.GoOffBus();
        EXPECT_TRUE(tarvik::WaitServingGuiCalls([&] { return rx.mon->BusStatus() == 2; }, 3s)) << c.name;
        tarvik::WaitServingGuiCalls([] { return false; }, 300ms);  // room for a late error box
        EXPECT_TRUE(rx.shown.empty()) << c.name << ": " << (rx.shown.empty() ? "" : rx.shown.back());
        EXPECT_FALSE(rx.dev.IsOpen()) << c.name;
    }
}

// On bus with no traffic the receive thread sleeps in the device's wait instead of asking
// the queue level every millisecond, and Stop ends that wait at once.
TEST(MonThreadOnPty, IdleThreadSleepsAndStopWakesItAtOnce)
{
    testsupport::PtyPair pty;
    ASSERT_TRUE(pty.Ok());
    const std::pair<const char*, std::shared_ptr<tarvik::TFtBackend>> cases[] = {
        {"emulator", std::make_shared<tarvik::TEmulatorBackend>(std::make_unique<tarvik::TLoadModel>(0.001))},
        {"pty", std::make_shared<tarvik::TSerialBackend>(pty.SlavePath())},
    };
    for (const auto& [name, backend] : cases) {
        Reception rx(backend);
        ASSERT_TRUE(rx.dev.Open()) << name;
        ASSERT_TRUE(rx.mon->Start()) << name;
        std::this_thread::sleep_for(100ms);
        // A 1 ms poll costs a thousand wake-ups a second; a sleeping thread a handful.
        const auto used = testsupport::QuietestSecond([&] { return rx.mon->CpuTime(); }, 3ms);
        EXPECT_LT(used, 3ms) << name << ": " << std::chrono::duration<double, std::milli>(used).count() << " ms";

        const auto t0 = std::chrono::steady_clock::now();
        rx.mon->Stop();
        ASSERT_TRUE(tarvik::WaitServingGuiCalls([&] { return rx.mon->Suspended(); }, 2s)) << name;
        EXPECT_LT(std::chrono::steady_clock::now() - t0, 100ms) << name;
        EXPECT_EQ(rx.mon->BusStatus(), 2) << name;
    }
}
