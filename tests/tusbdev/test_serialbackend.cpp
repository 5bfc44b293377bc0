#include <gtest/gtest.h>

#include <asm/termbits.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <thread>

#include "support/ptypair.h"
#include "tusbdev/adapterprotocol.h"
#include "tusbdev/serial/serialbackend.h"
#include "tusbdev/tusbdev.h"

using namespace tarvik;
using testsupport::PtyPair;
using namespace std::chrono_literals;

namespace {

std::uint32_t WaitForQueue(TUsbDev& dev, std::uint32_t atLeast)
{
    std::uint32_t rx = 0;
    for (int i = 0; i < 2000 && dev.GetQueueStatus(&rx) && rx < atLeast; ++i) std::this_thread::sleep_for(1ms);
    return rx;
}

// The slave's settings as the kernel holds them (the master answers for its slave).
termios2 SlaveSettings(const PtyPair& pty)
{
    termios2 t{};
    ::ioctl(pty.Master(), TCGETS2, &t);
    return t;
}

struct Opened {
    PtyPair pty;
    std::shared_ptr<TSerialBackend> backend;
    TUsbDev dev{0, nullptr};
    std::vector<std::string> shown;

    explicit Opened(std::uint32_t baud = 3'000'000)
        : backend(std::make_shared<TSerialBackend>(pty.SlavePath()))
    {
        dev.SetBackend(backend);
        dev.SetBaudRate(baud);
        dev.SetErrorPresenter([this](const std::string& m) { shown.push_back(m); });
    }
};

}  // namespace

TEST(PortNames, NumbersInsideNamesCompareAsNumbers)
{
    std::vector<std::string> names{"ttyUSB10", "ttyACM0", "ttyUSB2", "ttyUSB1", "ttyUSB02", "ttyUSB"};
    std::sort(names.begin(), names.end(), PortNameLess);
    EXPECT_EQ(names, (std::vector<std::string>{"ttyACM0", "ttyUSB", "ttyUSB1", "ttyUSB02", "ttyUSB2", "ttyUSB10"}));
    EXPECT_FALSE(PortNameLess("ttyUSB3", "ttyUSB3"));
}

TEST(PortNames, UsbIdentityLabelsLeaveOutWhatTheDeviceDoesNotGive)
{
    const struct {
        TUsbPortInfo port;
        const char* label;
    } cases[] = {
        {{"/dev/ttyACM0", "ttyACM0", "CANable 2.0", "004A0035", 0x16D0, 0x117E},
         "3: CANable 2.0, 16d0:117e, SN 004A0035 (/dev/ttyACM0)"},
        {{"/dev/ttyUSB1", "ttyUSB1", "", "", 0x0403, 0x6001}, "3: 0403:6001 (/dev/ttyUSB1)"},
        {{"/dev/ttyACM2", "ttyACM2", "", "A1", 0x1D50, 0x606F}, "3: 1d50:606f, SN A1 (/dev/ttyACM2)"},
    };
    for (const auto& c : cases) EXPECT_EQ(UsbPortLabel(3, c.port), c.label);
}

TEST(SerialPort, OpensExplicitPathRawAt3MBaud)
{
    Opened o;
    ASSERT_TRUE(o.pty.Ok());
    ASSERT_TRUE(o.dev.Open()) << (o.shown.empty() ? "" : o.shown[0]);
    EXPECT_TRUE(o.shown.empty());
    const termios2 t = SlaveSettings(o.pty);
    EXPECT_EQ(t.c_ospeed, 3'000'000u);
    EXPECT_EQ(t.c_ispeed, 3'000'000u);
    EXPECT_EQ(t.c_cflag & CBAUD, tcflag_t(BOTHER));
    EXPECT_EQ(t.c_cflag & CSIZE, tcflag_t(CS8));
    EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF | ICRNL), 0u);
    EXPECT_EQ(t.c_oflag & OPOST, 0u);
    EXPECT_TRUE(o.dev.Close());
}

TEST(SerialPort, BaudRateLimits)
{
    {
        Opened o(12'000'000);
        ASSERT_TRUE(o.dev.Open());
        EXPECT_EQ(SlaveSettings(o.pty).c_ospeed, 12'000'000u);
    }
    Opened o(12'000'001);
    EXPECT_FALSE(o.dev.Open());
    ASSERT_EQ(o.shown.size(), 1u);
    EXPECT_EQ(o.shown[0].rfind("USB Device Error : invalid baud rate.", 0), 0u) << o.shown[0];
    EXPECT_FALSE(o.dev.IsOpen());
}

TEST(SerialPort, BytesCrossBothWaysUnchanged)
{
    Opened o;
    ASSERT_TRUE(o.dev.Open());
    // Every byte value, CR and LF and control characters included, must pass untouched.
    std::string all;
    for (int i = 0; i < 256; ++i) all.push_back(char(i));
    std::uint32_t n = 0;
    ASSERT_TRUE(o.dev.Write(all.data(), 256, &n));
    EXPECT_EQ(n, 256u);
    EXPECT_EQ(o.pty.Receive(256), all);

    ASSERT_TRUE(o.pty.Send(all));
    EXPECT_EQ(WaitForQueue(o.dev, 256), 256u);
    std::string back(256, '\0');
    ASSERT_TRUE(o.dev.Read(back.data(), 256, &n));
    EXPECT_EQ(n, 256u);
    EXPECT_EQ(back, all);
}

TEST(SerialPort, SendAndWaitGetsTheAck)
{
    Opened o;
    ASSERT_TRUE(o.dev.Open());
    std::thread adapter([&] {
        if (o.pty.Receive(4) == cmd::Monitor(0)) o.pty.Send(std::string(1, char(kAck)));
    });
    const Command c = cmd::Monitor(0);
    std::uint8_t reply = 0;
    EXPECT_TRUE(o.dev.SendAndWait(c.data(), std::uint32_t(c.size()), 5000, 1, &reply));
    adapter.join();
    EXPECT_EQ(reply, kAck);
}

TEST(SerialPort, PeerClosingFailsTheNextReadWithIoError)
{
    Opened o;
    ASSERT_TRUE(o.dev.Open());
    o.pty.CloseMaster();
    std::uint8_t buf[20];
    std::uint32_t n = 0;
    try {
        o.dev.Read(buf, 20, &n);
        ADD_FAILURE() << "read on a vanished port did not raise";
    } catch (const TUsbError& e) {
        EXPECT_EQ(std::string(e.what()), "USB Device Error : io error.");
        EXPECT_EQ(e.Status(), FT_IO_ERROR);
    }
    EXPECT_FALSE(o.dev.IsOpen());
    EXPECT_FALSE(o.dev.Read(buf, 20, &n));
}

// What the user is shown of a vanished port names it and what the system said.
TEST(SerialPort, AFailedReadCarriesThePortAndTheCause)
{
    Opened o;
    ASSERT_TRUE(o.dev.Open());
    o.pty.CloseMaster();
    std::uint8_t buf[20];
    std::uint32_t n = 0;
    std::string full;
    try {
        o.dev.Read(buf, 20, &n);
    } catch (const TUsbError& e) {
        full = e.Full();
    }
    EXPECT_EQ(full.rfind("USB Device Error : io error.\n" + o.pty.SlavePath() + ": ", 0), 0u) << full;
}

TEST(SerialPort, PeerClosingIsSeenByTheQueuePoll)
{
    // The receive loop polls the queue level before reading; a vanished port must not
    // look like a quiet bus forever.
    Opened o;
    ASSERT_TRUE(o.dev.Open());
    o.pty.CloseMaster();
    std::uint32_t rx = 0;
    EXPECT_THROW(o.dev.GetQueueStatus(&rx), TUsbError);
    EXPECT_FALSE(o.dev.IsOpen());
    EXPECT_EQ(o.dev.LastStatus(), FT_IO_ERROR);
}

TEST(SerialPort, MissingPathIsDeviceNotFound)
{
    TUsbDev dev(0, std::make_shared<TSerialBackend>("/dev/tarvik-no-such-port"));
    std::vector<std::string> shown;
    dev.SetErrorPresenter([&](const std::string& m) { shown.push_back(m); });
    EXPECT_FALSE(dev.Open());
    EXPECT_EQ(dev.LastStatus(), FT_DEVICE_NOT_FOUND);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].rfind("USB Device Error : device not found.", 0), 0u);
    EXPECT_NE(shown[0].find("/dev/tarvik-no-such-port"), std::string::npos);
}

// The exclusive-open flag does not bind root; the lock does, and names who holds it.
TEST(SerialPort, ASecondOpenOfThePortIsRefusedWithTheHolder)
{
    Opened first;
    ASSERT_TRUE(first.pty.Ok());
    ASSERT_TRUE(first.dev.Open());
    TUsbDev second(0, std::make_shared<TSerialBackend>(first.pty.SlavePath()));
    std::vector<std::string> shown;
    second.SetErrorPresenter([&](const std::string& m) { shown.push_back(m); });
    EXPECT_FALSE(second.Open());
    EXPECT_EQ(second.LastStatus(), FT_DEVICE_NOT_OPENED);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_NE(shown[0].find(first.pty.SlavePath() + " is in use by PID " + std::to_string(::getpid()) + "."),
              std::string::npos)
        << shown[0];
    EXPECT_TRUE(first.dev.IsOpen()) << "the refused open disturbed the first";
    // Once the first lets go, the port can be had.
    ASSERT_TRUE(first.dev.Close());
    EXPECT_TRUE(second.Open());
    second.Close();
}

TEST(SerialPort, SomethingElseThanAPortIsRefused)
{
    TUsbDev dev(0, std::make_shared<TSerialBackend>("/dev/null"));
    dev.SetErrorPresenter([](const std::string&) {});
    EXPECT_FALSE(dev.Open());
    EXPECT_EQ(dev.LastStatus(), FT_DEVICE_NOT_OPENED);
    EXPECT_NE(dev.LastOpenError().find("not a serial port"), std::string::npos);
}

TEST(SerialPort, NumberedDevicesCountOnlyAdapters)
{
    auto backend = std::make_shared<TSerialBackend>();
    const auto ports = UsbSerialPortPaths();
    TUsbDev dev(std::uint32_t(ports.size()), backend);  // one past the last adapter
    dev.SetErrorPresenter([](const std::string&) {});
    std::uint32_t count = 99;
    ASSERT_TRUE(dev.DeviceCount(&count));
    EXPECT_EQ(count, ports.size());
    EXPECT_FALSE(dev.Open());
    EXPECT_EQ(dev.LastStatus(), FT_DEVICE_NOT_FOUND);
    // An explicit path wins over the number.
    PtyPair pty;
    backend->SetPortPath(pty.SlavePath());
    EXPECT_TRUE(dev.Open());
}

namespace {
// Opens a port the caller may not use and checks what the user would be told.
int OpenWithoutPermission(const std::string& path)
{
    TUsbDev dev(0, std::make_shared<TSerialBackend>(path));
    std::string shown;
    dev.SetErrorPresenter([&](const std::string& m) { shown = m; });
    if (dev.Open()) return 10;
    if (dev.LastStatus() != FT_DEVICE_NOT_OPENED) return 11;
    if (shown.rfind("USB Device Error : device not opened.", 0) != 0) return 12;
    if (shown.find(path) == std::string::npos) return 13;
    if (shown.find("'dialout' group") == std::string::npos) return 14;
    return 0;
}
}  // namespace

TEST(SerialPort, PermissionDeniedNamesThePortAndTheDialoutGroup)
{
    const std::string dir = (std::filesystem::temp_directory_path() / "tarvik-perm-XXXXXX").string();
    std::string tmpl = dir;
    ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
    const std::string path = tmpl + "/ttyUSB0";
    {
        std::FILE* f = std::fopen(path.c_str(), "w");
        ASSERT_NE(f, nullptr);
        std::fclose(f);
    }
    ::chmod(path.c_str(), 0);
    if (::geteuid() != 0) {
        EXPECT_EQ(OpenWithoutPermission(path), 0);
    } else {
        // Root ignores file modes; the check runs in a child that gives up root first.
        GTEST_FLAG_SET(death_test_style, "threadsafe");
        EXPECT_EXIT(
            {
                if (::setgid(65534) != 0 || ::setuid(65534) != 0) std::_Exit(20);
                std::_Exit(OpenWithoutPermission(path));
            },
            ::testing::ExitedWithCode(0), "");
    }
    std::filesystem::remove_all(tmpl);
}
