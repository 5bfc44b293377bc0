#pragma once
// A test's helper thread that is stopped and joined when the scope ends, however it ends. An
// ASSERT_* returns from the test at once; a std::thread still joinable then would end the
// whole run in std::terminate and lose the failure's message.
#include <algorithm>
#include <chrono>
#include <functional>
#include <thread>
#include <utility>

namespace testsupport {

class Background {
public:
    // Runs body at once; stop (optional) asks it to finish and runs before the join in the
    // destructor.
    explicit Background(std::function<void()> body, std::function<void()> stop = {})
        : stop_(std::move(stop)), thread_(std::move(body))
    {
    }
    ~Background()
    {
        if (thread_.joinable() && stop_)
            stop_();
        Join();
    }
    // Waits for the body to return.
    void Join()
    {
        if (thread_.joinable())
            thread_.join();
    }
    Background(const Background&) = delete;
    Background& operator=(const Background&) = delete;

private:
    std::function<void()> stop_;
    std::thread thread_;
};

// The processor time a thread used in its quietest of up to three one-second windows (cpu
// reads its total). A poll costs the same in every second, while a loaded machine adds to
// some of them; it stops early once a window is below `enough`.
inline std::chrono::nanoseconds QuietestSecond(const std::function<std::chrono::nanoseconds()>& cpu,
                                               std::chrono::nanoseconds enough)
{
    auto least = std::chrono::nanoseconds::max();
    for (int window = 0; window < 3 && least >= enough; ++window) {
        const auto before = cpu();
        std::this_thread::sleep_for(std::chrono::seconds(1));
        least = std::min(least, cpu() - before);
    }
    return least;
}

}  // namespace testsupport
