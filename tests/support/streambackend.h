#pragma once
// A thread-safe function table that streams bytes to the receive thread the way the
// adapter's chip does: reads wait for the requested count up to a (short) read time-out
// and then return what arrived; waits for data sleep until bytes come; a close ends both.
#include <algorithm>
#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <string>

#include "tusbdev/adapterprotocol.h"
#include "tusbdev/ftbackend.h"

namespace testsupport {

using namespace tarvik;

class StreamBackend : public TFtBackend {
public:
    std::chrono::milliseconds readTimeout{150};

    void Feed(const std::uint8_t* data, std::size_t n)
    {
        {
            std::lock_guard<std::mutex> g(m_);
            rx_.insert(rx_.end(), data, data + n);
        }
        cv_.notify_all();
    }
    void Feed(const AdapterRecord& r) { Feed(r.bytes.data(), r.bytes.size()); }
    // The next call of this name (e.g. "Read") fails with status.
    void FailNext(const std::string& name, FT_STATUS status)
    {
        std::lock_guard<std::mutex> g(m_);
        fail_[name] = status;
    }
    std::uint32_t LargestRead() const
    {
        std::lock_guard<std::mutex> g(m_);
        return largestRead_;
    }
    std::size_t Pending() const
    {
        std::lock_guard<std::mutex> g(m_);
        return rx_.size();
    }

    FT_STATUS Open(std::uint32_t, FT_HANDLE* h) override
    {
        *h = reinterpret_cast<FT_HANDLE>(0x5151);
        std::lock_guard<std::mutex> g(m_);
        closed_ = false;
        return TakeFailure("Open");
    }
    FT_STATUS SetBaudRate(FT_HANDLE, std::uint32_t) override { return FT_OK; }
    FT_STATUS SetDataCharacteristics(FT_HANDLE, std::uint8_t, std::uint8_t, std::uint8_t) override { return FT_OK; }
    FT_STATUS SetFlowControl(FT_HANDLE, std::uint16_t, std::uint8_t, std::uint8_t) override { return FT_OK; }
    FT_STATUS SetTimeouts(FT_HANDLE, std::uint32_t, std::uint32_t) override { return FT_OK; }
    FT_STATUS SetDeviceOption(FT_HANDLE, std::uint32_t) override { return FT_OK; }
    FT_STATUS Purge(FT_HANDLE, std::uint32_t) override
    {
        std::lock_guard<std::mutex> g(m_);
        rx_.clear();
        return FT_OK;
    }
    FT_STATUS ResetDevice(FT_HANDLE) override { return FT_OK; }
    FT_STATUS Read(FT_HANDLE, void* buffer, std::uint32_t count, std::uint32_t* got) override
    {
        std::unique_lock<std::mutex> g(m_);
        *got = 0;
        if (closed_)
            return FT_INVALID_HANDLE;
        largestRead_ = std::max(largestRead_, count);
        if (FT_STATUS st = TakeFailure("Read"); st != FT_OK)
            return st;
        cv_.wait_for(g, readTimeout, [&] { return closed_ || rx_.size() >= count; });
        if (closed_)
            return FT_INVALID_HANDLE;
        const std::uint32_t n = std::uint32_t(std::min<std::size_t>(count, rx_.size()));
        std::copy_n(rx_.begin(), n, static_cast<std::uint8_t*>(buffer));
        rx_.erase(rx_.begin(), rx_.begin() + n);
        *got = n;
        return FT_OK;
    }
    FT_STATUS Write(FT_HANDLE, const void*, std::uint32_t count, std::uint32_t* done) override
    {
        *done = count;
        std::lock_guard<std::mutex> g(m_);
        return closed_ ? FT_INVALID_HANDLE : TakeFailure("Write");
    }
    FT_STATUS GetQueueStatus(FT_HANDLE, std::uint32_t* n) override
    {
        std::lock_guard<std::mutex> g(m_);
        *n = std::uint32_t(rx_.size());
        if (closed_)
            return FT_INVALID_HANDLE;
        return TakeFailure("GetQueueStatus");
    }
    FT_STATUS GetStatus(FT_HANDLE, std::uint32_t* r, std::uint32_t* t, std::uint32_t* e) override
    {
        std::lock_guard<std::mutex> g(m_);
        *r = std::uint32_t(rx_.size());
        *t = 0;
        *e = 0;
        return TakeFailure("GetStatus");
    }
    FT_STATUS Close(FT_HANDLE) override
    {
        {
            std::lock_guard<std::mutex> g(m_);
            if (closed_)
                return FT_INVALID_HANDLE;
            closed_ = true;
        }
        cv_.notify_all();
        return FT_OK;
    }
    FT_STATUS WaitForData(FT_HANDLE, std::uint32_t timeoutMs, std::uint32_t* n) override
    {
        std::unique_lock<std::mutex> g(m_);
        cv_.wait_for(g, std::chrono::milliseconds(timeoutMs), [&] { return closed_ || cancel_ || !rx_.empty(); });
        cancel_ = false;
        *n = std::uint32_t(rx_.size());
        if (closed_)
            return FT_INVALID_HANDLE;
        // The wait reports the queue level, so it fails where the level query would.
        return TakeFailure("GetQueueStatus");
    }
    void CancelWait(FT_HANDLE) override
    {
        {
            std::lock_guard<std::mutex> g(m_);
            cancel_ = true;
        }
        cv_.notify_all();
    }
    FT_STATUS DeviceCount(std::uint32_t* n) override
    {
        *n = 1;
        return FT_OK;
    }

private:
    FT_STATUS TakeFailure(const std::string& name)  // m_ held
    {
        auto it = fail_.find(name);
        if (it == fail_.end())
            return FT_OK;
        const FT_STATUS st = it->second;
        fail_.erase(it);
        return st;
    }

    mutable std::mutex m_;
    std::condition_variable cv_;
    std::deque<std::uint8_t> rx_;
    std::map<std::string, FT_STATUS> fail_;
    std::uint32_t largestRead_ = 0;
    bool closed_ = false;
    bool cancel_ = false;
};

// A well-formed record of the given type; check bytes equal unless `bad`.
inline AdapterRecord MakeRecord(std::uint8_t type, std::uint8_t b2 = 0x08, std::uint32_t id = 0x123,
                                std::uint8_t tag = 0, bool bad = false)
{
    return AdapterRecord::Raw(type, b2, id).SetData(0, tag).SetCheck(0x55, bad ? 0x54 : 0x55);
}

}  // namespace testsupport
