#include <gtest/gtest.h>

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
