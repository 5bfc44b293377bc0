#include "tviewfixedform/tslotstats.h"

#include <algorithm>
#include <cstdio>

namespace tarvik {

void TSlotStats::Update(const AdapterRecord& record, std::uint32_t nowMs)
{
    head_ = (head_ + 1) % kWindow;
    stamps_[std::size_t(head_)] = record.TimeStamp();
    // A remote request carries no data: its bytes neither change nor count as changed.
    const int length = record.Remote() ? 0 : std::min<int>(record.Length(), 8);
    if (count_ != 0) {
        for (int i = 0; i < length; ++i) {
            // A byte the previous frame did not have counts as changed.
            if (i >= length_ || record.Data(i) != data_[std::size_t(i)]) {
                changedAt_[std::size_t(i)] = nowMs;
                everChanged_ = std::uint8_t(everChanged_ | 1u << i);
            }
        }
    }
    for (int i = 0; i < length; ++i)
        data_[std::size_t(i)] = record.Data(i);
    length_ = length;
    ++count_;
}

std::optional<double> TSlotStats::CycleMs() const
{
    if (count_ < 2)
        return std::nullopt;
    const int frames = count_ < std::uint64_t(kWindow) ? int(count_) : kWindow;
    const int oldest = (head_ - (frames - 1) + kWindow) % kWindow;
    // Unsigned difference: right across one wrap of the stamp, as long as the 16 frames span
    // less than 2^32 units (about five days).
    const std::uint32_t span = stamps_[std::size_t(head_)] - stamps_[std::size_t(oldest)];
    return double(span) / double(frames - 1) / 10.0;  // stamps count 100 us
}

std::uint8_t TSlotStats::ChangedBytes(std::uint32_t nowMs) const
{
    std::uint8_t mask = 0;
    for (int i = 0; i < 8; ++i)
        if ((everChanged_ >> i & 1) && nowMs - changedAt_[std::size_t(i)] < kChangedMs)
            mask = std::uint8_t(mask | 1u << i);
    return mask;
}

std::string SlotStatsColumns(const TSlotStats& stats)
{
    char buf[48];
    const auto cycle = stats.CycleMs();
    int n = std::snprintf(buf, sizeof buf, " %10llu", static_cast<unsigned long long>(stats.Count()));
    if (cycle)
        n += std::snprintf(buf + n, sizeof buf - std::size_t(n), " %8.1f", *cycle);
    else
        n += std::snprintf(buf + n, sizeof buf - std::size_t(n), " %8s", "");
    return std::string(buf, std::size_t(n));
}

}  // namespace tarvik
