#pragma once
// Scrolling arithmetic shared by both monitor windows. A scroll position P shows the page
// of L lines that ends just before line P, so any position up to L shows the first page.
#include <algorithm>

namespace tarvik {

inline int FirstVisibleLine(int position, int lines)
{
    return std::max(position - lines, 0);
}

// New scroll position after one wheel notch; delta > 0 is the wheel turned away from the
// user (towards older lines). Positions below L all show the first page, so the first step
// jumps across them instead of moving a line that would change nothing on screen.
inline int WheelStep(int position, int minimum, int maximum, int lines, int delta)
{
    if (delta <= 0) {
        if (position >= maximum)
            return position;
        return std::min(position < lines ? lines : position + 1, maximum);
    }
    if (position <= minimum)
        return position;
    return position <= lines ? minimum : position - 1;
}

}  // namespace tarvik
