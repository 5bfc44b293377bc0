#pragma once
// The receive thread: while on bus it reads the adapter's record stream in whole
// 20-byte records, keeps the bus status code, and copies each frame record into the
// rings of the registered consumers. It never formats or displays anything.
//
// Consumer slots: 1 scrolling monitor, 2 fixed-position monitor, 3 graph acquisition.
// CAN frames go to all three, LIN frames to 1 and 2, status records to none.
//
// Bus status code: 0/1/2 from the adapter's status records, 0 right after Start, 2 while
// stopped, 3 after a record whose check bytes differ (until the next status record).
//
// The stream is kept in step by TRecordStream: after stray bytes the thread slides to the
// next whole record instead of reading every later record misaligned.
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
#include <mutex>
#include <string>

#include "platform/tthread.h"

namespace tarvik {

class TUsbDev;
class TQueueBuffer;
class TRecordStream;

class TMonThread : public TThread {
public:
    // What the thread needs from the main window; both run on the GUI thread.
    struct Host {
        // The "Go Off Bus" action: stops reception and closes the port.
        std::function<void()> UsbFailure;
        // A modal error box with the message ("USB Device Error : io error.").
        std::function<void(const std::string& message)> ShowError;
    };

    static constexpr std::uint32_t kReadBufferSize = 163840;  // 8192 records
    static constexpr int kSlotCount = 3;

    // Created suspended; nothing runs until the first Start.
    explicit TMonThread(TUsbDev& device, Host host = {});
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
    // Records a full ring did not take, per slot 1..3.
    std::uint64_t Dropped(int slot) const;
    // Records whose check bytes differed; they reach no consumer.
    std::uint64_t BadRecords() const { return badRecords_.load(); }
    // Bytes that formed no record: a partial record left when a read ended at its
    // time-out, and bytes skipped to get back in step (SkippedBytes).
    std::uint64_t PartialBytesDiscarded() const { return partialBytes_.load() + skippedBytes_.load(); }
    // Bytes skipped to get back in step after stray bytes.
    std::uint64_t SkippedBytes() const { return skippedBytes_.load(); }

protected:
    void Execute() override;

private:
    void ParkWhileStopped();
    class Dispatcher;
    void Dispatch(const std::uint8_t* rec);
    void ReadPass(TRecordStream& stream);
    // Runs step(sink) as one batch handed to the consumers.
    template <class F>
    void Hand(TRecordStream& stream, F&& step);
    void Failure(const std::string& message);
    bool HoldFor(int slot, TQueueBuffer* ring, const std::uint8_t* rec);

    TUsbDev& device_;
    Host host_;
    std::atomic<bool> running_{false};
    std::atomic<bool> holdWhenFull_{false};
    std::atomic<std::int32_t> status_{2};
    std::array<std::atomic<TQueueBuffer*>, kSlotCount> slots_{};
    // Odd while a batch is being handed out; SetSlot waits for such a batch to end.
    std::atomic<std::uint64_t> dispatchGen_{0};

    std::atomic<std::uint64_t> recordsRead_{0};
    std::array<std::atomic<std::uint64_t>, kSlotCount> dropped_{};
    std::atomic<std::uint64_t> badRecords_{0};
    std::atomic<std::uint64_t> partialBytes_{0};
    std::atomic<std::uint64_t> skippedBytes_{0};

    mutable std::mutex errorLock_;
    std::string errorText_;
};

}  // namespace tarvik
