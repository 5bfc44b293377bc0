#include "emulator/adapteremulator.h"

#include <algorithm>
#include <cstring>
#include <optional>

namespace tarvik {

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
        } else if (frame_.size() >= kLongestCommand) {
            ++malformed_;
            inFrame_ = false;
            frame_.clear();
        }
    }
}

void AdapterEmulator::Dispatch(const std::string& frame, EmuMicros now)
{
    if (opt_.keepLog)
        log_.push_back(frame);
    // Syntax first: a malformed command is ignored whatever the reply switch says. A periodic
    // send without an interval counts as malformed, like a garbled digit.
    const std::optional<cmd::Fields> c = cmd::Decode(frame);
    if (!c || (c->letter == 'I' && c->interval100us == 0)) {
        ++malformed_;
        return;
    }

    const ReplyMode rm = replyModes_[static_cast<unsigned char>(c->letter) & 0x7F];
    if (rm == ReplyMode::Refuse) {
        Reply(kNak);
        return;
    }
    if (rm == ReplyMode::Silent)
        return;

    switch (c->letter) {
    case 'M':
    case 'B':
    case 'L':
        Configure(*c);
        break;
    case 'T':
    case 'I':
        Transmit(*c, now);
        break;
    default:
        Control(c->letter, now);
        break;
    }
}

void AdapterEmulator::Configure(const cmd::Fields& c)
{
    // Configuration happens off the bus: an adapter still on bus (the host went away without
    // F) leaves it first, so the host's next go-on-bus is not raced by a running stream.
    if (onBus_)
        LeaveBus();
    if (!InRange(c)) {
        Reply(kNak);
        return;
    }
    if (c.letter == 'M') {
        mode_ = c.function == 1 ? BusMode::Lin : BusMode::Can;
    } else if (c.letter == 'B' && mode_ == BusMode::Can) {
        can_.speed = c.bus.speed;
        can_.samplingPoint = c.bus.samplingPoint;
        can_.driverMode = c.bus.driverMode;
        can_.terminator = c.bus.terminator;
    } else if (c.letter == 'B') {
        lin_.speed = c.bus.speed;
        lin_.node = c.bus.LinNode();
    } else {
        can_.stdMask = c.masks.stdMask;
        can_.stdCode = c.masks.stdCode;
        can_.extMask = c.masks.extMask;
        can_.extCode = c.masks.extCode;
    }
    Reply(kAck);
}

bool AdapterEmulator::Accepts(const AdapterRecord& rec) const
{
    // Acceptance filtering of received CAN frames: a 1 in the mask says that bit of the
    // identifier must equal the code's; a mask of 0 (the group unused) lets every frame in.
    if (mode_ != BusMode::Can || rec.Type() != kCanReceived)
        return true;
    const bool ext = rec.Extended();
    const std::uint32_t mask = ext ? can_.extMask : can_.stdMask;
    const std::uint32_t code = ext ? can_.extCode : can_.stdCode;
    return (rec.CanId() & mask) == (code & mask);
}

bool AdapterEmulator::InRange(const cmd::Fields& c) const
{
    const cmd::BusFields& b = c.bus;
    switch (c.letter) {
    case 'M':
        return c.function <= 1;
    case 'B':
        if (mode_ == BusMode::Can)
            return b.samplingPoint <= 5 && b.driverMode <= 1 && b.terminator <= 1;
        // A LIN speed is a decimal digit (a hex one reads as 10 and up); the CAN-only digits stay 0.
        return b.speed <= 5 && b.samplingPoint == 0 && b.driverMode == 0 && b.LinNode() <= 1;
    default:
        return true;
    }
}

void AdapterEmulator::Control(char letter, EmuMicros now)
{
    switch (letter) {
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
    default:
        break;
    }
}

void AdapterEmulator::Transmit(const cmd::Fields& c, EmuMicros now)
{
    // Off bus the adapter cannot transmit, so there is nothing to echo.
    if (!onBus_)
        return;
    const cmd::FrameFields& f = c.frame;
    const AdapterRecord echo =
        mode_ == BusMode::Lin
            ? AdapterRecord::Lin(static_cast<std::uint8_t>(f.id & kLinIdMask), f.length, f.data.data(), 0,
                                 kLinTransmitted)
            : AdapterRecord::Can(f.id, f.extended != 0, f.length, f.data.data(), kCanTransmitted);
    if (c.letter == 'I') {
        // One periodic slot: a new I replaces the running one.
        periodic_.active = true;
        periodic_.record = echo;
        periodic_.interval = static_cast<EmuMicros>(c.interval100us) * 100;
        periodic_.next = now + periodic_.interval;
    }
    QueueRecord(echo, now);
}

void AdapterEmulator::LeaveBus()
{
    onBus_ = false;
    periodic_.active = false;
    nextStatus_ = kEmuNever;
}

void AdapterEmulator::Reply(std::uint8_t byte)
{
    // A host that writes commands and never reads must not grow the queue without end.
    if (OutputSize() + 1 > opt_.outputCapacity) {
        ++droppedReplies_;
        return;
    }
    out_.push_back(byte);
}

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
                if (Accepts(ev.record))
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
