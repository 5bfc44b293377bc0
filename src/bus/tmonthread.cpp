#include "bus/tmonthread.h"

#include <algorithm>
#include <exception>
#include <memory>
#include <thread>

#include "platform/guicall.h"
#include "tusbdev/adapterprotocol.h"
#include "tusbdev/busdevice.h"
#include "tusbdev/native/nativedevice.h"
#include "tusbdev/tqueuebuffer.h"
#include "tusbdev/tusbdev.h"

namespace tarvik {

namespace {
constexpr auto kIdleSleep = std::chrono::milliseconds(1);
// An idle thread wakes this seldom; Stop and Close end the wait at once.
constexpr std::uint32_t kWaitMs = 500;
}  // namespace

// Hands the device's records to the consumers, in bus order. While a batch is being handed
// out the generation is odd, so SetSlot knows when a ring it took away is out of use.
class TMonThread::Dispatcher : public TReceiveSink {
public:
    explicit Dispatcher(TMonThread& t) : t_(t) {}
    void Begin() override { t_.dispatchGen_.fetch_add(1); }
    void Record(const std::uint8_t* rec) override { t_.Dispatch(rec); }
    void BadRecord() override
    {
        ++t_.recordsRead_;
        ++t_.badRecords_;
        t_.status_.store(3);
    }
    void End() override { t_.dispatchGen_.fetch_add(1); }

private:
    TMonThread& t_;
};

TMonThread::TMonThread(TUsbDev& usb, Host host)
    : TMonThread(std::make_unique<TNativeDevice>(usb), std::move(host))
{
}

TMonThread::TMonThread(std::unique_ptr<TBusDevice> owned, Host host) : TMonThread(*owned, std::move(host))
{
    owned_ = std::move(owned);
}

TMonThread::TMonThread(TBusDevice& device, Host host) : device_(device), host_(std::move(host))
{
    for (auto& s : slots_)
        s.store(nullptr);
    for (auto& d : dropped_)
        d.store(0);
    SetPriority(Priority::AboveNormal);
    SetName("TMonThread");
}

TMonThread::~TMonThread()
{
    Terminate();
    device_.CancelWait();
    TerminateAndWait();
}

bool TMonThread::Start()
{
    if (running_.load())
        return false;
    recordsRead_ = 0;
    framesRead_ = 0;
    badRecords_ = 0;
    device_.ResetLosses();
    for (auto& d : dropped_)
        d.store(0);
    running_.store(true);
    status_.store(0);
    Resume();
    return true;
}

bool TMonThread::Stop()
{
    running_.store(false);
    device_.CancelWait();
    return true;
}

std::string TMonThread::ErrorText() const
{
    std::lock_guard<std::mutex> g(errorLock_);
    return errorText_;
}

void TMonThread::SetSlot(int slot, TQueueBuffer* ring)
{
    if (slot < 1 || slot > kSlotCount)
        return;
    TQueueBuffer* old = slots_[slot - 1].exchange(ring);
    if (old == nullptr || old == ring)
        return;
    // The thread may have picked up the old ring just before the exchange; wait for the
    // batch in hand to end so the caller can free it. A batch never blocks on anything
    // but the rings' own short locks.
    const std::uint64_t gen = dispatchGen_.load();
    if (gen % 2 == 1)
        while (dispatchGen_.load() == gen)
            std::this_thread::yield();
}

TQueueBuffer* TMonThread::Slot(int slot) const
{
    if (slot < 1 || slot > kSlotCount)
        return nullptr;
    return slots_[slot - 1].load();
}

std::uint64_t TMonThread::Dropped(int slot) const
{
    if (slot < 1 || slot > kSlotCount)
        return 0;
    return dropped_[slot - 1].load();
}

std::uint64_t TMonThread::PartialBytesDiscarded() const
{
    const TDeviceLosses l = device_.Losses();
    return l.partialBytes + l.skippedBytes;
}

std::uint64_t TMonThread::SkippedBytes() const { return device_.Losses().skippedBytes; }

void TMonThread::ParkWhileStopped()
{
    status_.store(2);
    // Start may have run between the caller's check and the store above; it set status 0
    // and its Resume is kept for the park below, but our 2 must not outlive it.
    if (running_.load()) {
        status_.store(0);
        return;
    }
    SuspendSelf();
}

void TMonThread::Execute()
{
    Dispatcher sink(*this);
    while (!Terminated()) {
        if (!running_.load()) {
            device_.ResetReceive();  // a new period on bus starts after the adapter's flush
            ParkWhileStopped();
            continue;
        }
        try {
            ReadPass(sink);
        } catch (const TUsbError& e) {
            Failure(e.Full());  // the port and the cause, not only the status text
        } catch (const std::exception& e) {
            Failure(e.what());
        } catch (...) {
            Failure(std::string(kUsbErrorPrefix) + UsbErrorText(FT_OTHER_ERROR));
        }
    }
}

void TMonThread::ReadPass(Dispatcher& sink)
{
    // A closed device answers false; sleep rather than spin until reception stops.
    if (!device_.Receive(sink, kWaitMs)) {
        SleepFor(kIdleSleep);
        return;
    }
    std::this_thread::yield();  // let the consumers drain what was just handed out
}

void TMonThread::Dispatch(const std::uint8_t* rec)
{
    ++recordsRead_;
    int slots = 0;
    switch (rec[1]) {
    case kCanReceived:
    case kCanTransmitted:
        slots = 3;
        break;
    case kLinReceived:
    case kLinTransmitted:
        slots = 2;
        break;
    case kCanStatus:
    case kLinStatus:
        status_.store(rec[2]);
        break;
    default:
        break;
    }
    if (slots > 0) framesRead_.fetch_add(1, std::memory_order_relaxed);
    for (int s = 0; s < slots; ++s) {
        TQueueBuffer* ring = slots_[s].load();
        if (ring && !ring->Push(rec) && !HoldFor(s, ring, rec))
            ++dropped_[s];  // a full ring loses the record for its own consumer only
    }
}

bool TMonThread::HoldFor(int slot, TQueueBuffer* ring, const std::uint8_t* rec)
{
    if (!holdWhenFull_.load())
        return false;
    // A recorded source waits for its reader instead of losing what it has; leaving the
    // bus, shutdown or the consumer going away ends the wait.
    while (running_.load() && !Terminated() && slots_[slot].load() == ring) {
        std::this_thread::sleep_for(std::chrono::microseconds(200));
        if (ring->Push(rec))
            return true;
    }
    return false;
}

void TMonThread::Failure(const std::string& message)
{
    // The window's handlers run on the GUI thread; an exception there must not end
    // this thread, which lives for the whole program.
    if (host_.UsbFailure) {
        try {
            SyncGuiCall(host_.UsbFailure);
        } catch (...) {
        }
    }
    {
        std::lock_guard<std::mutex> g(errorLock_);
        errorText_ = message;
    }
    if (host_.ShowError) {
        try {
            SyncGuiCall([&] { host_.ShowError(message); });
        } catch (...) {
        }
    }
    // The window has gone off bus by now; make sure of it even without a window.
    running_.store(false);
}

}  // namespace tarvik
