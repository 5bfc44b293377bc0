#pragma once
// A bus adapter as the program sees it: frames in, records out. Every kind of adapter (the
// native adapter over its byte protocol, serial-line CAN adapters, CAN sockets) is one of
// these, so the session, the windows and the tools never know which kind they drive.
//
// Every operation answers true or false; on false, Problem() says why in words a user can
// read ("The adapter answered B with 0x15 instead of ACK"). A failure of the link itself
// (the port went away) is raised as TUsbError, as the native adapter always did, and leaves
// the device closed.
#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "tusbdev/adapterprotocol.h"

namespace tarvik {

// What a go-on-bus configures, gathered from the window's controls and settings.
struct OnBusConfig {
    int monitorFunction = 0;  // 0 CAN, 1 LIN
    int canSpeed = 0;         // index into the CAN speed list, 0 = 1 Mbit/s
    int samplingPoint = 0;
    int driverMode = 0;       // 0 normal, 1 silent
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

// One CAN frame to send. It has room for a CAN FD frame (64 bytes and its flags) so that
// devices which carry them need no other interface; the classic devices refuse what they
// cannot put on the bus.
struct TBusFrame {
    static constexpr int kMaxData = 64;
    std::uint32_t id = 0;
    bool extended = false;
    bool remote = false;
    bool fd = false;               // CAN FD frame
    bool bitRateSwitch = false;    // FD: data phase at the higher rate
    bool errorIndicator = false;   // FD: sender error passive
    // The length as the user gave it: 0..8 for classic frames (the native adapter takes 0..9
    // and reads 8..9 as eight bytes), the byte count for FD frames.
    std::uint8_t length = 0;
    std::array<std::uint8_t, kMaxData> data{};

    static TBusFrame Classic(std::uint32_t id, bool extended, int length, const std::uint8_t data8[8])
    {
        TBusFrame f;
        f.id = id;
        f.extended = extended;
        f.length = std::uint8_t(length < 0 ? 0 : length > 15 ? 15 : length);
        if (data8)
            for (int i = 0; i < 8; ++i) f.data[std::size_t(i)] = data8[i];
        return f;
    }
};

// What a device lost or left out on the way in, counted since it last went on bus.
struct TDeviceLosses {
    std::uint64_t partialBytes = 0;  // bytes of a record cut short by a read time-out
    std::uint64_t skippedBytes = 0;  // bytes skipped to get back in step with the records
    std::uint64_t badLines = 0;      // lines from the adapter that did not parse
    std::uint64_t overflowed = 0;    // records the device could not hold for the receive thread
    std::uint64_t leftOut = 0;       // CAN FD frames, which the program cannot carry yet
    std::uint64_t refused = 0;       // frames the adapter would not send
};

// Hands received records to the receive thread, a batch at a time, in bus order. The
// records between Begin and End may go to consumer rings, so a batch never blocks.
class TReceiveSink {
public:
    virtual ~TReceiveSink() = default;
    virtual void Begin() = 0;
    virtual void Record(const std::uint8_t* record) = 0;  // kRecordSize bytes
    virtual void BadRecord() = 0;                         // a record whose check bytes differ
    virtual void End() = 0;
};

class TBusDevice {
public:
    virtual ~TBusDevice() = default;

    // Shows an open failure to the user (a modal box in the program, a recorder in tests).
    using ErrorPresenter = std::function<void(const std::string& message)>;
    // Keeps the user interface responsive while a command waits for its reply.
    using MessagePump = std::function<void()>;

    // The kind's name in the device table ("native", "slcan", ...).
    virtual const char* Kind() const = 0;
    virtual void SetErrorPresenter(ErrorPresenter presenter) = 0;
    virtual void SetMessagePump(MessagePump pump) = 0;
    // Asked when the adapter runs at other settings than chosen and cannot be changed from
    // here (a CAN interface at another bit rate): true goes on bus at the adapter's own
    // settings. Without one, such a go-on-bus is refused with the message as the problem.
    using SettingsQuestion = std::function<bool(const std::string& message)>;
    virtual void SetSettingsQuestion(SettingsQuestion) {}

    // The port by number (the Nth adapter of this kind) and the line speed for kinds on a
    // serial line; kinds that have neither keep them for the settings.
    void SetDeviceNumber(std::uint32_t n) { deviceNumber_ = n; }
    std::uint32_t DeviceNumber() const { return deviceNumber_; }
    virtual void SetBaudRate(std::uint32_t baud) { baudRate_ = baud; }
    std::uint32_t BaudRate() const { return baudRate_; }
    // Adapters of this kind attached now; false when the kind cannot tell.
    virtual bool DeviceCount(std::uint32_t* count) = 0;

    // Open reports its failure itself (the error presenter of the native device) and in
    // LastOpenError; it never raises.
    virtual bool Open() = 0;
    virtual bool Close() = 0;
    virtual bool IsOpen() const = 0;
    virtual std::string LastOpenError() const = 0;

    // Configures the adapter and puts it on the bus; the receive thread is not running.
    virtual bool GoOnBus(const OnBusConfig& config) = 0;
    // Takes it off; the receive thread has stopped reading.
    virtual bool GoOffBus() = 0;
    // Empties the adapter's buffers; onBus says whether reception runs meanwhile.
    virtual bool Clear(bool onBus) = 0;

    // On bus only (the session checks). A sent frame comes back as a transmitted record.
    virtual bool Transmit(const TBusFrame& frame) = 0;
    virtual bool StartPeriodic(const TBusFrame& frame, std::uint32_t intervalMs) = 0;
    virtual bool StopPeriodic() = 0;
    // LIN: the master's frame, or the response a slave starts giving; and its stop.
    virtual bool SendLinFrame(const LinFrame& frame) = 0;
    virtual bool StopLinSlave() = 0;

    // The receive thread's side. Receive waits up to timeoutMs for records and hands them
    // to the sink; false when the device is closed (the caller then sleeps a little).
    // Failures of the link raise TUsbError.
    virtual bool Receive(TReceiveSink& sink, std::uint32_t timeoutMs) = 0;
    // Ends a Receive wait of another thread at once (or the next one to start).
    virtual void CancelWait() = 0;
    // The receive thread, parked between two periods on bus: forget a partly received input.
    virtual void ResetReceive() {}
    virtual TDeviceLosses Losses() const = 0;
    // Called when reception starts, with the receive thread parked.
    virtual void ResetLosses() = 0;

    // Why the last operation that failed did; empty once one succeeds.
    const std::string& Problem() const { return problem_; }

protected:
    void SetProblem(std::string p) { problem_ = std::move(p); }
    void ClearProblem() { problem_.clear(); }

private:
    std::uint32_t deviceNumber_ = 0;
    std::uint32_t baudRate_ = 921600;
    std::string problem_;
};

}  // namespace tarvik
