#pragma once
// Adapter records for trace-log tests, built field by field as the adapter sends them.
#include <cstdint>
#include <initializer_list>

#include "tusbdev/adapterprotocol.h"

namespace testsupport {

inline tarvik::AdapterRecord TraceRecord(std::uint8_t type, std::uint32_t id, bool extended,
                                         std::initializer_list<std::uint8_t> data, std::uint32_t stamp,
                                         int length = -1)
{
    tarvik::AdapterRecord r;
    r.bytes[0] = r.bytes[19] = 0x5A;
    r.bytes[1] = type;
    r.bytes[2] = static_cast<std::uint8_t>(((length < 0 ? static_cast<int>(data.size()) : length) & 0x0F) |
                                           (extended ? 0x20 : 0));
    if (type == tarvik::kLinReceived || type == tarvik::kLinTransmitted) {
        r.bytes[6] = static_cast<std::uint8_t>(id);
    } else {
        r.bytes[3] = static_cast<std::uint8_t>(id >> 24);
        r.bytes[4] = static_cast<std::uint8_t>(id >> 16);
        r.bytes[5] = static_cast<std::uint8_t>(id >> 8);
        r.bytes[6] = static_cast<std::uint8_t>(id);
    }
    int i = 0;
    for (std::uint8_t b : data)
        r.bytes[7 + i++] = b;
    r.bytes[15] = static_cast<std::uint8_t>(stamp >> 24);
    r.bytes[16] = static_cast<std::uint8_t>(stamp >> 16);
    r.bytes[17] = static_cast<std::uint8_t>(stamp >> 8);
    r.bytes[18] = static_cast<std::uint8_t>(stamp);
    return r;
}

}  // namespace testsupport
