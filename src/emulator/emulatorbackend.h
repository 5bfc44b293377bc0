#pragma once
// The adapter emulator as device 0 of the D2XX-shaped function table, in process. A
// generator thread sleeps until the next record is due; Read blocks on a condition
// variable until its bytes arrived or the read time-out passed.
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "emulator/adapteremulator.h"
#include "tusbdev/ftbackend.h"

namespace tarvik {

class TEmulatorBackend : public TFtBackend {
public:
    // Without a model the emulator plays the vehicle.
    explicit TEmulatorBackend(std::unique_ptr<TBusModel> model = nullptr);
    TEmulatorBackend(std::unique_ptr<TBusModel> model, AdapterEmulator::Options options);
    ~TEmulatorBackend() override;
    TEmulatorBackend(const TEmulatorBackend&) = delete;
    TEmulatorBackend& operator=(const TEmulatorBackend&) = delete;

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

    // Runs f(AdapterEmulator&) under the emulator's lock (command log, injections, model),
    // then lets the generator and any waiting reader see the change.
    template <class F>
    decltype(auto) WithEngine(F&& f)
    {
        struct Wake {
            TEmulatorBackend* self;
            ~Wake()
            {
                self->workCv_.notify_all();
                self->dataCv_.notify_all();
            }
        } wake{this};
        std::lock_guard<std::mutex> lock(mu_);
        return f(engine_);
    }

    std::vector<std::string> CommandLog() const;
    std::string ReceivedBytes() const;
    void ClearLog();
    void SetReplyMode(char letter, AdapterEmulator::ReplyMode mode);
    void InjectStatus(std::uint8_t code);
    void InjectRaw(const std::string& bytes);
    // Unplugs the adapter: waiting and later calls fail with FT_IO_ERROR, Open with FT_DEVICE_NOT_FOUND.
    void Disconnect();
    void Reconnect();

    bool IsOpen() const;
    std::uint32_t BaudRate() const;
    std::uint32_t ReadTimeoutMs() const;

private:
    static EmuMicros Now();
    bool Valid(FT_HANDLE h) const { return open_ && h == &handleToken_; }
    void Run();

    mutable std::mutex mu_;
    std::condition_variable dataCv_;  // readers: bytes arrived, device closed or gone
    std::condition_variable workCv_;  // generator: schedule changed or room freed
    AdapterEmulator engine_;
    bool open_ = false;
    bool stop_ = false;
    bool cancelWait_ = false;  // a CancelWait not yet taken by a WaitForData
    std::uint32_t baud_ = 0;
    std::uint32_t readTimeoutMs_ = 5000;
    std::uint32_t writeTimeoutMs_ = 1000;
    int handleToken_ = 0;
    std::thread thread_;
};

}  // namespace tarvik
