#pragma once
// The emulated adapter speaking the serial-line CAN protocol instead of the native one:
// CR-ended ASCII commands answered by CR (ok) or BEL (error), frames as t/T lines. The bus
// models and their timing are the native emulator's; this front only changes the language.
//
//   S0-S8   bit rate, only while closed        O / L   open / listen only (S set or not)
//   C       close                              Z0/Z1   time stamps off/on, only while closed
//   t T r R send a frame (open, not listen-only), answered z / Z
//   F       status flags: 04 bus warning, 80 bus error     V / N   version / serial number
//   M m s   acceptance code, mask, timing registers: accepted and ignored
// Frames the host sends are not echoed back, as on the real adapters.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "emulator/adapteremulator.h"
#include "tusbdev/slcan/slcanreader.h"

namespace tarvik {

class TSlcanEmulator {
public:
    struct Sent {
        EmuMicros at;
        SlcanLine frame;
    };

    TSlcanEmulator(std::unique_ptr<TBusModel> model, EmuMicros start,
                   AdapterEmulator::Options options = AdapterEmulator::Options{});

    void Feed(const void* data, std::size_t size, EmuMicros now);
    void Advance(EmuMicros now);
    EmuMicros NextDue(EmuMicros now) const { return engine_.NextDue(now); }

    std::size_t OutputSize() const { return out_.size() - outHead_; }
    const std::uint8_t* OutputData() const { return reinterpret_cast<const std::uint8_t*>(out_.data()) + outHead_; }
    void ConsumeOutput(std::size_t n);
    std::string TakeAll();
    void ClearOutput();

    // Test switches: answer BEL to every command with this letter; set the F flags.
    void SetRefuse(char letter, bool refuse);
    void SetStatusFlags(std::uint8_t flags) { flags_ = flags; }

    bool IsOpen() const { return open_; }
    bool ListenOnly() const { return listenOnly_; }
    int Bitrate() const { return bitrate_; }  // -1 until S
    bool Stamps() const { return stamps_; }
    // Frames the host asked to send, with the time they arrived (when the log is kept).
    const std::vector<Sent>& SentFrames() const { return sent_; }
    const std::string& ReceivedBytes() const { return received_; }
    std::uint64_t SentCount() const { return sentCount_; }
    std::uint64_t LinesProduced() const { return linesProduced_; }
    std::uint64_t DroppedRecords() const { return engine_.DroppedRecords(); }
    // Replies and lines not queued because the host left the output full.
    std::uint64_t DroppedLines() const { return droppedLines_; }
    AdapterEmulator& Engine() { return engine_; }

private:
    void Dispatch(const std::string& line, EmuMicros now);
    void FeedEngine(const std::string& text, EmuMicros now);
    void Drain();

    AdapterEmulator engine_;
    bool keepLog_;
    std::string line_;
    bool overflow_ = false;
    // Queues bytes for the host, or drops them (counted) when the output holds its capacity.
    void Put(std::string_view bytes);

    std::string out_;
    std::size_t outHead_ = 0;
    std::size_t capacity_;
    std::uint64_t droppedLines_ = 0;
    std::vector<bool> refuse_ = std::vector<bool>(128, false);
    bool open_ = false;
    bool listenOnly_ = false;
    bool stamps_ = false;
    int bitrate_ = -1;
    std::uint8_t flags_ = 0;
    std::vector<Sent> sent_;
    std::string received_;
    std::uint64_t sentCount_ = 0;
    std::uint64_t linesProduced_ = 0;
};

}  // namespace tarvik
