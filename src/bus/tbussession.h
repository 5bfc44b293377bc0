#pragma once
// One bus session: a device, the receive thread that reads it, the consumer slots 1-3 the
// thread fills, the bus status and what was lost on the way. The main window, tarvik-dump,
// the benchmarks and the tests all drive a bus through this; nothing wires these by hand.
//
// Everything but the counters and the transmit list is for one thread (the user-interface
// thread in the program): open, close, on and off bus, transmit. Device failures raise
// TUsbError from the calls that meet them; the receive thread's failures reach the host it
// was given.
//
// The transmit list (List()) sends its rows from a thread of its own through the device's
// Transmit, for every kind of device; one lock keeps its frames and the window's commands
// from meeting in the device. Going off bus (or closing) stops every row.
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "bus/tlistsendthread.h"
#include "bus/tmonthread.h"
#include "tusbdev/busdevice.h"

namespace tarvik {

class TQueueBuffer;

// What was lost on the way from the adapter to one consumer, since going on bus.
struct TSessionLosses {
    std::uint64_t dropped = 0;       // a full ring did not take them
    std::uint64_t badRecords = 0;    // their check bytes differed
    std::uint64_t partialBytes = 0;  // bytes that formed no record (partial or skipped)
    std::uint64_t deviceLost = 0;    // records the device could not hold, lines it could not read
    std::uint64_t leftOut = 0;       // frames the program cannot carry yet
    std::uint64_t Records() const { return dropped + badRecords + deviceLost; }
};

class TBusSession {
public:
    using Sleeper = std::function<void(int ms)>;

    explicit TBusSession(std::shared_ptr<TBusDevice> device, TMonThread::Host host = {}, Sleeper sleep = {});
    ~TBusSession();
    TBusSession(const TBusSession&) = delete;
    TBusSession& operator=(const TBusSession&) = delete;

    TBusDevice& Device() { return *device_; }
    const TBusDevice& Device() const { return *device_; }
    // Another device from the next open on; only while off bus with the port closed.
    void SetDevice(std::shared_ptr<TBusDevice> device);

    bool Open() { return device_->Open(); }
    bool Close();
    bool IsOpen() const { return device_->IsOpen(); }

    // Configures the adapter and starts reception; fails at the first refusal.
    bool GoOnBus(const OnBusConfig& config);
    // Stops reception, lets the thread park, then takes the adapter off the bus.
    bool GoOffBus();
    bool Clear();
    // These send only while on bus; false otherwise.
    bool Transmit(const TBusFrame& frame);
    bool StartPeriodic(const TBusFrame& frame, std::uint32_t intervalMs);
    bool StopPeriodic();
    bool SendLinFrame(const LinFrame& frame);
    bool StopLinSlave();

    bool OnBus() const { return mon_->Running(); }
    std::int32_t BusStatus() const { return mon_->BusStatus(); }
    // Why the last device operation failed; empty once one succeeds.
    std::string Problem() const;
    // The receive thread's last failure text ("USB Device Error : io error.").
    std::string ErrorText() const { return mon_->ErrorText(); }

    // Consumer rings: 1 scrolling monitor, 2 fixed monitor, 3 acquisition.
    void SetSlot(int slot, TQueueBuffer* ring) { mon_->SetSlot(slot, ring); }
    // A recorded source waits for full rings instead of dropping (see TMonThread).
    void SetHoldWhenFull(bool hold) { mon_->SetHoldWhenFull(hold); }

    std::uint64_t RecordsRead() const { return mon_->RecordsRead(); }
    std::uint64_t FramesRead() const { return mon_->FramesRead(); }
    TSessionLosses Losses(int slot) const;
    const TMonThread& Reception() const { return *mon_; }
    TMonThread& Reception() { return *mon_; }

    // The transmit list's timer: rows of frames, each at its own interval, while on bus.
    TListSendThread& List() { return *list_; }

    // Ends the receive thread (shutdown); the wait keeps serving its calls onto this thread.
    void Shutdown();

private:
    TListSendThread::SendResult ListSend(const TBusFrame& frame);

    std::shared_ptr<TBusDevice> device_;
    TMonThread::Host host_;
    Sleeper sleep_;
    std::unique_ptr<TMonThread> mon_;
    // Held around every command to the device. Recursive: a command that waits for its reply
    // keeps the window's events running, and one of them may send.
    mutable std::recursive_mutex deviceMu_;
    std::unique_ptr<TListSendThread> list_;  // last: its thread ends before the device goes
};

}  // namespace tarvik
