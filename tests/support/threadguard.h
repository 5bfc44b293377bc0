#pragma once
// Stops and joins a test's helper thread when the scope ends, however it ends. An ASSERT_*
// returns from the test at once; a std::thread still joinable then would end the whole
// run in std::terminate and lose the failure's message.
#include <functional>
#include <thread>
#include <utility>

namespace testsupport {

class JoinGuard {
public:
    // stop (optional) asks the thread to finish; it runs before the join.
    explicit JoinGuard(std::thread& thread, std::function<void()> stop = {})
        : thread_(thread), stop_(std::move(stop))
    {
    }
    ~JoinGuard()
    {
        if (!thread_.joinable())
            return;
        if (stop_)
            stop_();
        thread_.join();
    }
    JoinGuard(const JoinGuard&) = delete;
    JoinGuard& operator=(const JoinGuard&) = delete;

private:
    std::thread& thread_;
    std::function<void()> stop_;
};

}  // namespace testsupport
