#pragma once
// The transmit list's timer: one thread that sends each running row's frame on an absolute
// schedule, as single transmits through a sender (the session's device, whatever its kind).
//
// A row's slots are counted from its start, not from the last send, so the rate does not
// drift. A short stall (up to 100 ms behind) is made up at once; after a longer one the
// missed slots are skipped rather than sent as a burst, and counted.
//
// Rows are known by an id the caller chooses. Start, Update, Stop and the counts may be
// called from any thread except the sender's own; once Stop (or StopAll) returns, no frame
// of that row is being sent or will be.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "tusbdev/busdevice.h"

namespace tarvik {

class TListSendThread {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr auto kCatchUp = std::chrono::milliseconds(100);

    enum class SendResult {
        Sent,
        Failed,   // the device refused this frame; the row goes on
        StopAll,  // off bus, or the link failed: every row stops
    };
    using Sender = std::function<SendResult(const TBusFrame&)>;

    explicit TListSendThread(Sender send);
    ~TListSendThread();
    TListSendThread(const TListSendThread&) = delete;
    TListSendThread& operator=(const TListSendThread&) = delete;

    // Sends frame every intervalMs (> 0) from now on, the first at once; a row of that id
    // already running starts over. Its counts start from 0. False for an interval of 0.
    bool Start(std::uint32_t id, const TBusFrame& frame, std::uint32_t intervalMs);
    // What a running row sends from its next slot on; its schedule stays. False when not running.
    bool Update(std::uint32_t id, const TBusFrame& frame);
    void Stop(std::uint32_t id);
    void StopAll();
    // Forgets a stopped or running row and its counts.
    void Forget(std::uint32_t id);

    bool Running(std::uint32_t id) const;
    bool AnyRunning() const;
    struct Counts {
        std::uint64_t sent = 0;
        std::uint64_t failed = 0;
        std::uint64_t skipped = 0;  // slots left out after a long stall
    };
    // Since the row last started; kept after it stops. Zero for an unknown id.
    Counts CountsOf(std::uint32_t id) const;
    // Processor time the thread has used (0 before the first row started).
    std::chrono::nanoseconds CpuTime() const;

private:
    struct Row {
        TBusFrame frame;
        Clock::duration interval{};
        Clock::time_point next;
        bool running = false;
        std::atomic<std::uint64_t> sent{0}, failed{0}, skipped{0};
    };
    void Loop();
    // Waits until no frame is being sent; lk holds mu_.
    void WaitIdle(std::unique_lock<std::mutex>& lk);

    Sender send_;
    mutable std::mutex mu_;
    std::condition_variable wake_;  // the thread: a row started or changed, or the end
    std::condition_variable idle_;  // a stop: the frames under way have gone
    std::map<std::uint32_t, std::shared_ptr<Row>> rows_;
    bool stop_ = false;
    bool sending_ = false;
    std::uint64_t generation_ = 0;  // a stop makes the batch under way void
    std::thread thread_;
};

}  // namespace tarvik
