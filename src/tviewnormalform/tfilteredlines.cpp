#include "tviewnormalform/tfilteredlines.h"

#include <algorithm>

namespace tarvik {

void TFilteredLines::SetMatch(const TFrameMatch& match)
{
    match_ = match;
    clears_ = ~std::uint64_t(0);
}

void TFilteredLines::Update(const TRecordHistory& history)
{
    if (history.Clears() != clears_) {
        clears_ = history.Clears();
        numbers_.clear();
        first_ = 0;
        next_ = 0;
    }
    next_ = history.Collect(match_, next_, numbers_);
    // Overwritten() is read after Collect: a record overwritten meanwhile is dropped now or
    // at the next update, and until then reads as an empty line.
    const std::uint64_t oldest = history.Overwritten();
    first_ = std::size_t(std::lower_bound(numbers_.begin() + std::ptrdiff_t(first_), numbers_.end(), oldest) -
                         numbers_.begin());
    // The dropped front is given back once it is the larger part.
    if (first_ > numbers_.size() / 2 && first_ > 4096) {
        numbers_.erase(numbers_.begin(), numbers_.begin() + std::ptrdiff_t(first_));
        first_ = 0;
    }
}

std::int32_t TFilteredLines::LineOf(std::uint64_t number) const
{
    const auto begin = numbers_.begin() + std::ptrdiff_t(first_);
    const auto it = std::lower_bound(begin, numbers_.end(), number);
    return it != numbers_.end() && *it == number ? std::int32_t(it - begin) : -1;
}

}  // namespace tarvik
