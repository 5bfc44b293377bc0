#pragma once
// A test's helper thread that is stopped and joined when the scope ends, however it ends. An
// ASSERT_* returns from the test at once; a std::thread still joinable then would end the
// whole run in std::terminate and lose the failure's message.
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

}  // namespace testsupport
