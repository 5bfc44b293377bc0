#pragma once
// Free-running 32-bit millisecond counter, the time base of the draw, plot and log
// threads. It is computed from the steady clock on every read, so no 1 ms timer thread
// runs; it wraps at 2^32 like a counter bumped once per millisecond would. Readers take
// intervals as unsigned differences, which the wrap leaves intact.
#include <chrono>
#include <cstdint>

namespace tarvik {

class TMmTimer {
public:
    // start: the first value (tests start close to the wrap).
    explicit TMmTimer(std::uint32_t start = 0) : start_(start), origin_(std::chrono::steady_clock::now()) {}

    std::uint32_t Count() const
    {
        const auto ms =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - origin_).count();
        return start_ + static_cast<std::uint32_t>(static_cast<std::uint64_t>(ms));
    }

private:
    const std::uint32_t start_;
    const std::chrono::steady_clock::time_point origin_;
};

// The program's one counter: the main window, the monitors and the graph threads share it,
// so their intervals are measured against the same origin.
inline const TMmTimer& ProgramTimer()
{
    static const TMmTimer timer;
    return timer;
}

}  // namespace tarvik
