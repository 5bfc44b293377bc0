// The device contract over the native adapter emulated in process, the emulator tool on a
// real pseudo-terminal speaking the native protocol, and the same tool as a serial-line adapter.
#include "support/devicecontract.h"

#include "bus/devicekinds.h"
#include "emulator/emulatorbackend.h"
#include "emulator/loadmodel.h"
#include "platform/guicall.h"
#include "tusbdev/tusbdev.h"

using namespace testsupport;

namespace {

std::shared_ptr<TBusDevice> InProcess(DeviceContract&, const ContractKind&)
{
    return MakeNativeDevice(std::make_shared<TEmulatorBackend>(std::make_unique<TLoadModel>(500)));
}

// The emulator tool on a pseudo-terminal, speaking the kind's protocol.
std::shared_ptr<TBusDevice> OnPty(DeviceContract& t, const ContractKind& k)
{
    std::vector<std::string> args{"--model", "load", "500"};
    if (std::string(k.protocol) != "native") args.insert(args.begin(), {"--protocol", k.protocol});
    if (!t.emu.Start(args)) {
        ADD_FAILURE() << "the emulator did not start";
        return nullptr;
    }
    return MakePortDevice(k.protocol, QString::fromStdString(t.emu.FirstLine()));
}

const ContractKind kKinds[] = {
    {"emulator", InProcess, "native", true},
    {"native_pty", OnPty, "native", true},
    {"slcan_pty", OnPty, "slcan", false},
};

// The kinds behind a port: their adapter can go away.
class PortDeviceContract : public DeviceContract {};

TEST_P(PortDeviceContract, AnAdapterThatDiesEndsReceptionWithTheUsbError)
{
    ASSERT_TRUE(OnBusCan()) << session->Problem();
    ASSERT_FALSE(Take(2s, [](const auto& r) { return r.size() >= 5; }).empty());
    emu.Signal(SIGKILL);
    emu.Wait();
    // The receive thread stops by itself (no window to go off bus for it) and keeps the text.
    const auto end = Clock::now() + 10s;
    while (session->OnBus() && Clock::now() < end) WaitServingGuiCalls([] { return false; }, 10ms);
    EXPECT_FALSE(session->OnBus());
    EXPECT_EQ(session->ErrorText().rfind(kUsbErrorPrefix, 0), 0u) << session->ErrorText();
    EXPECT_FALSE(session->IsOpen());
}

INSTANTIATE_TEST_SUITE_P(Kinds, DeviceContract, ::testing::ValuesIn(kKinds), kContractKindName);
INSTANTIATE_TEST_SUITE_P(Kinds, PortDeviceContract, ::testing::Values(kKinds[1], kKinds[2]), kContractKindName);

}  // namespace
