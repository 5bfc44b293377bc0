#pragma once
// Recorded vehicle traffic: the vehicle model run without a clock and written as a trace
// log, for tests that need a real log file of a known bus.
#include <chrono>
#include <cstdint>
#include <string>

#include "emulator/vehiclemodel.h"
#include "logformats/tracefile.h"

namespace testsupport {

// `length` of CAN traffic from going on bus, stamped as the adapter would (100 us ticks)
// and dated at `openedMicros` since 1970.
inline std::string VehicleTrace(std::chrono::milliseconds length,
                                tarvik::TTraceFormat format = tarvik::TTraceFormat::Candump,
                                std::int64_t openedMicros = 1765000000000000)
{
    tarvik::TVehicleModel model;
    model.Start(tarvik::BusMode::Can, 0);
    tarvik::TTraceWriter writer(format, openedMicros);
    std::string text;
    const tarvik::EmuMicros end = std::chrono::duration_cast<std::chrono::microseconds>(length).count();
    while (model.NextDue() < end) {
        tarvik::BusEvent ev = model.Pop();
        if (ev.kind != tarvik::BusEvent::Kind::Frame)
            continue;
        ev.record.SetTimeStamp(static_cast<std::uint32_t>(ev.due / 100));
        writer.Write(ev.record, text);
    }
    writer.Finish(text);
    return text;
}

}  // namespace testsupport
