#pragma once
// The scrolling monitor's memory: the last records in arrival order, in one block allocated
// once and used as a circular buffer. Filled by the log thread, read by the user-interface
// thread; one lock guards the records, Count is also readable without it.
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "monitorview/framematch.h"
#include "tusbdev/adapterprotocol.h"

namespace tarvik {

class TRecordHistory {
public:
    static constexpr std::int32_t kCapacity = 1'000'000;

    explicit TRecordHistory(std::int32_t capacity = kCapacity);
    TRecordHistory(const TRecordHistory&) = delete;
    TRecordHistory& operator=(const TRecordHistory&) = delete;

    // Stores one record; when full, the oldest one is overwritten (and counted).
    void Add(const AdapterRecord& record);
    // Empties the history and zero-fills it; the overwrite count starts again.
    void Clear();

    std::int32_t Count() const { return count_.load(std::memory_order_acquire); }
    std::int32_t Capacity() const { return capacity_; }
    std::int32_t Start() const;
    std::int32_t Next() const;
    // Records dropped to make room since the last Clear.
    std::uint64_t Overwritten() const { return overwritten_.load(std::memory_order_relaxed); }

    // The record at position index from the oldest (0); false when there is none.
    bool GetRecord(std::int32_t index, AdapterRecord& out) const;
    // Copies every record from the oldest into out under one lock hold (a save takes the
    // whole history at once); gives how many.
    std::int32_t CopyAll(std::vector<AdapterRecord>& out) const;
    // Its monitor line, or empty text.
    std::string GetLine(std::int32_t index) const;

    // Every record has a number that stays while older ones are overwritten: the records
    // stored before it since the last Clear. The oldest kept has number Overwritten().
    // Clears() tells numbers of before a Clear from those after it.
    std::uint64_t Clears() const { return clears_.load(std::memory_order_acquire); }
    bool GetRecordNumbered(std::uint64_t number, AdapterRecord& out) const;
    // The first record from number `from` on (forward) or the last up to it (backward) that
    // the match picks, as its number; -1 when none.
    std::int64_t Find(const TFrameMatch& match, std::int64_t from, bool forward) const;
    // Appends the numbers of the records from number `from` on that the match picks; gives
    // the number the next record will have.
    std::uint64_t Collect(const TFrameMatch& match, std::uint64_t from, std::vector<std::uint64_t>& out) const;
    // Every line from the oldest, each followed by CR LF; empty text when empty.
    std::string GetAllText() const;

private:
    const std::int32_t capacity_;
    std::unique_ptr<AdapterRecord[]> records_;
    mutable std::mutex lock_;
    std::atomic<std::int32_t> count_{0};
    std::int32_t start_ = 0;
    std::int32_t next_ = 0;
    std::atomic<std::uint64_t> overwritten_{0};
    std::atomic<std::uint64_t> clears_{0};
};

// The fill gauge's arithmetic: position within [Min, Max] as tenths of a percent.
class TGaugeValue {
public:
    void SetMax(std::int64_t max) { max_ = max; }
    std::int64_t Max() const { return max_; }
    std::int64_t Position() const { return position_; }
    int PerMille() const { return perMille_; }
    // Stores a new position; true when the shown value (PerMille) changed.
    bool SetPosition(std::int64_t position);
    // "12.3%".
    std::string Text() const;

private:
    std::int64_t min_ = 0, max_ = 100, position_ = 0;
    int perMille_ = 0;
};

}  // namespace tarvik
