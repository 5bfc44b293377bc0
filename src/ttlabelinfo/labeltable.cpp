#include "ttlabelinfo/labeltable.h"

#include "ttlabelinfo/labelline.h"

namespace tarvik {

void LabelTable::Clear()
{
    groups_.clear();
    labels_.clear();
    index_.clear();
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
    for (const std::string& line : lines) {
        if (IsIgnoredLabelLine(line) || IsDaqOffLabelLine(line))
            continue;
        auto label = std::make_unique<TGraphInfo>();
        label->SetFromLine(line);
        label->SetPrevValue(0);
        if (!palette.empty())
            label->SetColor(palette[labels_.size() % palette.size()]);
        const std::uint32_t key = label->FrameKey();
        TPlotData* group = nullptr;
        for (auto& g : groups_) {
            if (g->Key == key) {
                group = g.get();
                break;
            }
        }
        if (!group) {
            groups_.push_back(std::make_unique<TPlotData>());
            group = groups_.back().get();
            group->Key = key;
        }
        group->Labels.push_back(label.get());
        labels_.push_back(std::move(label));
    }
    BuildIndex();
}

void LabelTable::BuildIndex()
{
    index_.clear();
    indexMask_ = 0;
    if (groups_.empty())
        return;
    std::size_t size = 8;
    while (size < groups_.size() * 2)
        size *= 2;
    index_.assign(size, Slot{0, 0, nullptr});
    indexMask_ = static_cast<std::uint32_t>(size - 1);
    for (const auto& g : groups_) {
        std::uint32_t h = (g->Key * 0x9E3779B1u) >> 8;
        while (index_[h & indexMask_].labels != nullptr)
            ++h;
        index_[h & indexMask_] = Slot{g->Key, static_cast<std::uint32_t>(g->Labels.size()), g->Labels.data()};
    }
}

const TPlotData* LabelTable::FindGroup(std::uint32_t key) const
{
    for (const auto& g : groups_)
        if (g->Key == key)
            return g.get();
    return nullptr;
}

void LabelTable::ClearValues()
{
    for (auto& l : labels_)
        l->ClearValue();
}

}  // namespace tarvik
