#pragma once
// Fixed-capacity ring of equal-sized records carried from one producer thread to one
// consumer thread. A full ring drops new records for its own consumer only.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

namespace tarvik {

class TQueueBuffer {
public:
    static constexpr std::uint32_t kDefaultCapacity = 40960;

    TQueueBuffer(std::int32_t elementSize, std::uint32_t capacity);
    TQueueBuffer(const TQueueBuffer&) = delete;
    TQueueBuffer& operator=(const TQueueBuffer&) = delete;

    bool Push(const void* record);  // false (record dropped) when full
    bool Pop(void* record);         // false (buffer untouched) when empty
    void Clear();

    // Consumer side: sleeps until a record waits, the time-out passes or Wake is called,
    // so an idle consumer costs nothing. True when a record waits.
    bool WaitForRecords(std::chrono::milliseconds timeout);
    // Ends the consumer's WaitForRecords at once, or else its next one (a request for it).
    void Wake();

    // Read without the lock by the consumer to size one pass.
    std::uint32_t Count() const { return count_.load(std::memory_order_acquire); }
    std::uint32_t Capacity() const { return capacity_; }
    std::int32_t ElementSize() const { return elementSize_; }

    // For tests: offsets of the positions and the raw storage.
    std::uint32_t ReadOffset() const;
    std::uint32_t WriteOffset() const;
    const std::uint8_t* Storage() const { return storage_.get(); }

private:
    const std::int32_t elementSize_;
    const std::uint32_t capacity_;
    const std::uint32_t totalSize_;
    std::atomic<std::uint32_t> count_{0};
    std::uint8_t* readPos_;
    std::uint8_t* writePos_;
    std::unique_ptr<std::uint8_t[]> storage_;
    mutable std::mutex lock_;
    // The consumer's wait has a lock of its own: Push never holds both.
    std::mutex waitLock_;
    std::condition_variable arrived_;
    std::atomic<bool> waiting_{false};
    bool woken_ = false;  // guarded by waitLock_
};

}  // namespace tarvik
