#include <QComboBox>
#include <gtest/gtest.h>

#include "dialogs/tsystemdialog.h"
#include "settings/devicelist.h"

using namespace tarvik;
using namespace tarvik::sysconf;

TEST(DeviceList, UsbPortsShowTheirIdentityAndGiveBackTheirNumber)
{
    const std::vector<TUsbPortInfo> ports{
        {"/dev/ttyACM0", "ttyACM0", "CANable 2.0", "004A0035", 0x16D0, 0x117E},
        {"/dev/ttyACM1", "ttyACM1", "USBtin", "", 0x04D8, 0x000A},
    };
    const QStringList items = UsbPortItems(ports);
    ASSERT_EQ(items.size(), 2);
    EXPECT_EQ(items[1], "1: USBtin, 04d8:000a (/dev/ttyACM1)");
    EXPECT_EQ(UsbPortItems({}), QStringList{"0"});

    // Numbers in, numbers out, for identity items and the native adapter's plain numbers alike.
    const struct {
        QString item;
        int number;
    } cases[] = {{items[0], 0}, {items[1], 1}, {"7", 7}, {" 12 ", 12}, {"", -1}, {"x: y", -1}, {"-1", -1}};
    for (const auto& c : cases) EXPECT_EQ(DeviceNumberOfItem(c.item, -1), c.number) << c.item.toStdString();
    EXPECT_EQ(IndexOfDeviceNumber(items, 1), 1);
    EXPECT_EQ(IndexOfDeviceNumber(items, 5), -1);
    EXPECT_EQ(IndexOfDeviceNumber({"0", "1", "2"}, 2), 2);
}

TEST(DeviceList, StoredProtocolNames)
{
    EXPECT_EQ(ProtocolOrDefault("slcan"), "slcan");
    for (const char* other : {"native", "", "SLCAN", "lin"}) EXPECT_EQ(ProtocolOrDefault(other), "native") << other;
}

TEST(DeviceList, TheAdminPageListsPortsByIdentityWhenSerialLineAdaptersAreChosen)
{
    const std::vector<TUsbPortInfo> ports{
        {"/dev/ttyACM0", "ttyACM0", "CANable 2.0", "004A0035", 0x16D0, 0x117E},
        {"/dev/ttyACM1", "ttyACM1", "USBtin", "", 0x04D8, 0x000A},
    };
    TSystemDialog dialog([](std::uint32_t* n) { *n = 3; return true; }, nullptr, [&] { return ports; });
    auto* devices = dialog.findChild<QComboBox*>("ComboBox1");
    auto* protocol = dialog.findChild<QComboBox*>("ComboBox13");
    ASSERT_TRUE(devices && protocol);
    TSettings s;
    s.Protocol = "slcan";
    s.DeviceNo = 1;
    dialog.Load(s);
    ASSERT_EQ(devices->count(), 2);
    EXPECT_EQ(devices->currentText(), "1: USBtin, 04d8:000a (/dev/ttyACM1)");

    // Back to the native adapter: numbers again, the same device kept.
    protocol->setCurrentIndex(0);
    EXPECT_EQ(devices->count(), 3);
    EXPECT_EQ(devices->currentText(), "1");
    TSettings out;
    dialog.Values(out);
    EXPECT_EQ(out.Protocol, "native");
    EXPECT_EQ(out.DeviceNo, 1);

    // A stored name the program does not know is the native adapter; a device number the
    // list lacks selects nothing and OK stores 0.
    s.Protocol = "can232";
    s.DeviceNo = 5;
    dialog.Load(s);
    EXPECT_EQ(protocol->currentText(), "native");
    EXPECT_EQ(devices->currentIndex(), -1);
    dialog.Values(out);
    EXPECT_EQ(out.DeviceNo, 0);
}

TEST(DeviceList, CanInterfacesShowTheirStateAndBitRate)
{
    const auto iface = [](const char* name, const char* kind, bool up, std::uint32_t rate, bool silent = false) {
        socketcan::InterfaceInfo i;
        i.exists = i.isCan = true;
        i.kind = kind;
        i.up = up;
        i.bitRate = rate;
        i.listenOnly = silent;
        return CanInterface{name, i};
    };
    const struct {
        CanInterface iface;
        const char* label;
    } cases[] = {
        {iface("can0", "can", true, 500000), "0: can0 (up, 500 kbit/s)"},
        {iface("can0", "can", false, 0), "0: can0 (down, no bit rate)"},
        {iface("can0", "can", true, 83333, true), "0: can0 (up, 83.3 kbit/s, listen-only)"},
        {iface("vcan0", "vcan", true, 0), "0: vcan0 (up, virtual)"},
        {iface("vxcan1", "vxcan", false, 0), "0: vxcan1 (down, virtual)"},
    };
    for (const auto& c : cases) EXPECT_EQ(CanInterfaceLabel(0, c.iface), c.label);
    EXPECT_EQ(CanInterfaceItems({}), QStringList{"0"});
    EXPECT_EQ(ProtocolOrDefault("socketcan"), "socketcan");

    // The admin page lists them when socketcan is chosen, keeping the chosen number.
    TSystemDialog dialog([](std::uint32_t* n) { *n = 1; return true; });
    dialog.SetCanLister([&] { return std::vector<CanInterface>{iface("can0", "can", true, 250000), iface("vcan0", "vcan", true, 0)}; });
    auto* devices = dialog.findChild<QComboBox*>("ComboBox1");
    ASSERT_TRUE(devices);
    TSettings s;
    s.Protocol = "socketcan";
    s.DeviceNo = 1;
    dialog.Load(s);
    ASSERT_EQ(devices->count(), 2);
    EXPECT_EQ(devices->itemText(0), "0: can0 (up, 250 kbit/s)");
    EXPECT_EQ(devices->currentText(), "1: vcan0 (up, virtual)");
    TSettings out;
    dialog.Values(out);
    EXPECT_EQ(out.Protocol, "socketcan");
    EXPECT_EQ(out.DeviceNo, 1);
}
