#include "emulator/adapteremulator.h"

#include <algorithm>
#include <cstring>

#include "platform/hexdigit.h"

namespace tarvik {

namespace {

// The longest command (I) is 37 bytes; anything longer without ETX cannot be a command.
constexpr std::size_t kMaxCommand = 37;

// The host writes upper-case digits only; anything else is not a command of ours.
bool IsHex(char c) { return HexDigit(static_cast<unsigned char>(c)) >= 0 && !(c >= 'a' && c <= 'f'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool AllHex(const std::string& s, std::size_t pos, std::size_t n)
{
    for (std::size_t i = pos; i < pos + n; ++i)
        if (!IsHex(s[i]))
            return false;
    return true;
}

std::uint32_t Hex32(const std::string& s, std::size_t pos, std::size_t n)
{
    std::uint32_t v = 0;
    for (std::size_t i = pos; i < pos + n; ++i)
        v = (v << 4) | static_cast<std::uint32_t>(HexDigit(static_cast<unsigned char>(s[i])));
    return v;
}

}  // namespace

AdapterEmulator::AdapterEmulator(std::unique_ptr<TBusModel> model, EmuMicros start)
    : AdapterEmulator(std::move(model), start, Options{})
{
}

AdapterEmulator::AdapterEmulator(std::unique_ptr<TBusModel> model, EmuMicros start, Options options)
    : model_(std::move(model)), start_(start), opt_(options)
{
    replyModes_.fill(ReplyMode::Normal);
}

void AdapterEmulator::Feed(const void* data, std::size_t size, EmuMicros now)
{
    if (disconnected_)
        return;
    const auto* p = static_cast<const char*>(data);
    if (opt_.keepLog)
        received_.append(p, size);
    for (std::size_t i = 0; i < size; ++i) {
        const char c = p[i];
        if (c == static_cast<char>(kStx)) {
            // A new STX always starts a new command: whatever was pending is abandoned.
            if (inFrame_)
                ++malformed_;
            frame_.assign(1, c);
            inFrame_ = true;
            continue;
        }
        if (!inFrame_)
            continue;
        frame_.push_back(c);
        if (c == static_cast<char>(kEtx)) {
            inFrame_ = false;
            Dispatch(frame_, now);
            frame_.clear();
        } else if (frame_.size() >= kMaxCommand) {
            ++malformed_;
            inFrame_ = false;
            frame_.clear();
        }
    }
}

void AdapterEmulator::Dispatch(const std::string& f, EmuMicros now)
{
    if (opt_.keepLog)
        log_.push_back(f);
    if (f.size() < 3) {
        ++malformed_;
        return;
    }
    const char letter = f[1];
    const std::string body = f.substr(2, f.size() - 3);

    // Syntax first: a malformed command is ignored whatever the reply switch says.
    bool ok = false;
    bool inRange = true;
    AdapterRecord echo;
    std::uint32_t interval = 0;
    switch (letter) {
    case 'M':
        ok = body.size() == 1 && IsDigit(body[0]);
        inRange = ok && (body[0] == '0' || body[0] == '1');
        break;
    case 'B':
        ok = body.size() == 4 && IsHex(body[0]) && IsDigit(body[1]) && IsDigit(body[2]) && IsDigit(body[3]);
        if (ok && mode_ == BusMode::Can)
            inRange = body[1] <= '5' && body[2] <= '1' && body[3] <= '1';
        else if (ok)
            inRange = IsDigit(body[0]) && body[0] <= '5' && body[1] == '0' && body[2] == '0' && body[3] <= '1';
        break;
    case 'L':
        ok = body.size() == 32 && AllHex(body, 0, 32);
        break;
    case 'N':
    case 'F':
    case 'C':
    case 'S':
        ok = body.empty();
        break;
    case 'T':
        ok = body.size() == 26 && ParseTransmit(body, echo, nullptr);
        break;
    case 'I':
        ok = body.size() == 34 && ParseTransmit(body, echo, &interval) && interval > 0;
        break;
    default:
        break;
    }
    if (!ok) {
        ++malformed_;
        return;
    }

    const ReplyMode rm = replyModes_[static_cast<unsigned char>(letter) & 0x7F];
    if (rm == ReplyMode::Refuse) {
        Reply(kNak);
        return;
    }
    if (rm == ReplyMode::Silent)
        return;

    // Configuration happens off the bus: an adapter still on bus (the host went away without
    // F) leaves it first, so the host's next go-on-bus is not raced by a running stream.
    if ((letter == 'M' || letter == 'B' || letter == 'L') && onBus_)
        LeaveBus();

    switch (letter) {
    case 'M':
        if (!inRange) {
            Reply(kNak);
            return;
        }
        mode_ = body[0] == '1' ? BusMode::Lin : BusMode::Can;
        Reply(kAck);
        break;
    case 'B':
        if (!inRange) {
            Reply(kNak);
            return;
        }
        if (mode_ == BusMode::Can) {
            can_.speed = HexDigit(static_cast<unsigned char>(body[0]));
            can_.samplingPoint = body[1] - '0';
            can_.driverMode = body[2] - '0';
            can_.terminator = body[3] - '0';
        } else {
            lin_.speed = body[0] - '0';
            lin_.node = body[3] - '0';
        }
        Reply(kAck);
        break;
    case 'L':
        can_.stdMask = Hex32(body, 0, 8);
        can_.stdCode = Hex32(body, 8, 8);
        can_.extMask = Hex32(body, 16, 8);
        can_.extCode = Hex32(body, 24, 8);
        Reply(kAck);
        break;
    case 'N':
        if (!onBus_) {
            onBus_ = true;
            model_->Start(mode_, now);
            nextStatus_ = now + opt_.statusPeriod;
        }
        break;
    case 'F':
        LeaveBus();
        break;
    case 'C':
        // The clear is acknowledged only off bus; on bus the host does not wait for it.
        if (!onBus_)
            Reply(kAck);
        break;
    case 'S':
        periodic_.active = false;
        break;
    case 'T':
        // Off bus the adapter cannot transmit, so there is nothing to echo.
        if (onBus_)
            QueueRecord(echo, now);
        break;
    case 'I':
        if (onBus_) {
            // One periodic slot: a new I replaces the running one.
            periodic_.active = true;
            periodic_.record = echo;
            periodic_.interval = static_cast<EmuMicros>(interval) * 100;
            QueueRecord(echo, now);
            periodic_.next = now + periodic_.interval;
        }
        break;
    default:
        break;
    }
}

bool AdapterEmulator::ParseTransmit(const std::string& b, AdapterRecord& rec, std::uint32_t* interval)
{
    if ((b[0] != '0' && b[0] != '1') || !IsDigit(b[1]) || !AllHex(b, 2, 24))
        return false;
    if (interval) {
        if (!AllHex(b, 26, 8))
            return false;
        *interval = Hex32(b, 26, 8);
    }
    const bool ext = b[0] == '1';
    const int length = b[1] - '0';
    const std::uint32_t id = Hex32(b, 2, 8);
    std::uint8_t data[8];
    for (int i = 0; i < 8; ++i)
        data[i] = static_cast<std::uint8_t>(Hex32(b, 10 + 2 * static_cast<std::size_t>(i), 2));
    if (mode_ == BusMode::Lin)
        rec = AdapterRecord::Lin(static_cast<std::uint8_t>(id & 0x3F), length, data, 0, kLinTransmitted);
    else
        rec = AdapterRecord::Can(id, ext, length, data, kCanTransmitted);
    return true;
}

void AdapterEmulator::LeaveBus()
{
    onBus_ = false;
    periodic_.active = false;
    nextStatus_ = kEmuNever;
}

void AdapterEmulator::Reply(std::uint8_t byte) { out_.push_back(byte); }

std::uint32_t AdapterEmulator::TimeStampAt(EmuMicros t) const
{
    EmuMicros d = t - start_;
    EmuMicros units = d >= 0 ? d / 100 : -((-d + 99) / 100);
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(units));
}

void AdapterEmulator::QueueRecord(AdapterRecord rec, EmuMicros at, bool stamped)
{
    if (OutputSize() + kRecordSize > opt_.outputCapacity) {
        ++droppedRecords_;
        return;
    }
    rec.SetCheck(check_++);
    if (!stamped)
        rec.SetTimeStamp(TimeStampAt(at));
    out_.insert(out_.end(), rec.bytes.begin(), rec.bytes.end());
    ++recordsQueued_;
}

EmuMicros AdapterEmulator::NextDue(EmuMicros now) const
{
    if (disconnected_ || !onBus_)
        return kEmuNever;
    EmuMicros t = nextStatus_;
    if (periodic_.active)
        t = std::min(t, periodic_.next);
    const EmuMicros m = model_->NextDue();
    if (model_->Paced())
        t = std::min(t, m);
    else if (m != kEmuNever && OutputSize() < opt_.unpacedFill)
        t = std::min(t, now);
    return t;
}

void AdapterEmulator::Advance(EmuMicros now)
{
    // Bounded so that a host far behind its schedule still gets control back.
    for (int guard = 0; guard < 1'000'000; ++guard) {
        if (disconnected_ || !onBus_)
            return;
        const EmuMicros tStatus = nextStatus_;
        const EmuMicros tPeriodic = periodic_.active ? periodic_.next : kEmuNever;
        EmuMicros tModel = model_->NextDue();
        const bool paced = model_->Paced();
        if (!paced && tModel != kEmuNever)
            tModel = OutputSize() < opt_.unpacedFill ? now : kEmuNever;
        const EmuMicros t = std::min({tStatus, tPeriodic, tModel});
        if (t > now)
            return;
        if (t == tStatus) {
            QueueRecord(AdapterRecord::Status(mode_ == BusMode::Lin ? kLinStatus : kCanStatus, statusCode_), t);
            nextStatus_ += opt_.statusPeriod;
        } else if (t == tPeriodic) {
            QueueRecord(periodic_.record, t);
            periodic_.next += periodic_.interval;
        } else {
            BusEvent ev = model_->Pop();
            switch (ev.kind) {
            case BusEvent::Kind::Frame:
                QueueRecord(ev.record, paced ? ev.due : now, ev.stamped);
                break;
            case BusEvent::Kind::Raw:
                out_.insert(out_.end(), ev.raw.begin(), ev.raw.end());
                break;
            case BusEvent::Kind::Disconnect:
                disconnected_ = true;
                return;
            }
        }
    }
}

void AdapterEmulator::SkipTo(EmuMicros now)
{
    model_->SkipTo(now);
    auto catchUp = [now](EmuMicros& next, EmuMicros period) {
        if (next != kEmuNever && next < now && period > 0)
            next += ((now - next + period - 1) / period) * period;
    };
    if (periodic_.active)
        catchUp(periodic_.next, periodic_.interval);
    catchUp(nextStatus_, opt_.statusPeriod);
}

void AdapterEmulator::ConsumeOutput(std::size_t n)
{
    outHead_ += std::min(n, OutputSize());
    if (outHead_ == out_.size()) {
        out_.clear();
        outHead_ = 0;
    } else if (outHead_ > (64u << 10) && outHead_ * 2 > out_.size()) {
        out_.erase(out_.begin(), out_.begin() + static_cast<std::ptrdiff_t>(outHead_));
        outHead_ = 0;
    }
}

std::size_t AdapterEmulator::TakeOutput(void* buffer, std::size_t max)
{
    const std::size_t n = std::min(max, OutputSize());
    if (n)
        std::memcpy(buffer, OutputData(), n);
    ConsumeOutput(n);
    return n;
}

void AdapterEmulator::ClearOutput()
{
    out_.clear();
    outHead_ = 0;
}

void AdapterEmulator::SetReplyMode(char letter, ReplyMode mode)
{
    replyModes_[static_cast<unsigned char>(letter) & 0x7F] = mode;
}

void AdapterEmulator::InjectStatus(std::uint8_t code, EmuMicros now)
{
    statusCode_ = code;
    if (onBus_ && !disconnected_) {
        QueueRecord(AdapterRecord::Status(mode_ == BusMode::Lin ? kLinStatus : kCanStatus, statusCode_), now);
    }
}

void AdapterEmulator::InjectRaw(const std::string& bytes) { out_.insert(out_.end(), bytes.begin(), bytes.end()); }

void AdapterEmulator::Reconnect()
{
    disconnected_ = false;
    LeaveBus();
    inFrame_ = false;
    frame_.clear();
    ClearOutput();
}

void AdapterEmulator::ClearLog()
{
    log_.clear();
    received_.clear();
}

void AdapterEmulator::SetModel(std::unique_ptr<TBusModel> model) { model_ = std::move(model); }

}  // namespace tarvik
