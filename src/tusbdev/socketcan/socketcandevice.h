#pragma once
// A Linux CAN network interface (can0, vcan0, ...) through the kernel's CAN sockets.
//
//   frames in      a raw socket bound to the interface; the kernel applies the masks
//                  (CAN_RAW_FILTER) and stamps each frame (SO_TIMESTAMPNS)
//   own frames     come back through CAN_RAW_RECV_OWN_MSGS marked MSG_CONFIRM once they
//                  reached the bus, and become transmitted records
//   periodic       the broadcast manager (CAN_BCM, TX_SETUP) keeps the interval
//   bus status     error frames: warning or error passive 1, bus-off 2, error active 0
//   speed          read over rtnetlink; a real interface at another bit rate or listen-only
//                  mode is set over rtnetlink (down, set, up) when the process may; else it is
//                  refused with the command that changes it, unless the settings question
//                  accepts it
//
// CAN FD frames are counted as left out; LIN is refused with the native adapter's refusal.
#include <linux/can.h>

#include <atomic>
#include <cstdint>
#include <ctime>
#include <mutex>
#include <string>
#include <vector>

#include "tusbdev/busdevice.h"
#include "tusbdev/socketcan/socketcanmap.h"

namespace tarvik {

namespace socketcan {
// The interface as the kernel sees it now (sysfs and rtnetlink); a name that cannot be an
// interface's (too long, a path) does not exist.
InterfaceInfo QueryInterface(const std::string& name);
// The CAN interfaces (link type 280), sorted by name.
std::vector<std::string> CanInterfaces();
}  // namespace socketcan

class TSocketCanDevice : public TBusDevice {
public:
    // interfaceName: "can0"; empty takes the Nth CAN interface by device number.
    explicit TSocketCanDevice(std::string interfaceName);
    ~TSocketCanDevice() override;
    TSocketCanDevice(const TSocketCanDevice&) = delete;
    TSocketCanDevice& operator=(const TSocketCanDevice&) = delete;

    const char* Kind() const override { return "socketcan"; }
    void SetErrorPresenter(ErrorPresenter p) override { presenter_ = std::move(p); }
    void SetMessagePump(MessagePump) override {}  // nothing here waits for a reply
    void SetSettingsQuestion(SettingsQuestion q) override { question_ = std::move(q); }
    bool DeviceCount(std::uint32_t* count) override;

    bool Open() override;
    bool Close() override;
    bool IsOpen() const override { return raw_ >= 0 && !failed_.load(); }
    std::string LastOpenError() const override { return openError_; }

    bool GoOnBus(const OnBusConfig& config) override;
    bool GoOffBus() override;
    bool Clear(bool onBus) override;
    bool Transmit(const TBusFrame& frame) override;
    bool StartPeriodic(const TBusFrame& frame, std::uint32_t intervalMs) override;
    bool StopPeriodic() override;
    bool SendLinFrame(const LinFrame& frame) override;
    bool StopLinSlave() override;

    bool Receive(TReceiveSink& sink, std::uint32_t timeoutMs) override;
    void CancelWait() override;
    TDeviceLosses Losses() const override;
    void ResetLosses() override;

    const std::string& InterfaceName() const { return name_; }

private:
    bool OpenFailed(std::string message);
    bool Refuse(const char* letter);
    // Frames reach the socket only while on bus; off bus the kernel drops them for us.
    bool SetReception(bool on, const OnBusConfig& config);
    void Drain();
    void CloseSockets();
    bool DeletePeriodic();
    // Sets what `change` names on the interface. Not allowed: the process lacks the right
    // and nothing changed; otherwise an empty problem means done.
    struct LinkOutcome {
        bool allowed = true;
        std::string problem;
    };
    LinkOutcome ChangeLink(const socketcan::LinkChange& change);

    std::string port_;
    std::string name_;
    ErrorPresenter presenter_;
    SettingsQuestion question_;
    std::string openError_;
    // Read by the receive thread while the window's thread opens and closes.
    std::atomic<int> raw_{-1}, bcm_{-1}, wake_{-1};
    std::atomic<bool> onBus_{false};
    std::atomic<bool> failed_{false};
    timespec start_{};
    std::uint8_t check_ = 0;

    mutable std::mutex mu_;  // what the receive thread and the window's thread share below
    TDeviceLosses losses_;
    std::uint32_t kernelDrops_ = 0;      // the socket's drop counter (SO_RXQ_OVFL) last seen
    std::uint32_t kernelDropsBase_ = 0;  // ... when the losses were last reset
    // The periodic frame, to tell it from others' frames: the broadcast manager's frames
    // reach us as any local socket's would. Frames the kernel stamped up to the stop are ours.
    bool periodicKnown_ = false;
    bool periodicActive_ = false;
    timespec periodicStopped_{};
    can_frame periodic_{};

    std::vector<std::uint8_t> buffers_;  // receive batch: frames and control data
    std::vector<AdapterRecord> batch_;
};

}  // namespace tarvik
