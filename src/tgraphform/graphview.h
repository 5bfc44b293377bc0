#pragma once
// Looking back over a stopped run: which part of the acquisition log the plot shows, what
// lies under the mouse, and the log reduced to what one pixel column can show.
//
// Times are milliseconds of the log: row k of TLogSamples was sampled at k × sampleRate.
// A view is the time at the plot's left edge and at its right edge; pixel column c covers
// [t0 + c × (t1 − t0) / width, t0 + (c + 1) × (t1 − t0) / width).
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tgraphform/tdaqlogdata.h"

namespace tarvik {

struct TTimeView {
    double t0 = 0, t1 = 1;
    double Span() const { return t1 - t0; }
    bool operator==(const TTimeView&) const = default;
};

// The time of the last row (0 for one row or none).
double LogEnd(const TLogSamples& s);
// The whole log; a log of one row or none gets one sample step.
TTimeView FitLog(const TLogSamples& s);
// Right after a stop: the last sweepMs of the log, or the first sweepMs when it is shorter,
// so the picture keeps the live scale.
TTimeView LatestView(const TLogSamples& s, double sweepMs);
// The view kept on the log: no earlier than 0, no later than its end; a view wider than
// the log starts at 0. The span is kept between minSpan and maxSpan.
TTimeView ClampView(TTimeView v, const TLogSamples& s, double sweepMs);
// Zoom by factor (below 1 zooms in) around time at, which stays where it was on screen
// unless a limit of ClampView moves the view.
TTimeView ZoomAround(const TTimeView& v, double at, double factor, const TLogSamples& s, double sweepMs);
TTimeView PanBy(const TTimeView& v, double dt, const TLogSamples& s, double sweepMs);
// Narrowest view: four sample steps; widest: the whole log or the sweep, which is wider.
double MinSpan(const TLogSamples& s);
double MaxSpan(const TLogSamples& s, double sweepMs);

// Time at the middle of pixel column x of a plot width pixels wide.
double TimeAtColumn(const TTimeView& v, int x, int width);
// The row nearest to time t, clamped to the log; none for a log without rows.
std::optional<std::uint32_t> RowAt(const TLogSamples& s, double t);

// What one label draws in one pixel column.
struct TColumnRange {
    int count = 0;       // finite samples in the column; the rest is meaningless when 0
    double lo = 0, hi = 0;
    double first = 0, last = 0;
    // The sample before `first` (maybe in an earlier column, maybe left of the plot) is
    // finite, so a line joins the two; false after a NaN or at the log's start.
    bool joined = false;
};
// A finite sample just outside the plot that a line leads to; none when there is none or
// a NaN lies between it and the plot.
struct TEdgePoint {
    bool valid = false;
    double column = 0;  // fractional pixel column, below 0 or at/after width
    double value = 0;
};
struct TReducedCurve {
    std::vector<TColumnRange> columns;
    TEdgePoint before, after;
};
// Every label (log column) over the view, one entry per pixel column each; out gets one
// curve per log column. One pass over the rows that fall in the view and one either side,
// so the cost follows what is on screen and each row is read once for all labels.
// Non-finite values (NaN, no value yet) draw nothing and break the line.
void ReduceColumns(const TLogSamples& s, const TTimeView& v, int width, std::vector<TReducedCurve>& out);

// Steps for time labels and grid lines: the smallest of 1, 2, 5 × 10^k ms (k ≥ 0, and at
// least minStep) that puts minPixels or more between two lines.
double TimeStep(double spanMs, int widthPx, int minPixels, double minStep = 1);
// The multiples of step within [t0, t1].
std::vector<double> TimeTicks(const TTimeView& v, double step);
// Seconds as a time label shows them: as many decimals as the step needs, no locale.
std::string SecondsText(double ms, double stepMs);

}  // namespace tarvik
