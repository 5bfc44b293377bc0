#pragma once
// What the windows and tools rely on from every kind of bus device, run through the bus
// session. Each test executable instantiates it over the kinds it can drive (the emulator
// kinds everywhere, the CAN socket kind in the VM that has CAN sockets).
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "bus/tbussession.h"
#include "support/emuprocess.h"
#include "tusbdev/tqueuebuffer.h"

namespace testsupport {

using namespace tarvik;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

inline const std::uint8_t kData[8] = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88};

class DeviceContract;

// One kind of device under the contract: how to make it, with whatever drives its bus.
struct ContractKind {
    const char* name;
    // Fails the test (and answers null) when the device cannot be made.
    std::shared_ptr<TBusDevice> (*make)(DeviceContract& test, const ContractKind& kind);
    const char* protocol;  // the device kind
    bool carriesLin;
};

class DeviceContract : public ::testing::TestWithParam<ContractKind> {
protected:
    void SetUp() override
    {
        const ContractKind& k = GetParam();
        std::shared_ptr<TBusDevice> device = k.make(*this, k);
        ASSERT_TRUE(device);
        device->SetErrorPresenter([this](const std::string& m) { shown.push_back(m); });
        session = std::make_unique<TBusSession>(std::move(device));
        session->SetSlot(1, &ring);
        ASSERT_TRUE(session->Open()) << (shown.empty() ? "" : shown.back());
    }
    void TearDown() override
    {
        if (!session) return;
        session->SetSlot(1, nullptr);
        session.reset();
        driver.reset();
    }

    // Records taken from the ring within `span` (or until `enough` says so).
    std::vector<AdapterRecord> Take(std::chrono::milliseconds span,
                                    const std::function<bool(const std::vector<AdapterRecord>&)>& enough = {})
    {
        std::vector<AdapterRecord> out;
        std::uint8_t raw[kRecordSize];
        const auto end = Clock::now() + span;
        while (Clock::now() < end && !(enough && enough(out))) {
            if (ring.Pop(raw))
                out.push_back(AdapterRecord::From(raw));
            else
                std::this_thread::sleep_for(1ms);
        }
        return out;
    }
    static int Count(const std::vector<AdapterRecord>& recs, std::uint8_t type, std::uint32_t id)
    {
        int n = 0;
        for (const auto& r : recs) n += r.Type() == type && r.Identifier() == id;
        return n;
    }
    bool OnBusCan()
    {
        OnBusConfig c;
        c.canSpeed = 1;  // 500 kbit/s: every kind has it
        return session->GoOnBus(c);
    }

public:
    testsupport::EmuProcess emu;
    // Whatever else drives the bus (a traffic thread); its destructor stops it.
    std::shared_ptr<void> driver;

protected:
    TQueueBuffer ring{std::int32_t(kRecordSize), TQueueBuffer::kDefaultCapacity};
    std::unique_ptr<TBusSession> session;
    std::vector<std::string> shown;
};

TEST_P(DeviceContract, FramesFlowOnBusAndStopOffBus)
{
    ASSERT_TRUE(OnBusCan()) << session->Problem();
    ASSERT_TRUE(session->OnBus());
    const auto recs = Take(3s, [](const auto& r) { return r.size() >= 50; });
    ASSERT_GE(recs.size(), 50u);
    std::uint32_t last = 0;
    int frames = 0;
    for (const auto& r : recs) {
        ASSERT_TRUE(r.WellFormed());
        if (r.IsStatus()) continue;
        ASSERT_EQ(r.Type(), kCanReceived);
        EXPECT_GE(r.TimeStamp(), last) << "time stamps run backwards";
        last = r.TimeStamp();
        ++frames;
    }
    EXPECT_GE(frames, 40);
    EXPECT_EQ(session->Losses(1).Records(), 0u);

    ASSERT_TRUE(session->GoOffBus());
    EXPECT_FALSE(session->OnBus());
    Take(300ms);  // what was under way
    int after = 0;
    for (const auto& r : Take(500ms)) after += !r.IsStatus();
    EXPECT_EQ(after, 0) << "frames after going off bus";
    EXPECT_EQ(session->BusStatus(), 2);

    // Closed and opened again, the device goes on bus as before.
    ASSERT_TRUE(session->Close());
    EXPECT_FALSE(session->IsOpen());
    ASSERT_TRUE(session->Open());
    ASSERT_TRUE(OnBusCan()) << session->Problem();
    EXPECT_GE(Take(3s, [](const auto& r) { return r.size() >= 10; }).size(), 10u);
    EXPECT_TRUE(session->GoOffBus());
}

TEST_P(DeviceContract, ASentFrameComesBackOnceAsTransmitted)
{
    EXPECT_FALSE(session->Transmit(TBusFrame::Classic(0x123, false, 2, kData))) << "sent while off bus";
    ASSERT_TRUE(OnBusCan()) << session->Problem();
    ASSERT_TRUE(session->Transmit(TBusFrame::Classic(0x123, false, 2, kData)));
    ASSERT_TRUE(session->Transmit(TBusFrame::Classic(0x1ABCDEF, true, 8, kData)));
    const auto recs = Take(2s, [](const auto& r) { return Count(r, kCanTransmitted, 0x1ABCDEF) > 0; });
    const auto more = Take(300ms);
    EXPECT_EQ(Count(recs, kCanTransmitted, 0x123) + Count(more, kCanTransmitted, 0x123), 1);
    EXPECT_EQ(Count(recs, kCanTransmitted, 0x1ABCDEF) + Count(more, kCanTransmitted, 0x1ABCDEF), 1);
    for (const auto& r : recs) {
        if (r.Type() != kCanTransmitted) continue;
        const bool ext = r.Identifier() == 0x1ABCDEF;
        EXPECT_EQ(r.Extended(), ext);
        EXPECT_EQ(r.Length(), ext ? 8 : 2);
        EXPECT_EQ(r.Data(1), 0x22);
    }
}

TEST_P(DeviceContract, APeriodicFrameRepeatsUntilStopped)
{
    ASSERT_TRUE(OnBusCan()) << session->Problem();
    const auto t0 = Clock::now();
    ASSERT_TRUE(session->StartPeriodic(TBusFrame::Classic(0x100, false, 8, kData), 20));
    auto recs = Take(3s, [](const auto& r) { return Count(r, kCanTransmitted, 0x100) >= 10; });
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
    ASSERT_GE(Count(recs, kCanTransmitted, 0x100), 10);
    // Ten frames 20 ms apart take at least 180 ms, however the machine is loaded.
    EXPECT_GE(ms, 170.0);
    ASSERT_TRUE(session->StopPeriodic());
    Take(200ms);
    EXPECT_EQ(Count(Take(400ms), kCanTransmitted, 0x100), 0) << "frames after the stop";
}

// The transmit list's rows, counted where they arrive: the adapter's own report of each frame
// it sent. The bounds hold on a loaded machine: never more frames than slots, and most of them.
TEST_P(DeviceContract, TheListSendsEachRowAtItsIntervalUntilOffBus)
{
    ASSERT_TRUE(OnBusCan()) << session->Problem();
    TListSendThread& list = session->List();
    const std::uint32_t ids[] = {0x301, 0x302, 0x1ABC0303};
    const std::uint32_t intervals[] = {10, 20, 50};
    const auto t0 = Clock::now();
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(list.Start(std::uint32_t(i), TBusFrame::Classic(ids[i], i == 2, 8, kData), intervals[i]));
    EXPECT_FALSE(list.Start(3, TBusFrame::Classic(0x304, false, 8, kData), 0)) << "0 ms is on demand only";
    std::vector<AdapterRecord> recs = Take(1500ms);
    // A changed row sends its new data from its next slot on.
    std::uint8_t changed[8] = {0xAA};
    ASSERT_TRUE(list.Update(0, TBusFrame::Classic(ids[0], false, 8, changed)));
    for (const auto& r : Take(1500ms)) recs.push_back(r);
    list.StopAll();
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
    for (const auto& r : Take(300ms)) recs.push_back(r);  // what was under way
    for (int i = 0; i < 3; ++i) {
        const double due = ms / intervals[i] + 1;  // the slots in the time
        const int got = Count(recs, kCanTransmitted, ids[i]);
        EXPECT_LE(got, int(due) + 1) << "row " << i << " in " << ms << " ms";
        EXPECT_GE(got, int(due * 0.7)) << "row " << i << " in " << ms << " ms";
        EXPECT_EQ(std::uint64_t(got), list.CountsOf(std::uint32_t(i)).sent) << "row " << i;
        EXPECT_EQ(list.CountsOf(std::uint32_t(i)).failed, 0u);
        EXPECT_FALSE(list.Running(std::uint32_t(i)));
    }
    int changedSeen = 0;
    for (const auto& r : recs) changedSeen += r.Type() == kCanTransmitted && r.Identifier() == ids[0] && r.Data(0) == 0xAA;
    EXPECT_GT(changedSeen, 0);
    EXPECT_EQ(Count(Take(300ms), kCanTransmitted, ids[0]), 0) << "frames after the stop";

    // Going off bus stops every row.
    ASSERT_TRUE(list.Start(0, TBusFrame::Classic(ids[0], false, 8, kData), 10));
    Take(200ms);
    ASSERT_TRUE(session->GoOffBus());
    EXPECT_FALSE(list.AnyRunning());
    Take(300ms);  // what was under way
    EXPECT_EQ(Count(Take(300ms), kCanTransmitted, ids[0]), 0) << "a row ran on after going off bus";
}

TEST_P(DeviceContract, LinWhereTheAdapterCarriesItTheNativeRefusalElsewhere)
{
    OnBusConfig lin;
    lin.monitorFunction = 1;
    lin.linSpeed = 3;
    lin.linNode = 1;
    const bool on = session->GoOnBus(lin);
    if (GetParam().carriesLin) {
        ASSERT_TRUE(on) << session->Problem();
        LinFrame f;
        f.id = 0x7F;  // sent as 3F
        f.length = 2;
        f.data[0] = 0x11;
        EXPECT_TRUE(session->SendLinFrame(f));
        EXPECT_TRUE(session->GoOffBus());
    } else {
        EXPECT_FALSE(on);
        EXPECT_FALSE(session->OnBus());
        EXPECT_EQ(session->Problem(), "The adapter answered M with 0x15 instead of ACK");
        // The refusal leaves the device usable for CAN.
        ASSERT_TRUE(OnBusCan()) << session->Problem();
        EXPECT_FALSE(Take(2s, [](const auto& r) { return !r.empty(); }).empty());
    }
}

inline const auto kContractKindName = [](const auto& info) { return std::string(info.param.name); };

}  // namespace testsupport
