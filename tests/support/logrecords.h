#pragma once
// Adapter records for tests, built field by field as the adapter sends them.
#include <cstdint>
#include <initializer_list>

#include "tusbdev/adapterprotocol.h"

namespace testsupport {

// Check bytes 0x5A; a LIN identifier goes to byte 6 alone. length < 0 takes the number of
// data bytes given; a larger length (up to 15) keeps the bytes not given at 0.
inline tarvik::AdapterRecord TraceRecord(std::uint8_t type, std::uint32_t id, bool extended,
                                         std::initializer_list<std::uint8_t> data, std::uint32_t stamp = 0,
                                         int length = -1)
{
    const bool lin = type == tarvik::kLinReceived || type == tarvik::kLinTransmitted;
    const int n = length < 0 ? static_cast<int>(data.size()) : length;
    auto r = tarvik::AdapterRecord::Raw(type, static_cast<std::uint8_t>((n & 0x0F) | (extended ? 0x20 : 0)),
                                        lin ? id & 0xFF : id);
    r.SetCheck(0x5A).SetTimeStamp(stamp);
    int i = 0;
    for (std::uint8_t b : data)
        r.SetData(i++, b);
    return r;
}

}  // namespace testsupport
