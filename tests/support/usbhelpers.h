#pragma once
// The host's side as the program drives it, for tests over any backend: the go-on-bus
// sequence with its ACKs, and a receive loop shaped like the receive thread's.

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <thread>
#include <vector>

#include "tusbdev/adapterprotocol.h"
#include "tusbdev/tusbdev.h"

namespace testsupport {

// Sends one command; true when it went out and, if awaited, the ACK came back.
inline bool Send(tarvik::TUsbDev& dev, const tarvik::Command& c, bool awaitAck, std::uint32_t timeoutMs = 5000)
{
    std::uint8_t reply = 0;
    const bool ok = dev.SendAndWait(c.data(), std::uint32_t(c.size()), timeoutMs, awaitAck ? 1 : 0, &reply);
    return ok && (!awaitAck || reply == tarvik::kAck);
}

// CAN at 1 Mbit/s, 80 %, normal, no terminator, no masks; stops at the first refusal.
inline bool GoOnBusCan(tarvik::TUsbDev& dev, std::uint32_t timeoutMs = 5000)
{
    using namespace tarvik;
    if (!dev.Flush())
        return false;
    for (const tarvik::Command& c : {cmd::Monitor(0), cmd::CanBus(0, 4, 0, 0), cmd::Masks(0, 0, 0, 0)}) {
        if (!testsupport::Send(dev, c, true, timeoutMs))
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return testsupport::Send(dev, cmd::OnBus(), false);
}

// Reads whole records for `span`, or until `enough` records arrived.
inline std::vector<tarvik::AdapterRecord> ReceiveFor(tarvik::TUsbDev& dev, std::chrono::milliseconds span,
                                                     std::size_t enough = SIZE_MAX)
{
    std::vector<tarvik::AdapterRecord> out;
    std::vector<std::uint8_t> buf(163840);
    const auto end = std::chrono::steady_clock::now() + span;
    while (std::chrono::steady_clock::now() < end && out.size() < enough) {
        std::uint32_t rx = 0;
        if (!dev.GetQueueStatus(&rx))
            break;
        if (rx == 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            continue;
        }
        std::uint32_t want = std::min<std::uint32_t>((rx + 19) / 20 * 20, std::uint32_t(buf.size()));
        std::uint32_t got = 0;
        if (!dev.Read(buf.data(), want, &got))
            break;
        for (std::uint32_t i = 0; i + 20 <= got; i += 20) {
            tarvik::AdapterRecord r;
            std::copy_n(buf.begin() + i, 20, r.bytes.begin());
            out.push_back(r);
        }
    }
    return out;
}

}  // namespace testsupport
