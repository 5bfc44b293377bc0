#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "fakebackend.h"
#include "tusbdev/adapterprotocol.h"
#include "tusbdev/tusbdev.h"

using namespace tarvik;
using tarvik::testing::FakeBackend;
using Calls = std::vector<std::string>;

TEST(UsbErrorText, EveryKnownCodeHasItsText)
{
    const char* expected[] = {"invalid handle.",
                              "device not found.",
                              "device not opened.",
                              "io error.",
                              "insufficient resources.",
                              "invalid parameter.",
                              "invalid baud rate.",
                              "device not opened for erase.",
                              "device not opened for write.",
                              "failed to write device.",
                              "eeprom read failed.",
                              "eeprom write failed.",
                              "eeprom erase failed.",
                              "eeprom not present.",
                              "eeprom not programmed.",
                              "invalid args.",
                              "not supported.",
                              "other error.",
                              "device list not ready."};
    for (FT_STATUS code = 1; code <= 19; ++code) EXPECT_EQ(UsbErrorText(code), expected[code - 1]) << code;
}

TEST(UsbErrorText, UnknownCodesShowTheNumber)
{
    EXPECT_EQ(UsbErrorText(42), "unknown error code : 42");
    EXPECT_EQ(UsbErrorText(20), "unknown error code : 20");
    EXPECT_EQ(UsbErrorText(0), "unknown error code : 0");
    EXPECT_EQ(UsbErrorText(4294967295u), "unknown error code : 4294967295");
}

class UsbDevTest : public ::testing::Test {
protected:
    std::shared_ptr<FakeBackend> fake = std::make_shared<FakeBackend>();
    std::unique_ptr<TUsbDev> dev = std::make_unique<TUsbDev>(0, fake);
    std::vector<std::string> shown;

    void SetUp() override
    {
        dev->SetErrorPresenter([this](const std::string& m) { shown.push_back(m); });
    }
    void OpenOk()
    {
        ASSERT_TRUE(dev->Open());
        fake->ClearCalls();
    }
};

TEST_F(UsbDevTest, OpenConfiguresInOrderWithFixedParameters)
{
    dev->SetBaudRate(3000000);
    ASSERT_TRUE(dev->Open());
    EXPECT_TRUE(dev->IsOpen());
    EXPECT_EQ(fake->Calls(), (Calls{"Open", "SetBaudRate", "SetDataCharacteristics", "SetFlowControl",
                                    "SetTimeouts", "SetDeviceOption", "Purge"}));
    EXPECT_EQ(fake->lastBaud, 3000000u);
    EXPECT_EQ(fake->dataChars, (std::vector<int>{8, 0, 0}));
    EXPECT_EQ(fake->timeouts, (std::vector<std::uint32_t>{5000, 1000}));
    EXPECT_EQ(fake->option, 100u);
    EXPECT_EQ(fake->purgeMask, 3u);
    EXPECT_TRUE(shown.empty());
}

TEST_F(UsbDevTest, DefaultBaudRateBeforeSettings)
{
    ASSERT_TRUE(dev->Open());
    EXPECT_EQ(fake->lastBaud, 921600u);
}

TEST_F(UsbDevTest, InvalidHandleFromOpenFailsSilently)
{
    fake->fail["Open"] = FT_INVALID_HANDLE;
    EXPECT_FALSE(dev->Open());
    EXPECT_FALSE(dev->IsOpen());
    EXPECT_TRUE(shown.empty());
    EXPECT_EQ(fake->Calls(), Calls{"Open"});
    EXPECT_EQ(dev->LastStatus(), FT_INVALID_HANDLE);
}

TEST_F(UsbDevTest, MissingDeviceIsShownAndLeftClosed)
{
    fake->fail["Open"] = FT_DEVICE_NOT_FOUND;
    EXPECT_FALSE(dev->Open());
    EXPECT_FALSE(dev->IsOpen());
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0], "USB Device Error : device not found.");
    EXPECT_FALSE(fake->nullHandleSeen);  // no library call with a null handle
    std::uint32_t n = 0;
    EXPECT_FALSE(dev->Read(&n, 1, &n));
}

TEST_F(UsbDevTest, BackendDetailFollowsTheFixedText)
{
    fake->fail["Open"] = FT_DEVICE_NOT_OPENED;
    fake->detail = "/dev/ttyUSB0: permission denied";
    EXPECT_FALSE(dev->Open());
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0], "USB Device Error : device not opened.\n/dev/ttyUSB0: permission denied");
    EXPECT_EQ(dev->LastOpenError(), shown[0]);
}

TEST_F(UsbDevTest, EachFailingConfigurationStepClosesAndReports)
{
    const std::pair<const char*, FT_STATUS> steps[] = {{"SetBaudRate", FT_INVALID_BAUD_RATE},
                                                       {"SetDataCharacteristics", FT_INVALID_PARAMETER},
                                                       {"SetFlowControl", FT_IO_ERROR},
                                                       {"SetTimeouts", FT_OTHER_ERROR},
                                                       {"SetDeviceOption", FT_NOT_SUPPORTED},
                                                       {"Purge", 42}};
    for (auto [name, status] : steps) {
        auto f = std::make_shared<FakeBackend>();
        f->fail[name] = status;
        TUsbDev d(0, f);
        std::vector<std::string> seen;
        d.SetErrorPresenter([&](const std::string& m) { seen.push_back(m); });
        EXPECT_FALSE(d.Open()) << name;
        EXPECT_FALSE(d.IsOpen()) << name;
        ASSERT_EQ(seen.size(), 1u) << name;
        EXPECT_EQ(seen[0], "USB Device Error : " + UsbErrorText(status)) << name;
        const auto calls = f->Calls();
        EXPECT_EQ(calls.back(), "Close") << name;
        EXPECT_EQ(calls[calls.size() - 2], name) << "nothing runs after the failing step";
        EXPECT_EQ(d.LastStatus(), status);
        f->ClearCalls();
    }
}

TEST_F(UsbDevTest, ClosedDeviceNeverTouchesTheLibrary)
{
    std::uint8_t buf[4] = {};
    std::uint32_t n = 77, rx = 5, tx = 6, ev = 7;
    EXPECT_FALSE(dev->Read(buf, 4, &n));
    EXPECT_FALSE(dev->Write(buf, 4, &n));
    EXPECT_FALSE(dev->GetStatus(&rx, &tx, &ev));
    EXPECT_EQ(rx + tx + ev, 0u);  // outputs cleared even when closed
    EXPECT_FALSE(dev->GetQueueStatus(&rx));
    EXPECT_FALSE(dev->Flush());
    EXPECT_FALSE(dev->SendAndWait(buf, 3, 5000, 0, nullptr));
    EXPECT_TRUE(dev->Close());
    EXPECT_TRUE(fake->Calls().empty());
}

// Each operation that fails purges, resets, closes, clears the handle and raises.
TEST_F(UsbDevTest, EveryFailingOperationClosesAndRaises)
{
    using Op = std::function<void(TUsbDev&)>;
    std::uint8_t buf[20];
    std::uint32_t a, b, c;
    const std::tuple<const char*, FT_STATUS, Op> cases[] = {
        {"Read", FT_IO_ERROR, [&](TUsbDev& d) { d.Read(buf, 20, &a); }},
        {"Write", FT_FAILED_TO_WRITE_DEVICE, [&](TUsbDev& d) { d.Write(buf, 3, &a); }},
        {"GetStatus", FT_DEVICE_NOT_FOUND, [&](TUsbDev& d) { d.GetStatus(&a, &b, &c); }},
        {"GetQueueStatus", 42, [&](TUsbDev& d) { d.GetQueueStatus(&a); }},
        {"Purge", FT_IO_ERROR, [&](TUsbDev& d) { d.Flush(); }},
        {"ResetDevice", FT_OTHER_ERROR, [&](TUsbDev& d) { d.Flush(); }},
        {"GetStatus", FT_IO_ERROR, [&](TUsbDev& d) { d.Close(); }},
        {"Write", FT_IO_ERROR, [&](TUsbDev& d) { d.SendAndWait(buf, 4, 5000, 1, buf); }},
        {"GetStatus", FT_IO_ERROR, [&](TUsbDev& d) { d.SendAndWait(buf, 4, 5000, 1, buf); }},
    };
    for (const auto& [name, status, op] : cases) {
        auto f = std::make_shared<FakeBackend>();
        TUsbDev d(0, f);
        ASSERT_TRUE(d.Open());
        f->fail[name] = status;
        f->ClearCalls();
        try {
            op(d);
            ADD_FAILURE() << name << " did not raise";
        } catch (const TUsbError& e) {
            EXPECT_EQ(std::string(e.what()), "USB Device Error : " + UsbErrorText(status)) << name;
            EXPECT_EQ(e.Status(), status);
        }
        EXPECT_FALSE(d.IsOpen()) << name;
        auto calls = f->Calls();
        ASSERT_GE(calls.size(), 3u);
        EXPECT_EQ(Calls(calls.end() - 3, calls.end()), (Calls{"Purge", "ResetDevice", "Close"})) << name;
        EXPECT_EQ(f->CountOf("Close"), 1) << name;
        // The device is closed now: the next read returns false without a library call.
        f->ClearCalls();
        EXPECT_FALSE(d.Read(buf, 20, &a));
        EXPECT_TRUE(f->Calls().empty());
    }
}

TEST_F(UsbDevTest, CloseWithQueuedBytesPurgesBeforeResetAndClose)
{
    OpenOk();
    fake->rx = {1, 2, 3};
    EXPECT_TRUE(dev->Close());
    EXPECT_EQ(fake->Calls(), (Calls{"GetStatus", "Purge", "ResetDevice", "Close"}));
    EXPECT_EQ(fake->purgeMask, 3u);
    EXPECT_FALSE(dev->IsOpen());
}

TEST_F(UsbDevTest, CloseOfAnIdleDeviceSkipsThePurge)
{
    OpenOk();
    EXPECT_TRUE(dev->Close());
    EXPECT_EQ(fake->Calls(), (Calls{"GetStatus", "ResetDevice", "Close"}));
}

TEST_F(UsbDevTest, CloseOnlyPendingTransmitBytesAlsoPurge)
{
    OpenOk();
    fake->txQueued = 9;
    EXPECT_TRUE(dev->Close());
    EXPECT_EQ(fake->CountOf("Purge"), 1);
}

TEST_F(UsbDevTest, CloseReportsTheLibraryCloseStatus)
{
    OpenOk();
    fake->fail["Close"] = FT_IO_ERROR;
    EXPECT_FALSE(dev->Close());
    EXPECT_FALSE(dev->IsOpen());
    EXPECT_EQ(dev->LastStatus(), FT_IO_ERROR);
}

TEST_F(UsbDevTest, ReopenReleasesTheHeldHandleFirst)
{
    OpenOk();
    EXPECT_TRUE(dev->Open());
    const auto calls = fake->Calls();
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ(fake->CountOf("Close"), 1);
    EXPECT_EQ(fake->CountOf("Open"), 1);
    EXPECT_TRUE(dev->IsOpen());
}

TEST_F(UsbDevTest, DestructionClosesAndSwallowsAFailingClose)
{
    OpenOk();
    fake->fail["GetStatus"] = FT_IO_ERROR;
    EXPECT_NO_THROW(dev.reset());
    EXPECT_EQ(fake->CountOf("Close"), 1);
}

TEST_F(UsbDevTest, ReadAndWritePassBytesThrough)
{
    OpenOk();
    fake->rx = {9, 8, 7};
    std::uint8_t buf[8] = {};
    std::uint32_t n = 0;
    ASSERT_TRUE(dev->Read(buf, 8, &n));  // a time-out with fewer bytes is not a failure
    EXPECT_EQ(n, 3u);
    EXPECT_EQ(buf[2], 7);
    ASSERT_TRUE(dev->Write("abc", 3, &n));
    EXPECT_EQ(n, 3u);
    EXPECT_EQ(fake->written, "abc");
    std::uint32_t rx = 1;
    fake->rx = {1, 2};
    ASSERT_TRUE(dev->GetQueueStatus(&rx));
    EXPECT_EQ(rx, 2u);
}

TEST_F(UsbDevTest, FlushPurgesBothBuffersAndResets)
{
    OpenOk();
    ASSERT_TRUE(dev->Flush());
    EXPECT_EQ(fake->Calls(), (Calls{"Purge", "ResetDevice"}));
    EXPECT_EQ(fake->purgeMask, 3u);
}

TEST_F(UsbDevTest, SendAndWaitWithoutReplyReturnsRightAfterWrite)
{
    OpenOk();
    const Command c = cmd::OnBus();
    std::uint8_t reply = 0xEE;
    EXPECT_TRUE(dev->SendAndWait(c.data(), std::uint32_t(c.size()), 5000, 0, &reply));
    EXPECT_EQ(fake->Calls(), Calls{"Write"});
    EXPECT_EQ(fake->written, c);
    EXPECT_EQ(reply, 0xEE);
    EXPECT_TRUE(dev->SendAndWait(c.data(), std::uint32_t(c.size()), 5000, 1, nullptr));
}

TEST_F(UsbDevTest, SendAndWaitTakesTheReplyWhenItArrives)
{
    OpenOk();
    int polls = 0, pumps = 0;
    dev->SetMessagePump([&] { ++pumps; });
    fake->onStatus = [&](FakeBackend& f) {
        if (++polls == 5) f.rx.push_back(kAck);
    };
    const Command c = cmd::Monitor(0);
    std::uint8_t reply = 0;
    EXPECT_TRUE(dev->SendAndWait(c.data(), std::uint32_t(c.size()), 5000, 1, &reply));
    EXPECT_EQ(reply, kAck);
    EXPECT_EQ(polls, 5);
    EXPECT_EQ(pumps, 5);  // one message pump per poll
    EXPECT_EQ(fake->written, c);
    EXPECT_EQ(fake->CountOf("Read"), 1);
}

TEST_F(UsbDevTest, RefusedReplyIsDeliveredForTheCallerToJudge)
{
    OpenOk();
    fake->rx = {kNak};
    const Command c = cmd::CanBus(0, 4, 0, 0);
    std::uint8_t reply = 0;
    EXPECT_TRUE(dev->SendAndWait(c.data(), std::uint32_t(c.size()), 5000, 1, &reply));
    EXPECT_EQ(reply, kNak);
    EXPECT_EQ(fake->written, c);  // sent once: a refusal is an answer, not a reason to repeat
}

TEST_F(UsbDevTest, SendAndWaitGivesUpAfterTheTimeout)
{
    OpenOk();
    dev->SetMessagePump([] {});
    const Command c = cmd::Clear();
    std::uint8_t reply = 0x77;
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_FALSE(dev->SendAndWait(c.data(), std::uint32_t(c.size()), 60, 1, &reply));
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0);
    EXPECT_GE(ms.count(), 60);
    EXPECT_LT(ms.count(), 3000);
    EXPECT_EQ(reply, 0x77);
    EXPECT_EQ(fake->CountOf("Read"), 0);
    EXPECT_TRUE(dev->IsOpen());  // a missing reply is not a device failure
}

TEST_F(UsbDevTest, SendAndWaitNeedsTheWholeReply)
{
    OpenOk();
    // Two bytes asked, one there: wait; then a short read must not count as the reply.
    fake->rx = {kAck};
    std::uint8_t reply[2] = {};
    EXPECT_FALSE(dev->SendAndWait(nullptr, 0, 30, 2, reply));
    EXPECT_EQ(fake->CountOf("Write"), 0);
}

TEST_F(UsbDevTest, ShortWriteIsNotReportedAsSent)
{
    OpenOk();
    fake->writeShort = 1;
    const Command c = cmd::OnBus();
    EXPECT_FALSE(dev->SendAndWait(c.data(), std::uint32_t(c.size()), 5000, 0, nullptr));
    EXPECT_TRUE(dev->IsOpen());
}

TEST_F(UsbDevTest, DeviceCountReportsOrFails)
{
    std::uint32_t n = 99;
    ASSERT_TRUE(dev->DeviceCount(&n));
    EXPECT_EQ(n, 3u);
    fake->fail["DeviceCount"] = FT_DEVICE_LIST_NOT_READY;
    n = 99;
    EXPECT_FALSE(dev->DeviceCount(&n));
    EXPECT_EQ(n, 99u);
}

TEST(UsbDevWithoutBackend, OpenReportsNotFoundInsteadOfCrashing)
{
    TUsbDev dev(0, nullptr);
    std::string shown;
    dev.SetErrorPresenter([&](const std::string& m) { shown = m; });
    EXPECT_FALSE(dev.Open());
    EXPECT_EQ(shown, "USB Device Error : device not found.");
    std::uint32_t n = 5;
    EXPECT_FALSE(dev.DeviceCount(&n));
    EXPECT_TRUE(dev.Close());
}
