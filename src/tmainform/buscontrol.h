#pragma once
// The command sequences between the main window and the adapter: on bus, off bus, clear,
// and the LIN send group's frames.
#include <cstdint>
#include <functional>
#include <string>

namespace tarvik {

class TUsbDev;

// What a go-on-bus configures, gathered from the window's controls and settings.
struct OnBusConfig {
    int monitorFunction = 0;  // 0 CAN, 1 LIN
    int canSpeed = 0;
    int samplingPoint = 0;
    int driverMode = 0;
    int terminator = 0;
    std::uint32_t stdMask = 0, stdCode = 0, extMask = 0, extCode = 0;
    int linSpeed = 0;
    int linNode = 0;  // 0 slave, 1 master
};

// One LIN frame as the LIN send group composes it.
struct LinFrame {
    int length = 0;
    std::uint32_t id = 0;  // masked to 6 bits when sent
    std::uint8_t data[8] = {};
};

// The command sequences between the window and the adapter. Reception is reached through
// callables so the receive thread stays the window's business.
class TBusControl {
public:
    struct Reception {
        std::function<bool()> start;    // false when it was already running
        std::function<void()> stop;     // the thread suspends itself at its next pass
        std::function<bool()> running;
    };
    using Sleeper = std::function<void(int ms)>;

    TBusControl(TUsbDev& dev, Reception reception, Sleeper sleep = {});

    // Flush, M, B (and L for CAN) each acknowledged, then N, then start reception. Stops at
    // the first command not accepted. TUsbError passes through to the caller.
    bool GoOnBus(const OnBusConfig& config);
    // Stop reception, wait for the thread to park, then F without a reply.
    bool GoOffBus();
    // C: acknowledged when off bus, written only when on bus.
    bool ClearAdapter();
    // T with the 6-bit LIN identifier; nothing off bus.
    bool SendLinFrame(const LinFrame& frame);
    // S; nothing off bus.
    bool StopLinSlave();

    bool OnBus() const { return reception_.running && reception_.running(); }

    // What went wrong with the last command that expected a reply, for the user
    // ("No answer from the adapter to B within 5 s"); empty once a command succeeds.
    const std::string& Problem() const { return problem_; }

private:
    bool SendAcked(const std::string& command);
    bool SendOnly(const std::string& command);

    TUsbDev& dev_;
    Reception reception_;
    Sleeper sleep_;
    std::string problem_;
};

}  // namespace tarvik
