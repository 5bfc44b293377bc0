#pragma once
// The receive thread: while on bus it takes the device's records, keeps the bus status
// code, and copies each frame record into the rings of the registered consumers. It never
// formats or displays anything.
//
// Consumer slots: 1 scrolling monitor, 2 fixed-position monitor, 3 graph acquisition.
// CAN frames go to all three, LIN frames to 1 and 2, status records to none.
//
// Bus status code: 0/1/2 from the adapter's status records, 0 right after Start, 2 while
// stopped, 3 after a record whose check bytes differ (until the next status record).
//
// While nothing arrives the thread sleeps in the device's wait for data; Stop ends that
// wait at once.
//
// On a USB failure the thread has the main window go off bus (Host::UsbFailure), shows
// the error (Host::ShowError), both synchronously on the GUI thread, and suspends.
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "platform/tthread.h"

namespace tarvik {

class TBusDevice;
class TQueueBuffer;
class TUsbDev;

class TMonThread : public TThread {
public:
    // What the thread needs from the main window; both run on the GUI thread.
    struct Host {
        // The "Go Off Bus" action: stops reception and closes the port.
        std::function<void()> UsbFailure;
        // A modal error box with the message ("USB Device Error : io error.").
        std::function<void(const std::string& message)> ShowError;
    };

    static constexpr int kSlotCount = 3;

    // Created suspended; nothing runs until the first Start.
    explicit TMonThread(TBusDevice& device, Host host = {});
    // The native adapter behind a TUsbDev the caller owns (tests and tools that drive the
    // link's commands by hand).
    explicit TMonThread(TUsbDev& usb, Host host = {});
    ~TMonThread() override;

    // GUI thread only. Start: false when already running; otherwise status 0 and run.
    bool Start();
    // Clears running; the thread parks at the top of its next pass (status 2). Always true.
    bool Stop();

    bool Running() const { return running_.load(); }
    std::int32_t BusStatus() const { return status_.load(); }
    std::string ErrorText() const;

    // slot 1..3; nullptr unregisters. Once it returns with nullptr (or another ring), the
    // thread no longer touches the previous ring, so the caller may free it.
    void SetSlot(int slot, TQueueBuffer* ring);
    TQueueBuffer* Slot(int slot) const;

    // A source that can wait (a trace replayed as fast as it is read) holds a record until a
    // full ring takes it; a live bus cannot wait, so by default a full ring drops (counted).
    void SetHoldWhenFull(bool hold) { holdWhenFull_.store(hold); }

    // Counted per period on bus (reset by Start).
    std::uint64_t RecordsRead() const { return recordsRead_.load(); }
    // CAN and LIN frame records read (received and transmitted ones), per period on bus.
    std::uint64_t FramesRead() const { return framesRead_.load(); }
    // Records a full ring did not take, per slot 1..3.
    std::uint64_t Dropped(int slot) const;
    // Records whose check bytes differed; they reach no consumer.
    std::uint64_t BadRecords() const { return badRecords_.load(); }
    // Bytes that formed no record: a partial record left when a read ended at its
    // time-out, and bytes skipped to get back in step (SkippedBytes).
    std::uint64_t PartialBytesDiscarded() const;
    // Bytes skipped to get back in step after stray bytes.
    std::uint64_t SkippedBytes() const;

protected:
    void Execute() override;

private:
    TMonThread(std::unique_ptr<TBusDevice> owned, Host host);
    void ParkWhileStopped();
    class Dispatcher;
    void Dispatch(const std::uint8_t* rec);
    void ReadPass(Dispatcher& sink);
    void Failure(const std::string& message);
    bool HoldFor(int slot, TQueueBuffer* ring, const std::uint8_t* rec);

    std::unique_ptr<TBusDevice> owned_;
    TBusDevice& device_;
    Host host_;
    std::atomic<bool> running_{false};
    std::atomic<bool> holdWhenFull_{false};
    std::atomic<std::int32_t> status_{2};
    std::array<std::atomic<TQueueBuffer*>, kSlotCount> slots_{};
    // Odd while a batch is being handed out; SetSlot waits for such a batch to end.
    std::atomic<std::uint64_t> dispatchGen_{0};

    std::atomic<std::uint64_t> recordsRead_{0};
    std::atomic<std::uint64_t> framesRead_{0};
    std::array<std::atomic<std::uint64_t>, kSlotCount> dropped_{};
    std::atomic<std::uint64_t> badRecords_{0};

    mutable std::mutex errorLock_;
    std::string errorText_;
};

}  // namespace tarvik
