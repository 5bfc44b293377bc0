#pragma once
// What the graph window draws, kept apart from the window so it runs and tests without one:
// the scale and rate values with what derives from them, the full redraw of the surface
// (scale numbers, grid, value panel, status line) and the one-slice step of a sample.
//
// The x axis is the sweep in milliseconds, 0 .. TimeWidth × 1000; each sample draws the
// slice t .. t + SampleRate and erases a band ahead of it, wrapping to the left edge.
// The y axis puts MaxYScale at the top edge and MinYScale at the bottom; with the minimum
// above the maximum the axis simply runs the other way.
#include <QImage>
#include <QString>
#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "tgraphctrl/tgraphctrl.h"
#include "tgraphform/graphview.h"

namespace tarvik {

class LabelTable;
class TDaqLogData;
struct TLogSamples;

inline constexpr std::array<TColor, 16> kGraphPalette = {
    0x0000FF, 0x00FF00, 0x00FFFF, 0xFF0000, 0xFF00FF, 0xFFFF00, 0xFFFFFF, 0x000080,
    0x008000, 0x008080, 0x800000, 0x800080, 0x808000, 0x808080, 0xC0C0C0, 0xC0DCC0,
};
// Beyond the palette the colours come round again with another line pattern (bit n set:
// pixel column n mod 16 drawn): solid, dashed, dotted, dash-dot. Both follow the label's
// slot in the label file, so hiding curves or switching labels off re-colours nothing.
inline constexpr std::array<std::uint16_t, 4> kLinePatterns = {0xFFFF, 0x0FFF, 0x3333, 0x33FF};
inline std::uint16_t LinePattern(std::size_t slot)
{
    return kLinePatterns[(slot / kGraphPalette.size()) % kLinePatterns.size()];
}
inline constexpr TColor kBackColor = 0x000000;
inline constexpr TColor kGridColor = 0x808080;
inline constexpr TColor kFrameColor = 0xFFFFFF;
inline constexpr TColor kTextColor = 0xFFFFFF;
inline constexpr TColor kStatusColor = 0x00FFFF;

struct TGraphScale {
    int MinYScale = -1000;
    int MaxYScale = 10000;
    int YPitch = 1000;
    int TimeWidth = 20;   // s
    int SampleRate = 50;  // ms
    int PlotRate = 100;   // ms
};

// Rates of zero or less cannot pace anything: raised to the smallest offered.
int SanitizeSampleRate(int ms);
int SanitizePlotRate(int ms);
// Zero or less becomes 5 s; at most a day, so the sweep in milliseconds fits an int.
int SanitizeTimeWidth(int s);

inline int SamplesPerRefresh(const TGraphScale& s) { return s.PlotRate / s.SampleRate; }
inline int EraseAhead(const TGraphScale& s) { return s.SampleRate > 200 ? s.SampleRate : 200; }
inline int SweepWidth(const TGraphScale& s) { return s.TimeWidth * 1000; }
// The value drawn at the top edge: MaxYScale, or one above the minimum when both are equal
// (an empty range has no scale).
inline double TopValue(const TGraphScale& s)
{
    return s.MaxYScale == s.MinYScale ? s.MinYScale + 1.0 : double(s.MaxYScale);
}
// Where the slice after the one at t starts.
inline int NextSweepTime(int t, int sampleRate, int sweepWidth)
{
    return t + sampleRate >= sweepWidth ? 0 : t + sampleRate;
}

// How one label's values reach the plot's world y. On the common scale a value is its own
// world y; on a label's own range Min..Max fills 0..kOwnRangeSpan (Min at the bottom, so an
// inverted range draws upside down, as the label file asks). Min == Max, or a limit that is
// not finite, has no height: the range becomes one unit around Min, or the label defaults.
inline constexpr int kOwnRangeSpan = 1000;
struct TYMap {
    double origin = 0;
    double factor = 1;
    double operator()(double v) const { return (v - origin) * factor; }
};
TYMap LabelYMap(double min, double max, bool ownRange);

// A value as the panel shows it, 12 characters wide: "%12.3f", or "%g" with as many
// digits as fit when that is wider; blanks before the label's first frame.
std::string PanelValueText(double v);

// A label's range as the legend shows it: "-40..125" (six significant digits, no locale).
QString RangeText(double min, double max);

// Grid levels from the top limit toward the bottom one, limits excluded. None when the
// pitch is zero or less, or when lines would lie closer than 2 pixels on a plot of
// plotHeight pixels.
std::vector<int> GridLevels(int minY, int maxY, int pitch, int plotHeight);

// Label names are bytes as the label file holds them: UTF-8, or the Windows code page.
QString LabelNameText(const std::string& name);

class TGraphPainter {
public:
    explicit TGraphPainter(TGraphCtrl& ctrl) : g_(ctrl) {}

    void SetScale(const TGraphScale& s) { scale_ = s; }
    const TGraphScale& Scale() const { return scale_; }
    // Each curve over the full height from its label's Min to Max; takes effect at Redraw.
    void SetOwnRanges(bool on) { ownRanges_ = on; }
    bool OwnRanges() const { return ownRanges_; }

    // The full redraw onto a surface of the given rectangle; leaves the viewport on the plot
    // area for the following samples and the sweep at 0.
    void Redraw(const TRect& surface, const LabelTable& labels);
    // One sample: erase ahead, grid slice, each label's curve segment, value and log entry,
    // the log gauge; then advance the sweep. log may be null (nothing recorded).
    void PlotSample(LabelTable& labels, TDaqLogData* log);

    // A stopped run: the plot redrawn from the log over the view (grid, curves at most one
    // run per pixel column, time labels), after a Redraw for the same labels.
    void DrawLog(const LabelTable& labels, const TLogSamples& log, const TTimeView& view);
    // A running sweep's plot drawn again from its log (after a curve was hidden or shown):
    // what the sweep shows, in the same places, with the sweep position kept.
    void RedrawSweep(const LabelTable& labels, const TLogSamples& log);
    // The value panel at one row of the log, and its time; none puts back the blanks.
    void ShowRow(const LabelTable& labels, const TLogSamples& log, std::optional<std::uint32_t> row);

    // Curves switched off by a click on their panel row; kept across redraws by slot.
    void SetHidden(std::size_t label, bool hidden);
    bool Hidden(std::size_t label) const { return label < hidden_.size() && hidden_[label]; }
    void ClearHidden() { hidden_.clear(); }
    // Redraws one legend row (after SetHidden).
    void DrawLegendRow(const LabelTable& labels, int label);
    // The label whose panel row holds surface pixel (x, y), or -1.
    int PanelRowAt(int x, int y, int labelCount) const;
    // The pixels curves are drawn on: the graph area less its frame, right and bottom
    // exclusive; pixel column c of a log view is PlotArea().left + c.
    TRect PlotArea() const { return {graph_.left + 1, graph_.top + 1, graph_.right - 1, graph_.bottom - 1}; }
    // The panel's value text of a label, or with label == count the gauge or cursor time.
    const std::string& PanelText(std::size_t label) const;

    int SweepTime() const { return sweepTime_; }
    // Value panel in text cells (left column, top row, right column, bottom row).
    const TRect& PanelCells() const { return panel_; }
    const TRect& AxisArea() const { return axis_; }
    const TRect& GraphArea() const { return graph_; }
    const std::vector<int>& Grid() const { return grid_; }

private:
    void PlotViewport();
    void AxisViewport();
    // Value texts are drawn from prerendered character cells (text shaping is most of a
    // sample's cost), and only when they change.
    void CaptureGlyphs();
    void PrintValue(int row, int col, double v, std::size_t index);
    void PrintStatus(int row, int col, const char* text);
    // Seconds under the plot: the sweep's whole seconds, or the view's ticks.
    void DrawTimeLabels(const std::vector<std::pair<int, QString>>& labels);
    void ClearTimeRow();
    // Only pixel columns from..to-1 of the plot are drawn on.
    void DrawCurve(const TReducedCurve& curve, const TYMap& m, TColor color, std::uint16_t pattern, int from, int to);
    void DrawCurves(const LabelTable& labels, const TLogSamples& log, const TTimeView& view, int from, int to);

    // World y of the plot's top and bottom edges.
    double PlotTop() const { return ownRanges_ ? kOwnRangeSpan : TopValue(scale_); }
    double PlotBottom() const { return ownRanges_ ? 0 : scale_.MinYScale; }

    TGraphCtrl& g_;
    TGraphScale scale_;
    bool ownRanges_ = false;
    std::vector<TYMap> ymap_;  // per label, made at Redraw
    TRect panel_, axis_, graph_;
    std::vector<int> grid_;
    std::vector<double> sample_;  // this sample's values, read together before any drawing
    int sweepTime_ = 0;
    QImage glyphs_;     // one cell per character of kValueChars, as Print draws them; null when unusable
    QImage valueCell_;  // one composed value
    std::vector<std::string> shown_;  // value text per panel row, then the log gauge
    std::size_t panelRows_ = 0;
    std::vector<bool> hidden_;
    std::vector<TReducedCurve> reduced_;  // reused by DrawLog
    std::vector<TColumnSpan> spans_;  // likewise
};

}  // namespace tarvik
