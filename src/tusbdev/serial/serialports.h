#pragma once
// The USB serial ports attached now, as the system describes them, in the order device
// numbers count them.
#include <cstdint>
#include <string>
#include <vector>

namespace tarvik {

// USB vendor id of the adapter's USB-serial chip.
inline constexpr std::uint16_t kAdapterVendorId = 0x0403;
// Fastest rate the adapter's chip runs at.
inline constexpr std::uint32_t kMaxBaudRate = 12'000'000;

// A USB serial port as the system describes it.
struct TUsbPortInfo {
    std::string path;     // /dev/ttyACM0
    std::string name;     // ttyACM0
    std::string product;  // the USB product string, may be empty
    std::string serial;   // the USB serial number, may be empty
    std::uint16_t vendorId = 0, productId = 0;
};

// How a device list shows a port: "0: CANable 2.0, 16d0:117e, SN 004A0035 (/dev/ttyACM0)";
// parts the device does not give are left out.
std::string UsbPortLabel(std::uint32_t number, const TUsbPortInfo& port);

// Port names in the order device numbers count them: by name, with numbers inside names
// compared as numbers (ttyUSB2 before ttyUSB10).
bool PortNameLess(const std::string& a, const std::string& b);

// The adapter chip's ports, or with anyUsbVendor every port with a USB identity (serial-line
// CAN adapters come from many vendors), in device-number order; and their paths.
std::vector<TUsbPortInfo> UsbSerialPorts(bool anyUsbVendor = false);
std::vector<std::string> UsbSerialPortPaths(bool anyUsbVendor = false);

}  // namespace tarvik
