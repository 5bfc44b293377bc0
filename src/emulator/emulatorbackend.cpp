#include "emulator/emulatorbackend.h"

#include <algorithm>
#include <chrono>

#include "emulator/vehiclemodel.h"

namespace tarvik {

namespace {
std::unique_ptr<TBusModel> OrVehicle(std::unique_ptr<TBusModel> m)
{
    return m ? std::move(m) : std::make_unique<TVehicleModel>();
}
}  // namespace

TEmulatorBackend::TEmulatorBackend(std::unique_ptr<TBusModel> model)
    : TEmulatorBackend(std::move(model), AdapterEmulator::Options{})
{
}

TEmulatorBackend::TEmulatorBackend(std::unique_ptr<TBusModel> model, AdapterEmulator::Options options)
    : engine_(OrVehicle(std::move(model)), Now(), options)
{
    thread_ = std::thread([this] { Run(); });
}

TEmulatorBackend::~TEmulatorBackend()
{
    {
        std::lock_guard<std::mutex> lock(mu_);
        stop_ = true;
        open_ = false;
    }
    workCv_.notify_all();
    dataCv_.notify_all();
    thread_.join();
}

EmuMicros TEmulatorBackend::Now()
{
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

void TEmulatorBackend::Run()
{
    using namespace std::chrono;
    std::unique_lock<std::mutex> lock(mu_);
    while (!stop_) {
        if (!open_ || engine_.Disconnected()) {
            workCv_.wait(lock);
            continue;
        }
        const EmuMicros now = Now();
        const std::size_t before = engine_.OutputSize();
        engine_.Advance(now);
        if (engine_.OutputSize() != before || engine_.Disconnected())
            dataCv_.notify_all();
        EmuMicros due = engine_.NextDue(now);
        if (due == kEmuNever) {
            workCv_.wait(lock);
        } else {
            // At most one wake-up every 4 ms, as the adapter's USB chip hands bytes over in
            // batches too: records carry their own due times, so a busy stream does not cost
            // a wake-up per record.
            due = std::max(due, now + 4000);
            workCv_.wait_until(lock, steady_clock::time_point(microseconds(due)));
        }
    }
}

FT_STATUS TEmulatorBackend::Open(std::uint32_t deviceNumber, FT_HANDLE* handle)
{
    {
        std::lock_guard<std::mutex> lock(mu_);
        if (deviceNumber != 0 || engine_.Disconnected())
            return FT_DEVICE_NOT_FOUND;
        if (open_)
            return FT_DEVICE_NOT_OPENED;
        open_ = true;
        // Nothing was listening while closed: start from now with empty queues.
        engine_.SkipTo(Now());
        engine_.ClearOutput();
        if (handle)
            *handle = &handleToken_;
    }
    workCv_.notify_all();
    return FT_OK;
}

#define TARVIK_EMU_CHECK(h)                  \
    std::lock_guard<std::mutex> lock(mu_);   \
    if (!Valid(h))                           \
        return FT_INVALID_HANDLE;            \
    if (engine_.Disconnected())              \
        return FT_IO_ERROR

FT_STATUS TEmulatorBackend::SetBaudRate(FT_HANDLE h, std::uint32_t baud)
{
    TARVIK_EMU_CHECK(h);
    if (baud == 0)
        return FT_INVALID_BAUD_RATE;
    baud_ = baud;
    return FT_OK;
}

FT_STATUS TEmulatorBackend::SetDataCharacteristics(FT_HANDLE h, std::uint8_t, std::uint8_t, std::uint8_t)
{
    TARVIK_EMU_CHECK(h);
    return FT_OK;
}

FT_STATUS TEmulatorBackend::SetFlowControl(FT_HANDLE h, std::uint16_t, std::uint8_t, std::uint8_t)
{
    TARVIK_EMU_CHECK(h);
    return FT_OK;
}

FT_STATUS TEmulatorBackend::SetTimeouts(FT_HANDLE h, std::uint32_t readMs, std::uint32_t writeMs)
{
    TARVIK_EMU_CHECK(h);
    readTimeoutMs_ = readMs;
    writeTimeoutMs_ = writeMs;
    return FT_OK;
}

FT_STATUS TEmulatorBackend::SetDeviceOption(FT_HANDLE h, std::uint32_t)
{
    TARVIK_EMU_CHECK(h);
    return FT_OK;
}

FT_STATUS TEmulatorBackend::Purge(FT_HANDLE h, std::uint32_t mask)
{
    TARVIK_EMU_CHECK(h);
    if (mask & FT_PURGE_RX)
        engine_.ClearOutput();
    return FT_OK;
}

FT_STATUS TEmulatorBackend::ResetDevice(FT_HANDLE h)
{
    TARVIK_EMU_CHECK(h);
    return FT_OK;
}

FT_STATUS TEmulatorBackend::GetQueueStatus(FT_HANDLE h, std::uint32_t* rxBytes)
{
    TARVIK_EMU_CHECK(h);
    if (rxBytes)
        *rxBytes = static_cast<std::uint32_t>(engine_.OutputSize());
    return FT_OK;
}

FT_STATUS TEmulatorBackend::GetStatus(FT_HANDLE h, std::uint32_t* rxBytes, std::uint32_t* txBytes,
                                      std::uint32_t* eventStatus)
{
    TARVIK_EMU_CHECK(h);
    if (rxBytes)
        *rxBytes = static_cast<std::uint32_t>(engine_.OutputSize());
    if (txBytes)
        *txBytes = 0;
    if (eventStatus)
        *eventStatus = 0;
    return FT_OK;
}

#undef TARVIK_EMU_CHECK

FT_STATUS TEmulatorBackend::Read(FT_HANDLE h, void* buffer, std::uint32_t count, std::uint32_t* bytesRead)
{
    if (bytesRead)
        *bytesRead = 0;
    auto* out = static_cast<std::uint8_t*>(buffer);
    std::uint32_t got = 0;
    {
        std::unique_lock<std::mutex> lock(mu_);
        if (!Valid(h))
            return FT_INVALID_HANDLE;
        if (engine_.Disconnected())
            return FT_IO_ERROR;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(readTimeoutMs_);
        for (;;) {
            const std::size_t n = engine_.TakeOutput(out + got, count - got);
            got += static_cast<std::uint32_t>(n);
            if (n && !engine_.Model().Paced())
                workCv_.notify_all();  // an unpaced model may top up now
            if (got == count)
                break;
            const bool woke = dataCv_.wait_until(lock, deadline, [&] {
                return !Valid(h) || engine_.Disconnected() || engine_.OutputSize() > 0;
            });
            if (!Valid(h))
                return FT_INVALID_HANDLE;
            if (engine_.Disconnected())
                return FT_IO_ERROR;
            if (!woke)
                break;  // time-out: hand over what arrived
        }
    }
    if (bytesRead)
        *bytesRead = got;
    return FT_OK;
}

FT_STATUS TEmulatorBackend::WaitForData(FT_HANDLE h, std::uint32_t timeoutMs, std::uint32_t* rxBytes)
{
    *rxBytes = 0;
    std::unique_lock<std::mutex> lock(mu_);
    dataCv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        return !Valid(h) || engine_.Disconnected() || engine_.OutputSize() > 0 || cancelWait_;
    });
    cancelWait_ = false;
    if (!Valid(h))
        return FT_INVALID_HANDLE;
    if (engine_.Disconnected())
        return FT_IO_ERROR;
    *rxBytes = static_cast<std::uint32_t>(engine_.OutputSize());
    return FT_OK;
}

void TEmulatorBackend::CancelWait(FT_HANDLE h)
{
    {
        std::lock_guard<std::mutex> lock(mu_);
        if (!Valid(h))
            return;
        cancelWait_ = true;
    }
    dataCv_.notify_all();
}

FT_STATUS TEmulatorBackend::Write(FT_HANDLE h, const void* buffer, std::uint32_t count, std::uint32_t* bytesWritten)
{
    if (bytesWritten)
        *bytesWritten = 0;
    {
        std::lock_guard<std::mutex> lock(mu_);
        if (!Valid(h))
            return FT_INVALID_HANDLE;
        if (engine_.Disconnected())
            return FT_IO_ERROR;
        engine_.Feed(buffer, count, Now());
        if (bytesWritten)
            *bytesWritten = count;
    }
    dataCv_.notify_all();
    workCv_.notify_all();
    return FT_OK;
}

FT_STATUS TEmulatorBackend::Close(FT_HANDLE h)
{
    {
        std::lock_guard<std::mutex> lock(mu_);
        if (!Valid(h))
            return FT_INVALID_HANDLE;
        open_ = false;
    }
    dataCv_.notify_all();
    workCv_.notify_all();
    return FT_OK;
}

FT_STATUS TEmulatorBackend::DeviceCount(std::uint32_t* count)
{
    std::lock_guard<std::mutex> lock(mu_);
    if (count)
        *count = engine_.Disconnected() ? 0 : 1;
    return FT_OK;
}

std::vector<std::string> TEmulatorBackend::CommandLog() const
{
    std::lock_guard<std::mutex> lock(mu_);
    return engine_.CommandLog();
}

std::string TEmulatorBackend::ReceivedBytes() const
{
    std::lock_guard<std::mutex> lock(mu_);
    return engine_.ReceivedBytes();
}

void TEmulatorBackend::ClearLog()
{
    WithEngine([](AdapterEmulator& e) { e.ClearLog(); });
}

void TEmulatorBackend::SetReplyMode(char letter, AdapterEmulator::ReplyMode mode)
{
    WithEngine([&](AdapterEmulator& e) { e.SetReplyMode(letter, mode); });
}

void TEmulatorBackend::InjectStatus(std::uint8_t code)
{
    WithEngine([&](AdapterEmulator& e) { e.InjectStatus(code, Now()); });
}

void TEmulatorBackend::InjectRaw(const std::string& bytes)
{
    WithEngine([&](AdapterEmulator& e) { e.InjectRaw(bytes); });
}

void TEmulatorBackend::Disconnect()
{
    WithEngine([](AdapterEmulator& e) { e.Disconnect(); });
}

void TEmulatorBackend::Reconnect()
{
    WithEngine([](AdapterEmulator& e) { e.Reconnect(); });
}

bool TEmulatorBackend::IsOpen() const
{
    std::lock_guard<std::mutex> lock(mu_);
    return open_;
}

std::uint32_t TEmulatorBackend::BaudRate() const
{
    std::lock_guard<std::mutex> lock(mu_);
    return baud_;
}

std::uint32_t TEmulatorBackend::ReadTimeoutMs() const
{
    std::lock_guard<std::mutex> lock(mu_);
    return readTimeoutMs_;
}

}  // namespace tarvik
