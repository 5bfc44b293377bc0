#pragma once
// The graph's label set: the acquired labels of a label file in file order, grouped by
// frame key so that one lookup per frame serves all labels of that frame.
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "ttlabelinfo/tlabelinfo.h"

namespace tarvik {

// The labels of one frame key, in file order. The labels belong to the LabelTable.
struct TPlotData {
    std::uint32_t Key = 0;
    std::vector<TGraphInfo*> Labels;
};

// Whether a load keeps the labels of "// " lines: the graph acquires none of them, a view
// that lists every label of a frame needs them all.
enum class TDaqOffLabels { Skip, Keep };

// The data bytes the labels of a group reach into: up to the last byte any of them covers.
int GroupLength(const TPlotData& group);

class LabelTable {
public:
    LabelTable() { Clear(); }
    LabelTable(const LabelTable&) = delete;
    LabelTable& operator=(const LabelTable&) = delete;

    void Clear();

    // Clears the table, then reads the label file: every line that is neither blank nor
    // marked "// " becomes a label, coloured palette[n mod palette size] (n = label lines
    // before it, "// " ones included, so switching a label off keeps the others' colours). A missing or unreadable file, or one that is no label file (CheckLabelFileLines),
    // leaves the table empty and returns false.
    bool LoadFromFile(const std::string& path, std::span<const std::uint32_t> palette,
                      std::string* error = nullptr, TDaqOffLabels daqOff = TDaqOffLabels::Skip);
    // The same from lines already in memory.
    void LoadFromLines(const std::vector<std::string>& lines, std::span<const std::uint32_t> palette,
                       TDaqOffLabels daqOff = TDaqOffLabels::Skip);
    // Clears the table and takes labels already read, in file order, grouping them by key.
    void LoadFromLabels(std::vector<TGraphInfo> labels);

    // The group of key, or nullptr.
    const TPlotData* FindGroup(std::uint32_t key) const;
    int GroupCount() const { return static_cast<int>(groups_.size()); }
    const TPlotData& Group(int index) const { return groups_[static_cast<std::size_t>(index)]; }

    // Decodes data into every label of the key's group, in file order; a key without a
    // group does nothing. Returns the number of labels decoded.
    inline int DecodeFrame(std::uint32_t key, std::uint64_t data);
    // DecodeFrame backwards: puts values[i] into data by label i of the key's group (in file
    // order; a later label wins where two overlap, NoValue() leaves a label's bits alone),
    // and what each label now holds into results[i] when there is room. Bits that no label
    // covers keep their value; the labels' Value is not touched. Returns the labels encoded.
    int EncodeFrame(std::uint32_t key, std::span<const double> values, std::uint64_t& data,
                    std::span<TEncodeResult> results = {}) const;

    void ClearValues();
    int Count() const { return static_cast<int>(labels_.size()); }
    TGraphInfo& Label(int index) { return *labels_[static_cast<std::size_t>(index)]; }
    const TGraphInfo& Label(int index) const { return *labels_[static_cast<std::size_t>(index)]; }

private:
    static std::uint32_t Hash(std::uint32_t key) { return (key * 0x9E3779B1u) >> 8; }

    std::vector<TGraphInfo> storage_;  // grouped by key, file order inside a group
    std::vector<TGraphInfo*> labels_;  // file order
    std::vector<TPlotData> groups_;
    // Open-addressing index from key to the group's labels, rebuilt on load; sized to a
    // power of two above twice the label count (always at least one empty slot), so a
    // lookup ends at the first empty slot. A slot points straight at the group's first label.
    struct Slot {
        std::uint32_t key;
        std::uint32_t count;
        TGraphInfo* labels;  // nullptr marks an empty slot
    };
    std::vector<Slot> index_;
    std::vector<std::uint32_t> indexGroup_;  // per slot: the group's index in groups_
    std::uint32_t indexMask_ = 0;
};

inline int LabelTable::DecodeFrame(std::uint32_t key, std::uint64_t data)
{
    for (std::uint32_t h = Hash(key);; ++h) {
        const Slot& s = index_[h & indexMask_];
        if (s.labels == nullptr)
            return 0;
        if (s.key == key) {
            // Locals: the value stores must not make the compiler reload the slot.
            TGraphInfo* const labels = s.labels;
            const std::uint32_t count = s.count;
            for (std::uint32_t i = 0; i < count; ++i)
                labels[i].Decode(data);
            return static_cast<int>(count);
        }
    }
}

}  // namespace tarvik
