#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "platform/fonts.h"
#include "platform/novalue.h"
#include "support/testsupport.h"
#include "tgraphform/tdaqlogdata.h"
#include "tgraphform/tgraphplot.h"
#include "ttlabelinfo/labeltable.h"
#include "graphtest.h"

using namespace tarvik;
using graphtest::Pixel;
using graphtest::Rgb;
using graphtest::RowsOf;

namespace {

class GraphPaint : public ::testing::Test {
protected:
    void SetUp() override
    {
        testsupport::InstallFonts();
        g.SetFont(WindowFont(12));
        g.SetScaleFont(WindowFont(12));
    }
    void Draw(const TGraphScale& s, const std::vector<std::string>& names = {})
    {
        labels.LoadFromLines(graphtest::WordLabels(names), kGraphPalette);
        painter.SetScale(s);
        painter.Redraw({2, 2, 1202, 602}, labels);
    }
    // Paints the plot area interior white so that an erase shows as black.
    void FillPlotArea()
    {
        const TRect a = painter.GraphArea();
        g.SetColor(0xFFFFFF);
        g.DrawBox(4, a.left + 1, a.top + 1, a.right - 1, a.bottom - 1);
    }
    // Columns of one row that are black, as [first, last] runs.
    std::vector<std::pair<int, int>> BlackRuns(int y)
    {
        std::vector<std::pair<int, int>> runs;
        const QImage& img = g.Canvas();
        const TRect a = painter.GraphArea();
        for (int x = a.left + 1; x < a.right - 1; ++x) {
            if (Pixel(img, x, y) != 0)
                continue;
            if (!runs.empty() && runs.back().second == x - 1)
                runs.back().second = x;
            else
                runs.push_back({x, x});
        }
        return runs;
    }
    TGraphCtrl g;
    TGraphPainter painter{g};
    LabelTable labels;
};

TGraphScale Scale(int minY, int maxY, int pitch, int width = 20, int rate = 50)
{
    TGraphScale s;
    s.MinYScale = minY;
    s.MaxYScale = maxY;
    s.YPitch = pitch;
    s.TimeWidth = width;
    s.SampleRate = rate;
    return s;
}

}  // namespace

TEST_F(GraphPaint, ScaleNumbersSitOnTheirGridLines)
{
    Draw(Scale(-1000, 10000, 1000));
    EXPECT_EQ(painter.Grid(), (std::vector<int>{9000, 8000, 7000, 6000, 5000, 4000, 3000, 2000, 1000, 0}));
    const QImage& img = g.Canvas();
    const TRect axis = painter.AxisArea(), graph = painter.GraphArea();
    const int plotTop = graph.top + 1, plotBottom = graph.bottom - 1;
    auto rowOf = [&](double v) { return plotTop + int((10000 - v) * (plotBottom - plotTop) / 11000.0); };
    // Text in the axis strip within half a cell of each level; a grid line across the plot.
    auto textNear = [&](int y0, int y1) {
        for (int y = std::max(y0, axis.top); y <= std::min(y1, axis.bottom); ++y)
            for (int x = axis.left; x < axis.right; ++x)
                if (qGray(img.pixel(x, y)) > 160)  // glyphs are smoothed: bright, not always pure white
                    return true;
        return false;
    };
    const int H = g.CellHeight();
    for (int level : painter.Grid()) {
        const int y = rowOf(level);
        EXPECT_TRUE(textNear(y - H / 2, y + H / 2)) << level;
        EXPECT_EQ(Pixel(img, (graph.left + graph.right) / 2 + 3, y), Rgb(kGridColor)) << level;
    }
    EXPECT_TRUE(textNear(plotTop, plotTop + H)) << "10000 below the top";
    EXPECT_TRUE(textNear(plotBottom - H, plotBottom)) << "-1000 above the bottom";
    // Between two levels there is no text: the numbers are centred, not top-aligned.
    EXPECT_FALSE(textNear(rowOf(8500) - 2, rowOf(8500) + 2));
    // The frame around the plot area.
    EXPECT_EQ(Pixel(img, graph.left, (graph.top + graph.bottom) / 2), Rgb(kFrameColor));
    EXPECT_EQ(Pixel(img, graph.right - 1, (graph.top + graph.bottom) / 2), Rgb(kFrameColor));
}

TEST_F(GraphPaint, ValuesBeyondTheScaleLandOnTheEdges)
{
    Draw(Scale(-1000, 10000, 0), {"hi", "lo"});
    labels.Label(0).SetValue(1e9);
    labels.Label(1).SetValue(-1e9);
    TDaqLogData log(1024, 50);
    for (int i = 0; i < 4; ++i)
        painter.PlotSample(labels, &log);
    const TRect a = painter.GraphArea();
    const int x = g.WorldToX(125);  // inside the third slice, where both lines run flat
    EXPECT_EQ(RowsOf(g.Canvas(), x, labels.Label(0).Color()), (std::vector<int>{a.top + 1}));
    EXPECT_EQ(RowsOf(g.Canvas(), x, labels.Label(1).Color()), (std::vector<int>{a.bottom - 1}));
    EXPECT_EQ(log.Count(), 8u);
}

TEST_F(GraphPaint, InvertedAndEmptyRanges)
{
    Draw(Scale(1000, -1000, 500), {"v"});
    EXPECT_EQ(painter.Grid(), (std::vector<int>{-500, 0, 500}));
    const TRect a = painter.GraphArea();
    labels.Label(0).SetValue(-1000);  // the maximum: top edge
    painter.PlotSample(labels, nullptr);
    painter.PlotSample(labels, nullptr);
    EXPECT_EQ(RowsOf(g.Canvas(), g.WorldToX(75), labels.Label(0).Color()), (std::vector<int>{a.top + 1}));

    Draw(Scale(5, 5, 1), {"v"});  // drawn as 5 .. 6
    EXPECT_TRUE(painter.Grid().empty());
    labels.Label(0).SetValue(5.5);
    painter.PlotSample(labels, nullptr);
    painter.PlotSample(labels, nullptr);
    const auto rows = RowsOf(g.Canvas(), g.WorldToX(75), labels.Label(0).Color());
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_NEAR(rows[0], (a.top + a.bottom) / 2, 2);
}

TEST_F(GraphPaint, EraseBandAheadOfTheSweep)
{
    const struct {
        int rate, band;
    } cases[] = {{50, 200}, {500, 500}, {5, 200}};
    for (const auto& c : cases) {
        Draw(Scale(0, 100, 0, 20, c.rate));
        FillPlotArea();
        painter.PlotSample(labels, nullptr);
        const TRect a = painter.GraphArea();
        const auto runs = BlackRuns((a.top + a.bottom) / 2);
        ASSERT_EQ(runs.size(), 1u) << c.rate;
        // From the end of this slice to band ms beyond it (right edge exclusive).
        // A slice narrower than a pixel still leaves its own column standing.
        const int xb = g.WorldToX(c.rate) + (g.WorldToX(c.rate) == g.WorldToX(0) ? 1 : 0);
        EXPECT_EQ(runs[0].first, xb) << c.rate;
        EXPECT_EQ(runs[0].second, g.WorldToX(c.rate + c.band) - 1) << c.rate;
        EXPECT_EQ(painter.SweepTime(), c.rate);
    }
}

TEST_F(GraphPaint, EraseBandWrapsToTheLeftEdgeAndTheSweepRestarts)
{
    Draw(Scale(0, 100, 0, 20, 50));
    int slices = 0;
    while (painter.SweepTime() != 19900 && slices < 1000) {
        painter.PlotSample(labels, nullptr);
        ++slices;
    }
    ASSERT_EQ(slices, 398);
    FillPlotArea();
    painter.PlotSample(labels, nullptr);  // slice 19900..19950, band 19950..20150
    const TRect a = painter.GraphArea();
    const auto runs = BlackRuns((a.top + a.bottom) / 2);
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].first, a.left + 1);
    EXPECT_EQ(runs[0].second, g.WorldToX(150) - 1);
    EXPECT_EQ(runs[1].first, g.WorldToX(19950));
    EXPECT_EQ(runs[1].second, a.right - 2);
    painter.PlotSample(labels, nullptr);  // the 400th slice ends at 20,000 ms
    EXPECT_EQ(painter.SweepTime(), 0);
}

TEST_F(GraphPaint, PanelColoursAndNameCut)
{
    std::vector<std::string> names;
    for (int i = 0; i < 17; ++i)
        names.push_back("L" + std::to_string(i));
    Draw(Scale(0, 100, 10), names);
    EXPECT_EQ(labels.Label(16).Color(), labels.Label(0).Color());
    EXPECT_EQ(labels.Label(0).Color(), 0x0000FFu);
    EXPECT_EQ(labels.Label(15).Color(), 0xC0DCC0u);

    // A 17-character name shows exactly as its first 16 characters do.
    const TRect panel = painter.PanelCells();
    const int W = g.CellWidth(), H = g.CellHeight();
    auto nameArea = [&](const std::string& name) {
        Draw(Scale(0, 100, 10), {name});
        return g.Canvas().copy(W * (panel.left + 1), H * (panel.top - 1), W * 17, H);
    };
    const QImage cut = nameArea("ABCDEFGHIJKLMNOPQ");
    EXPECT_EQ(cut, nameArea("ABCDEFGHIJKLMNOP"));
    EXPECT_NE(cut, nameArea("ABCDEFGHIJKLMNOX"));
}

// Values are drawn from prerendered character cells; they must look exactly as printed text.
TEST_F(GraphPaint, ValueCellsMatchPrintedText)
{
    Draw(Scale(0, 100, 10), {"v"});
    const TRect panel = painter.PanelCells();
    const int W = g.CellWidth(), H = g.CellHeight();
    for (double v : {1234.5, -0.25, 0.0, 987654.125, -9999999.5, 42.0, 1.5e12, -1e300, std::nan("")}) {
        labels.Label(0).SetValue(v);
        painter.PlotSample(labels, nullptr);
        const QString text = QString::fromStdString(PanelValueText(v));
        TGraphCtrl ref;
        ref.SetFont(WindowFont(12));
        ref.SetColor(kBackColor);
        ref.SetSize({0, 0, W * int(text.size()), H});
        ref.SetTextColor(kTextColor, kBackColor);
        ref.Locate(1, 1);
        ref.Print(text);
        EXPECT_EQ(g.Canvas().copy(g.ColToX(panel.left + 19), g.RowToY(panel.top), W * int(text.size()), H),
                  ref.Canvas())
            << text.toStdString();
    }
}

// A label without a frame yet draws no line and shows a blank value until its first value.
TEST_F(GraphPaint, NoValueDrawsNothingUntilTheFirstValue)
{
    Draw(Scale(0, 100, 10), {"v"});
    const TGraphInfo& label = labels.Label(0);
    const TRect a = painter.GraphArea();
    auto labelPixels = [&] {
        int n = 0;
        for (int y = a.top + 1; y < a.bottom - 1; ++y)
            for (int x = a.left + 1; x < a.right - 1; ++x)
                n += Pixel(g.Canvas(), x, y) == Rgb(label.Color());
        return n;
    };
    const TRect panel = painter.PanelCells();
    const int W = g.CellWidth(), H = g.CellHeight();
    auto valueCells = [&] { return g.Canvas().copy(g.ColToX(panel.left + 19), g.RowToY(panel.top), W * 12, H); };
    TGraphCtrl blank;
    blank.SetFont(WindowFont(12));
    blank.SetColor(kBackColor);
    blank.SetSize({0, 0, W * 12, H});
    blank.SetTextColor(kTextColor, kBackColor);
    blank.Locate(1, 1);
    blank.Print(QString(12, QChar(' ')));

    ASSERT_TRUE(IsNoValue(label.Value()));
    for (int i = 0; i < 5; ++i)
        painter.PlotSample(labels, nullptr);
    EXPECT_EQ(labelPixels(), 0);
    EXPECT_EQ(valueCells(), blank.Canvas());
    labels.Label(0).SetValue(50);
    painter.PlotSample(labels, nullptr);
    painter.PlotSample(labels, nullptr);
    EXPECT_GT(labelPixels(), 0);
    EXPECT_NE(valueCells(), blank.Canvas());
}
