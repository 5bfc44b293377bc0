#include "tmainform/buscontrol.h"

#include <chrono>
#include <cstdio>
#include <thread>

#include "tusbdev/adapterprotocol.h"
#include "tusbdev/tusbdev.h"

namespace tarvik {

namespace {

constexpr std::uint32_t kReplyTimeoutMs = 5000;

// The command's letter, after the STX that frames it.
std::string Letter(const std::string& command) { return command.size() > 1 ? command.substr(1, 1) : "?"; }

}  // namespace

TBusControl::TBusControl(TUsbDev& dev, Reception reception, Sleeper sleep)
    : dev_(dev), reception_(std::move(reception)), sleep_(std::move(sleep))
{
    if (!sleep_)
        sleep_ = [](int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); };
}

bool TBusControl::SendAcked(const std::string& command)
{
    std::uint8_t reply = 0;
    if (!dev_.SendAndWait(command.data(), std::uint32_t(command.size()), kReplyTimeoutMs, 1, &reply)) {
        if (dev_.LastReplyTimedOut())
            problem_ = "No answer from the adapter to " + Letter(command) + " within " +
                       std::to_string(kReplyTimeoutMs / 1000) + " s";
        return false;
    }
    if (reply != kAck) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "0x%02X", reply);
        problem_ = "The adapter answered " + Letter(command) + " with " + hex + " instead of ACK";
        return false;
    }
    problem_.clear();
    return true;
}

bool TBusControl::SendOnly(const std::string& command)
{
    const bool ok = dev_.SendAndWait(command.data(), std::uint32_t(command.size()), kReplyTimeoutMs, 0, nullptr);
    if (ok) problem_.clear();
    return ok;
}

bool TBusControl::GoOnBus(const OnBusConfig& c)
{
    if (!dev_.Flush()) return false;
    if (!SendAcked(cmd::Monitor(c.monitorFunction))) return false;
    sleep_(10);
    if (c.monitorFunction == 0) {
        if (!SendAcked(cmd::CanBus(c.canSpeed, c.samplingPoint, c.driverMode, c.terminator))) return false;
        sleep_(10);
        if (!SendAcked(cmd::Masks(c.stdMask, c.stdCode, c.extMask, c.extCode))) return false;
        sleep_(10);
    } else {
        if (!SendAcked(cmd::LinBus(c.linSpeed, c.linNode))) return false;
        sleep_(10);
    }
    if (!SendOnly(cmd::OnBus())) return false;
    return reception_.start();
}

bool TBusControl::GoOffBus()
{
    reception_.stop();
    sleep_(100);  // lets the receive thread finish its pass and park before F goes out
    if (!SendOnly(cmd::OffBus())) return false;
    // A close right after purges a transmit queue that still holds F, leaving the adapter
    // on bus: wait (briefly) until it has left.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
    std::uint32_t rx = 0, tx = 0, events = 0;
    while (dev_.GetStatus(&rx, &tx, &events) && tx > 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return true;
}

bool TBusControl::ClearAdapter()
{
    if (OnBus()) return SendOnly(cmd::Clear());
    return SendAcked(cmd::Clear());
}

bool TBusControl::SendLinFrame(const LinFrame& frame)
{
    if (!OnBus()) return false;
    // The length travels as one decimal digit; anything else would change the command's size.
    const int length = (frame.length >= 0 && frame.length <= 9) ? frame.length : 0;
    return SendOnly(cmd::Transmit(0, length, frame.id & 0x3F, frame.data));
}

bool TBusControl::StopLinSlave()
{
    if (!OnBus()) return false;
    return SendOnly(cmd::StopPeriodic());
}

}  // namespace tarvik
