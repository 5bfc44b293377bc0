#pragma once
// What a monitor window reads from the rest of the program, and the loss counts it shows.
#include <QString>
#include <cstdint>
#include <functional>

class QWidget;

namespace tarvik {

// Records lost on their way to the scrolling monitor, counted per period on bus.
struct TLossCounts {
    std::uint64_t ringDropped = 0;    // the view's ring was full
    std::uint64_t badRecords = 0;     // check byte mismatch, reached no window
    std::uint64_t partialBytes = 0;   // bytes of a partial record dropped after a read time-out
    std::uint64_t overwritten = 0;    // oldest history records replaced by new ones
};

// Frames the user never sees in the trace: dropped by a full ring or failing the check byte.
inline std::uint64_t LostFrames(const TLossCounts& c)
{
    return c.ringDropped + c.badRecords;
}

// "lost 0", with the partial bytes when there were any: "lost 3 +7 bytes".
QString LossText(const TLossCounts& c);
// Breakdown of every count, one per line.
QString LossDetails(const TLossCounts& c);

struct TMonitorHost {
    // The receive thread's running flag (pausing is refused while not monitoring).
    std::function<bool()> running;
    // Counts from the receive thread; the window adds its own history overwrites.
    std::function<TLossCounts()> losses;
    // The window the monitors place themselves under when shown.
    QWidget* mainWindow = nullptr;
};

}  // namespace tarvik
