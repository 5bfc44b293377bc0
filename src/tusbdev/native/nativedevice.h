#pragma once
// The native adapter: TUsbDev over its function table, the STX/ETX command sequences with
// their acknowledgements, and the 20-byte record stream read whole and kept in step.
#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "tusbdev/busdevice.h"
#include "tusbdev/recordstream.h"
#include "tusbdev/tusbdev.h"

namespace tarvik {

class TNativeDevice : public TBusDevice {
public:
    using Sleeper = std::function<void(int ms)>;
    static constexpr std::uint32_t kReadBufferSize = 163840;  // 8192 records a read

    explicit TNativeDevice(std::shared_ptr<TFtBackend> backend, Sleeper sleep = {});
    // Over a TUsbDev the caller owns and keeps alive (tests that drive the link by hand).
    explicit TNativeDevice(TUsbDev& borrowed);

    const char* Kind() const override { return "native"; }
    void SetErrorPresenter(ErrorPresenter p) override { dev_.SetErrorPresenter(std::move(p)); }
    void SetMessagePump(MessagePump p) override { dev_.SetMessagePump(std::move(p)); }
    void SetBaudRate(std::uint32_t baud) override;
    bool DeviceCount(std::uint32_t* count) override { return dev_.DeviceCount(count); }

    bool Open() override;
    bool Close() override { return dev_.Close(); }
    bool IsOpen() const override { return dev_.IsOpen(); }
    std::string LastOpenError() const override { return dev_.LastOpenError(); }

    // Flush, M, B (and L for CAN) each acknowledged, then N. Stops at the first command
    // not accepted.
    bool GoOnBus(const OnBusConfig& config) override;
    // F without a reply, then a short wait until it has left the transmit queue.
    bool GoOffBus() override;
    // C: acknowledged when off bus, written only when on bus.
    bool Clear(bool onBus) override;
    bool Transmit(const TBusFrame& frame) override;
    bool StartPeriodic(const TBusFrame& frame, std::uint32_t intervalMs) override;
    bool StopPeriodic() override;
    bool SendLinFrame(const LinFrame& frame) override;
    bool StopLinSlave() override;

    bool Receive(TReceiveSink& sink, std::uint32_t timeoutMs) override;
    void CancelWait() override { dev_.CancelWait(); }
    void ResetReceive() override { stream_.Reset(); }
    TDeviceLosses Losses() const override;
    void ResetLosses() override;

    TUsbDev& UsbDev() { return dev_; }

private:
    bool SendAcked(const Command& command);
    bool SendOnly(const Command& command);
    // Runs step(sink) as one batch handed to the receive thread's sink.
    template <class F>
    void Hand(TReceiveSink& sink, F&& step);

    std::unique_ptr<TUsbDev> owned_;
    TUsbDev& dev_;
    Sleeper sleep_;
    TRecordStream stream_{kReadBufferSize};  // the receive thread's alone while on bus
    std::atomic<std::uint64_t> partialBytes_{0};
    std::atomic<std::uint64_t> skippedBytes_{0};
};

// The native command for a frame: T, with the length as its one decimal digit.
Command NativeTransmit(const TBusFrame& frame);
// I: the adapter repeats the frame every intervalMs (sent in 100 microsecond units).
Command NativePeriodic(const TBusFrame& frame, std::uint32_t intervalMs);

}  // namespace tarvik
