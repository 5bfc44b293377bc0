#pragma once
// Frames and waiting shared by the monitor worker and window tests.
#include <chrono>
#include <cstdint>
#include <functional>

#include "platform/guicall.h"
#include "tusbdev/adapterprotocol.h"

namespace monitortest {

// A CAN frame of eight bytes whose data and time stamp follow stamp, so that lines of
// different stamps differ.
inline tarvik::AdapterRecord Frame(std::uint32_t id, std::uint32_t stamp = 0, bool ext = false, bool tx = false)
{
    tarvik::AdapterRecord r;
    r.bytes[0] = r.bytes[19] = 0x42;
    r.bytes[1] = tx ? 1 : 0;
    r.bytes[2] = std::uint8_t((ext ? 0x80 : 0) | 8);
    r.bytes[3] = std::uint8_t(id >> 24);
    r.bytes[4] = std::uint8_t(id >> 16);
    r.bytes[5] = std::uint8_t(id >> 8);
    r.bytes[6] = std::uint8_t(id);
    for (int i = 0; i < 8; ++i)
        r.bytes[std::size_t(7 + i)] = std::uint8_t(stamp * 7 + std::uint32_t(i));
    r.bytes[16] = std::uint8_t(stamp >> 16);
    r.bytes[17] = std::uint8_t(stamp >> 8);
    r.bytes[18] = std::uint8_t(stamp);
    return r;
}

// Serves the workers' calls to the GUI thread while waiting.
inline bool WaitUntil(const std::function<bool()>& cond,
                      std::chrono::milliseconds timeout = std::chrono::seconds(10))
{
    return tarvik::WaitServingGuiCalls(cond, timeout);
}

}  // namespace monitortest
