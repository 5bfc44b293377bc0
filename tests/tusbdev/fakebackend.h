#pragma once
// A function table that records every call and fails the calls a test names.
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "tusbdev/ftbackend.h"

namespace tarvik::testing {

class FakeBackend : public TFtBackend {
public:
    FT_HANDLE handle = reinterpret_cast<FT_HANDLE>(0x1234);
    std::map<std::string, FT_STATUS> fail;  // call name -> status to return
    std::deque<std::uint8_t> rx;            // bytes the "device" has received
    std::uint32_t txQueued = 0;
    std::uint32_t devices = 3;
    std::string detail;
    // Called on every GetStatus; lets a test deliver a reply after some polls.
    std::function<void(FakeBackend&)> onStatus;
    std::string written;
    std::uint32_t writeShort = 0;  // bytes a write leaves out

    std::vector<std::string> Calls() const
    {
        std::lock_guard<std::mutex> g(m_);
        return calls_;
    }
    void ClearCalls()
    {
        std::lock_guard<std::mutex> g(m_);
        calls_.clear();
    }
    int CountOf(const std::string& name) const
    {
        int n = 0;
        for (const auto& c : Calls()) n += c == name;
        return n;
    }

    FT_STATUS Open(std::uint32_t, FT_HANDLE* h) override
    {
        FT_STATUS st = Log("Open");
        *h = st == FT_OK ? handle : nullptr;
        return st;
    }
    FT_STATUS SetBaudRate(FT_HANDLE h, std::uint32_t baud) override
    {
        lastBaud = baud;
        return Log("SetBaudRate", h);
    }
    FT_STATUS SetDataCharacteristics(FT_HANDLE h, std::uint8_t w, std::uint8_t s, std::uint8_t p) override
    {
        dataChars = {w, s, p};
        return Log("SetDataCharacteristics", h);
    }
    FT_STATUS SetFlowControl(FT_HANDLE h, std::uint16_t, std::uint8_t, std::uint8_t) override
    {
        return Log("SetFlowControl", h);
    }
    FT_STATUS SetTimeouts(FT_HANDLE h, std::uint32_t r, std::uint32_t w) override
    {
        timeouts = {r, w};
        return Log("SetTimeouts", h);
    }
    FT_STATUS SetDeviceOption(FT_HANDLE h, std::uint32_t v) override
    {
        option = v;
        return Log("SetDeviceOption", h);
    }
    FT_STATUS Purge(FT_HANDLE h, std::uint32_t mask) override
    {
        purgeMask = mask;
        FT_STATUS st = Log("Purge", h);
        if (st == FT_OK) {
            rx.clear();
            txQueued = 0;
        }
        return st;
    }
    FT_STATUS ResetDevice(FT_HANDLE h) override { return Log("ResetDevice", h); }
    FT_STATUS Read(FT_HANDLE h, void* buffer, std::uint32_t count, std::uint32_t* got) override
    {
        FT_STATUS st = Log("Read", h);
        *got = 0;
        if (st != FT_OK) return st;
        auto* out = static_cast<std::uint8_t*>(buffer);
        while (*got < count && !rx.empty()) {
            out[(*got)++] = rx.front();
            rx.pop_front();
        }
        return st;
    }
    FT_STATUS Write(FT_HANDLE h, const void* buffer, std::uint32_t count, std::uint32_t* done) override
    {
        FT_STATUS st = Log("Write", h);
        *done = 0;
        if (st != FT_OK) return st;
        *done = count > writeShort ? count - writeShort : 0;
        written.append(static_cast<const char*>(buffer), *done);
        return st;
    }
    FT_STATUS GetQueueStatus(FT_HANDLE h, std::uint32_t* n) override
    {
        FT_STATUS st = Log("GetQueueStatus", h);
        *n = std::uint32_t(rx.size());
        return st;
    }
    FT_STATUS GetStatus(FT_HANDLE h, std::uint32_t* r, std::uint32_t* t, std::uint32_t* e) override
    {
        FT_STATUS st = Log("GetStatus", h);
        if (onStatus) onStatus(*this);
        *r = std::uint32_t(rx.size());
        *t = txQueued;
        *e = 0;
        return st;
    }
    FT_STATUS Close(FT_HANDLE h) override { return Log("Close", h); }
    FT_STATUS DeviceCount(std::uint32_t* n) override
    {
        FT_STATUS st = Log("DeviceCount");
        if (st == FT_OK) *n = devices;
        return st;
    }
    std::string LastErrorDetail() const override { return detail; }

    std::uint32_t lastBaud = 0, option = 0, purgeMask = 0;
    std::vector<int> dataChars;
    std::vector<std::uint32_t> timeouts;
    bool nullHandleSeen = false;

private:
    FT_STATUS Log(const std::string& name, FT_HANDLE h = reinterpret_cast<FT_HANDLE>(1))
    {
        std::lock_guard<std::mutex> g(m_);
        calls_.push_back(name);
        if (h == nullptr) nullHandleSeen = true;
        auto it = fail.find(name);
        return it == fail.end() ? FT_OK : it->second;
    }
    mutable std::mutex m_;
    std::vector<std::string> calls_;
};

}  // namespace tarvik::testing
