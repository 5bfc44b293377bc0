#pragma once
// A serial-line CAN adapter: ASCII lines over a USB serial port.
//
//   go on bus      C\r, S0-S8\r for the speed, then O\r, or L\r when silent (each acknowledged)
//   go off bus     C\r
//   transmit       t.../T.../r.../R...\r; the frame is reported as sent once the adapter
//                  accepts it (z\r or Z\r), so "T" marks what reached the bus
//   periodic       the same lines from a timer here, on an absolute schedule: a short stall
//                  is made up, after a long one the missed slots are skipped
//   bus status     F\r once a second while on bus: warning or error passive 1, bus error 2
//
// Frames from the adapter become received records, stamped from the adapter's millisecond
// time stamp when it sends one, else from the host's steady clock. The acceptance masks are
// applied here, since these adapters have none of their own. CAN only: LIN and speeds the
// adapter has no code for are refused with the native adapter's refusal.
#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tusbdev/busdevice.h"
#include "tusbdev/slcan/slcanreader.h"
#include "tusbdev/tusbdev.h"

namespace tarvik {

// The S code for a native CAN speed index, -1 when the adapter has no such speed.
int SlcanSpeedCode(int speedIndex);

class TSlcanDevice : public TBusDevice {
public:
    // serial: the byte channel to the adapter (a serial port of any vendor).
    explicit TSlcanDevice(std::shared_ptr<TFtBackend> serial);
    ~TSlcanDevice() override;
    TSlcanDevice(const TSlcanDevice&) = delete;
    TSlcanDevice& operator=(const TSlcanDevice&) = delete;

    const char* Kind() const override { return "slcan"; }
    void SetErrorPresenter(ErrorPresenter p) override { dev_.SetErrorPresenter(std::move(p)); }
    void SetMessagePump(MessagePump p) override { pump_ = std::move(p); }
    bool DeviceCount(std::uint32_t* count) override { return dev_.DeviceCount(count); }

    bool Open() override;
    bool Close() override;
    bool IsOpen() const override { return dev_.IsOpen(); }
    std::string LastOpenError() const override { return dev_.LastOpenError(); }

    bool GoOnBus(const OnBusConfig& config) override;
    bool GoOffBus() override;
    bool Clear(bool onBus) override;
    bool Transmit(const TBusFrame& frame) override;
    bool StartPeriodic(const TBusFrame& frame, std::uint32_t intervalMs) override;
    bool StopPeriodic() override;
    bool SendLinFrame(const LinFrame& frame) override;
    bool StopLinSlave() override;

    bool Receive(TReceiveSink& sink, std::uint32_t timeoutMs) override;
    void CancelWait() override;
    TDeviceLosses Losses() const override;
    void ResetLosses() override;

    // Frames read from and written to the adapter, frames outside the masks.
    struct Counters {
        std::uint64_t framesIn = 0, framesOut = 0, filtered = 0;
    };
    Counters GetCounters() const;
    TUsbDev& UsbDev() { return dev_; }

private:
    using Clock = std::chrono::steady_clock;
    struct Pending {
        enum class Kind { Ignore, Config, Transmit, Status } kind;
        Clock::time_point deadline;
        AdapterRecord record;  // Transmit: the record reported once accepted
    };
    struct Periodic {
        bool active = false;
        std::string line;
        AdapterRecord record;
        Clock::duration interval{};
        Clock::time_point next;
    };
    enum class Reply { None, Ok, Error };

    // Writes one line and expects one reply of `kind`; false when the write failed.
    bool Send(const std::string& line, Pending::Kind kind, const AdapterRecord& record = {});
    // Writes a line and waits for its reply (ok or error), up to the native reply time.
    Reply SendAndWait(const std::string& line);
    bool Refuse(const char* letter);
    bool FrameLine(const TBusFrame& frame, std::string& line, AdapterRecord& record);
    void StopThreads();
    void ReaderLoop();
    void TimerLoop();
    void Fail(const std::string& message);
    void Handle(const SlcanLine& line, Clock::time_point at);
    void Answer(bool ok, Clock::time_point at);
    void Queue(AdapterRecord rec, std::uint32_t stamp);
    void QueueStatus(std::uint8_t code, Clock::time_point at);
    std::uint32_t HostStamp(Clock::time_point at) const;
    std::uint32_t AdapterStamp(std::uint16_t ms, Clock::time_point at);
    bool Passes(const SlcanLine& line) const;

    TUsbDev dev_;
    MessagePump pump_;
    std::mutex wireMu_;  // keeps a line and its pending entry in wire order; taken before mu_
    mutable std::mutex mu_;
    std::condition_variable dataCv_;   // the receive thread, waiting for records
    std::condition_variable replyCv_;  // a command waiting for its reply
    std::condition_variable timerCv_;  // the timer thread
    bool stop_ = true;
    bool cancelWait_ = false;
    std::string failure_;  // the link failed: what Receive raises

    std::vector<AdapterRecord> in_;  // records for the receive thread
    std::vector<AdapterRecord> handing_;
    std::deque<Pending> pending_;
    Reply lastReply_ = Reply::None;
    std::uint64_t replies_ = 0;  // config replies seen, so a waiter knows its own arrived
    TSlcanReader reader_;

    OnBusConfig config_;
    bool onBus_ = false;
    Periodic periodic_;
    Clock::time_point nextStatusPoll_;
    Clock::time_point start_;
    std::uint8_t check_ = 0;
    // Adapter time stamps wrap every minute; this unrolls them against the host clock.
    bool haveAdapterStamp_ = false;
    std::uint16_t lastAdapterMs_ = 0;
    std::uint64_t adapterMs_ = 0;
    Clock::time_point lastAdapterAt_;
    Counters counters_;
    TDeviceLosses losses_;
    std::uint64_t badLinesBefore_ = 0;

    std::thread readerThread_;
    std::thread timerThread_;
};

}  // namespace tarvik
