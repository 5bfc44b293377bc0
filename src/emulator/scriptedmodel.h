#pragma once
// Test script of bus events at fixed times after going on bus: good records, a record
// whose check byte copy differs, a record cut short, garbage bytes, a disconnect.
#include <vector>

#include "emulator/busmodel.h"

namespace tarvik {

class TScriptedModel : public TBusModel {
public:
    // `at` is in microseconds after N. Events keep their order when times are equal.
    TScriptedModel& Frame(EmuMicros at, const AdapterRecord& record);
    // A whole record with check byte 0x55 and copy 0x54.
    TScriptedModel& BadCheck(EmuMicros at, const AdapterRecord& record);
    // Only the first `bytes` bytes of a well-formed record.
    TScriptedModel& Partial(EmuMicros at, const AdapterRecord& record, std::size_t bytes);
    TScriptedModel& Garbage(EmuMicros at, std::string bytes);
    TScriptedModel& Disconnect(EmuMicros at);

    std::string Name() const override { return "scripted"; }
    void Start(BusMode mode, EmuMicros now) override;
    EmuMicros NextDue() const override;
    BusEvent Pop() override;
    void SkipTo(EmuMicros now) override;

    std::size_t Remaining() const { return started_ ? events_.size() - next_ : events_.size(); }

private:
    TScriptedModel& Add(BusEvent ev);
    static std::string Wire(AdapterRecord record, EmuMicros at, std::uint8_t check, std::uint8_t copy);

    std::vector<BusEvent> events_;
    bool started_ = false;
    EmuMicros start_ = 0;
    std::size_t next_ = 0;
};

}  // namespace tarvik
