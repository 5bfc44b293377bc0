#include "tusbdev/native/nativedevice.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>

namespace tarvik {

namespace {

constexpr std::uint32_t kReplyTimeoutMs = 5000;
// Out of step with bytes held: a quiet spell this long settles where the step is.
constexpr std::uint32_t kSettleMs = 20;

// The command's letter, after the STX that frames it.
std::string Letter(const Command& command) { return command.size() > 1 ? command.substr(1, 1) : "?"; }

// The length travels as one decimal digit; anything else would change the command's size.
int LengthDigit(int length) { return length >= 0 && length <= 9 ? length : 0; }

// The stream's records go to the receive thread's sink as they are cut.
class StreamSink : public TRecordStream::Sink {
public:
    explicit StreamSink(TReceiveSink& to) : to_(to) {}
    void Record(const std::uint8_t* rec) override { to_.Record(rec); }
    void BadRecord() override { to_.BadRecord(); }

private:
    TReceiveSink& to_;
};

}  // namespace

Command NativeTransmit(const TBusFrame& f)
{
    return cmd::Transmit(f.extended ? 1 : 0, LengthDigit(f.length), f.id, f.data.data());
}

Command NativePeriodic(const TBusFrame& f, std::uint32_t intervalMs)
{
    // The adapter counts in 100 microsecond units; a longer interval saturates rather than
    // wrapping to a short one.
    const std::uint64_t wide = std::uint64_t(intervalMs) * 10u;
    const std::uint32_t units = wide > 0xFFFFFFFFull ? 0xFFFFFFFFu : std::uint32_t(wide);
    return cmd::TransmitPeriodic(f.extended ? 1 : 0, LengthDigit(f.length), f.id, f.data.data(), units);
}

TNativeDevice::TNativeDevice(std::shared_ptr<TFtBackend> backend, Sleeper sleep)
    : owned_(std::make_unique<TUsbDev>(0, std::move(backend))), dev_(*owned_), sleep_(std::move(sleep))
{
    if (!sleep_) sleep_ = [](int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); };
    TBusDevice::SetBaudRate(dev_.BaudRate());
}

TNativeDevice::TNativeDevice(TUsbDev& borrowed) : dev_(borrowed)
{
    sleep_ = [](int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); };
    SetDeviceNumber(dev_.DeviceNumber());
    TBusDevice::SetBaudRate(dev_.BaudRate());
}

void TNativeDevice::SetBaudRate(std::uint32_t baud)
{
    TBusDevice::SetBaudRate(baud);
    dev_.SetBaudRate(baud);
}

bool TNativeDevice::Open()
{
    dev_.SetDeviceNumber(DeviceNumber());
    dev_.SetBaudRate(BaudRate());
    return dev_.Open();
}

bool TNativeDevice::SendAcked(const Command& command)
{
    std::uint8_t reply = 0;
    if (!dev_.SendAndWait(command.data(), std::uint32_t(command.size()), kReplyTimeoutMs, 1, &reply)) {
        if (dev_.LastReplyTimedOut())
            SetProblem("No answer from the adapter to " + Letter(command) + " within " +
                       std::to_string(kReplyTimeoutMs / 1000) + " s");
        return false;
    }
    if (reply != kAck) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "0x%02X", reply);
        SetProblem("The adapter answered " + Letter(command) + " with " + hex + " instead of ACK");
        return false;
    }
    ClearProblem();
    return true;
}

bool TNativeDevice::SendOnly(const Command& command)
{
    const bool ok = dev_.SendAndWait(command.data(), std::uint32_t(command.size()), kReplyTimeoutMs, 0, nullptr);
    if (ok) ClearProblem();
    return ok;
}

bool TNativeDevice::GoOnBus(const OnBusConfig& c)
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
    return SendOnly(cmd::OnBus());
}

bool TNativeDevice::GoOffBus()
{
    if (!SendOnly(cmd::OffBus())) return false;
    // A close right after purges a transmit queue that still holds F, leaving the adapter
    // on bus: wait (briefly) until it has left.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
    std::uint32_t rx = 0, tx = 0, events = 0;
    while (dev_.GetStatus(&rx, &tx, &events) && tx > 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return true;
}

bool TNativeDevice::Clear(bool onBus) { return onBus ? SendOnly(cmd::Clear()) : SendAcked(cmd::Clear()); }

bool TNativeDevice::Transmit(const TBusFrame& frame)
{
    // The adapter's command has neither a remote flag nor room for more than eight bytes.
    if (frame.fd || frame.remote) {
        SetProblem("The adapter sends classic data frames only");
        return false;
    }
    return SendOnly(NativeTransmit(frame));
}

bool TNativeDevice::StartPeriodic(const TBusFrame& frame, std::uint32_t intervalMs)
{
    if (frame.fd || frame.remote) {
        SetProblem("The adapter sends classic data frames only");
        return false;
    }
    return SendOnly(NativePeriodic(frame, intervalMs));
}

bool TNativeDevice::StopPeriodic() { return SendOnly(cmd::StopPeriodic()); }

bool TNativeDevice::SendLinFrame(const LinFrame& f) { return SendOnly(cmd::LinTransmit(LengthDigit(f.length), f.id, f.data)); }

bool TNativeDevice::StopLinSlave() { return SendOnly(cmd::StopPeriodic()); }

template <class F>
void TNativeDevice::Hand(TReceiveSink& sink, F&& step)
{
    const std::uint64_t skippedBefore = stream_.SkippedBytes();
    StreamSink cut(sink);
    sink.Begin();
    step(cut);
    sink.End();
    skippedBytes_ += stream_.SkippedBytes() - skippedBefore;
}

bool TNativeDevice::Receive(TReceiveSink& sink, std::uint32_t timeoutMs)
{
    std::uint32_t waiting = 0;
    if (!dev_.WaitForData(stream_.Sliding() ? kSettleMs : timeoutMs, &waiting)) return false;
    if (waiting == 0) {
        if (stream_.Sliding()) Hand(sink, [&](StreamSink& cut) { stream_.Settle(cut); });
        return true;
    }
    // Whole records: the read waits (up to its time-out) for the rest of a partial one.
    const auto want = std::uint32_t(stream_.ReadSizeFor(waiting));
    std::uint32_t got = 0;
    if (!dev_.Read(stream_.WriteSpace(), want, &got)) return false;
    got = std::min(got, want);
    Hand(sink, [&](StreamSink& cut) { stream_.Commit(got, cut); });
    if (got < want) {  // the read time-out passed inside a record
        if (stream_.Sliding()) Hand(sink, [&](StreamSink& cut) { stream_.Settle(cut); });
        partialBytes_ += stream_.DropHeld();
    }
    return true;
}

TDeviceLosses TNativeDevice::Losses() const
{
    TDeviceLosses l;
    l.partialBytes = partialBytes_.load();
    l.skippedBytes = skippedBytes_.load();
    return l;
}

void TNativeDevice::ResetLosses()
{
    partialBytes_ = 0;
    skippedBytes_ = 0;
}

}  // namespace tarvik
