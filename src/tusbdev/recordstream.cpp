#include "tusbdev/recordstream.h"

#include <algorithm>
#include <cstring>

namespace tarvik {

TRecordStream::TRecordStream(std::size_t readSize)
    : readSize_(std::max(readSize, 2 * kRecordSize)),
      capacity_(std::max(readSize, 2 * kRecordSize) + (1 + kConfirm) * kRecordSize),
      buffer_(std::make_unique<std::uint8_t[]>(capacity_))
{
}

std::size_t TRecordStream::ReadSizeFor(std::size_t waiting) const
{
    const std::size_t total = (held_ + waiting + kRecordSize - 1) / kRecordSize * kRecordSize;
    const std::size_t most = (held_ + readSize_) / kRecordSize * kRecordSize;
    return std::min(total, most) - held_;
}

void TRecordStream::Commit(std::size_t n, Sink& sink)
{
    held_ += std::min(n, Room());
    Process(sink, false);
}

void TRecordStream::Feed(const void* data, std::size_t n, Sink& sink)
{
    const auto* in = static_cast<const std::uint8_t*>(data);
    while (n > 0) {
        const std::size_t chunk = std::min(n, Room());
        std::memcpy(WriteSpace(), in, chunk);
        Commit(chunk, sink);
        in += chunk;
        n -= chunk;
    }
}

std::size_t TRecordStream::DropHeld()
{
    const std::size_t n = held_;
    held_ = 0;
    state_ = State::InStep;
    return n;
}

void TRecordStream::Reset() { DropHeld(); }

int TRecordStream::Chain(const std::uint8_t* at, std::size_t available)
{
    int n = 0;
    while (n < kConfirm && available >= kRecordSize && Good(at)) {
        ++n;
        at += kRecordSize;
        available -= kRecordSize;
    }
    return n;
}

void TRecordStream::Settle(Sink& sink) { Process(sink, true); }

void TRecordStream::Process(Sink& sink, bool settle)
{
    const std::uint8_t* buf = buffer_.get();
    std::size_t p = 0;
    for (;;) {
        const std::size_t left = held_ - p;
        if (state_ == State::InStep) {
            if (left < kRecordSize)
                break;
            if (buf[p] == buf[p + kRecordSize - 1]) {
                sink.Record(buf + p);
                p += kRecordSize;
            } else {
                sink.BadRecord();
                state_ = State::Sliding;
                slid_ = 0;
            }
            continue;
        }
        // Out of step at p: the starts p+1 .. p+20 are judged once each has its chain of
        // records at hand, or, when told no more bytes are coming now, one record each.
        if (left < (settle ? 2 : 1 + kConfirm) * kRecordSize)
            break;
        // The start right after a damaged record is tried first and wins ties: a stream
        // still in step keeps its step.
        std::size_t best = p + kRecordSize;
        int bestChain = Chain(buf + best, held_ - best);
        for (std::size_t q = p + 1; q < p + kRecordSize && bestChain < kConfirm; ++q) {
            const int c = Chain(buf + q, held_ - q);
            if (c > bestChain) {
                best = q;
                bestChain = c;
            }
        }
        if (bestChain == 0) {
            p += kRecordSize;
            slid_ += kRecordSize;
            continue;
        }
        slid_ += best - p;
        if (slid_ != kRecordSize) {
            skipped_ += slid_;
            ++resyncs_;
        }
        p = best;
        state_ = State::InStep;
    }
    held_ -= p;
    if (held_ > 0 && p > 0)
        std::memmove(buffer_.get(), buf + p, held_);
}

}  // namespace tarvik
