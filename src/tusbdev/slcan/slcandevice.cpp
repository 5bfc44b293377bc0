#include "tusbdev/slcan/slcandevice.h"

#include <algorithm>
#include <cstring>

namespace tarvik {

namespace {

// Records held while the receive thread does not take them: as many as one record ring.
constexpr std::size_t kInCapacity = 40960;
// A command's reply: as long as the native adapter is given, so the refusals read alike.
constexpr auto kReplyWait = std::chrono::milliseconds(5000);
// An adapter answers within milliseconds; one that stays silent must not shift every later
// reply onto the wrong command.
constexpr auto kReplyTimeout = std::chrono::milliseconds(1000);
constexpr auto kStatusPeriod = std::chrono::milliseconds(1000);
constexpr auto kPeriodicCatchUp = std::chrono::milliseconds(100);
// How long the reader sleeps between checks for a close.
constexpr std::uint32_t kReaderWaitMs = 100;

std::string NoAnswer(const char* letter) { return std::string("No answer from the adapter to ") + letter + " within 5 s"; }

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

TSlcanDevice::TSlcanDevice(std::shared_ptr<TFtBackend> serial) : dev_(0, std::move(serial)) {}

TSlcanDevice::~TSlcanDevice()
{
    try {
        Close();
    } catch (const std::exception&) {
    }
}

// ---------------------------------------------------------------------------------------
// Open and close

bool TSlcanDevice::Open()
{
    if (dev_.IsOpen()) return true;
    StopThreads();  // threads left by a link that failed
    dev_.SetDeviceNumber(DeviceNumber());
    dev_.SetBaudRate(BaudRate());
    if (!dev_.Open()) return false;
    {
        std::lock_guard<std::mutex> g(mu_);
        stop_ = false;
        failure_.clear();
        in_.clear();
        pending_.clear();
        reader_.Reset();
        cancelWait_ = false;
        onBus_ = false;
        periodic_ = {};
        start_ = Clock::now();
        haveAdapterStamp_ = false;
        counters_ = {};
        losses_ = {};
        badLinesBefore_ = reader_.BadLines();
    }
    readerThread_ = std::thread([this] { ReaderLoop(); });
    timerThread_ = std::thread([this] { TimerLoop(); });
    return true;
}

void TSlcanDevice::StopThreads()
{
    {
        std::lock_guard<std::mutex> g(mu_);
        stop_ = true;
    }
    timerCv_.notify_all();
    dataCv_.notify_all();
    replyCv_.notify_all();
    dev_.CancelWait();
    if (readerThread_.joinable()) readerThread_.join();
    if (timerThread_.joinable()) timerThread_.join();
}

bool TSlcanDevice::Close()
{
    bool onBus;
    {
        std::lock_guard<std::mutex> g(mu_);
        onBus = onBus_ && failure_.empty();
        onBus_ = false;
        periodic_.active = false;
    }
    // Leave the adapter off the bus for whoever opens it next.
    if (onBus && dev_.IsOpen()) Send("C\r", Pending::Kind::Ignore);
    StopThreads();
    return dev_.Close();
}

// ---------------------------------------------------------------------------------------
// Commands

bool TSlcanDevice::Send(const std::string& line, Pending::Kind kind, const AdapterRecord& record)
{
    std::lock_guard<std::mutex> wire(wireMu_);
    {
        std::lock_guard<std::mutex> g(mu_);
        if (!failure_.empty()) return false;
        pending_.push_back({kind, Clock::now() + kReplyTimeout, record});
        if (kind == Pending::Kind::Transmit) ++counters_.framesOut;
    }
    std::uint32_t written = 0;
    try {
        if (dev_.Write(line.data(), std::uint32_t(line.size()), &written) && written == line.size()) return true;
    } catch (const TUsbError& e) {
        Fail(e.Full());
        throw;
    }
    return false;
}

TSlcanDevice::Reply TSlcanDevice::SendAndWait(const std::string& line)
{
    std::unique_lock<std::mutex> lk(mu_);
    const std::uint64_t before = replies_;
    lk.unlock();
    if (!Send(line, Pending::Kind::Config)) return Reply::None;
    const auto deadline = Clock::now() + kReplyWait;
    lk.lock();
    const auto done = [&] { return replies_ != before || stop_ || !failure_.empty(); };
    // In short slices, so the window stays responsive while the reply is awaited.
    while (!replyCv_.wait_for(lk, std::chrono::milliseconds(5), done) && Clock::now() < deadline) {
        if (!pump_) continue;
        lk.unlock();
        pump_();
        lk.lock();
    }
    return replies_ == before ? Reply::None : lastReply_;
}

bool TSlcanDevice::Refuse(const char* letter)
{
    // The native adapter's words for a refusal, since the user chose the same settings.
    SetProblem(std::string("The adapter answered ") + letter + " with 0x15 instead of ACK");
    return false;
}

bool TSlcanDevice::GoOnBus(const OnBusConfig& c)
{
    if (!dev_.IsOpen()) return false;
    if (c.monitorFunction != 0) return Refuse("M");  // these adapters carry no LIN
    const int code = SlcanSpeedCode(c.canSpeed);
    if (code < 0) return Refuse("B");
    {
        std::lock_guard<std::mutex> g(mu_);
        onBus_ = false;
        periodic_.active = false;
        in_.clear();
        // Replies still owed (the C of a go-off-bus just before) must be taken off the line
        // by their own entries, or the next command would be answered by them; what they
        // carried belongs to the last session.
        const auto now = Clock::now();
        while (!pending_.empty() && pending_.front().deadline < now) pending_.pop_front();
        for (Pending& p : pending_)
            if (p.kind != Pending::Kind::Status) p.kind = Pending::Kind::Ignore;
        config_ = c;
    }
    // The speed can only be set while the channel is closed; a BEL to this C only says it
    // was closed already.
    if (!Send("C\r", Pending::Kind::Ignore)) return false;
    switch (SendAndWait(std::string("S") + char('0' + code) + "\r")) {
    case Reply::None:
        SetProblem(NoAnswer("B"));
        return false;
    case Reply::Error:
        return Refuse("B");
    case Reply::Ok:
        break;
    }
    // Listen only in silent mode. An adapter that does not open the channel is not on bus.
    const char* open = c.driverMode == 1 ? "L" : "O";
    switch (SendAndWait(std::string(open) + "\r")) {
    case Reply::None:
        SetProblem(NoAnswer(open));
        return false;
    case Reply::Error:
        return Refuse(open);
    case Reply::Ok:
        break;
    }
    {
        std::lock_guard<std::mutex> g(mu_);
        onBus_ = true;
        nextStatusPoll_ = Clock::now() + kStatusPeriod;
    }
    timerCv_.notify_all();
    ClearProblem();
    return true;
}

bool TSlcanDevice::GoOffBus()
{
    bool was;
    {
        std::lock_guard<std::mutex> g(mu_);
        was = onBus_;
        onBus_ = false;
        periodic_.active = false;
    }
    return !was || Send("C\r", Pending::Kind::Ignore);
}

// Nothing to clear on these adapters.
bool TSlcanDevice::Clear(bool) { return dev_.IsOpen(); }

bool TSlcanDevice::FrameLine(const TBusFrame& f, std::string& line, AdapterRecord& record)
{
    // A standard frame's identifier has 11 bits; cutting a larger one would put a different
    // frame on the bus than the one asked for.
    if (f.fd || f.id > (f.extended ? 0x1FFFFFFFu : 0x7FFu)) {
        std::lock_guard<std::mutex> g(mu_);
        ++losses_.refused;
        SetProblem(f.fd ? "The adapter sends classic frames only" : "The identifier does not fit the frame");
        return false;
    }
    SlcanLine s;
    s.kind = SlcanLine::Kind::Frame;
    s.extended = f.extended;
    s.remote = f.remote;
    s.id = f.id;
    s.length = std::uint8_t(std::min<int>(f.length, 8));
    std::memcpy(s.data, f.data.data(), 8);
    line = FormatSlcanFrame(s);
    record = AdapterRecord::Can(f.id, f.extended, s.length, f.remote ? nullptr : s.data, kCanTransmitted);
    if (f.remote) record.SetRemote();
    return true;
}

bool TSlcanDevice::Transmit(const TBusFrame& frame)
{
    std::string line;
    AdapterRecord rec;
    {
        std::lock_guard<std::mutex> g(mu_);
        if (!onBus_) return false;  // off the bus nothing can be sent
    }
    if (!FrameLine(frame, line, rec)) return false;
    return Send(line, Pending::Kind::Transmit, rec);
}

bool TSlcanDevice::StartPeriodic(const TBusFrame& frame, std::uint32_t intervalMs)
{
    std::string line;
    AdapterRecord rec;
    if (intervalMs == 0 || !FrameLine(frame, line, rec)) return false;
    {
        std::lock_guard<std::mutex> g(mu_);
        if (!onBus_) return false;
        // The adapter has no repetition of its own: the timer thread sends the line.
        periodic_.active = true;
        periodic_.line = line;
        periodic_.record = rec;
        periodic_.interval = std::chrono::milliseconds(intervalMs);
        periodic_.next = Clock::now();
    }
    timerCv_.notify_all();
    return true;
}

bool TSlcanDevice::StopPeriodic()
{
    std::lock_guard<std::mutex> g(mu_);
    periodic_.active = false;
    return true;
}

bool TSlcanDevice::SendLinFrame(const LinFrame&) { return Refuse("M"); }
bool TSlcanDevice::StopLinSlave() { return Refuse("M"); }

// ---------------------------------------------------------------------------------------
// The receive thread's side

bool TSlcanDevice::Receive(TReceiveSink& sink, std::uint32_t timeoutMs)
{
    {
        std::unique_lock<std::mutex> lk(mu_);
        if (stop_) return false;
        dataCv_.wait_for(lk, std::chrono::milliseconds(timeoutMs),
                         [&] { return stop_ || cancelWait_ || !failure_.empty() || !in_.empty(); });
        // Every frame read before the link failed is handed out first.
        if (!failure_.empty() && in_.empty()) throw TUsbError(failure_);
        if (cancelWait_) {
            cancelWait_ = false;
            return true;
        }
        if (stop_) return false;
        handing_.clear();
        handing_.swap(in_);
    }
    if (handing_.empty()) return true;
    sink.Begin();
    for (const AdapterRecord& r : handing_) sink.Record(r.bytes.data());
    sink.End();
    return true;
}

void TSlcanDevice::CancelWait()
{
    {
        std::lock_guard<std::mutex> g(mu_);
        cancelWait_ = true;
    }
    dataCv_.notify_all();
}

TDeviceLosses TSlcanDevice::Losses() const
{
    std::lock_guard<std::mutex> g(mu_);
    TDeviceLosses l = losses_;
    l.badLines = reader_.BadLines() - badLinesBefore_;
    return l;
}

void TSlcanDevice::ResetLosses()
{
    std::lock_guard<std::mutex> g(mu_);
    losses_ = {};
    badLinesBefore_ = reader_.BadLines();
}

TSlcanDevice::Counters TSlcanDevice::GetCounters() const
{
    std::lock_guard<std::mutex> g(mu_);
    return counters_;
}

void TSlcanDevice::Fail(const std::string& message)
{
    {
        std::lock_guard<std::mutex> g(mu_);
        if (stop_ || !failure_.empty()) return;
        failure_ = message;
    }
    dataCv_.notify_all();
    replyCv_.notify_all();
}

// ---------------------------------------------------------------------------------------
// The threads of the device

void TSlcanDevice::TimerLoop()
{
    std::unique_lock<std::mutex> lk(mu_);
    while (!stop_) {
        const auto now = Clock::now();
        auto due = Clock::time_point::max();
        std::string line;
        Pending::Kind kind = Pending::Kind::Transmit;
        AdapterRecord rec;
        if (periodic_.active && onBus_ && failure_.empty()) {
            if (periodic_.next <= now) {
                line = periodic_.line;
                rec = periodic_.record;
                // The next slot is counted from the schedule, not from now, so the rate does
                // not drift. A short stall is made up at once; after a long one the missed
                // slots are skipped rather than sent as a burst.
                periodic_.next += periodic_.interval;
                if (now - periodic_.next > kPeriodicCatchUp)
                    periodic_.next += ((now - periodic_.next) / periodic_.interval + 1) * periodic_.interval;
            } else {
                due = periodic_.next;
            }
        }
        if (line.empty() && onBus_ && failure_.empty()) {
            if (nextStatusPoll_ <= now) {
                nextStatusPoll_ = now + kStatusPeriod;
                line = "F\r";
                kind = Pending::Kind::Status;
            } else {
                due = std::min(due, nextStatusPoll_);
            }
        }
        if (!line.empty()) {
            lk.unlock();
            try {
                Send(line, kind, rec);
            } catch (const TUsbError&) {
                // Fail has recorded it for the receive thread.
            }
            lk.lock();
            continue;
        }
        if (due == Clock::time_point::max())
            timerCv_.wait(lk);
        else
            timerCv_.wait_until(lk, due);
    }
}

void TSlcanDevice::ReaderLoop()
{
    std::vector<std::uint8_t> buf(4096);
    std::vector<SlcanLine> lines;
    for (;;) {
        {
            std::lock_guard<std::mutex> g(mu_);
            if (stop_) return;
        }
        std::uint32_t waiting = 0, got = 0;
        try {
            if (!dev_.WaitForData(kReaderWaitMs, &waiting)) {
                if (!dev_.IsOpen()) return;
                continue;
            }
            if (waiting > 0 && !dev_.Read(buf.data(), std::min<std::uint32_t>(waiting, std::uint32_t(buf.size())), &got))
                return;
        } catch (const TUsbError& e) {
            Fail(e.Full());
            return;
        }
        const auto at = Clock::now();
        bool queued = false, replied = false;
        {
            std::lock_guard<std::mutex> g(mu_);
            if (stop_) return;
            const std::size_t before = in_.size();
            const std::uint64_t repliesBefore = replies_;
            lines.clear();
            reader_.Feed(buf.data(), got, lines);
            for (const SlcanLine& line : lines) Handle(line, at);
            while (!pending_.empty() && pending_.front().deadline < at) pending_.pop_front();
            queued = in_.size() != before;
            replied = replies_ != repliesBefore;
        }
        if (queued) dataCv_.notify_all();
        if (replied) replyCv_.notify_all();
    }
}

bool TSlcanDevice::Passes(const SlcanLine& line) const
{
    const std::uint32_t mask = line.extended ? config_.extMask : config_.stdMask;
    const std::uint32_t code = line.extended ? config_.extCode : config_.stdCode;
    return (line.id & mask) == (code & mask);
}

void TSlcanDevice::Handle(const SlcanLine& line, Clock::time_point at)
{
    switch (line.kind) {
    case SlcanLine::Kind::Frame: {
        ++counters_.framesIn;
        if (!Passes(line)) {
            ++counters_.filtered;
            return;
        }
        AdapterRecord rec = AdapterRecord::Can(line.id, line.extended, line.length, line.remote ? nullptr : line.data);
        if (line.remote) rec.SetRemote();
        Queue(rec, line.hasStamp ? AdapterStamp(line.stampMs, at) : HostStamp(at));
        return;
    }
    case SlcanLine::Kind::Ok:
    case SlcanLine::Kind::TransmitAck:
        Answer(true, at);
        return;
    case SlcanLine::Kind::Error:
        Answer(false, at);
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

void TSlcanDevice::Answer(bool ok, Clock::time_point at)
{
    if (pending_.empty()) return;  // a reply nobody waits for (after a time-out)
    const Pending p = pending_.front();
    pending_.pop_front();
    switch (p.kind) {
    case Pending::Kind::Config:
        lastReply_ = ok ? Reply::Ok : Reply::Error;
        ++replies_;
        break;
    case Pending::Kind::Transmit:
        if (ok) {
            const std::uint32_t stamp =
                haveAdapterStamp_ ? std::uint32_t(adapterMs_ * 10 + std::uint64_t((at - lastAdapterAt_) /
                                                                                  std::chrono::microseconds(100)))
                                  : HostStamp(at);
            Queue(p.record, stamp);
        } else {
            ++losses_.refused;
        }
        break;
    case Pending::Kind::Status:
    case Pending::Kind::Ignore:
        break;
    }
}

void TSlcanDevice::Queue(AdapterRecord rec, std::uint32_t stamp)
{
    if (in_.size() >= kInCapacity) {
        ++losses_.overflowed;
        return;
    }
    rec.SetCheck(check_++);
    rec.SetTimeStamp(stamp);
    in_.push_back(rec);
}

void TSlcanDevice::QueueStatus(std::uint8_t code, Clock::time_point at)
{
    Queue(AdapterRecord::Status(kCanStatus, code), HostStamp(at));
}

std::uint32_t TSlcanDevice::HostStamp(Clock::time_point at) const
{
    return std::uint32_t(std::uint64_t((at - start_) / std::chrono::microseconds(100)));
}

std::uint32_t TSlcanDevice::AdapterStamp(std::uint16_t ms, Clock::time_point at)
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

}  // namespace tarvik
