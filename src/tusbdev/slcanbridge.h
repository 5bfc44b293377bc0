#pragma once
// A serial-line CAN adapter behind the function table: the bridge speaks the adapter's
// ASCII lines on a lower channel (a serial port) and answers upward as the native adapter
// does, so TUsbDev, the receive thread and every window run on it unchanged.
//
// Native command      on the wire                       answered upward
//   M0 / M1           nothing                           ACK / NAK (no LIN on these adapters)
//   B (CAN form)      C\r, then S0-S8\r for the speed   ACK on CR, NAK on BEL or a speed with no S code
//   L                 nothing (filtered here)           ACK
//   N                 O\r, or L\r in silent mode        a status record 2 when the adapter refuses
//   F                 C\r
//   C                 nothing                           ACK off bus
//   T                 t.../T...\r                       a transmitted record once the adapter accepts
//   I / S             t/T lines from a timer here; the adapter has no repetition of its own
//
// Frames from the adapter become received records, stamped from the adapter's millisecond
// time stamp when it sends one, else from the host's steady clock; bus status is asked for
// with F\r once a second and reported as a status record (warning or error passive 1,
// bus error 2).
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tusbdev/adapterprotocol.h"
#include "tusbdev/ftbackend.h"
#include "tusbdev/slcanreader.h"

namespace tarvik {

// The S code for a native CAN speed index, -1 when the adapter has no such speed.
int SlcanSpeedCode(int speedIndex);

class TSlcanBridge : public TFtBackend {
public:
    struct Counters {
        std::uint64_t framesIn = 0;          // frames read from the adapter
        std::uint64_t framesOut = 0;         // frames written to the adapter
        std::uint64_t badLines = 0;          // lines that did not parse
        std::uint64_t refusedTransmits = 0;  // frames the adapter answered with BEL, or that it cannot carry
        std::uint64_t lostRecords = 0;       // records dropped because the reader fell behind
        std::uint64_t filtered = 0;          // frames outside the masks
    };

    explicit TSlcanBridge(std::shared_ptr<TFtBackend> lower);
    ~TSlcanBridge() override;
    TSlcanBridge(const TSlcanBridge&) = delete;
    TSlcanBridge& operator=(const TSlcanBridge&) = delete;

    FT_STATUS Open(std::uint32_t deviceNumber, FT_HANDLE* handle) override;
    FT_STATUS SetBaudRate(FT_HANDLE h, std::uint32_t baud) override;
    FT_STATUS SetDataCharacteristics(FT_HANDLE h, std::uint8_t wordLength, std::uint8_t stopBits,
                                     std::uint8_t parity) override;
    FT_STATUS SetFlowControl(FT_HANDLE h, std::uint16_t flow, std::uint8_t xon, std::uint8_t xoff) override;
    FT_STATUS SetTimeouts(FT_HANDLE h, std::uint32_t readMs, std::uint32_t writeMs) override;
    FT_STATUS SetDeviceOption(FT_HANDLE h, std::uint32_t value) override;
    FT_STATUS Purge(FT_HANDLE h, std::uint32_t mask) override;
    FT_STATUS ResetDevice(FT_HANDLE h) override;
    FT_STATUS Read(FT_HANDLE h, void* buffer, std::uint32_t count, std::uint32_t* bytesRead) override;
    FT_STATUS Write(FT_HANDLE h, const void* buffer, std::uint32_t count, std::uint32_t* bytesWritten) override;
    FT_STATUS GetQueueStatus(FT_HANDLE h, std::uint32_t* rxBytes) override;
    FT_STATUS GetStatus(FT_HANDLE h, std::uint32_t* rxBytes, std::uint32_t* txBytes,
                        std::uint32_t* eventStatus) override;
    FT_STATUS Close(FT_HANDLE h) override;
    FT_STATUS DeviceCount(std::uint32_t* count) override;
    std::string LastErrorDetail() const override;
    // Sleeps until bytes wait upward (their count in *rxBytes), the time-out passes or
    // CancelWait is called (*rxBytes 0 then); a cancel before the wait ends the next one.
    FT_STATUS WaitForData(FT_HANDLE h, std::uint32_t timeoutMs, std::uint32_t* rxBytes) override;
    void CancelWait(FT_HANDLE h) override;

    Counters GetCounters() const;
    TFtBackend& Lower() { return *lower_; }

private:
    using Clock = std::chrono::steady_clock;
    struct Pending {
        enum class Kind { Ignore, Config, Open, Transmit, Status } kind;
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

    bool Valid(FT_HANDLE h) const { return open_ && h == &handleToken_; }
    void Command(const std::string& f);
    // Writes one line to the adapter and expects one reply of `kind`.
    FT_STATUS Send(const std::string& line, Pending::Kind kind, const AdapterRecord& record = {});
    void Transmit(const std::string& body, bool periodic);
    void ReaderLoop();
    void TimerLoop();
    void Handle(const SlcanLine& line, Clock::time_point at);
    void Answer(bool ok, const SlcanLine* line, Clock::time_point at);
    void Queue(AdapterRecord rec, Clock::time_point at, std::uint32_t stamp);
    void QueueStatus(std::uint8_t code, Clock::time_point at);
    std::uint32_t HostStamp(Clock::time_point at) const;
    std::uint32_t AdapterStamp(std::uint16_t ms, Clock::time_point at);
    void StopThreads();

    std::shared_ptr<TFtBackend> lower_;
    FT_HANDLE lowerHandle_ = nullptr;
    int handleToken_ = 0;

    std::mutex wireMu_;  // keeps a line and its pending entry in wire order; taken before mu_
    mutable std::mutex mu_;
    std::condition_variable dataCv_;   // readers of the upward queue
    std::condition_variable timerCv_;  // the timer thread
    bool open_ = false;
    bool stop_ = false;
    bool cancelWait_ = false;
    FT_STATUS failed_ = FT_OK;  // the lower channel failed; every later call reports it
    std::string detail_;

    std::vector<std::uint8_t> out_;  // upward bytes: records and one-byte replies
    std::size_t outHead_ = 0;
    std::uint32_t readTimeoutMs_ = 5000;
    std::deque<Pending> pending_;
    TSlcanReader reader_;
    std::vector<SlcanLine> lines_;

    // Native command parser.
    std::string frame_;
    bool inFrame_ = false;

    bool canMode_ = true;
    int driverMode_ = 0;
    std::uint32_t stdMask_ = 0, stdCode_ = 0, extMask_ = 0, extCode_ = 0;
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

    std::thread readerThread_;
    std::thread timerThread_;
};

}  // namespace tarvik
