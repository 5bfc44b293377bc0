#pragma once
// The scrolling view's display filter: the numbers of the history's records that a match
// picks, kept up to date as records arrive and old ones are overwritten. The history itself
// keeps every record; only what the view shows is narrowed. User-interface thread only.
#include <cstdint>
#include <vector>

#include "monitorview/framematch.h"
#include "tviewnormalform/trecordhistory.h"

namespace tarvik {

class TFilteredLines {
public:
    // Starts over with a new match; the next Update scans the whole history.
    void SetMatch(const TFrameMatch& match);
    // Drops the lines that were overwritten and adds the matches of records stored since
    // the last call (all of them after a Clear of the history).
    void Update(const TRecordHistory& history);

    std::int32_t Count() const { return std::int32_t(numbers_.size() - first_); }
    // The record number of shown line i (0 the oldest shown).
    std::uint64_t NumberAt(std::int32_t i) const { return numbers_[first_ + std::size_t(i)]; }
    // The shown line of a record number, or -1 when the filter hides it.
    std::int32_t LineOf(std::uint64_t number) const;
    // Records the history holds and the view does not show.
    std::int64_t Hidden(const TRecordHistory& history) const { return history.Count() - Count(); }

private:
    TFrameMatch match_;
    std::vector<std::uint64_t> numbers_;  // ascending; those before first_ are gone
    std::size_t first_ = 0;
    std::uint64_t next_ = 0;  // the first record number not yet scanned
    std::uint64_t clears_ = ~std::uint64_t(0);
};

}  // namespace tarvik
