#pragma once
// The D2XX-shaped function table behind TUsbDev. TUsbDev holds the algorithms once; a
// backend only answers these calls with the library's status codes.
#include <cstdint>
#include <memory>
#include <string>

namespace tarvik {

using FT_STATUS = std::uint32_t;
using FT_HANDLE = void*;

enum : FT_STATUS {
    FT_OK = 0,
    FT_INVALID_HANDLE = 1,
    FT_DEVICE_NOT_FOUND = 2,
    FT_DEVICE_NOT_OPENED = 3,
    FT_IO_ERROR = 4,
    FT_INSUFFICIENT_RESOURCES = 5,
    FT_INVALID_PARAMETER = 6,
    FT_INVALID_BAUD_RATE = 7,
    FT_DEVICE_NOT_OPENED_FOR_ERASE = 8,
    FT_DEVICE_NOT_OPENED_FOR_WRITE = 9,
    FT_FAILED_TO_WRITE_DEVICE = 10,
    FT_EEPROM_READ_FAILED = 11,
    FT_EEPROM_WRITE_FAILED = 12,
    FT_EEPROM_ERASE_FAILED = 13,
    FT_EEPROM_NOT_PRESENT = 14,
    FT_EEPROM_NOT_PROGRAMMED = 15,
    FT_INVALID_ARGS = 16,
    FT_NOT_SUPPORTED = 17,
    FT_OTHER_ERROR = 18,
    FT_DEVICE_LIST_NOT_READY = 19,
};

inline constexpr std::uint32_t FT_PURGE_RX = 1;
inline constexpr std::uint32_t FT_PURGE_TX = 2;

// Reads and writes may come from two threads at once on the same handle (the receive
// thread reads while the user-interface thread writes); every backend must allow that.
class TFtBackend {
public:
    virtual ~TFtBackend() = default;

    virtual FT_STATUS Open(std::uint32_t deviceNumber, FT_HANDLE* handle) = 0;              // ordinal 1
    virtual FT_STATUS SetBaudRate(FT_HANDLE h, std::uint32_t baud) = 0;                      // 7
    virtual FT_STATUS SetDataCharacteristics(FT_HANDLE h, std::uint8_t wordLength, std::uint8_t stopBits,
                                             std::uint8_t parity) = 0;                       // 8
    virtual FT_STATUS SetFlowControl(FT_HANDLE h, std::uint16_t flow, std::uint8_t xon,
                                     std::uint8_t xoff) = 0;                                 // 9
    virtual FT_STATUS SetTimeouts(FT_HANDLE h, std::uint32_t readMs, std::uint32_t writeMs) = 0;  // 17
    // The once-per-open device setting (called with 100 after the time-outs).
    virtual FT_STATUS SetDeviceOption(FT_HANDLE h, std::uint32_t value) = 0;                 // 65
    virtual FT_STATUS Purge(FT_HANDLE h, std::uint32_t mask) = 0;                            // 16
    virtual FT_STATUS ResetDevice(FT_HANDLE h) = 0;                                          // 6
    // Returns when count bytes arrived or the read time-out passed.
    virtual FT_STATUS Read(FT_HANDLE h, void* buffer, std::uint32_t count, std::uint32_t* bytesRead) = 0;  // 3
    virtual FT_STATUS Write(FT_HANDLE h, const void* buffer, std::uint32_t count,
                            std::uint32_t* bytesWritten) = 0;                                // 4
    virtual FT_STATUS GetQueueStatus(FT_HANDLE h, std::uint32_t* rxBytes) = 0;               // 18
    virtual FT_STATUS GetStatus(FT_HANDLE h, std::uint32_t* rxBytes, std::uint32_t* txBytes,
                                std::uint32_t* eventStatus) = 0;                             // 21
    virtual FT_STATUS Close(FT_HANDLE h) = 0;                                                // 2
    virtual FT_STATUS DeviceCount(std::uint32_t* count) = 0;                                 // 70

    // Beyond the library: sleeps until bytes wait in the receive queue (their count in
    // *rxBytes), the time-out passes or CancelWait is called (*rxBytes 0 then), so an idle
    // receive thread costs nothing. A backend without it answers FT_NOT_SUPPORTED and the
    // caller polls the queue level instead.
    virtual FT_STATUS WaitForData(FT_HANDLE h, std::uint32_t timeoutMs, std::uint32_t* rxBytes)
    {
        (void)h;
        (void)timeoutMs;
        *rxBytes = 0;
        return FT_NOT_SUPPORTED;
    }
    // Ends the WaitForData in progress at once, or else the next one to start (so a cancel
    // just before the wait is not lost). Any thread may call it.
    virtual void CancelWait(FT_HANDLE h) { (void)h; }

    // What the status code alone cannot say about the last failure (which port, what to do
    // about it); empty when there is nothing to add.
    virtual std::string LastErrorDetail() const { return {}; }
};

}  // namespace tarvik
