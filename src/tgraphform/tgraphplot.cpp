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
    const int unitLeft = 32, rangeLeft = unitLeft + (unitCols > 0 ? unitCols + 1 : 0);
    const int extra = (unitCols > 0 ? unitCols + 1 : 0) + (rangeCols > 0 ? rangeCols + 1 : 0);
    panel_ = {ext.cols - 31 - extra, 3, ext.cols, ext.rows};
    const int pl = panel_.left, pt = panel_.top;
    axis_ = {2, H * (pt - 2), 8 * W2 + 2, ext.height - 3};
    graph_ = {axis_.right + 1, H * (pt - 2), int(W * (pl - 1.0)), ext.height - 3};

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
        g_.SetTextColor(kTextColor, kBackColor);
        g_.Locate(pt + i, pl + 2);
        g_.Print(LabelNameText(label.Name()).left(16));
        const int top = H * (pt + i - 1), bottom = H * (pt + i) - 1;
        g_.SetColor(label.Color());
        g_.DrawBox(3, boxLeft, top, int(W * (pl + 0.5)), bottom);
        g_.DrawBox(2, boxLeft, top, int(W * (pl + 17.5)), bottom);
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
        if (!std::isnan(v) && !std::isnan(p)) {
            const TYMap& m = std::size_t(i) < ymap_.size() ? ymap_[std::size_t(i)] : TYMap{};
            g_.SetColor(label.Color());
            g_.MoveToW(t, m(p));
            g_.LineToW(b, m(v));
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

}  // namespace tarvik
