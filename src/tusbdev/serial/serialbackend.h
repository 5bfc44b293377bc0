#pragma once
// The function table over a serial port (a USB-serial adapter, or a pseudo-terminal in
// tests): POSIX termios on a file descriptor, so the receive thread may read while the
// user-interface thread writes.
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "tusbdev/ftbackend.h"
#include "tusbdev/serial/serialports.h"

namespace tarvik {

class TSerialBackend : public TFtBackend {
public:
    // With a path, that port is opened whatever device number is asked for. Device numbers
    // count the adapter chip's ports, or with anyUsbVendor every port with a USB identity
    // (serial-line CAN adapters come from many vendors).
    explicit TSerialBackend(std::string portPath = {}, bool anyUsbVendor = false);
    ~TSerialBackend() override;
    TSerialBackend(const TSerialBackend&) = delete;
    TSerialBackend& operator=(const TSerialBackend&) = delete;

    void SetPortPath(std::string path);
    std::string PortPath() const;

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
    FT_STATUS WaitForData(FT_HANDLE h, std::uint32_t timeoutMs, std::uint32_t* rxBytes) override;
    void CancelWait(FT_HANDLE h) override;
    FT_STATUS GetStatus(FT_HANDLE h, std::uint32_t* rxBytes, std::uint32_t* txBytes,
                        std::uint32_t* eventStatus) override;
    FT_STATUS Close(FT_HANDLE h) override;
    FT_STATUS DeviceCount(std::uint32_t* count) override;
    std::string LastErrorDetail() const override;

    // The value last given to the once-per-open device setting (kept, nothing to apply).
    std::uint32_t DeviceOption(FT_HANDLE h) const;

private:
    struct Port;
    std::shared_ptr<Port> Find(FT_HANDLE h) const;
    FT_STATUS Failed(FT_STATUS status, std::string detail);
    FT_STATUS IoFailed(const Port& port, const char* what, int err);

    mutable std::mutex mutex_;
    std::map<std::uintptr_t, std::shared_ptr<Port>> ports_;
    std::uintptr_t nextId_ = 1;
    std::string path_;
    std::string detail_;
    bool anyUsbVendor_ = false;
};

}  // namespace tarvik
