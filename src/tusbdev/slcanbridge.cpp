#include "tusbdev/slcanbridge.h"

#include <algorithm>
#include <cstring>

namespace tarvik {

namespace {

// Upward bytes held while the receive thread does not read: as much as one record ring.
constexpr std::size_t kOutCapacity = 40960 * kRecordSize;
// An adapter answers within milliseconds; one that stays silent must not shift every later
// reply onto the wrong command.
constexpr auto kReplyTimeout = std::chrono::milliseconds(1000);
constexpr auto kStatusPeriod = std::chrono::milliseconds(1000);
constexpr auto kPeriodicCatchUp = std::chrono::milliseconds(100);
// Short, so that pending replies expire even when the adapter sends nothing.
constexpr std::uint32_t kLowerReadTimeoutMs = 100;

int HexValue(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

bool Hex(const std::string& s, std::size_t pos, std::size_t n, std::uint32_t& v)
{
    if (pos + n > s.size()) return false;
    v = 0;
    for (std::size_t i = pos; i < pos + n; ++i) {
        const int d = HexValue(s[i]);
        if (d < 0) return false;
        v = (v << 4) | std::uint32_t(d);
    }
    return true;
}

bool Passes(std::uint32_t id, std::uint32_t mask, std::uint32_t code) { return (id & mask) == (code & mask); }

}  // namespace

int SlcanSpeedCode(int speedIndex)
{
    switch (speedIndex) {
    case 0: return 8;   // 1000 kbit/s
    case 1: return 6;   // 500
    case 2: return 5;   // 250
    case 4: return 4;   // 125
    case 5: return 3;   // 100
    case 10: return 2;  // 50
    default: return -1;
    }
}

TSlcanBridge::TSlcanBridge(std::shared_ptr<TFtBackend> lower) : lower_(std::move(lower)) {}

TSlcanBridge::~TSlcanBridge()
{
    if (open_) Close(&handleToken_);
}

FT_STATUS TSlcanBridge::Open(std::uint32_t deviceNumber, FT_HANDLE* handle)
{
    *handle = nullptr;
    if (open_) return FT_DEVICE_NOT_OPENED;
    FT_HANDLE lh = nullptr;
    const FT_STATUS st = lower_->Open(deviceNumber, &lh);
    if (st != FT_OK) return st;
    lower_->SetTimeouts(lh, kLowerReadTimeoutMs, 1000);
    {
        std::lock_guard<std::mutex> g(mu_);
        lowerHandle_ = lh;
        open_ = true;
        stop_ = false;
        failed_ = FT_OK;
        detail_.clear();
        out_.clear();
        outHead_ = 0;
        pending_.clear();
        reader_.Reset();
        cancelWait_ = false;
        inFrame_ = false;
        frame_.clear();
        canMode_ = true;
        onBus_ = false;
        periodic_ = {};
        start_ = Clock::now();
        haveAdapterStamp_ = false;
        counters_ = {};
    }
    readerThread_ = std::thread([this] { ReaderLoop(); });
    timerThread_ = std::thread([this] { TimerLoop(); });
    *handle = &handleToken_;
    return FT_OK;
}

void TSlcanBridge::StopThreads()
{
    {
        std::lock_guard<std::mutex> g(mu_);
        stop_ = true;
        open_ = false;
    }
    timerCv_.notify_all();
    dataCv_.notify_all();
    lower_->Close(lowerHandle_);  // also ends a read in progress at once
    if (readerThread_.joinable()) readerThread_.join();
    if (timerThread_.joinable()) timerThread_.join();
}

FT_STATUS TSlcanBridge::Close(FT_HANDLE h)
{
    bool onBus;
    {
        std::lock_guard<std::mutex> g(mu_);
        if (!Valid(h)) return FT_INVALID_HANDLE;
        onBus = onBus_ && failed_ == FT_OK;
        periodic_.active = false;
    }
    // Leave the adapter off the bus for whoever opens it next.
    if (onBus) Send("C\r", Pending::Kind::Ignore);
    StopThreads();
    return FT_OK;
}

#define TARVIK_SLCAN_CHECK(h)                                       \
    do {                                                            \
        std::lock_guard<std::mutex> g(mu_);                         \
        if (!Valid(h)) return FT_INVALID_HANDLE;                    \
        if (failed_ != FT_OK) return failed_;                       \
    } while (false)

FT_STATUS TSlcanBridge::SetBaudRate(FT_HANDLE h, std::uint32_t baud)
{
    TARVIK_SLCAN_CHECK(h);
    return lower_->SetBaudRate(lowerHandle_, baud);
}

FT_STATUS TSlcanBridge::SetDataCharacteristics(FT_HANDLE h, std::uint8_t wordLength, std::uint8_t stopBits,
                                               std::uint8_t parity)
{
    TARVIK_SLCAN_CHECK(h);
    return lower_->SetDataCharacteristics(lowerHandle_, wordLength, stopBits, parity);
}

FT_STATUS TSlcanBridge::SetFlowControl(FT_HANDLE h, std::uint16_t flow, std::uint8_t xon, std::uint8_t xoff)
{
    TARVIK_SLCAN_CHECK(h);
    return lower_->SetFlowControl(lowerHandle_, flow, xon, xoff);
}

FT_STATUS TSlcanBridge::SetTimeouts(FT_HANDLE h, std::uint32_t readMs, std::uint32_t)
{
    std::lock_guard<std::mutex> g(mu_);
    if (!Valid(h)) return FT_INVALID_HANDLE;
    readTimeoutMs_ = readMs;  // the lower channel keeps its own short read time-out
    return FT_OK;
}

FT_STATUS TSlcanBridge::SetDeviceOption(FT_HANDLE h, std::uint32_t value)
{
    TARVIK_SLCAN_CHECK(h);
    return lower_->SetDeviceOption(lowerHandle_, value);
}

FT_STATUS TSlcanBridge::Purge(FT_HANDLE h, std::uint32_t mask)
{
    {
        std::lock_guard<std::mutex> g(mu_);
        if (!Valid(h)) return FT_INVALID_HANDLE;
        if (failed_ != FT_OK) return failed_;
        if (mask & FT_PURGE_RX) {
            out_.clear();
            outHead_ = 0;
            // Replies to commands written before the purge must not answer later ones.
            pending_.clear();
            reader_.Reset();
        }
    }
    return lower_->Purge(lowerHandle_, mask);
}

FT_STATUS TSlcanBridge::ResetDevice(FT_HANDLE h)
{
    TARVIK_SLCAN_CHECK(h);
    return lower_->ResetDevice(lowerHandle_);
}

#undef TARVIK_SLCAN_CHECK

FT_STATUS TSlcanBridge::GetQueueStatus(FT_HANDLE h, std::uint32_t* rxBytes)
{
    *rxBytes = 0;
    std::lock_guard<std::mutex> g(mu_);
    if (!Valid(h)) return FT_INVALID_HANDLE;
    if (failed_ != FT_OK) return failed_;
    *rxBytes = std::uint32_t(out_.size() - outHead_);
    return FT_OK;
}

FT_STATUS TSlcanBridge::GetStatus(FT_HANDLE h, std::uint32_t* rxBytes, std::uint32_t* txBytes,
                                  std::uint32_t* eventStatus)
{
    *txBytes = *eventStatus = 0;
    return GetQueueStatus(h, rxBytes);
}

FT_STATUS TSlcanBridge::Read(FT_HANDLE h, void* buffer, std::uint32_t count, std::uint32_t* bytesRead)
{
    *bytesRead = 0;
    auto* dst = static_cast<std::uint8_t*>(buffer);
    std::unique_lock<std::mutex> lk(mu_);
    if (!Valid(h)) return FT_INVALID_HANDLE;
    const auto deadline = Clock::now() + std::chrono::milliseconds(readTimeoutMs_);
    std::uint32_t got = 0;
    for (;;) {
        if (failed_ != FT_OK) return failed_;
        const std::size_t n = std::min<std::size_t>(count - got, out_.size() - outHead_);
        if (n) std::memcpy(dst + got, out_.data() + outHead_, n);
        got += std::uint32_t(n);
        outHead_ += n;
        if (outHead_ == out_.size()) {
            out_.clear();
            outHead_ = 0;
        } else if (outHead_ > (64u << 10) && outHead_ * 2 > out_.size()) {
            out_.erase(out_.begin(), out_.begin() + std::ptrdiff_t(outHead_));
            outHead_ = 0;
        }
        if (got == count) break;
        const bool woke = dataCv_.wait_until(lk, deadline, [&] {
            return !Valid(h) || failed_ != FT_OK || out_.size() > outHead_;
        });
        if (!Valid(h)) return FT_INVALID_HANDLE;
        if (!woke) break;  // the read time-out: hand over what arrived
    }
    *bytesRead = got;
    return FT_OK;
}

FT_STATUS TSlcanBridge::WaitForData(FT_HANDLE h, std::uint32_t timeoutMs, std::uint32_t* rxBytes)
{
    *rxBytes = 0;
    std::unique_lock<std::mutex> lk(mu_);
    if (!Valid(h)) return FT_INVALID_HANDLE;
    dataCv_.wait_for(lk, std::chrono::milliseconds(timeoutMs),
                     [&] { return !Valid(h) || failed_ != FT_OK || cancelWait_ || out_.size() > outHead_; });
    if (!Valid(h)) return FT_INVALID_HANDLE;
    if (failed_ != FT_OK) return failed_;
    if (cancelWait_) {
        cancelWait_ = false;
        return FT_OK;
    }
    *rxBytes = std::uint32_t(out_.size() - outHead_);
    return FT_OK;
}

void TSlcanBridge::CancelWait(FT_HANDLE)
{
    {
        std::lock_guard<std::mutex> g(mu_);
        cancelWait_ = true;
    }
    dataCv_.notify_all();
}

FT_STATUS TSlcanBridge::Write(FT_HANDLE h, const void* buffer, std::uint32_t count, std::uint32_t* bytesWritten)
{
    *bytesWritten = 0;
    {
        std::lock_guard<std::mutex> g(mu_);
        if (!Valid(h)) return FT_INVALID_HANDLE;
        if (failed_ != FT_OK) return failed_;
    }
    const auto* p = static_cast<const char*>(buffer);
    for (std::uint32_t i = 0; i < count; ++i) {
        const char c = p[i];
        if (c == char(kStx)) {
            frame_.assign(1, c);
            inFrame_ = true;
        } else if (inFrame_) {
            frame_.push_back(c);
            if (c == char(kEtx)) {
                inFrame_ = false;
                Command(frame_);
            } else if (frame_.size() > kPeriodicBytes) {
                inFrame_ = false;  // no command is this long
            }
        }
    }
    std::lock_guard<std::mutex> g(mu_);
    if (failed_ != FT_OK) return failed_;
    *bytesWritten = count;
    return FT_OK;
}

FT_STATUS TSlcanBridge::Send(const std::string& line, Pending::Kind kind, const AdapterRecord& record)
{
    std::lock_guard<std::mutex> wire(wireMu_);
    {
        std::lock_guard<std::mutex> g(mu_);
        if (failed_ != FT_OK) return failed_;
        pending_.push_back({kind, Clock::now() + kReplyTimeout, record});
        if (kind == Pending::Kind::Transmit) ++counters_.framesOut;
    }
    std::uint32_t written = 0;
    FT_STATUS st = lower_->Write(lowerHandle_, line.data(), std::uint32_t(line.size()), &written);
    if (st == FT_OK && written != line.size()) st = FT_IO_ERROR;  // the write time-out passed
    if (st != FT_OK) {
        std::lock_guard<std::mutex> g(mu_);
        if (failed_ == FT_OK && !stop_) {
            failed_ = st;
            detail_ = lower_->LastErrorDetail();
        }
        dataCv_.notify_all();
    }
    return st;
}

void TSlcanBridge::Command(const std::string& f)
{
    const char letter = f.size() >= 3 ? f[1] : 0;
    const std::string body = f.size() >= 3 ? f.substr(2, f.size() - 3) : std::string();
    auto reply = [this](std::uint8_t b) {
        {
            std::lock_guard<std::mutex> g(mu_);
            out_.push_back(b);
        }
        dataCv_.notify_all();
    };
    auto leaveBus = [this] {
        bool was;
        {
            std::lock_guard<std::mutex> g(mu_);
            was = onBus_;
            onBus_ = false;
            periodic_.active = false;
        }
        if (was) Send("C\r", Pending::Kind::Ignore);
    };
    std::uint32_t v = 0;
    switch (letter) {
    case 'M':
        if (body.size() != 1) return;
        leaveBus();
        canMode_ = body == "0";
        reply(canMode_ ? kAck : kNak);  // these adapters carry no LIN
        return;
    case 'B': {
        if (body.size() != 4) return;
        const int code = canMode_ ? SlcanSpeedCode(HexValue(body[0])) : -1;
        if (code < 0) {
            reply(kNak);
            return;
        }
        driverMode_ = body[2] == '1' ? 1 : 0;
        leaveBus();
        // The speed can only be set while the channel is closed; a BEL to this C only
        // says it was closed already.
        Send("C\r", Pending::Kind::Ignore);
        Send(std::string("S") + char('0' + code) + "\r", Pending::Kind::Config);
        return;
    }
    case 'L': {
        std::uint32_t m[4];
        for (int i = 0; i < 4; ++i)
            if (!Hex(body, std::size_t(8 * i), 8, m[i]) || body.size() != 32) return;
        {
            std::lock_guard<std::mutex> g(mu_);
            stdMask_ = m[0], stdCode_ = m[1], extMask_ = m[2], extCode_ = m[3];
        }
        reply(kAck);
        return;
    }
    case 'N': {
        if (!canMode_) return;
        {
            std::lock_guard<std::mutex> g(mu_);
            if (onBus_) return;
            onBus_ = true;
            nextStatusPoll_ = Clock::now() + kStatusPeriod;
        }
        timerCv_.notify_all();
        Send(driverMode_ == 1 ? "L\r" : "O\r", Pending::Kind::Open);
        return;
    }
    case 'F':
        leaveBus();
        return;
    case 'C': {
        bool onBus;
        {
            std::lock_guard<std::mutex> g(mu_);
            onBus = onBus_;
        }
        if (!onBus) reply(kAck);  // nothing to clear on these adapters
        return;
    }
    case 'S': {
        std::lock_guard<std::mutex> g(mu_);
        periodic_.active = false;
        return;
    }
    case 'T':
    case 'I': {
        const bool periodic = letter == 'I';
        if (body.size() != (periodic ? 34u : 26u) || (body[0] != '0' && body[0] != '1') || body[1] < '0' ||
            body[1] > '9')
            return;
        SlcanLine frame;
        frame.kind = SlcanLine::Kind::Frame;
        frame.extended = body[0] == '1';
        frame.length = std::uint8_t(std::min(body[1] - '0', 8));
        if (!Hex(body, 2, 8, frame.id)) return;
        for (int i = 0; i < 8; ++i) {
            if (!Hex(body, 10 + 2 * std::size_t(i), 2, v)) return;
            frame.data[i] = std::uint8_t(v);
        }
        std::uint32_t interval = 0;
        if (periodic && (!Hex(body, 26, 8, interval) || interval == 0)) return;
        std::unique_lock<std::mutex> lk(mu_);
        if (!onBus_) return;  // off the bus nothing can be sent
        // A standard frame's identifier has 11 bits on these adapters; cutting a larger one
        // would put a different frame on the bus than the one asked for.
        if (frame.id > (frame.extended ? 0x1FFFFFFFu : 0x7FFu)) {
            ++counters_.refusedTransmits;
            return;
        }
        AdapterRecord rec;
        rec.bytes[1] = kCanTransmitted;
        rec.bytes[2] = std::uint8_t(frame.length | (frame.extended ? 0x20 : 0));
        for (int i = 0; i < 4; ++i) rec.bytes[3 + i] = std::uint8_t(frame.id >> (24 - 8 * i));
        std::memcpy(rec.bytes.data() + 7, frame.data, 8);
        const std::string line = FormatSlcanFrame(frame);
        if (periodic) {
            periodic_.active = true;
            periodic_.line = line;
            periodic_.record = rec;
            periodic_.interval = std::chrono::microseconds(std::uint64_t(interval) * 100);
            periodic_.next = Clock::now();
            lk.unlock();
            timerCv_.notify_all();
        } else {
            lk.unlock();
            Send(line, Pending::Kind::Transmit, rec);
        }
        return;
    }
    default:
        return;
    }
}

void TSlcanBridge::TimerLoop()
{
    std::unique_lock<std::mutex> lk(mu_);
    while (!stop_) {
        const auto now = Clock::now();
        auto due = Clock::time_point::max();
        if (periodic_.active) {
            if (periodic_.next <= now) {
                const std::string line = periodic_.line;
                const AdapterRecord rec = periodic_.record;
                // The next slot is counted from the schedule, not from now, so the rate does
                // not drift. A short stall is made up at once; after a long one the missed
                // slots are skipped rather than sent as a burst.
                periodic_.next += periodic_.interval;
                if (now - periodic_.next > kPeriodicCatchUp)
                    periodic_.next += ((now - periodic_.next) / periodic_.interval + 1) * periodic_.interval;
                lk.unlock();
                Send(line, Pending::Kind::Transmit, rec);
                lk.lock();
                continue;
            }
            due = periodic_.next;
        }
        if (onBus_ && failed_ == FT_OK) {
            if (nextStatusPoll_ <= now) {
                nextStatusPoll_ = now + kStatusPeriod;
                lk.unlock();
                Send("F\r", Pending::Kind::Status);
                lk.lock();
                continue;
            }
            due = std::min(due, nextStatusPoll_);
        }
        if (due == Clock::time_point::max())
            timerCv_.wait(lk);
        else
            timerCv_.wait_until(lk, due);
    }
}

void TSlcanBridge::ReaderLoop()
{
    std::vector<std::uint8_t> buf(4096);
    for (;;) {
        {
            std::lock_guard<std::mutex> g(mu_);
            if (stop_) return;
        }
        // One byte blocks until the adapter sends something; the rest of a burst follows at once.
        std::uint32_t got = 0, more = 0, got2 = 0;
        FT_STATUS st = lower_->Read(lowerHandle_, buf.data(), 1, &got);
        if (st == FT_OK && got == 1) st = lower_->GetQueueStatus(lowerHandle_, &more);
        if (st == FT_OK && more > 0) {
            st = lower_->Read(lowerHandle_, buf.data() + 1, std::min<std::uint32_t>(more, 4095), &got2);
            got += got2;
        }
        const auto at = Clock::now();
        std::lock_guard<std::mutex> g(mu_);
        if (stop_) return;
        if (st != FT_OK) {
            failed_ = st;
            detail_ = lower_->LastErrorDetail();
            dataCv_.notify_all();
            return;
        }
        const std::size_t before = out_.size();
        lines_.clear();
        reader_.Feed(buf.data(), got, lines_);
        for (const SlcanLine& line : lines_) Handle(line, at);
        counters_.badLines = reader_.BadLines();
        while (!pending_.empty() && pending_.front().deadline < at) pending_.pop_front();
        if (out_.size() != before) dataCv_.notify_all();
    }
}

void TSlcanBridge::Handle(const SlcanLine& line, Clock::time_point at)
{
    switch (line.kind) {
    case SlcanLine::Kind::Frame: {
        ++counters_.framesIn;
        const bool pass = line.extended ? Passes(line.id, extMask_, extCode_) : Passes(line.id, stdMask_, stdCode_);
        if (!pass) {
            ++counters_.filtered;
            return;
        }
        AdapterRecord rec;
        rec.bytes[1] = kCanReceived;
        // The record has no remote flag: a remote frame shows with its length and no data.
        rec.bytes[2] = std::uint8_t(line.length | (line.extended ? 0x20 : 0));
        for (int i = 0; i < 4; ++i) rec.bytes[3 + i] = std::uint8_t(line.id >> (24 - 8 * i));
        if (!line.remote) std::memcpy(rec.bytes.data() + 7, line.data, line.length);
        Queue(rec, at, line.hasStamp ? AdapterStamp(line.stampMs, at) : HostStamp(at));
        return;
    }
    case SlcanLine::Kind::Ok:
    case SlcanLine::Kind::TransmitAck:
        Answer(true, &line, at);
        return;
    case SlcanLine::Kind::Error:
        Answer(false, &line, at);
        return;
    case SlcanLine::Kind::Status: {
        if (!pending_.empty() && pending_.front().kind == Pending::Kind::Status) pending_.pop_front();
        // Bus error counts as the worst state the flags can say; warning and error passive as 1.
        const std::uint8_t code = (line.flags & 0x80) ? 2 : (line.flags & 0x24) ? 1 : 0;
        if (onBus_) QueueStatus(code, at);
        return;
    }
    case SlcanLine::Kind::Info:
        return;
    }
}

void TSlcanBridge::Answer(bool ok, const SlcanLine*, Clock::time_point at)
{
    if (pending_.empty()) return;  // a reply nobody waits for (after a purge or a time-out)
    const Pending p = pending_.front();
    pending_.pop_front();
    switch (p.kind) {
    case Pending::Kind::Config:
        out_.push_back(ok ? kAck : kNak);
        break;
    case Pending::Kind::Open:
        if (!ok) QueueStatus(2, at);  // the adapter would not go on bus: show it as bus-off
        break;
    case Pending::Kind::Transmit:
        if (ok) {
            const std::uint32_t stamp =
                haveAdapterStamp_ ? std::uint32_t(adapterMs_ * 10 + std::uint64_t((at - lastAdapterAt_) /
                                                                                  std::chrono::microseconds(100)))
                                  : HostStamp(at);
            Queue(p.record, at, stamp);
        } else {
            ++counters_.refusedTransmits;
        }
        break;
    case Pending::Kind::Status:
    case Pending::Kind::Ignore:
        break;
    }
}

void TSlcanBridge::Queue(AdapterRecord rec, Clock::time_point, std::uint32_t stamp)
{
    if (out_.size() - outHead_ + kRecordSize > kOutCapacity) {
        ++counters_.lostRecords;
        return;
    }
    rec.bytes[0] = rec.bytes[19] = check_++;
    rec.bytes[15] = std::uint8_t(stamp >> 24);
    rec.bytes[16] = std::uint8_t(stamp >> 16);
    rec.bytes[17] = std::uint8_t(stamp >> 8);
    rec.bytes[18] = std::uint8_t(stamp);
    out_.insert(out_.end(), rec.bytes.begin(), rec.bytes.end());
}

void TSlcanBridge::QueueStatus(std::uint8_t code, Clock::time_point at)
{
    AdapterRecord rec;
    rec.bytes[1] = kCanStatus;
    rec.bytes[2] = code;
    Queue(rec, at, HostStamp(at));
}

std::uint32_t TSlcanBridge::HostStamp(Clock::time_point at) const
{
    return std::uint32_t(std::uint64_t((at - start_) / std::chrono::microseconds(100)));
}

std::uint32_t TSlcanBridge::AdapterStamp(std::uint16_t ms, Clock::time_point at)
{
    if (!haveAdapterStamp_) {
        haveAdapterStamp_ = true;
        adapterMs_ = ms;
    } else {
        // The stamp wraps at 60000; whole minutes between two frames only the host clock can tell.
        const std::int64_t step = (std::int64_t(ms) - lastAdapterMs_ + 60000) % 60000;
        const std::int64_t hostMs = (at - lastAdapterAt_) / std::chrono::milliseconds(1);
        const std::int64_t wraps = hostMs > step ? (hostMs - step + 30000) / 60000 : 0;
        adapterMs_ += std::uint64_t(step + wraps * 60000);
    }
    lastAdapterMs_ = ms;
    lastAdapterAt_ = at;
    return std::uint32_t(adapterMs_ * 10);
}

FT_STATUS TSlcanBridge::DeviceCount(std::uint32_t* count) { return lower_->DeviceCount(count); }

std::string TSlcanBridge::LastErrorDetail() const
{
    {
        std::lock_guard<std::mutex> g(mu_);
        if (!detail_.empty()) return detail_;
    }
    return lower_->LastErrorDetail();
}

TSlcanBridge::Counters TSlcanBridge::GetCounters() const
{
    std::lock_guard<std::mutex> g(mu_);
    return counters_;
}

}  // namespace tarvik
