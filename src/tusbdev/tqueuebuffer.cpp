#include "tusbdev/tqueuebuffer.h"

#include <cstring>
#include <limits>
#include <stdexcept>

namespace tarvik {

namespace {
std::uint32_t TotalSize(std::int32_t elementSize, std::uint32_t capacity)
{
    if (elementSize <= 0) throw std::invalid_argument("TQueueBuffer: element size must be positive");
    const std::uint64_t total = std::uint64_t(elementSize) * capacity;
    if (total > std::numeric_limits<std::uint32_t>::max())
        throw std::invalid_argument("TQueueBuffer: storage larger than 4 GiB");
    return std::uint32_t(total);
}
}  // namespace

TQueueBuffer::TQueueBuffer(std::int32_t elementSize, std::uint32_t capacity)
    : elementSize_(elementSize),
      capacity_(capacity),
      totalSize_(TotalSize(elementSize, capacity)),
      storage_(new std::uint8_t[totalSize_ == 0 ? 1 : totalSize_]())
{
    readPos_ = storage_.get();
    writePos_ = storage_.get();
}

bool TQueueBuffer::Push(const void* record)
{
    // Only this (producer) thread raises count, so a "not full" seen here stays true.
    if (count_.load(std::memory_order_acquire) >= capacity_) return false;
    std::uint32_t before;
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (count_.load(std::memory_order_relaxed) >= capacity_) return false;
        std::memcpy(writePos_, record, std::size_t(elementSize_));
        writePos_ += elementSize_;
        if (writePos_ >= storage_.get() + totalSize_) writePos_ -= totalSize_;
        before = count_.fetch_add(1, std::memory_order_seq_cst);
    }
    // The consumer sleeps only on an empty ring, so only the first record wakes it. Either
    // it sees the new count before it sleeps, or this sees it waiting.
    if (before == 0 && waiting_.load(std::memory_order_seq_cst)) {
        { std::lock_guard<std::mutex> g(waitLock_); }
        arrived_.notify_one();
    }
    return true;
}

bool TQueueBuffer::WaitForRecords(std::chrono::milliseconds timeout)
{
    std::unique_lock<std::mutex> g(waitLock_);
    waiting_.store(true, std::memory_order_seq_cst);
    arrived_.wait_for(g, timeout, [&] { return woken_ || count_.load(std::memory_order_seq_cst) > 0; });
    waiting_.store(false, std::memory_order_relaxed);
    woken_ = false;
    return count_.load(std::memory_order_acquire) > 0;
}

void TQueueBuffer::Wake()
{
    {
        std::lock_guard<std::mutex> g(waitLock_);
        woken_ = true;
    }
    arrived_.notify_one();
}

bool TQueueBuffer::Pop(void* record)
{
    if (count_.load(std::memory_order_acquire) == 0) return false;
    std::lock_guard<std::mutex> guard(lock_);
    // A Clear from the user-interface thread may have emptied the ring since the test
    // above; taking a record then would hand out a zero slot and wrap count below zero.
    if (count_.load(std::memory_order_relaxed) == 0) return false;
    std::memcpy(record, readPos_, std::size_t(elementSize_));
    std::memset(readPos_, 0, std::size_t(elementSize_));
    readPos_ += elementSize_;
    if (readPos_ >= storage_.get() + totalSize_) readPos_ -= totalSize_;
    count_.fetch_sub(1, std::memory_order_release);
    return true;
}

void TQueueBuffer::Clear()
{
    std::lock_guard<std::mutex> guard(lock_);
    readPos_ = storage_.get();
    writePos_ = storage_.get();
    count_.store(0, std::memory_order_release);
    std::memset(storage_.get(), 0, totalSize_);
}

std::uint32_t TQueueBuffer::ReadOffset() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return std::uint32_t(readPos_ - storage_.get());
}

std::uint32_t TQueueBuffer::WriteOffset() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return std::uint32_t(writePos_ - storage_.get());
}

}  // namespace tarvik
