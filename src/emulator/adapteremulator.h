#pragma once
// The adapter's side of the link, independent of any transport: it parses the host's
// command bytes, answers them, and turns bus events into 20-byte records in an output
// queue that the host drains. Not thread-safe; each host serialises access itself.
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "emulator/busmodel.h"

namespace tarvik {

class AdapterEmulator {
public:
    enum class ReplyMode {
        Normal,
        Refuse,  // answer 0x15 and ignore the command
        Silent,  // answer nothing and ignore the command
    };

    struct Options {
        // Adapter→host bytes held while the host does not read; beyond it whole records are dropped (counted).
        std::size_t outputCapacity = 4u << 20;
        // An unpaced model is topped up to this many queued bytes.
        std::size_t unpacedFill = 256u << 10;
        EmuMicros statusPeriod = 1'000'000;
        // Tests read the command log; a long-running host may switch it off.
        bool keepLog = true;
    };

    struct CanConfig {
        int speed = 0, samplingPoint = 0, driverMode = 0, terminator = 0;
        std::uint32_t stdMask = 0, stdCode = 0, extMask = 0, extCode = 0;
    };
    struct LinConfig {
        int speed = 0, node = 0;
    };

    AdapterEmulator(std::unique_ptr<TBusModel> model, EmuMicros start);
    AdapterEmulator(std::unique_ptr<TBusModel> model, EmuMicros start, Options options);

    // Host→adapter bytes, received at `now`. Replies go to the output queue at once.
    void Feed(const void* data, std::size_t size, EmuMicros now);
    // Produces every record due at or before `now`.
    void Advance(EmuMicros now);
    // When Advance next has something to do (may be <= now), kEmuNever when idle.
    EmuMicros NextDue(EmuMicros now) const;
    // Forgets what fell due before `now` (the host was not connected).
    void SkipTo(EmuMicros now);

    // Output queue.
    std::size_t OutputSize() const { return out_.size() - outHead_; }
    const std::uint8_t* OutputData() const { return out_.data() + outHead_; }
    void ConsumeOutput(std::size_t n);
    std::size_t TakeOutput(void* buffer, std::size_t max);
    void ClearOutput();

    // Test switches and injections.
    void SetReplyMode(char letter, ReplyMode mode);
    // Sets the bus status code carried by status records and sends one at once when on bus.
    void InjectStatus(std::uint8_t code, EmuMicros now);
    // Appends raw bytes to the output queue (broken records, garbage) outside any model.
    void InjectRaw(const std::string& bytes);
    void Disconnect() { disconnected_ = true; }
    void Reconnect();

    // Every framed command received, STX to ETX inclusive, malformed ones included.
    const std::vector<std::string>& CommandLog() const { return log_; }
    // Every byte the host wrote, in order.
    const std::string& ReceivedBytes() const { return received_; }
    void ClearLog();

    bool OnBus() const { return onBus_; }
    bool Disconnected() const { return disconnected_; }
    BusMode Mode() const { return mode_; }
    const CanConfig& Can() const { return can_; }
    const LinConfig& Lin() const { return lin_; }
    bool PeriodicActive() const { return periodic_.active; }
    std::uint64_t RecordsQueued() const { return recordsQueued_; }
    std::uint64_t DroppedRecords() const { return droppedRecords_; }
    // Replies not queued because the host left the output full, as the adapter's buffer would.
    std::uint64_t DroppedReplies() const { return droppedReplies_; }
    std::uint64_t MalformedCommands() const { return malformed_; }
    TBusModel& Model() { return *model_; }
    // The new model starts at the next N.
    void SetModel(std::unique_ptr<TBusModel> model);
    EmuMicros Start() const { return start_; }
    // The record time stamp for `t`: 100 microsecond units since the emulator started, wrapping.
    std::uint32_t TimeStampAt(EmuMicros t) const;

private:
    void Dispatch(const std::string& frame, EmuMicros now);
    // M, B and L.
    void Configure(const cmd::Fields& c);
    // Whether the adapter supports the values of M or B (for B in its present mode).
    bool InRange(const cmd::Fields& c) const;
    // N, F, C and S.
    void Control(char letter, EmuMicros now);
    // T and I: echoed as transmitted records while on bus.
    void Transmit(const cmd::Fields& c, EmuMicros now);
    void Reply(std::uint8_t byte);
    void LeaveBus();
    void QueueRecord(AdapterRecord rec, EmuMicros at, bool stamped = false);
    bool Accepts(const AdapterRecord& rec) const;

    std::unique_ptr<TBusModel> model_;
    EmuMicros start_;
    Options opt_;

    // Parser: bytes from STX on, empty while hunting for STX.
    std::string frame_;
    bool inFrame_ = false;

    std::vector<std::uint8_t> out_;
    std::size_t outHead_ = 0;

    std::array<ReplyMode, 128> replyModes_{};
    std::vector<std::string> log_;
    std::string received_;

    BusMode mode_ = BusMode::Can;
    CanConfig can_;
    LinConfig lin_;
    bool onBus_ = false;
    bool disconnected_ = false;
    std::uint8_t statusCode_ = 0;
    EmuMicros nextStatus_ = kEmuNever;
    std::uint8_t check_ = 0;

    struct Periodic {
        bool active = false;
        AdapterRecord record;
        EmuMicros interval = 0;
        EmuMicros next = kEmuNever;
    } periodic_;

    std::uint64_t recordsQueued_ = 0;
    std::uint64_t droppedRecords_ = 0;
    std::uint64_t droppedReplies_ = 0;
    std::uint64_t malformed_ = 0;
};

}  // namespace tarvik
