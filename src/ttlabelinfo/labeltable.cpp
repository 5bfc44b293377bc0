#include "ttlabelinfo/labeltable.h"

#include "ttlabelinfo/labelline.h"

namespace tarvik {

void LabelTable::Clear()
{
    groups_.clear();
    groupOf_.clear();
    labels_.clear();
    storage_.reset();
    index_.assign(1, Slot{0, 0, nullptr});
    indexMask_ = 0;
}

bool LabelTable::LoadFromFile(const std::string& path, std::span<const std::uint32_t> palette,
                              std::string* error)
{
    Clear();
    std::vector<std::string> lines;
    if (!ReadLabelLines(path, lines, error))
        return false;
    LoadFromLines(lines, palette);
    return true;
}

void LabelTable::LoadFromLines(const std::vector<std::string>& lines,
                               std::span<const std::uint32_t> palette)
{
    Clear();
    std::vector<TGraphInfo> parsed;
    std::vector<std::vector<std::size_t>> members;  // file indexes per group
    groupOf_.clear();
    for (const std::string& line : lines) {
        if (IsIgnoredLabelLine(line) || IsDaqOffLabelLine(line))
            continue;
        TGraphInfo& label = parsed.emplace_back();
        label.SetFromLine(line);
        label.SetPrevValue(0);
        if (!palette.empty())
            label.SetColor(palette[(parsed.size() - 1) % palette.size()]);
        const std::uint32_t key = label.FrameKey();
        // A hash map, not a scan of the groups: a DBC import easily gives 100,000 keys.
        const auto [it, fresh] = groupOf_.try_emplace(key, groups_.size());
        const std::size_t g = it->second;
        if (fresh) {
            groups_.push_back(std::make_unique<TPlotData>());
            groups_.back()->Key = key;
            members.emplace_back();
        }
        members[g].push_back(parsed.size() - 1);
    }

    // The labels of one group sit next to each other, so decoding a frame walks memory
    // in order; the file order lives in labels_.
    storage_ = std::make_unique<TGraphInfo[]>(parsed.size());
    labels_.assign(parsed.size(), nullptr);
    std::size_t pos = 0;
    for (std::size_t g = 0; g < groups_.size(); ++g) {
        for (std::size_t fileIndex : members[g]) {
            storage_[pos] = parsed[fileIndex];
            labels_[fileIndex] = &storage_[pos];
            groups_[g]->Labels.push_back(&storage_[pos]);
            ++pos;
        }
    }
    BuildIndex();
}

void LabelTable::BuildIndex()
{
    std::size_t size = 1;
    while (size < groups_.size() * 2)
        size *= 2;
    index_.assign(size, Slot{0, 0, nullptr});
    indexMask_ = static_cast<std::uint32_t>(size - 1);
    for (const auto& g : groups_) {
        std::uint32_t h = (g->Key * 0x9E3779B1u) >> 8;
        while (index_[h & indexMask_].labels != nullptr)
            ++h;
        index_[h & indexMask_] = Slot{g->Key, static_cast<std::uint32_t>(g->Labels.size()), g->Labels.front()};
    }
}

const TPlotData* LabelTable::FindGroup(std::uint32_t key) const
{
    const auto it = groupOf_.find(key);
    return it == groupOf_.end() ? nullptr : groups_[it->second].get();
}

void LabelTable::ClearValues()
{
    for (TGraphInfo* l : labels_)
        l->ClearValue();
}

}  // namespace tarvik
