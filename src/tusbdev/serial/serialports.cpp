#include "tusbdev/serial/serialports.h"

#include <QSerialPortInfo>
#include <algorithm>
#include <cctype>
#include <cstdio>

namespace tarvik {

bool PortNameLess(const std::string& a, const std::string& b)
{
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        const bool da = std::isdigit(static_cast<unsigned char>(a[i])) != 0;
        const bool db = std::isdigit(static_cast<unsigned char>(b[j])) != 0;
        if (da && db) {
            std::size_t ei = i, ej = j;
            while (ei < a.size() && std::isdigit(static_cast<unsigned char>(a[ei]))) ++ei;
            while (ej < b.size() && std::isdigit(static_cast<unsigned char>(b[ej]))) ++ej;
            // Compare the runs as numbers: drop leading zeros, then the longer run is larger.
            std::size_t zi = i, zj = j;
            while (zi + 1 < ei && a[zi] == '0') ++zi;
            while (zj + 1 < ej && b[zj] == '0') ++zj;
            if (ei - zi != ej - zj) return ei - zi < ej - zj;
            if (int c = a.compare(zi, ei - zi, b, zj, ej - zj); c != 0) return c < 0;
            i = ei;
            j = ej;
            continue;
        }
        if (a[i] != b[j]) return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
        ++i;
        ++j;
    }
    if (a.size() - i != b.size() - j) return a.size() - i < b.size() - j;
    return a < b;
}

std::string UsbPortLabel(std::uint32_t number, const TUsbPortInfo& port)
{
    char ids[16];
    std::snprintf(ids, sizeof ids, "%04x:%04x", port.vendorId, port.productId);
    std::string s = std::to_string(number) + ": ";
    if (!port.product.empty()) s += port.product + ", ";
    s += ids;
    if (!port.serial.empty()) s += ", SN " + port.serial;
    return s + " (" + port.path + ")";
}

std::vector<TUsbPortInfo> UsbSerialPorts(bool anyUsbVendor)
{
    std::vector<TUsbPortInfo> found;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        if (!info.hasVendorIdentifier() || (!anyUsbVendor && info.vendorIdentifier() != kAdapterVendorId)) continue;
        TUsbPortInfo p;
        p.path = info.systemLocation().toStdString();
        p.name = info.portName().toStdString();
        p.product = info.description().toStdString();
        p.serial = info.serialNumber().toStdString();
        p.vendorId = info.vendorIdentifier();
        p.productId = info.hasProductIdentifier() ? info.productIdentifier() : 0;
        found.push_back(std::move(p));
    }
    std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return PortNameLess(a.name, b.name); });
    return found;
}

std::vector<std::string> UsbSerialPortPaths(bool anyUsbVendor)
{
    std::vector<std::string> paths;
    for (auto& p : UsbSerialPorts(anyUsbVendor)) paths.push_back(std::move(p.path));
    return paths;
}

}  // namespace tarvik
