#pragma once
// The program's only path to the bus adapter: opens the USB-serial channel by device
// number with fixed parameters, reads, writes, reports queue levels, and turns every
// backend status into "USB Device Error : " + a fixed English text.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

#include "tusbdev/ftbackend.h"

namespace tarvik {

// The fixed English text for a status code ("unknown error code : N" for others).
std::string UsbErrorText(FT_STATUS status);

inline constexpr const char* kUsbErrorPrefix = "USB Device Error : ";

// Raised by Read, Write, GetStatus, GetQueueStatus, Flush and Close after the device was closed.
class TUsbError : public std::runtime_error {
public:
    explicit TUsbError(const std::string& message, FT_STATUS status = 0, std::string detail = {})
        : std::runtime_error(message), status_(status), detail_(std::move(detail)) {}
    FT_STATUS Status() const { return status_; }
    // Which port and what the system said ("/dev/ttyUSB0: read failed: ..."); may be empty.
    const std::string& Detail() const { return detail_; }
    // The message with its detail on a line of its own, as the user is shown it.
    std::string Full() const { return detail_.empty() ? std::string(what()) : what() + ("\n" + detail_); }

private:
    FT_STATUS status_;
    std::string detail_;
};

class TUsbDev {
public:
    // Shows an open failure to the user (a modal error box in the program, a recorder in tests).
    using ErrorPresenter = std::function<void(const std::string& message)>;
    // Lets a waiting SendAndWait keep the user interface responsive.
    using MessagePump = std::function<void()>;

    explicit TUsbDev(std::uint32_t deviceNumber, std::shared_ptr<TFtBackend> backend);
    ~TUsbDev();
    TUsbDev(const TUsbDev&) = delete;
    TUsbDev& operator=(const TUsbDev&) = delete;

    bool Open();
    bool Close();
    bool Read(void* buffer, std::uint32_t count, std::uint32_t* bytesRead);
    bool Write(const void* buffer, std::uint32_t count, std::uint32_t* bytesWritten);
    bool GetStatus(std::uint32_t* rxQueue, std::uint32_t* txQueue, std::uint32_t* eventStatus);
    bool GetQueueStatus(std::uint32_t* rxQueue);
    // Sleeps until bytes wait (their count in *rxQueue), the time-out passes or CancelWait is
    // called (0 then). Over a backend that cannot wait, one queue query and, when empty, a
    // 1 ms sleep. False while closed; failures raise as GetQueueStatus does.
    bool WaitForData(std::uint32_t timeoutMs, std::uint32_t* rxQueue);
    // Ends a WaitForData of another thread at once (or the next one to start).
    void CancelWait();
    bool Flush();
    bool SendAndWait(const void* buffer, std::uint32_t length, std::uint32_t timeoutMs, std::uint32_t replyLength,
                     void* reply);
    // Number of attached adapters; false when the backend cannot tell.
    // Whether the last SendAndWait gave up because no reply came within its time-out.
    bool LastReplyTimedOut() const { return replyTimedOut_; }
    bool DeviceCount(std::uint32_t* count);

    bool IsOpen() const { return open_.load(std::memory_order_acquire); }
    std::uint32_t DeviceNumber() const { return deviceNumber_; }
    void SetDeviceNumber(std::uint32_t n) { deviceNumber_ = n; }
    std::uint32_t BaudRate() const { return baudRate_; }
    void SetBaudRate(std::uint32_t baud) { baudRate_ = baud; }
    FT_STATUS LastStatus() const { return lastStatus_.load(std::memory_order_relaxed); }
    // The message of the last open failure (also given to the presenter); empty after a success.
    std::string LastOpenError() const { return lastOpenError_; }

    void SetErrorPresenter(ErrorPresenter p) { presenter_ = std::move(p); }
    void SetMessagePump(MessagePump p) { pump_ = std::move(p); }
    TFtBackend& Backend() { return *backend_; }
    void SetBackend(std::shared_ptr<TFtBackend> backend);

private:
    [[noreturn]] void Fail(FT_STATUS status);
    // A call that failed because another thread closed the device meanwhile (going off bus)
    // is no failure of the device: it answers false, quietly, as any call on a closed
    // device does. A close by another thread's failure still raises here too.
    bool ClosedUnder(FT_HANDLE h) const { return handle_.load() != h && !failed_.load(); }
    FT_HANDLE Usable() const;
    bool OpenFailed(FT_STATUS status, FT_HANDLE h);
    void Pump();

    std::shared_ptr<TFtBackend> backend_;
    std::uint32_t deviceNumber_;
    std::atomic<FT_HANDLE> handle_{nullptr};
    std::atomic<FT_STATUS> lastStatus_{0};
    std::uint32_t baudRate_ = 921600;
    bool replyTimedOut_ = false;  // user-interface thread only, like SendAndWait
    std::uint8_t wordLength_ = 8;
    std::uint8_t stopBits_ = 0;
    std::uint8_t parity_ = 0;
    std::uint16_t flowControl_ = 0;
    std::uint8_t xon_ = 0;
    std::uint8_t xoff_ = 0;
    std::uint32_t readTimeoutMs_ = 5000;
    std::uint32_t writeTimeoutMs_ = 1000;
    std::atomic<bool> open_{false};
    std::atomic<bool> failed_{false};  // the handle was given up by a failure, not by Close
    ErrorPresenter presenter_;
    MessagePump pump_;
    std::string lastOpenError_;
};

}  // namespace tarvik
