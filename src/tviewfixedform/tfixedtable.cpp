#include "tviewfixedform/tfixedtable.h"

#include <algorithm>

#include "subfuncs/subfuncs.h"

namespace tarvik {

std::optional<std::uint32_t> SlotKey(const AdapterRecord& r)
{
    if (r.IsCan())
        return r.FrameKey();
    if (r.IsLin())
        return r.LinIdentifier();
    return std::nullopt;
}

namespace {

// A monitor line padded to its usual width, so that the columns after it line up.
void PadLine(std::string& line)
{
    if (line.size() < kFrameTextWidth)
        line.resize(kFrameTextWidth, ' ');
}

}  // namespace

void TFixedTable::UpdateSlot(const AdapterRecord& record, std::uint32_t nowMs)
{
    const auto key = SlotKey(record);
    if (!key)
        return;
    std::lock_guard<std::mutex> guard(lock_);
    const auto it = std::lower_bound(keys_.begin(), keys_.end(), *key);
    const auto index = std::size_t(it - keys_.begin());
    if (it != keys_.end() && *it == *key) {
        records_[index] = record;
        if (keepStats_)
            stats_[index].Update(record, nowMs);
        return;
    }
    keys_.insert(it, *key);
    records_.insert(records_.begin() + std::ptrdiff_t(index), record);
    const auto s = stats_.insert(stats_.begin() + std::ptrdiff_t(index), TSlotStats{});
    if (keepStats_)
        s->Update(record, nowMs);
    count_.store(std::int32_t(keys_.size()), std::memory_order_release);
}

void TFixedTable::Clear()
{
    std::lock_guard<std::mutex> guard(lock_);
    keys_.clear();
    records_.clear();
    stats_.clear();
    count_.store(0, std::memory_order_release);
}

std::uint32_t TFixedTable::KeyAt(std::int32_t index) const
{
    std::lock_guard<std::mutex> guard(lock_);
    return index >= 0 && std::size_t(index) < keys_.size() ? keys_[std::size_t(index)] : 0;
}

std::int32_t TFixedTable::IndexOf(std::uint32_t key, AdapterRecord* record) const
{
    std::lock_guard<std::mutex> guard(lock_);
    const auto it = std::lower_bound(keys_.begin(), keys_.end(), key);
    if (it == keys_.end() || *it != key)
        return -1;
    const auto index = std::size_t(it - keys_.begin());
    if (record)
        *record = records_[index];
    return std::int32_t(index);
}

std::string TFixedTable::GetLine(std::int32_t index, bool statsColumns) const
{
    AdapterRecord copy;
    TSlotStats stats;
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (index < 0 || std::size_t(index) >= records_.size())
            return {};
        copy = records_[std::size_t(index)];
        if (statsColumns)
            stats = stats_[std::size_t(index)];
    }
    std::string line = FrameToText(copy);
    if (statsColumns) {
        PadLine(line);
        line += SlotStatsColumns(stats);
    }
    return line;
}

std::string TFixedTable::GetAllText(bool statsColumns) const
{
    std::lock_guard<std::mutex> guard(lock_);
    if (statsColumns) {
        std::string text;
        for (std::size_t i = 0; i < records_.size(); ++i) {
            std::string line = FrameToText(records_[i]);
            PadLine(line);
            text += line;
            text += SlotStatsColumns(stats_[i]);
            text += "\r\n";
        }
        return text;
    }
    std::string text;
    text.resize(records_.size() * (kMaxFrameTextLength + 2));
    char* p = text.data();
    for (const auto& r : records_) {
        p += FormatFrame(r, p);
        *p++ = '\r';
        *p++ = '\n';
    }
    text.resize(std::size_t(p - text.data()));
    return text;
}

std::uint8_t TFixedTable::ChangedBytes(std::int32_t index, std::uint32_t nowMs) const
{
    std::lock_guard<std::mutex> guard(lock_);
    if (index < 0 || std::size_t(index) >= stats_.size())
        return 0;
    return stats_[std::size_t(index)].ChangedBytes(nowMs);
}

bool TFixedTable::GetStats(std::int32_t index, TSlotStats& out) const
{
    std::lock_guard<std::mutex> guard(lock_);
    if (index < 0 || std::size_t(index) >= stats_.size())
        return false;
    out = stats_[std::size_t(index)];
    return true;
}

}  // namespace tarvik
