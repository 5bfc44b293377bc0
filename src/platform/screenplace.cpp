#include "platform/screenplace.h"

#include <algorithm>
#include <cstdint>
#include <limits>

namespace tarvik {

namespace {

// 64-bit throughout: positions near the int limits must not overflow when a width is added.
struct Span {
    std::int64_t lo, hi;  // hi exclusive
};

std::int64_t Overlap(Span a, Span b) { return std::max<std::int64_t>(0, std::min(a.hi, b.hi) - std::max(a.lo, b.lo)); }

std::int64_t Distance(std::int64_t v, Span s)
{
    if (v < s.lo)
        return s.lo - v;
    if (v >= s.hi)
        return v - (s.hi - 1);
    return 0;
}

std::int64_t Place(std::int64_t wanted, std::int64_t size, Span area)
{
    // Fits: as close to the wanted place as the area allows; too big: flush with its start.
    const std::int64_t last = std::max(area.lo, area.hi - size);
    return std::clamp(wanted, area.lo, last);
}

}  // namespace

QPoint KeepTitleBarOnScreen(QPoint wanted, QSize frameSize, const QList<QRect>& available)
{
    if (available.isEmpty())
        return wanted;
    const std::int64_t x = wanted.x(), y = wanted.y();
    const std::int64_t w = std::max(1, frameSize.width());
    const std::int64_t title = std::min<std::int64_t>(kTitleBarHeight, std::max(1, frameSize.height()));
    const Span barX{x, x + w}, barY{y, y + title};
    const std::int64_t need = std::min<std::int64_t>(kTitleBarHeight, w);

    const QRect* nearest = nullptr;
    double best = std::numeric_limits<double>::infinity();
    for (const QRect& r : available) {
        if (r.isEmpty())
            continue;
        const Span ax{r.left(), std::int64_t(r.left()) + r.width()};
        const Span ay{r.top(), std::int64_t(r.top()) + r.height()};
        if (Overlap(barX, ax) >= need && Overlap(barY, ay) >= title)
            return wanted;
        const double dx = double(Distance(x, ax)), dy = double(Distance(y, ay));
        const double d = dx * dx + dy * dy;  // squares of 2^32 do not fit 64-bit integers
        if (!nearest || d < best) {
            best = d;
            nearest = &r;
        }
    }
    if (!nearest)
        return wanted;
    const Span ax{nearest->left(), std::int64_t(nearest->left()) + nearest->width()};
    const Span ay{nearest->top(), std::int64_t(nearest->top()) + nearest->height()};
    return QPoint(int(Place(x, w, ax)), int(Place(y, std::max<std::int64_t>(1, frameSize.height()), ay)));
}

}  // namespace tarvik
