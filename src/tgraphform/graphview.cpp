#include "tgraphform/graphview.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace tarvik {

namespace {

double Step(const TLogSamples& s) { return s.sampleRate > 0 ? double(s.sampleRate) : 1.0; }

}  // namespace

double LogEnd(const TLogSamples& s) { return s.rows > 1 ? double(s.rows - 1) * Step(s) : 0.0; }

double MinSpan(const TLogSamples& s) { return 4 * Step(s); }

double MaxSpan(const TLogSamples& s, double sweepMs) { return std::max({LogEnd(s), sweepMs, MinSpan(s)}); }

TTimeView ClampView(TTimeView v, const TLogSamples& s, double sweepMs)
{
    double span = v.Span();
    if (!std::isfinite(span) || !std::isfinite(v.t0))
        return FitLog(s);
    span = std::clamp(span, MinSpan(s), MaxSpan(s, sweepMs));
    const double end = LogEnd(s);
    const double t0 = span >= end ? 0.0 : std::clamp(v.t0, 0.0, end - span);
    return {t0, t0 + span};
}

TTimeView FitLog(const TLogSamples& s) { return {0, std::max(LogEnd(s), MinSpan(s))}; }

TTimeView LatestView(const TLogSamples& s, double sweepMs)
{
    const double t0 = std::max(0.0, LogEnd(s) - sweepMs);
    return ClampView({t0, t0 + sweepMs}, s, sweepMs);
}

TTimeView ZoomAround(const TTimeView& v, double at, double factor, const TLogSamples& s, double sweepMs)
{
    const double span = v.Span();
    if (!(span > 0) || !(factor > 0))
        return ClampView(v, s, sweepMs);
    // The span is limited first and the anchor's share of it kept, so a zoom stopped by a
    // limit still leaves the point under the mouse where it was.
    const double next = std::clamp(span * factor, MinSpan(s), MaxSpan(s, sweepMs));
    const double t0 = at - (at - v.t0) * (next / span);
    return ClampView({t0, t0 + next}, s, sweepMs);
}

TTimeView PanBy(const TTimeView& v, double dt, const TLogSamples& s, double sweepMs)
{
    return ClampView({v.t0 + dt, v.t1 + dt}, s, sweepMs);
}

double TimeAtColumn(const TTimeView& v, int x, int width)
{
    return width > 0 ? v.t0 + (x + 0.5) * v.Span() / width : v.t0;
}

std::optional<std::uint32_t> RowAt(const TLogSamples& s, double t)
{
    if (s.rows == 0)
        return std::nullopt;
    const double k = std::round(t / Step(s));
    if (!(k > 0))
        return 0u;
    return k >= double(s.rows - 1) ? s.rows - 1 : std::uint32_t(k);
}

void ReduceColumns(const TLogSamples& s, const TTimeView& v, int width, std::vector<TReducedCurve>& out)
{
    const std::uint32_t labels = s.columns;
    out.resize(labels);
    for (TReducedCurve& curve : out) {
        curve.columns.assign(std::size_t(std::max(width, 0)), TColumnRange{});
        curve.before = curve.after = TEdgePoint{};
    }
    const double span = v.Span();
    if (s.rows == 0 || labels == 0 || width <= 0 || !(span > 0) || !std::isfinite(v.t0) || !std::isfinite(span))
        return;
    const double r = Step(s), scale = width / span;
    std::vector<char> prevFinite(labels, 0);
    std::vector<double> row(labels);
    // One row left of the view, then on until the first row right of it.
    const double firstIn = std::ceil(v.t0 / r);
    std::uint32_t k = std::uint32_t(std::clamp(firstIn - 1, 0.0, double(s.rows - 1)));
    for (; k < s.rows; ++k) {
        // The row in one piece unless it runs over the end of the ring.
        std::uint64_t at = s.first + std::uint64_t(k) * labels;
        if (at >= s.capacity)
            at -= s.capacity;
        const double* values = s.base + at;
        if (at + labels > s.capacity) {
            for (std::uint32_t j = 0; j < labels; ++j)
                row[j] = s.At(k, j);
            values = row.data();
        }
        const double u = (double(k) * r - v.t0) * scale;
        const double c = std::floor(u);
        if (c < 0) {
            for (std::uint32_t j = 0; j < labels; ++j) {
                const bool finite = std::isfinite(values[j]);
                out[j].before = {finite, u, values[j]};
                prevFinite[j] = finite;
            }
            continue;
        }
        if (c >= width) {
            for (std::uint32_t j = 0; j < labels; ++j)
                out[j].after = {std::isfinite(values[j]) && prevFinite[j], u, values[j]};
            break;
        }
        const std::size_t column = std::size_t(c);
        for (std::uint32_t j = 0; j < labels; ++j) {
            const double value = values[j];
            const bool finite = std::isfinite(value);
            if (finite) {
                TColumnRange& col = out[j].columns[column];
                if (col.count == 0) {
                    col.lo = col.hi = col.first = value;
                    col.joined = prevFinite[j] != 0;
                } else {
                    col.lo = std::min(col.lo, value);
                    col.hi = std::max(col.hi, value);
                }
                col.last = value;
                ++col.count;
            }
            prevFinite[j] = finite;
        }
    }
}

double TimeStep(double spanMs, int widthPx, int minPixels, double minStep)
{
    if (!(spanMs > 0) || widthPx <= 0)
        return std::max(minStep, 1.0);
    for (double decade = 1; decade < 1e15; decade *= 10)
        for (double m : {1.0, 2.0, 5.0}) {
            const double step = m * decade;
            if (step >= minStep && step * widthPx / spanMs >= minPixels)
                return step;
        }
    return spanMs;
}

std::vector<double> TimeTicks(const TTimeView& v, double step)
{
    std::vector<double> ticks;
    if (!(step > 0) || !(v.Span() >= 0))
        return ticks;
    const double first = std::ceil(v.t0 / step - 1e-9);
    for (double i = first; i * step <= v.t1 + step * 1e-9 && ticks.size() < 10000; ++i)
        ticks.push_back(i * step);
    return ticks;
}

std::string SecondsText(double ms, double stepMs)
{
    const int decimals = stepMs >= 1000 ? 0 : stepMs >= 100 ? 1 : stepMs >= 10 ? 2 : 3;
    double seconds = ms / 1000;
    if (seconds == 0)
        seconds = 0;  // no "-0"
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, seconds, std::chars_format::fixed, decimals);
    return std::string(buf, r.ptr);
}

}  // namespace tarvik
