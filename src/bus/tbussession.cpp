#include "bus/tbussession.h"

#include <chrono>
#include <thread>

#include "tusbdev/tusbdev.h"

namespace tarvik {

TBusSession::TBusSession(std::shared_ptr<TBusDevice> device, TMonThread::Host host, Sleeper sleep)
    : device_(std::move(device)), host_(std::move(host)), sleep_(std::move(sleep))
{
    if (!sleep_) sleep_ = [](int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); };
    mon_ = std::make_unique<TMonThread>(*device_, host_);
    list_ = std::make_unique<TListSendThread>([this](const TBusFrame& f) { return ListSend(f); });
}

TBusSession::~TBusSession()
{
    list_->StopAll();
    Shutdown();
}

TListSendThread::SendResult TBusSession::ListSend(const TBusFrame& frame)
{
    using R = TListSendThread::SendResult;
    std::lock_guard<std::recursive_mutex> g(deviceMu_);
    if (!OnBus()) return R::StopAll;
    try {
        return device_->Transmit(frame) ? R::Sent : R::Failed;
    } catch (const TUsbError&) {
        return R::StopAll;  // the receive thread meets the failure too and reports it
    }
}

bool TBusSession::Close()
{
    list_->StopAll();
    std::lock_guard<std::recursive_mutex> g(deviceMu_);
    return device_->Close();
}

bool TBusSession::Clear()
{
    std::lock_guard<std::recursive_mutex> g(deviceMu_);
    return device_->Clear(OnBus());
}

std::string TBusSession::Problem() const
{
    std::lock_guard<std::recursive_mutex> g(deviceMu_);
    return device_->Problem();
}

void TBusSession::SetDevice(std::shared_ptr<TBusDevice> device)
{
    if (!device || device == device_) return;
    list_->StopAll();
    std::lock_guard<std::recursive_mutex> g(deviceMu_);
    // The thread holds the device by reference: a new device gets a new (parked) thread,
    // with the rings the old one filled.
    TQueueBuffer* rings[TMonThread::kSlotCount];
    for (int s = 1; s <= TMonThread::kSlotCount; ++s) rings[s - 1] = mon_->Slot(s);
    Shutdown();
    mon_.reset();
    device_ = std::move(device);
    mon_ = std::make_unique<TMonThread>(*device_, host_);
    for (int s = 1; s <= TMonThread::kSlotCount; ++s) mon_->SetSlot(s, rings[s - 1]);
}

bool TBusSession::GoOnBus(const OnBusConfig& config)
{
    {
        std::lock_guard<std::recursive_mutex> g(deviceMu_);
        if (!device_->GoOnBus(config)) return false;
    }
    return mon_->Start();
}

bool TBusSession::GoOffBus()
{
    list_->StopAll();
    mon_->Stop();
    sleep_(100);  // lets the receive thread finish its pass and park before the adapter leaves
    std::lock_guard<std::recursive_mutex> g(deviceMu_);
    return device_->GoOffBus();
}

// Checked before the lock: off bus nothing waits for the list's frames to finish.
bool TBusSession::Transmit(const TBusFrame& frame)
{
    if (!OnBus()) return false;
    std::lock_guard<std::recursive_mutex> g(deviceMu_);
    return device_->Transmit(frame);
}

bool TBusSession::StartPeriodic(const TBusFrame& frame, std::uint32_t intervalMs)
{
    if (!OnBus()) return false;
    std::lock_guard<std::recursive_mutex> g(deviceMu_);
    return device_->StartPeriodic(frame, intervalMs);
}

bool TBusSession::StopPeriodic()
{
    if (!OnBus()) return false;
    std::lock_guard<std::recursive_mutex> g(deviceMu_);
    return device_->StopPeriodic();
}

bool TBusSession::SendLinFrame(const LinFrame& frame)
{
    if (!OnBus()) return false;
    std::lock_guard<std::recursive_mutex> g(deviceMu_);
    return device_->SendLinFrame(frame);
}

bool TBusSession::StopLinSlave()
{
    if (!OnBus()) return false;
    std::lock_guard<std::recursive_mutex> g(deviceMu_);
    return device_->StopLinSlave();
}

TSessionLosses TBusSession::Losses(int slot) const
{
    const TDeviceLosses d = device_->Losses();
    TSessionLosses l;
    l.dropped = mon_->Dropped(slot);
    l.badRecords = mon_->BadRecords();
    l.partialBytes = d.partialBytes + d.skippedBytes;
    l.deviceLost = d.overflowed + d.badLines;
    l.leftOut = d.leftOut;
    return l;
}

void TBusSession::Shutdown()
{
    if (!mon_ || mon_->Finished()) return;
    // Terminate also wakes a parked thread.
    mon_->Terminate();
    device_->CancelWait();
    mon_->WaitFor();
}

}  // namespace tarvik
