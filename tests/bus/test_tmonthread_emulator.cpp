// The receive thread against the in-process adapter emulator, driven through TUsbDev the
// way the main window drives it.
#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

#include "emulator/emulatorbackend.h"
#include "emulator/loadmodel.h"
#include "platform/guicall.h"
#include "bus/tmonthread.h"
#include "tusbdev/adapterprotocol.h"
#include "tusbdev/tqueuebuffer.h"
#include "tusbdev/tusbdev.h"

using namespace std::chrono_literals;
using tarvik::TMonThread;
using tarvik::TQueueBuffer;

namespace {

bool Eventually(const std::function<bool()>& cond, std::chrono::milliseconds t = 10000ms)
{
    return tarvik::WaitServingGuiCalls(cond, t);
}

bool Accepted(tarvik::TUsbDev& dev, const tarvik::Command& c)
{
    std::uint8_t reply = 0;
    return dev.SendAndWait(c.data(), std::uint32_t(c.size()), 5000, 1, &reply) && reply == tarvik::kAck;
}

bool GoOnBusCan(tarvik::TUsbDev& dev, TMonThread& mon)
{
    dev.Flush();
    if (!Accepted(dev, tarvik::cmd::Monitor(0)) || !Accepted(dev, tarvik::cmd::CanBus(0, 0, 0, 0)) ||
        !Accepted(dev, tarvik::cmd::Masks(0, 0, 0, 0)))
        return false;
    const tarvik::Command n = tarvik::cmd::OnBus();
    dev.SendAndWait(n.data(), std::uint32_t(n.size()), 5000, 0, nullptr);
    return mon.Start();
}

// Load-model frames carry their sequence number big-endian in the data bytes.
std::uint64_t Sequence(const tarvik::AdapterRecord& r)
{
    std::uint64_t v = 0;
    for (int i = 0; i < 8; ++i)
        v = (v << 8) | r.Data(i);
    return v;
}

struct Rig {
    std::shared_ptr<tarvik::TEmulatorBackend> backend =
        std::make_shared<tarvik::TEmulatorBackend>(std::make_unique<tarvik::TLoadModel>(3000));
    tarvik::TUsbDev dev{0, backend};
    TQueueBuffer normal{20, TQueueBuffer::kDefaultCapacity};
    std::vector<std::string> events;  // GUI thread only
    std::unique_ptr<TMonThread> mon;

    Rig()
    {
        TMonThread::Host host;
        host.UsbFailure = [this] {
            events.push_back("off bus");
            mon->Stop();
            dev.Close();
        };
        host.ShowError = [this](const std::string& m) { events.push_back(m); };
        mon = std::make_unique<TMonThread>(dev, host);
        mon->SetSlot(1, &normal);
    }
    ~Rig()
    {
        mon->Stop();
        mon.reset();
    }
};

}  // namespace

TEST(MonThreadOnEmulator, CarriesEveryFrameInOrder)
{
    Rig rig;
    ASSERT_TRUE(rig.dev.Open());
    ASSERT_TRUE(GoOnBusCan(rig.dev, *rig.mon));
    std::uint64_t expected = 0;
    int seen = 0;
    ASSERT_TRUE(Eventually([&] {
        tarvik::AdapterRecord r;
        while (rig.normal.Pop(r.bytes.data())) {
            if (!r.IsCan())
                continue;  // the adapter's periodic status records
            EXPECT_EQ(Sequence(r), expected);
            expected = Sequence(r) + 1;
            ++seen;
        }
        return seen >= 1500;
    }));
    EXPECT_EQ(rig.mon->BadRecords(), 0u);
    EXPECT_EQ(rig.mon->Dropped(1), 0u);
    EXPECT_EQ(rig.mon->BusStatus(), 0);
}

TEST(MonThreadOnEmulator, UnpluggedAdapterEndsThePeriodOnBusOnce)
{
    Rig rig;
    ASSERT_TRUE(rig.dev.Open());
    ASSERT_TRUE(GoOnBusCan(rig.dev, *rig.mon));
    ASSERT_TRUE(Eventually([&] { return rig.normal.Count() > 100; }));
    rig.backend->Disconnect();
    ASSERT_TRUE(Eventually([&] { return rig.events.size() >= 2 && rig.mon->Suspended(); }));
    tarvik::WaitServingGuiCalls([] { return false; }, 200ms);
    ASSERT_EQ(rig.events.size(), 2u);
    EXPECT_EQ(rig.events[0], "off bus");
    EXPECT_EQ(rig.events[1].rfind("USB Device Error : ", 0), 0u) << rig.events[1];
    EXPECT_EQ(rig.mon->BusStatus(), 2);
    EXPECT_FALSE(rig.dev.IsOpen());

    rig.backend->Reconnect();
    rig.normal.Clear();
    ASSERT_TRUE(rig.dev.Open());
    ASSERT_TRUE(GoOnBusCan(rig.dev, *rig.mon));
    ASSERT_TRUE(Eventually([&] { return rig.normal.Count() > 100; }));
}
