#include "emulator/scriptedmodel.h"

#include <algorithm>

namespace tarvik {

TScriptedModel& TScriptedModel::Add(BusEvent ev)
{
    const auto pos = std::upper_bound(events_.begin(), events_.end(), ev.due,
                                      [](EmuMicros t, const BusEvent& e) { return t < e.due; });
    events_.insert(pos, std::move(ev));
    return *this;
}

std::string TScriptedModel::Wire(AdapterRecord r, EmuMicros at, std::uint8_t check, std::uint8_t copy)
{
    return r.SetCheck(check, copy).SetTimeStamp(static_cast<std::uint32_t>(at / 100)).Wire();
}

TScriptedModel& TScriptedModel::Frame(EmuMicros at, const AdapterRecord& record)
{
    BusEvent ev;
    ev.due = at;
    ev.record = record;
    return Add(std::move(ev));
}

TScriptedModel& TScriptedModel::BadCheck(EmuMicros at, const AdapterRecord& record)
{
    BusEvent ev;
    ev.kind = BusEvent::Kind::Raw;
    ev.due = at;
    ev.raw = Wire(record, at, 0x55, 0x54);
    return Add(std::move(ev));
}

TScriptedModel& TScriptedModel::Partial(EmuMicros at, const AdapterRecord& record, std::size_t bytes)
{
    BusEvent ev;
    ev.kind = BusEvent::Kind::Raw;
    ev.due = at;
    ev.raw = Wire(record, at, 0x5A, 0x5A).substr(0, std::min(bytes, kRecordSize));
    return Add(std::move(ev));
}

TScriptedModel& TScriptedModel::Garbage(EmuMicros at, std::string bytes)
{
    BusEvent ev;
    ev.kind = BusEvent::Kind::Raw;
    ev.due = at;
    ev.raw = std::move(bytes);
    return Add(std::move(ev));
}

TScriptedModel& TScriptedModel::Disconnect(EmuMicros at)
{
    BusEvent ev;
    ev.kind = BusEvent::Kind::Disconnect;
    ev.due = at;
    return Add(std::move(ev));
}

void TScriptedModel::Start(BusMode, EmuMicros now)
{
    started_ = true;
    start_ = now;
    next_ = 0;
}

EmuMicros TScriptedModel::NextDue() const
{
    if (!started_ || next_ >= events_.size())
        return kEmuNever;
    return start_ + events_[next_].due;
}

BusEvent TScriptedModel::Pop()
{
    BusEvent ev = events_[next_++];
    ev.due += start_;
    return ev;
}

void TScriptedModel::SkipTo(EmuMicros now)
{
    while (started_ && next_ < events_.size() && start_ + events_[next_].due < now &&
           events_[next_].kind != BusEvent::Kind::Disconnect)
        ++next_;
}

}  // namespace tarvik
