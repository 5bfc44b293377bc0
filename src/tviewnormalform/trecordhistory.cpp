#include "tviewnormalform/trecordhistory.h"

#include <algorithm>
#include <cstring>

#include "subfuncs/subfuncs.h"

namespace tarvik {

TRecordHistory::TRecordHistory(std::int32_t capacity)
    : capacity_(std::max<std::int32_t>(capacity, 1)), records_(new AdapterRecord[std::size_t(capacity_)]())
{
}

void TRecordHistory::Add(const AdapterRecord& record)
{
    std::lock_guard<std::mutex> guard(lock_);
    const std::int32_t count = count_.load(std::memory_order_relaxed);
    if (count < capacity_) {
        count_.store(count + 1, std::memory_order_release);
    } else {
        start_ = start_ + 1 == capacity_ ? 0 : start_ + 1;
        overwritten_.fetch_add(1, std::memory_order_relaxed);
    }
    records_[std::size_t(next_)] = record;
    next_ = next_ + 1 == capacity_ ? 0 : next_ + 1;
}

void TRecordHistory::Clear()
{
    std::lock_guard<std::mutex> guard(lock_);
    next_ = start_ = 0;
    count_.store(0, std::memory_order_release);
    std::memset(static_cast<void*>(records_.get()), 0, sizeof(AdapterRecord) * std::size_t(capacity_));
    overwritten_.store(0, std::memory_order_relaxed);
    clears_.fetch_add(1, std::memory_order_release);
}

bool TRecordHistory::GetRecordNumbered(std::uint64_t number, AdapterRecord& out) const
{
    std::lock_guard<std::mutex> guard(lock_);
    const std::uint64_t first = overwritten_.load(std::memory_order_relaxed);
    const auto count = std::uint64_t(count_.load(std::memory_order_relaxed));
    if (number < first || number >= first + count)
        return false;
    out = records_[std::size_t((std::uint64_t(start_) + (number - first)) % std::uint64_t(capacity_))];
    return true;
}

std::int64_t TRecordHistory::Find(const TFrameMatch& match, std::int64_t from, bool forward) const
{
    // One pass under the lock: the log thread waits for it (its ring holds what arrives),
    // and no record moves under the search.
    std::lock_guard<std::mutex> guard(lock_);
    const auto first = std::int64_t(overwritten_.load(std::memory_order_relaxed));
    const std::int64_t count = count_.load(std::memory_order_relaxed);
    const auto at = [&](std::int64_t i) -> const AdapterRecord& {
        const std::int64_t slot = start_ + i;
        return records_[std::size_t(slot >= capacity_ ? slot - capacity_ : slot)];
    };
    if (forward) {
        for (std::int64_t i = std::max<std::int64_t>(from - first, 0); i < count; ++i)
            if (match.Matches(at(i)))
                return first + i;
    } else {
        for (std::int64_t i = std::min(from - first, count - 1); i >= 0; --i)
            if (match.Matches(at(i)))
                return first + i;
    }
    return -1;
}

std::uint64_t TRecordHistory::Collect(const TFrameMatch& match, std::uint64_t from,
                                      std::vector<std::uint64_t>& out) const
{
    std::lock_guard<std::mutex> guard(lock_);
    const std::uint64_t first = overwritten_.load(std::memory_order_relaxed);
    const auto count = std::uint64_t(count_.load(std::memory_order_relaxed));
    std::uint64_t i = from > first ? from - first : 0;
    std::uint64_t slot = (std::uint64_t(start_) + i) % std::uint64_t(capacity_);
    for (; i < count; ++i) {
        if (match.Matches(records_[std::size_t(slot)]))
            out.push_back(first + i);
        slot = slot + 1 == std::uint64_t(capacity_) ? 0 : slot + 1;
    }
    return first + count;
}

std::int32_t TRecordHistory::Start() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return start_;
}

std::int32_t TRecordHistory::Next() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return next_;
}

bool TRecordHistory::GetRecord(std::int32_t index, AdapterRecord& out) const
{
    std::lock_guard<std::mutex> guard(lock_);
    const std::int32_t count = count_.load(std::memory_order_relaxed);
    if (index < 0 || index >= count)
        return false;
    const std::int64_t slot = (std::int64_t(start_) + index) % capacity_;
    out = records_[std::size_t(slot)];
    return true;
}

std::int32_t TRecordHistory::CopyAll(std::vector<AdapterRecord>& out) const
{
    std::lock_guard<std::mutex> guard(lock_);
    const std::int32_t count = count_.load(std::memory_order_relaxed);
    out.resize(std::size_t(count));
    const std::int32_t first = std::min(count, capacity_ - start_);
    std::copy(records_.get() + start_, records_.get() + start_ + first, out.begin());
    std::copy(records_.get(), records_.get() + (count - first), out.begin() + first);
    return count;
}

std::string TRecordHistory::GetLine(std::int32_t index) const
{
    AdapterRecord copy;
    // Formatting happens outside the lock so the log thread is held up for one copy only.
    if (!GetRecord(index, copy))
        return {};
    return FrameToText(copy);
}

std::string TRecordHistory::GetAllText() const
{
    // A snapshot: the log thread waits for the copy only, not for the formatting, so a copy
    // or save on bus holds up reception for a few milliseconds at most.
    std::vector<AdapterRecord> records;
    CopyAll(records);
    std::string text;
    if (records.empty())
        return text;
    // One allocation for the whole text, reserved for the usual line length; each line is
    // formatted on the stack and appended, so the block is written once, never zero-filled.
    text.reserve(records.size() * 64);
    char line[kMaxFrameTextLength + 2];
    for (const AdapterRecord& r : records) {
        std::size_t n = FormatFrame(r, line);
        line[n++] = '\r';
        line[n++] = '\n';
        text.append(line, n);
    }
    return text;
}

bool TGaugeValue::SetPosition(std::int64_t position)
{
    if (position == position_)
        return false;
    position_ = std::clamp(position, min_, std::max(min_, max_));
    // Rounded to the nearest tenth of a percent: 500 of 1,000,000 already shows 0.1%.
    const int perMille = max_ > 0 ? int(double(position_) * 1000.0 / double(max_) + 0.5) : 0;
    if (perMille == perMille_)
        return false;
    perMille_ = perMille;
    return true;
}

std::string TGaugeValue::Text() const
{
    return std::to_string(perMille_ / 10) + "." + std::to_string(perMille_ % 10) + "%";
}

}  // namespace tarvik
