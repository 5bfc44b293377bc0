#include "ttlabelinfo/labeltable.h"

#include "ttlabelinfo/labelline.h"

#include <algorithm>
#include <utility>

namespace tarvik {

void LabelTable::Clear()
{
    groups_.clear();
    labels_.clear();
    storage_.clear();
    index_.assign(1, Slot{0, 0, nullptr});
    indexGroup_.assign(1, 0);
    indexMask_ = 0;
}

bool LabelTable::LoadFromFile(const std::string& path, std::span<const std::uint32_t> palette,
                              std::string* error, TDaqOffLabels daqOff)
{
    Clear();
    std::vector<std::string> lines;
    if (!ReadLabelLines(path, lines, error) || !CheckLabelFileLines(lines, path, error))
        return false;
    LoadFromLines(lines, palette, daqOff);
    return true;
}

void LabelTable::LoadFromLines(const std::vector<std::string>& lines,
                               std::span<const std::uint32_t> palette, TDaqOffLabels daqOff)
{
    std::vector<TGraphInfo> parsed;
    std::uint32_t slot = 0;
    for (const std::string& line : lines) {
        const bool off = IsDaqOffLabelLine(line);
        if (IsIgnoredLabelLine(line))
            continue;
        const std::uint32_t at = slot++;
        if (off && daqOff == TDaqOffLabels::Skip)
            continue;
        TGraphInfo& label = parsed.emplace_back();
        label.SetFromLine(off ? std::string_view(line).substr(3) : std::string_view(line));
        label.SetAcquired(!off);
        label.SetPrevValue(NoValue());
        label.SetSlot(at);
        if (!palette.empty())
            label.SetColor(palette[at % palette.size()]);
    }
    LoadFromLabels(std::move(parsed));
}

void LabelTable::LoadFromLabels(std::vector<TGraphInfo> parsed)
{
    Clear();
    const std::size_t n = parsed.size();
    // The key index doubles as the map from key to group while the groups form: sized for
    // every label on a key of its own, it never grows, and a large DBC import (100,000s of
    // keys) costs no allocation per key. A slot counts its labels; 0 marks it empty here.
    std::size_t size = 1;
    while (size < n * 2)
        size *= 2;
    index_.assign(size, Slot{0, 0, nullptr});
    indexGroup_.assign(size, 0);
    indexMask_ = static_cast<std::uint32_t>(size - 1);
    std::vector<std::uint32_t> groupOfLabel(n);
    std::vector<std::uint32_t> groupSlot;
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint32_t key = parsed[i].FrameKey();
        std::uint32_t h = Hash(key);
        while (index_[h & indexMask_].count != 0 && index_[h & indexMask_].key != key)
            ++h;
        const std::uint32_t slot = h & indexMask_;
        if (index_[slot].count++ == 0) {
            index_[slot].key = key;
            indexGroup_[slot] = static_cast<std::uint32_t>(groupSlot.size());
            groupSlot.push_back(slot);
        }
        groupOfLabel[i] = indexGroup_[slot];
    }

    // The labels of one group sit next to each other, so decoding a frame walks memory
    // in order; the file order lives in labels_. Counting sort by group keeps file order
    // inside each group.
    const std::size_t groupCount = groupSlot.size();
    std::vector<std::uint32_t> next(groupCount);
    for (std::size_t g = 0, pos = 0; g < groupCount; ++g) {
        next[g] = static_cast<std::uint32_t>(pos);
        pos += index_[groupSlot[g]].count;
    }
    std::vector<std::uint32_t> order(n);
    for (std::size_t i = 0; i < n; ++i)
        order[next[groupOfLabel[i]]++] = static_cast<std::uint32_t>(i);
    storage_.reserve(n);  // never reallocates below: the pointers to it stay valid
    labels_.assign(n, nullptr);
    for (const std::uint32_t fileIndex : order) {
        storage_.push_back(std::move(parsed[fileIndex]));
        labels_[fileIndex] = &storage_.back();
    }

    groups_.resize(groupCount);
    for (std::size_t g = 0, pos = 0; g < groupCount; ++g) {
        Slot& s = index_[groupSlot[g]];
        TPlotData& group = groups_[g];
        group.Key = s.key;
        s.labels = &storage_[pos];
        group.Labels.reserve(s.count);
        for (std::uint32_t k = 0; k < s.count; ++k)
            group.Labels.push_back(&storage_[pos + k]);
        pos += s.count;
    }
}

const TPlotData* LabelTable::FindGroup(std::uint32_t key) const
{
    for (std::uint32_t h = Hash(key);; ++h) {
        const Slot& s = index_[h & indexMask_];
        if (s.labels == nullptr)
            return nullptr;
        if (s.key == key)
            return &groups_[indexGroup_[h & indexMask_]];
    }
}

int GroupLength(const TPlotData& group)
{
    int length = 0;
    for (const TGraphInfo* l : group.Labels)
        for (int i = 7; i >= length; --i)
            if ((l->Mask() >> (56 - 8 * i)) & 0xFFu) {
                length = i + 1;
                break;
            }
    return length;
}

int LabelTable::EncodeFrame(std::uint32_t key, std::span<const double> values, std::uint64_t& data,
                            std::span<TEncodeResult> results) const
{
    const TPlotData* group = FindGroup(key);
    if (!group)
        return 0;
    const std::size_t n = std::min(group->Labels.size(), values.size());
    for (std::size_t i = 0; i < n; ++i) {
        const TEncodeResult r = group->Labels[i]->Encode(values[i], data);
        if (i < results.size())
            results[i] = r;
    }
    return static_cast<int>(n);
}

void LabelTable::ClearValues()
{
    for (TGraphInfo* l : labels_)
        l->ClearValue();
}

}  // namespace tarvik
