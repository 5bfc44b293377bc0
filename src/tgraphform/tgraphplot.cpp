#include "tgraphform/tgraphplot.h"

#include "platform/novalue.h"
#include "platform/textdecode.h"

#include <QStringDecoder>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tgraphform/tdaqlogdata.h"
#include "ttlabelinfo/labeltable.h"

namespace tarvik {

int SanitizeSampleRate(int ms) { return ms > 0 ? ms : 5; }
int SanitizePlotRate(int ms) { return ms > 0 ? ms : 10; }
int SanitizeTimeWidth(int s) { return s <= 0 ? 5 : std::min(s, 86400); }

std::vector<int> GridLevels(int minY, int maxY, int pitch, int plotHeight)
{
    std::vector<int> levels;
    if (pitch <= 0 || minY == maxY)
        return levels;
    const long long span = std::llabs((long long)maxY - minY);
    if ((long long)pitch * std::max(plotHeight, 0) < 2 * span)
        return levels;
    // 64-bit steps: limits near the ends of the int range must not wrap around.
    if (maxY > minY) {
        for (long long y = (long long)maxY - pitch; y > minY; y -= pitch)
            levels.push_back(int(y));
    } else {
        for (long long y = (long long)maxY + pitch; y < minY; y += pitch)
            levels.push_back(int(y));
    }
    return levels;
}

TYMap LabelYMap(double min, double max, bool ownRange)
{
    if (!ownRange)
        return {};
    if (!std::isfinite(min) || !std::isfinite(max)) {
        min = 0;
        max = 100;
    }
    if (min == max)
        return {min - 0.5, double(kOwnRangeSpan)};
    return {min, kOwnRangeSpan / (max - min)};
}

std::string PanelValueText(double v)
{
    char text[64];
    if (IsNoValue(v))
        return std::string(12, ' ');
    if (std::snprintf(text, sizeof text, "%12.3f", v) <= 12)
        return text;
    for (int digits = 6; digits > 1; --digits)
        if (std::snprintf(text, sizeof text, "%12.*g", digits, v) <= 12)
            return text;
    std::snprintf(text, sizeof text, "%12.1g", v);
    return text;
}

QString RangeText(double min, double max)
{
    return QString::number(min, 'g', 6) + QStringLiteral("..") + QString::number(max, 'g', 6);
}

QString LabelNameText(const std::string& name)
{
    const QByteArray raw = QByteArray::fromRawData(name.data(), qsizetype(name.size()));
    return DecodeFileText(raw);
}

namespace {
constexpr char kValueChars[] = " -.0123456789e+nafi";
constexpr int kValueCharCount = sizeof kValueChars - 1;
}  // namespace

void TGraphPainter::CaptureGlyphs()
{
    // Printed once onto the fresh surface and copied back, so each cell is exactly what Print
    // draws; usable only when the characters sit on whole cells.
    const int W = g_.CellWidth(), H = g_.CellHeight();
    TCellExtent ext;
    g_.GetCellExtent(ext);
    glyphs_ = QImage();
    if (W <= 0 || H <= 0 || ext.width < W * kValueCharCount || ext.height < H)
        return;
    g_.SetTextColor(kTextColor, kBackColor);
    g_.Locate(1, 1);
    g_.Print(QString::fromLatin1(kValueChars));
    const QImage strip = g_.Canvas().copy(0, 0, W * kValueCharCount + W, H);
    g_.SetColor(kBackColor);
    g_.DrawBox(4, 0, 0, W * kValueCharCount + W, H);
    // The column after the last character must be untouched: otherwise glyphs overhang.
    for (int y = 0; y < H; ++y)
        for (int x = W * kValueCharCount; x < strip.width(); ++x)
            if ((strip.pixel(x, y) & 0xFFFFFF) != 0)
                return;
    glyphs_ = strip.copy(0, 0, W * kValueCharCount, H).convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

void TGraphPainter::PrintValue(int row, int col, double v, std::size_t index)
{
    const std::string value = PanelValueText(v);
    const char* text = value.c_str();
    const int len = int(value.size());
    if (index >= shown_.size())
        shown_.resize(index + 1);
    if (shown_[index] == text)
        return;
    shown_[index] = text;
    const int W = g_.CellWidth(), H = g_.CellHeight();
    int cells[32];
    bool fast = !glyphs_.isNull() && len <= 32;
    for (int i = 0; fast && i < len; ++i) {
        const char* at = std::strchr(kValueChars, text[i]);
        fast = at != nullptr && text[i] != '\0';
        cells[i] = fast ? int(at - kValueChars) : 0;
    }
    if (!fast) {
        g_.SetTextColor(kTextColor, kBackColor);
        g_.Locate(row, col);
        g_.Print(QString::fromLatin1(text, len));
        return;
    }
    if (valueCell_.width() != W * len || valueCell_.height() != H)
        valueCell_ = QImage(W * len, H, QImage::Format_ARGB32_Premultiplied);
    const std::size_t cellBytes = std::size_t(W) * 4;
    for (int y = 0; y < H; ++y) {
        std::uint8_t* out = valueCell_.scanLine(y);
        const std::uint8_t* in = glyphs_.constScanLine(y);
        for (int i = 0; i < len; ++i)
            std::memcpy(out + std::size_t(i) * cellBytes, in + std::size_t(cells[i]) * cellBytes, cellBytes);
    }
    g_.DrawImage(g_.ColToX(col), g_.RowToY(row), valueCell_);
}

void TGraphPainter::PrintStatus(int row, int col, const char* text)
{
    const std::size_t index = panelRows_;
    if (index >= shown_.size())
        shown_.resize(index + 1);
    if (shown_[index] == text)
        return;
    shown_[index] = text;
    g_.SetTextColor(kStatusColor, kBackColor);
    g_.Locate(row, col);
    g_.Print(QString::fromLatin1(text));
}

void TGraphPainter::PlotViewport()
{
    g_.SetViewport(graph_.left + 1, graph_.top + 1, graph_.right - 1, graph_.bottom - 1);
    g_.SetWindow(0, PlotTop(), SweepWidth(scale_), PlotBottom());
}

void TGraphPainter::AxisViewport()
{
    g_.SetViewport(axis_.left + 1, axis_.top + 1, axis_.right - 1, axis_.bottom - 1);
    g_.SetWindow(0, PlotTop(), 7, PlotBottom());
}

void TGraphPainter::Redraw(const TRect& surface, const LabelTable& labels)
{
    g_.SetColor(kBackColor);
    g_.SetSize(surface);
    CaptureGlyphs();
    shown_.clear();
    panelRows_ = std::size_t(labels.Count());
    TCellExtent ext;
    g_.GetCellExtent(ext);
    const int W = g_.CellWidth(), H = g_.CellHeight(), W2 = g_.ScaleCellWidth();
    // Units, and on own ranges each label's Min..Max, in columns right of the values; the
    // panel grows by what they need (nothing when no label has a unit).
    std::vector<QString> units, ranges;
    int unitCols = 0, rangeCols = 0;
    for (int i = 0; i < labels.Count(); ++i) {
        const TGraphInfo& label = labels.Label(i);
        units.push_back(LabelNameText(label.Unit()).left(8));
        unitCols = std::max(unitCols, int(units.back().size()));
        ranges.push_back(ownRanges_ ? RangeText(label.Min(), label.Max()).left(20) : QString());
        rangeCols = std::max(rangeCols, int(ranges.back().size()));
    }
    const int H2 = g_.ScaleCellHeight();
    const int unitLeft = 32, rangeLeft = unitLeft + (unitCols > 0 ? unitCols + 1 : 0);
    const int extra = (unitCols > 0 ? unitCols + 1 : 0) + (rangeCols > 0 ? rangeCols + 1 : 0);
    panel_ = {ext.cols - 31 - extra, 3, ext.cols, ext.rows};
    const int pl = panel_.left, pt = panel_.top;
    // The last line of the surface holds the time labels under the plot.
    const int plotBottom = ext.height - 3 - (H2 + 1);
    axis_ = {2, H * (pt - 2), 8 * W2 + 2, plotBottom};
    graph_ = {axis_.right + 1, H * (pt - 2), int(W * (pl - 1.0)), plotBottom};

    g_.SetTextColor(kTextColor, kBackColor);
    g_.Locate(pt - 1, pl + 2);
    g_.Print(QStringLiteral("Label Name"));
    g_.Locate(pt - 1, pl + 25);
    g_.Print(QStringLiteral("Value"));
    const int boxLeft = int(W * (pl - 0.5));
    g_.SetColor(kTextColor);
    g_.DrawBox(2, boxLeft, H * (pt - 2), W * panel_.right, H * (pt - 1) - 1);

    ymap_.clear();
    for (int i = 0; i < labels.Count(); ++i) {
        const TGraphInfo& label = labels.Label(i);
        ymap_.push_back(LabelYMap(label.Min(), label.Max(), ownRanges_));
        DrawLegendRow(labels, i);
        PrintValue(pt + i, pl + 19, label.Value(), std::size_t(i));
        g_.SetTextColor(kTextColor, kBackColor);
        if (!units[std::size_t(i)].isEmpty()) {
            g_.Locate(pt + i, pl + unitLeft);
            g_.Print(units[std::size_t(i)]);
        }
        if (!ranges[std::size_t(i)].isEmpty()) {
            g_.SetTextColor(kGridColor, kBackColor);
            g_.Locate(pt + i, pl + rangeLeft);
            g_.Print(ranges[std::size_t(i)]);
        }
    }

    const double top = PlotTop(), bottom = PlotBottom();
    const int sweep = SweepWidth(scale_);
    // On own ranges the grid shows tenths of the height, numbered in percent.
    grid_ = ownRanges_ ? GridLevels(0, kOwnRangeSpan, kOwnRangeSpan / 10, graph_.bottom - graph_.top - 2)
                       : GridLevels(scale_.MinYScale, scale_.MaxYScale, scale_.YPitch, graph_.bottom - graph_.top - 2);
    const auto levelText = [this](int y) {
        return ownRanges_ ? QString::number(y * 100 / kOwnRangeSpan) + QLatin1Char('%') : QString::number(y);
    };

    AxisViewport();
    g_.SetTextColor(kTextColor, kBackColor);
    g_.SetTextAlign(kAlignRight, kAlignTop);
    g_.TextOutW(levelText(int(top)), 7, top);
    for (int y : grid_) {
        PlotViewport();
        g_.SetColor(kGridColor);
        g_.MoveToW(0, y);
        g_.LineToW(sweep, y);
        AxisViewport();
        g_.SetTextColor(kTextColor, kBackColor);
        g_.SetTextAlign(kAlignRight, kAlignCenterV);
        g_.TextOutW(levelText(y), 7, y);
    }
    g_.SetTextAlign(kAlignRight, kAlignBottom);
    g_.TextOutW(levelText(int(bottom)), 7, bottom);

    PlotViewport();
    g_.SetColor(kGridColor);
    for (int x = 0; x <= sweep; x += 1000) {
        g_.MoveToW(x, top);
        g_.LineToW(x, bottom);
    }
    g_.SetColor(kFrameColor);
    g_.DrawBox(2, graph_.left, graph_.top, graph_.right, graph_.bottom);

    // Whole seconds of the sweep under its second lines, every one or every few, as fit.
    const double labelStep = TimeStep(sweep, PlotArea().Width(),
                                      g_.ScaleTextWidth(QString::number(scale_.TimeWidth)) + 2 * W2, 1000);
    std::vector<std::pair<int, QString>> times;
    for (double t : TimeTicks({0, double(sweep)}, labelStep))
        times.emplace_back(g_.WorldToX(t), QString::fromStdString(SecondsText(t, labelStep)));
    DrawTimeLabels(times);

    g_.SetTextColor(kStatusColor, kBackColor);
    g_.Locate(1, 2);
    g_.Print(QString::asprintf("Graph Width=%dsec, Sampling Rate=%dms(%3.1fHz)", scale_.TimeWidth,
                               scale_.SampleRate, 1000.0 / scale_.SampleRate));
    sweepTime_ = 0;
    PlotViewport();
}

void TGraphPainter::PlotSample(LabelTable& labels, TDaqLogData* log)
{
    const int t = sweepTime_, r = scale_.SampleRate, sweep = SweepWidth(scale_);
    const double top = PlotTop(), bottom = PlotBottom();
    g_.SetColor(kBackColor);
    g_.SetWindow(0, top, sweep, bottom);

    const int b = t + r, c = b + EraseAhead(scale_);
    int xb = g_.WorldToX(b);
    if (xb == g_.WorldToX(t))
        ++xb;
    // With an inverted axis the top limit maps below the bottom one; fill top to bottom.
    const int ya = g_.WorldToY(top), yb = g_.WorldToY(bottom);
    const int y0 = std::min(ya, yb), y1 = std::max(ya, yb);
    if (c < sweep) {
        g_.DrawBox(4, xb, y0, g_.WorldToX(c), y1);
    } else {
        g_.DrawBox(4, xb, y0, g_.WorldToX(sweep), y1);
        g_.DrawBox(4, g_.WorldToX(0), y0, g_.WorldToX(c - sweep), y1);
    }

    g_.SetColor(kGridColor);
    if (b % 1000 == 0) {
        g_.MoveToW(b, top);
        g_.LineToW(b, bottom);
    }
    for (int y : grid_) {
        g_.MoveToW(t, y);
        g_.LineToW(b, y);
    }

    // All values first, in one short loop: the acquisition thread goes on writing them, and a
    // sample read between drawing calls would mix the values of many frames.
    sample_.resize(std::size_t(labels.Count()));
    for (int i = 0; i < labels.Count(); ++i)
        sample_[std::size_t(i)] = labels.Label(i).Value();
    const int pl = panel_.left, pt = panel_.top;
    for (int i = 0; i < labels.Count(); ++i) {
        TGraphInfo& label = labels.Label(i);
        const double v = sample_[std::size_t(i)];
        const double p = label.PrevValue();
        label.SetPrevValue(v);
        if (log)
            log->Push(v);
        // A label without a frame yet has no line; its first value starts one. A NaN a
        // frame carried has no height either, and must not draw a line to an edge.
        if (!std::isnan(v) && !std::isnan(p) && !Hidden(std::size_t(i))) {
            const TYMap& m = std::size_t(i) < ymap_.size() ? ymap_[std::size_t(i)] : TYMap{};
            g_.SetColor(label.Color());
            g_.MoveToW(t, m(p));
            const std::uint16_t pattern = LinePattern(label.Slot());
            if (pattern == 0xFFFF) {
                g_.LineToW(b, m(v));
            } else {
                const TRect vp = g_.Viewport();
                g_.LineToPattern(g_.WorldToX(b), g_.WorldToY(m(v)), pattern, vp.left, vp.right);
            }
        }
        PrintValue(pt + i, pl + 19, v, std::size_t(i));
    }
    if (log) {
        char gauge[64];
        std::snprintf(gauge, sizeof gauge, "Log Buffer=%5.1f%%", log->FillPercent());
        PrintStatus(pt - 2, pl + 2, gauge);
    }
    sweepTime_ = NextSweepTime(t, r, sweep);
}

void TGraphPainter::SetHidden(std::size_t label, bool hidden)
{
    if (label >= hidden_.size())
        hidden_.resize(label + 1, false);
    hidden_[label] = hidden;
}

void TGraphPainter::DrawLegendRow(const LabelTable& labels, int i)
{
    if (i < 0 || i >= labels.Count())
        return;
    const TGraphInfo& label = labels.Label(i);
    const int W = g_.CellWidth(), H = g_.CellHeight();
    const int pl = panel_.left, pt = panel_.top;
    const bool hidden = Hidden(std::size_t(i));
    const int boxLeft = int(W * (pl - 0.5));
    const int top = H * (pt + i - 1), bottom = H * (pt + i) - 1;
    // A hidden curve keeps its colour in an empty swatch and its name greyed.
    g_.SetTextColor(hidden ? kGridColor : kTextColor, kBackColor);
    g_.Locate(pt + i, pl + 2);
    g_.Print(LabelNameText(label.Name()).left(16));
    g_.SetColor(label.Color());
    g_.DrawBox(3, boxLeft, top, int(W * (pl + 0.5)), bottom);
    if (hidden) {
        g_.SetColor(kBackColor);
        g_.DrawBox(4, boxLeft + 2, top + 2, int(W * (pl + 0.5)) - 2, bottom - 2);
        g_.SetColor(label.Color());
    }
    g_.DrawBox(2, boxLeft, top, int(W * (pl + 17.5)), bottom);
}

int TGraphPainter::PanelRowAt(int x, int y, int labelCount) const
{
    const int W = g_.CellWidth(), H = g_.CellHeight();
    if (W <= 0 || H <= 0 || y < 0 || x < int(W * (panel_.left - 0.5)) || x >= W * panel_.right)
        return -1;
    const int i = y / H + 1 - panel_.top;
    return i >= 0 && i < labelCount ? i : -1;
}

const std::string& TGraphPainter::PanelText(std::size_t label) const
{
    static const std::string none;
    return label < shown_.size() ? shown_[label] : none;
}

void TGraphPainter::ClearTimeRow()
{
    TCellExtent ext;
    g_.GetCellExtent(ext);
    g_.SetColor(kBackColor);
    g_.DrawBox(4, axis_.left, graph_.bottom, graph_.right, ext.height);
}

void TGraphPainter::DrawTimeLabels(const std::vector<std::pair<int, QString>>& labels)
{
    ClearTimeRow();
    g_.SetTextColor(kTextColor, kBackColor);
    g_.SetTextAlign(kAlignLeft, kAlignTop);
    // Centred under their line, but kept inside the graph area: the first and last would
    // otherwise reach into the scale numbers and the panel.
    for (const auto& [x, text] : labels) {
        const int w = g_.ScaleTextWidth(text);
        const int left = std::clamp(x - w / 2, graph_.left, std::max(graph_.left, graph_.right - w));
        g_.TextOutAt(text, left, graph_.bottom + 1);
    }
}

void TGraphPainter::DrawCurve(const TReducedCurve& curve, const TYMap& m, TColor color, std::uint16_t pattern,
                              int from, int to)
{
    const TRect a = PlotArea();
    from = std::max(from, 0);
    to = std::min(to, int(curve.columns.size()));
    if (from >= to)
        return;
    const int right = a.left + to - 1;
    const auto Y = [&](double v) { return g_.WorldToY(m(v)); };
    const auto X = [&](double column) { return a.left + int(std::clamp(std::floor(column), -1e6, 1e6)); };
    g_.SetColor(color);
    spans_.clear();
    // One run per column from its smallest to its largest sample, reaching to the last
    // sample of the column before so the curve stays joined; lines only across columns
    // without samples (a zoomed-in view) and to the samples just off the plot.
    int prev = -1;
    int prevY = 0;
    const auto line = [&](int x0, int y0, int x1, int y1) {
        g_.MoveTo(x0, y0);
        g_.LineToPattern(x1, y1, pattern, a.left + from, right);
    };
    for (int c = 0; c < int(curve.columns.size()); ++c) {
        const TColumnRange& col = curve.columns[std::size_t(c)];
        if (col.count == 0)
            continue;
        int y0 = Y(col.hi), y1 = Y(col.lo);
        const int yFirst = Y(col.first);
        if (col.joined) {
            if (prev == c - 1) {
                y0 = std::min({y0, y1, prevY});
                y1 = std::max({Y(col.hi), y1, prevY});
            } else if (prev >= 0) {
                line(a.left + prev, prevY, a.left + c, yFirst);
            } else if (curve.before.valid) {
                line(X(curve.before.column), Y(curve.before.value), a.left + c, yFirst);
            }
        }
        if (c >= from && c < to)
            spans_.push_back({a.left + c, y0, y1});
        prev = c;
        prevY = Y(col.last);
    }
    if (curve.after.valid) {
        if (prev >= 0)
            line(a.left + prev, prevY, X(curve.after.column), Y(curve.after.value));
        else if (curve.before.valid)
            line(X(curve.before.column), Y(curve.before.value), X(curve.after.column), Y(curve.after.value));
    }
    g_.FillColumns(spans_, color, pattern);
}

void TGraphPainter::DrawLog(const LabelTable& labels, const TLogSamples& log, const TTimeView& view)
{
    const TRect a = PlotArea();
    const double top = PlotTop(), bottom = PlotBottom();
    g_.SetColor(kBackColor);
    g_.DrawBox(4, a.left, a.top, a.right, a.bottom);
    g_.SetViewport(a.left, a.top, a.right, a.bottom);
    g_.SetWindow(view.t0, top, view.t1, bottom);

    g_.SetColor(kGridColor);
    for (int y : grid_) {
        g_.MoveToW(view.t0, y);
        g_.LineToW(view.t1, y);
    }
    const int W2 = g_.ScaleCellWidth();
    const double step = TimeStep(view.Span(), a.Width(), 8 * W2);
    const std::vector<double> ticks = TimeTicks(view, step);
    std::vector<std::pair<int, QString>> times;
    for (double t : ticks) {
        g_.MoveToW(t, top);
        g_.LineToW(t, bottom);
        times.emplace_back(g_.WorldToX(t), QString::fromStdString(SecondsText(t, step)));
    }

    DrawCurves(labels, log, view, 0, a.Width());
    g_.SetColor(kFrameColor);
    g_.DrawBox(2, graph_.left, graph_.top, graph_.right, graph_.bottom);
    DrawTimeLabels(times);

    const int H = g_.CellHeight();
    g_.SetColor(kBackColor);
    g_.DrawBox(4, 0, 0, graph_.right, H);
    g_.SetTextColor(kStatusColor, kBackColor);
    g_.Locate(1, 2);
    g_.Print(QString::asprintf("Stopped: %.3f s logged, %.3f..%.3f s shown (wheel zoom, drag pan, Home all)",
                               LogEnd(log) / 1000, view.t0 / 1000, view.t1 / 1000));
    PlotViewport();
}

void TGraphPainter::ShowRow(const LabelTable& labels, const TLogSamples& log, std::optional<std::uint32_t> row)
{
    const int pl = panel_.left, pt = panel_.top;
    for (int i = 0; i < labels.Count(); ++i) {
        const bool has = row && *row < log.rows && std::uint32_t(i) < log.columns;
        PrintValue(pt + i, pl + 19, has ? log.At(*row, std::uint32_t(i)) : NoValue(), std::size_t(i));
    }
    char text[64];
    if (row && *row < log.rows)
        std::snprintf(text, sizeof text, "Time=%10.3fs ", double(*row) * log.sampleRate / 1000);
    else
        std::snprintf(text, sizeof text, "%17s", "");
    PrintStatus(pt - 2, pl + 2, text);
}

void TGraphPainter::DrawCurves(const LabelTable& labels, const TLogSamples& log, const TTimeView& view, int from,
                               int to)
{
    const std::uint32_t n = std::min<std::uint32_t>(log.columns, std::uint32_t(labels.Count()));
    ReduceColumns(log, view, PlotArea().Width(), reduced_);
    for (std::uint32_t i = 0; i < n; ++i) {
        if (Hidden(i))
            continue;
        const TGraphInfo& label = labels.Label(int(i));
        const TYMap& m = i < ymap_.size() ? ymap_[i] : TYMap{};
        DrawCurve(reduced_[i], m, label.Color(), LinePattern(label.Slot()), from, to);
    }
}

void TGraphPainter::RedrawSweep(const LabelTable& labels, const TLogSamples& log)
{
    const TRect a = PlotArea();
    const double top = PlotTop(), bottom = PlotBottom();
    const int sweep = SweepWidth(scale_), t = sweepTime_;
    g_.SetColor(kBackColor);
    g_.DrawBox(4, a.left, a.top, a.right, a.bottom);
    PlotViewport();
    g_.SetColor(kGridColor);
    for (int y : grid_) {
        g_.MoveToW(0, y);
        g_.LineToW(sweep, y);
    }
    for (int x = 0; x <= sweep; x += 1000) {
        g_.MoveToW(x, top);
        g_.LineToW(x, bottom);
    }
    // The band the last slice erased ahead of itself, wrapping as the sweep does.
    const int c = t + EraseAhead(scale_);
    const int ya = g_.WorldToY(top), yb = g_.WorldToY(bottom);
    const int y0 = std::min(ya, yb), y1 = std::max(ya, yb);
    g_.SetColor(kBackColor);
    g_.DrawBox(4, g_.WorldToX(t) + 1, y0, g_.WorldToX(std::min(c, sweep)), y1);
    if (c >= sweep)
        g_.DrawBox(4, g_.WorldToX(0), y0, g_.WorldToX(c - sweep), y1);
    // Sample k is drawn where its slice ends; the latest one ends at the sweep position.
    const double latest = LogEnd(log) - t;
    const int xt = g_.WorldToX(t) - a.left;
    if (c < sweep)
        DrawCurves(labels, log, {latest - sweep, latest}, g_.WorldToX(c) - a.left, a.Width());
    DrawCurves(labels, log, {latest, latest + sweep}, c >= sweep ? g_.WorldToX(c - sweep) - a.left : 0, xt + 1);
    g_.SetColor(kFrameColor);
    g_.DrawBox(2, graph_.left, graph_.top, graph_.right, graph_.bottom);
    PlotViewport();
}

}  // namespace tarvik
