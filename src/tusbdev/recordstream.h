#pragma once
// Cuts the adapter's byte stream into 20-byte records and keeps it in step.
//
// The stream has no framing besides the two check bytes, so a few stray bytes (a USB
// glitch, a half-read record at start) would misalign every later record. When a record
// fails its check it is reported as bad (the receive thread shows status 3 for it), and
// the reader slides forward byte by byte to the next position where a whole record checks
// and has a known type. Frame data full of zeros lets a misaligned position pass that test
// now and then, so each of the 20 next positions is judged by how many good records follow
// from it (up to eight; fewer when Settle says no more bytes are coming now). The position
// right after the bad record wins ties, so a record damaged in a stream still in step costs
// only that record; where zeros leave several positions equally good for that long, the
// step is kept.
// The bytes slid over are counted as skipped (none when the step was kept).
// Records never overlap, so n bytes never yield more than n / 20 records.
//
// Bytes are read straight into WriteSpace(); at most nine records' worth is carried from
// one Commit to the next while a decision waits for more bytes.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "tusbdev/adapterprotocol.h"

namespace tarvik {

class TRecordStream {
public:
    // What the stream hands out, in stream order.
    class Sink {
    public:
        virtual ~Sink() = default;
        // A well-formed record (any type; the caller ignores types it does not know).
        virtual void Record(const std::uint8_t* rec) = 0;
        // A record whose check bytes differ; it is not handed out.
        virtual void BadRecord() = 0;
    };

    // readSize: the most bytes one read may bring.
    explicit TRecordStream(std::size_t readSize);

    // Where the next read goes, and how much room there is (at least readSize).
    std::uint8_t* WriteSpace() { return buffer_.get() + held_; }
    std::size_t Room() const { return capacity_ - held_; }
    // Bytes carried over, waiting for the rest of a record or for a decision.
    std::size_t Held() const { return held_; }
    // How many bytes to read so that the held and the new bytes end on a record boundary
    // (the read then waits for the rest of a partial record), given the bytes waiting;
    // never more than readSize.
    std::size_t ReadSizeFor(std::size_t waiting) const;

    // Takes n bytes just written at WriteSpace().
    void Commit(std::size_t n, Sink& sink);
    // Copies and takes n bytes (tests, fuzzing).
    void Feed(const void* data, std::size_t n, Sink& sink);
    // No more bytes are coming for now: decide where the step is with the bytes at hand
    // instead of waiting for a longer run of records.
    void Settle(Sink& sink);
    // Out of step, with bytes held until the step is found.
    bool Sliding() const { return state_ == State::Sliding; }
    // Forgets the bytes held (a read ended at its time-out short of a record); returns
    // how many. Reading starts afresh in step.
    std::size_t DropHeld();
    // Starts afresh: nothing held, in step, counters kept.
    void Reset();

    // Bytes slid over to get back in step.
    std::uint64_t SkippedBytes() const { return skipped_; }
    // Times the stream was found out of step.
    std::uint64_t Resyncs() const { return resyncs_; }

    static bool Good(const std::uint8_t* rec)
    {
        return rec[0] == rec[kRecordSize - 1] && KnownRecordType(rec[1]);
    }

private:
    enum class State { InStep, Sliding };
    static constexpr int kConfirm = 8;  // good records in a row that settle a position
    static int Chain(const std::uint8_t* at, std::size_t available);
    void Process(Sink& sink, bool settle);

    std::size_t readSize_;
    std::size_t capacity_;
    std::unique_ptr<std::uint8_t[]> buffer_;
    std::size_t held_ = 0;
    State state_ = State::InStep;
    std::size_t slid_ = 0;  // since the bad record, while sliding
    std::uint64_t skipped_ = 0;
    std::uint64_t resyncs_ = 0;
};

}  // namespace tarvik
