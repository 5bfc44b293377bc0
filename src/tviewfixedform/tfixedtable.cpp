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

void TFixedTable::UpdateSlot(const AdapterRecord& record)
{
    const auto key = SlotKey(record);
    if (!key)
        return;
    std::lock_guard<std::mutex> guard(lock_);
    const auto it = std::lower_bound(keys_.begin(), keys_.end(), *key);
    const auto index = std::size_t(it - keys_.begin());
    if (it != keys_.end() && *it == *key) {
        records_[index] = record;
        return;
    }
    keys_.insert(it, *key);
    records_.insert(records_.begin() + std::ptrdiff_t(index), record);
    count_.store(std::int32_t(keys_.size()), std::memory_order_release);
}

void TFixedTable::Clear()
{
    std::lock_guard<std::mutex> guard(lock_);
    keys_.clear();
    records_.clear();
    count_.store(0, std::memory_order_release);
}

std::uint32_t TFixedTable::KeyAt(std::int32_t index) const
{
    std::lock_guard<std::mutex> guard(lock_);
    return index >= 0 && std::size_t(index) < keys_.size() ? keys_[std::size_t(index)] : 0;
}

std::string TFixedTable::GetLine(std::int32_t index) const
{
    AdapterRecord copy;
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (index < 0 || std::size_t(index) >= records_.size())
            return {};
        copy = records_[std::size_t(index)];
    }
    return FrameToText(copy);
}

std::string TFixedTable::GetAllText() const
{
    std::lock_guard<std::mutex> guard(lock_);
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

}  // namespace tarvik
