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
    // 0x80 rather than the adapter's usual 0x20: any high bit of byte 2 marks a 29-bit identifier.
    auto r = tarvik::AdapterRecord::Raw(tx ? tarvik::kCanTransmitted : tarvik::kCanReceived,
                                        std::uint8_t((ext ? 0x80 : 0) | 8), id);
    for (int i = 0; i < 8; ++i)
        r.SetData(i, std::uint8_t(stamp * 7 + std::uint32_t(i)));
    return r.SetCheck(0x42).SetTimeStamp(stamp & 0xFFFFFF);
}

// Serves the workers' calls to the GUI thread while waiting.
inline bool WaitUntil(const std::function<bool()>& cond,
                      std::chrono::milliseconds timeout = std::chrono::seconds(10))
{
    return tarvik::WaitServingGuiCalls(cond, timeout);
}

}  // namespace monitortest
