#pragma once
// A serial-line CAN adapter played by the test on the master side of a pseudo-terminal:
// every CR-ended line the host writes is logged with its arrival time and answered by
// `respond` (CR by default); Push sends unsolicited lines (frames from the bus).
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/ptypair.h"

namespace testsupport {

class ScriptedSlcan {
public:
    using Clock = std::chrono::steady_clock;
    struct Line {
        Clock::time_point at;
        std::string text;  // without the CR
    };

    explicit ScriptedSlcan(PtyPair& pty) : pty_(pty)
    {
        thread_ = std::thread([this] { Run(); });
    }
    ~ScriptedSlcan()
    {
        stop_ = true;
        thread_.join();
    }

    void SetResponder(std::function<std::string(const std::string&)> r)
    {
        std::lock_guard<std::mutex> g(mu_);
        respond_ = std::move(r);
    }
    void Push(const std::string& bytes)
    {
        std::lock_guard<std::mutex> g(mu_);
        pty_.Send(bytes);
    }
    std::vector<Line> Lines() const
    {
        std::lock_guard<std::mutex> g(mu_);
        return lines_;
    }
    // Every byte the host wrote, in order.
    std::string Wire() const
    {
        std::lock_guard<std::mutex> g(mu_);
        return wire_;
    }
    void Clear()
    {
        std::lock_guard<std::mutex> g(mu_);
        lines_.clear();
        wire_.clear();
    }
    // Waits until the host wrote at least `n` lines; false on time-out.
    bool WaitLines(std::size_t n, int timeoutMs = 3000) const
    {
        const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
        while (Clock::now() < end) {
            if (Lines().size() >= n) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return false;
    }

    // The usual adapter: CR to commands, z/Z to frames.
    static std::string Accepting(const std::string& l)
    {
        if (!l.empty() && (l[0] == 't' || l[0] == 'r')) return "z\r";
        if (!l.empty() && (l[0] == 'T' || l[0] == 'R')) return "Z\r";
        if (l == "F") return "F00\r";
        return "\r";
    }

private:
    void Run()
    {
        std::string partial;
        while (!stop_) {
            pollfd p{pty_.Master(), POLLIN, 0};
            if (::poll(&p, 1, 5) <= 0) continue;
            char buf[4096];
            const ssize_t n = ::read(pty_.Master(), buf, sizeof buf);
            if (n <= 0) continue;
            const auto at = Clock::now();
            std::lock_guard<std::mutex> g(mu_);
            wire_.append(buf, std::size_t(n));
            for (ssize_t i = 0; i < n; ++i) {
                if (buf[i] != '\r') {
                    partial.push_back(buf[i]);
                    continue;
                }
                lines_.push_back({at, partial});
                pty_.Send(respond_ ? respond_(partial) : Accepting(partial));
                partial.clear();
            }
        }
    }

    PtyPair& pty_;
    mutable std::mutex mu_;
    std::function<std::string(const std::string&)> respond_;
    std::vector<Line> lines_;
    std::string wire_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

}  // namespace testsupport
