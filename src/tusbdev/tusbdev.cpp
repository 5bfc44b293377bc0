#include "tusbdev/tusbdev.h"

#include <QCoreApplication>
#include <QThread>
#include <chrono>
#include <thread>

namespace tarvik {

std::string UsbErrorText(FT_STATUS status)
{
    static const char* const kTexts[] = {
        nullptr,
        "invalid handle.",
        "device not found.",
        "device not opened.",
        "io error.",
        "insufficient resources.",
        "invalid parameter.",
        "invalid baud rate.",
        "device not opened for erase.",
        "device not opened for write.",
        "failed to write device.",
        "eeprom read failed.",
        "eeprom write failed.",
        "eeprom erase failed.",
        "eeprom not present.",
        "eeprom not programmed.",
        "invalid args.",
        "not supported.",
        "other error.",
        "device list not ready.",
    };
    if (status >= 1 && status < std::size(kTexts)) return kTexts[status];
    return "unknown error code : " + std::to_string(status);
}

namespace {
// The system millisecond tick: wraps at 2^32, differences are taken unsigned.
std::uint32_t TickCount()
{
    using namespace std::chrono;
    return std::uint32_t(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}
}  // namespace

TUsbDev::TUsbDev(std::uint32_t deviceNumber, std::shared_ptr<TFtBackend> backend)
    : backend_(std::move(backend)), deviceNumber_(deviceNumber)
{
}

TUsbDev::~TUsbDev()
{
    if (handle_.load() == nullptr) return;
    // A destructor must not throw; a failing close has released the device anyway.
    try {
        Close();
    } catch (const TUsbError&) {
    }
}

void TUsbDev::SetBackend(std::shared_ptr<TFtBackend> backend)
{
    if (handle_.load() != nullptr) {
        try {
            Close();
        } catch (const TUsbError&) {
        }
    }
    backend_ = std::move(backend);
}

FT_HANDLE TUsbDev::Usable() const
{
    // One load of the handle per operation: another thread's failure path may clear it.
    return open_.load(std::memory_order_acquire) ? handle_.load() : nullptr;
}

bool TUsbDev::OpenFailed(FT_STATUS status, FT_HANDLE h)
{
    lastStatus_ = status;
    // Take the detail before closing: the close may overwrite it.
    std::string message = kUsbErrorPrefix + UsbErrorText(status);
    const std::string detail = backend_ ? backend_->LastErrorDetail() : std::string();
    if (!detail.empty()) message += "\n" + detail;
    lastOpenError_ = message;
    if (presenter_) presenter_(message);
    if (h != nullptr) backend_->Close(h);
    handle_ = nullptr;
    open_ = false;
    return false;
}

bool TUsbDev::Open()
{
    // Opening again must not leak the handle already held; start from a closed device.
    if (handle_.load() != nullptr) {
        try {
            Close();
        } catch (const TUsbError&) {
        }
    }
    lastOpenError_.clear();
    if (!backend_) return OpenFailed(FT_DEVICE_NOT_FOUND, nullptr);  // no transport chosen yet
    FT_HANDLE h = nullptr;
    FT_STATUS st = backend_->Open(deviceNumber_, &h);
    lastStatus_ = st;
    if (st == FT_INVALID_HANDLE) {
        // Reported silently: the caller sees only false.
        handle_ = nullptr;
        open_ = false;
        return false;
    }
    if (st != FT_OK) return OpenFailed(st, h);

    if ((st = backend_->SetBaudRate(h, baudRate_)) != FT_OK) return OpenFailed(st, h);
    if ((st = backend_->SetDataCharacteristics(h, wordLength_, stopBits_, parity_)) != FT_OK) return OpenFailed(st, h);
    if ((st = backend_->SetFlowControl(h, flowControl_, xon_, xoff_)) != FT_OK) return OpenFailed(st, h);
    if ((st = backend_->SetTimeouts(h, readTimeoutMs_, writeTimeoutMs_)) != FT_OK) return OpenFailed(st, h);
    if ((st = backend_->SetDeviceOption(h, 100)) != FT_OK) return OpenFailed(st, h);
    if ((st = backend_->Purge(h, FT_PURGE_RX | FT_PURGE_TX)) != FT_OK) return OpenFailed(st, h);
    lastStatus_ = FT_OK;
    failed_ = false;
    handle_ = h;
    open_ = true;
    return true;
}

bool TUsbDev::Close()
{
    std::uint32_t rx = 0, tx = 0, events = 0;
    if (GetStatus(&rx, &tx, &events)) {
        FT_HANDLE h = handle_.load();
        if (rx > 0 || tx > 0) backend_->Purge(h, FT_PURGE_RX | FT_PURGE_TX);
        backend_->ResetDevice(h);
    }
    FT_STATUS st = FT_OK;
    if (FT_HANDLE h = handle_.exchange(nullptr); h != nullptr) st = backend_->Close(h);
    lastStatus_ = st;
    open_ = false;
    return st == FT_OK;
}

void TUsbDev::Fail(FT_STATUS status)
{
    lastStatus_ = status;
    const std::string text = UsbErrorText(status);
    // Only one thread gets the handle back, so a failure seen by the reading and the
    // writing thread at once closes the device once.
    failed_ = true;
    // Taken before the purge and close, which may overwrite it.
    const std::string detail = backend_->LastErrorDetail();
    if (FT_HANDLE h = handle_.exchange(nullptr); h != nullptr) {
        backend_->Purge(h, FT_PURGE_RX | FT_PURGE_TX);
        backend_->ResetDevice(h);
        backend_->Close(h);
    }
    open_ = false;
    throw TUsbError(kUsbErrorPrefix + text, status, detail);
}

bool TUsbDev::Read(void* buffer, std::uint32_t count, std::uint32_t* bytesRead)
{
    const FT_HANDLE h = Usable();
    if (h == nullptr) return false;
    std::uint32_t got = 0;
    const FT_STATUS st = backend_->Read(h, buffer, count, &got);
    if (bytesRead) *bytesRead = got;
    if (st != FT_OK) {
        if (ClosedUnder(h)) return false;
        Fail(st);
    }
    lastStatus_ = st;
    return true;
}

bool TUsbDev::Write(const void* buffer, std::uint32_t count, std::uint32_t* bytesWritten)
{
    const FT_HANDLE h = Usable();
    if (h == nullptr) return false;
    std::uint32_t done = 0;
    const FT_STATUS st = backend_->Write(h, buffer, count, &done);
    if (bytesWritten) *bytesWritten = done;
    if (st != FT_OK) Fail(st);
    lastStatus_ = st;
    return true;
}

bool TUsbDev::GetStatus(std::uint32_t* rxQueue, std::uint32_t* txQueue, std::uint32_t* eventStatus)
{
    if (rxQueue) *rxQueue = 0;
    if (txQueue) *txQueue = 0;
    if (eventStatus) *eventStatus = 0;
    const FT_HANDLE h = Usable();
    if (h == nullptr) return false;
    std::uint32_t rx = 0, tx = 0, ev = 0;
    const FT_STATUS st = backend_->GetStatus(h, &rx, &tx, &ev);
    if (st != FT_OK) Fail(st);
    lastStatus_ = st;
    if (rxQueue) *rxQueue = rx;
    if (txQueue) *txQueue = tx;
    if (eventStatus) *eventStatus = ev;
    return true;
}

bool TUsbDev::GetQueueStatus(std::uint32_t* rxQueue)
{
    const FT_HANDLE h = Usable();
    if (h == nullptr) return false;
    std::uint32_t rx = 0;
    const FT_STATUS st = backend_->GetQueueStatus(h, &rx);
    if (st != FT_OK) Fail(st);
    lastStatus_ = st;
    if (rxQueue) *rxQueue = rx;
    return true;
}

bool TUsbDev::WaitForData(std::uint32_t timeoutMs, std::uint32_t* rxQueue)
{
    if (rxQueue) *rxQueue = 0;
    const FT_HANDLE h = Usable();
    if (h == nullptr) return false;
    std::uint32_t rx = 0;
    const FT_STATUS st = backend_->WaitForData(h, timeoutMs, &rx);
    if (st == FT_NOT_SUPPORTED) {
        if (!GetQueueStatus(&rx)) return false;
        if (rx == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    } else if (st != FT_OK) {
        if (ClosedUnder(h)) return false;
        Fail(st);
    } else {
        lastStatus_ = st;
    }
    if (rxQueue) *rxQueue = rx;
    return true;
}

void TUsbDev::CancelWait()
{
    if (const FT_HANDLE h = handle_.load(); h != nullptr && backend_) backend_->CancelWait(h);
}

bool TUsbDev::Flush()
{
    const FT_HANDLE h = Usable();
    if (h == nullptr) return false;
    FT_STATUS st = backend_->Purge(h, FT_PURGE_RX | FT_PURGE_TX);
    if (st != FT_OK) Fail(st);
    st = backend_->ResetDevice(h);
    if (st != FT_OK) Fail(st);
    lastStatus_ = st;
    return true;
}

void TUsbDev::Pump()
{
    if (pump_) {
        pump_();
        return;
    }
    // Without an explicit pump, keep the application's own thread responsive.
    if (auto* app = QCoreApplication::instance(); app != nullptr && QThread::currentThread() == app->thread())
        QCoreApplication::processEvents();
}

bool TUsbDev::SendAndWait(const void* buffer, std::uint32_t length, std::uint32_t timeoutMs,
                          std::uint32_t replyLength, void* reply)
{
    replyTimedOut_ = false;
    if (buffer != nullptr && length >= 1) {
        std::uint32_t written = 0;
        if (!Write(buffer, length, &written)) return false;
        // A command cut short by the write time-out never reached the adapter whole.
        if (written < length) return false;
    }
    if (reply == nullptr || replyLength < 1) return true;

    const std::uint32_t start = TickCount();
    for (;;) {
        std::this_thread::yield();
        Pump();
        std::uint32_t rx = 0, tx = 0, events = 0;
        if (!GetStatus(&rx, &tx, &events)) return false;
        if (rx >= replyLength) {
            std::uint32_t got = 0;
            return Read(reply, replyLength, &got) && got == replyLength;
        }
        if (std::uint32_t(TickCount() - start) > timeoutMs) {
            replyTimedOut_ = true;
            return false;
        }
    }
}

bool TUsbDev::DeviceCount(std::uint32_t* count)
{
    if (!backend_) return false;
    std::uint32_t n = 0;
    const FT_STATUS st = backend_->DeviceCount(&n);
    if (st != FT_OK) return false;
    if (count) *count = n;
    return true;
}

}  // namespace tarvik
