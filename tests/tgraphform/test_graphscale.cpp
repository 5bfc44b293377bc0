#include <gtest/gtest.h>

#include <QCheckBox>
#include <cmath>
#include <limits>

#include "platform/fonts.h"
#include "platform/novalue.h"
#include "support/testsupport.h"
#include "tgraphform/tgraphform.h"
#include "tgraphform/tgraphplot.h"
#include "ttlabelinfo/labeltable.h"
#include "graphtest.h"

using namespace tarvik;
using graphtest::RowsOf;

TEST(GraphScale, LabelYMapPutsMinAtTheBottomAndMaxAtTheTop)
{
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        double min, max;
        bool own;
        double v, y;
    } cases[] = {
        {0, 200, false, 150, 150},        // common scale: the value itself
        {0, 200, true, 0, 0},
        {0, 200, true, 200, kOwnRangeSpan},
        {0, 200, true, 50, kOwnRangeSpan / 4.0},
        {-40, 10, true, -15, kOwnRangeSpan / 2.0},
        {100, 0, true, 100, 0},            // inverted: Min stays at the bottom
        {100, 0, true, 25, kOwnRangeSpan * 0.75},
        {7, 7, true, 7, kOwnRangeSpan / 2.0},  // no height: Min in the middle
        {7, 7, true, 7.5, kOwnRangeSpan},
        {-inf, 5, true, 50, kOwnRangeSpan / 2.0},  // unusable limits: the defaults 0..100
        {0, 200, true, 400, 2.0 * kOwnRangeSpan},  // beyond: clamped later, by the surface
    };
    for (const Case& c : cases)
        EXPECT_DOUBLE_EQ(LabelYMap(c.min, c.max, c.own)(c.v), c.y) << c.min << ".." << c.max << " v " << c.v;
    EXPECT_TRUE(std::isnan(LabelYMap(0, 200, true)(std::nan(""))));
}

TEST(GraphScale, PanelValueTextFitsTwelveCharacters)
{
    struct Case {
        double v;
        const char* text;
    } cases[] = {
        {1234.5, "    1234.500"},
        {-0.25, "      -0.250"},
        {99999999.999, "99999999.999"},
        {123456789.0, " 1.23457e+08"},
        {-123456789.0, "-1.23457e+08"},
        {-1.5e300, "   -1.5e+300"},
        {-1.234567e300, "-1.2346e+300"},
        {std::numeric_limits<double>::infinity(), "         inf"},
        {std::nan(""), "         nan"},
        {NoValue(), "            "},
    };
    for (const Case& c : cases)
        EXPECT_EQ(PanelValueText(c.v), c.text) << c.v;
}

// Each label on its own range: the same position on the plot means the same fraction of
// each label's Min..Max, whatever the common scale says.
TEST(GraphScale, OwnRangesDrawEveryLabelOverTheFullHeight)
{
    testsupport::InstallFonts();
    TGraphCtrl g;
    g.SetFont(WindowFont(12));
    g.SetScaleFont(WindowFont(12));
    TGraphPainter painter(g);
    TGraphScale s;
    s.MinYScale = -1000;
    s.MaxYScale = 10000;
    s.YPitch = 1000;
    painter.SetScale(s);
    painter.SetOwnRanges(true);
    LabelTable labels;
    // name, type, ext, id, endian, bit, width, lsb, offset, min, max, unit
    labels.LoadFromLines({"top,\"unsigned short\",,0x100,Big,0,16,1,0,0,5,V",
                          "mid,\"unsigned short\",,0x100,Big,0,16,1,0,-40,10,degC",
                          "low,\"unsigned short\",,0x100,Big,0,16,1,0,100,0,%",
                          "flat,\"unsigned short\",,0x100,Big,0,16,1,0,3,3,",
                          "nan,\"unsigned short\",,0x100,Big,0,16,1,0,0,1,"},
                         kGraphPalette);
    painter.Redraw({2, 2, 1202, 602}, labels);
    EXPECT_EQ(painter.Grid(), (std::vector<int>{900, 800, 700, 600, 500, 400, 300, 200, 100}));
    const double values[] = {5, -15, 100, 3.25, std::nan("")};
    for (int i = 0; i < labels.Count(); ++i)
        labels.Label(i).SetValue(values[i]);
    painter.PlotSample(labels, nullptr);
    painter.PlotSample(labels, nullptr);
    const TRect a = painter.GraphArea();
    const int x = g.WorldToX(75), mid = g.WorldToY(kOwnRangeSpan / 2.0);
    const QImage& img = g.Canvas();
    EXPECT_EQ(RowsOf(img, x, labels.Label(0).Color()), (std::vector<int>{a.top + 1}));
    EXPECT_EQ(RowsOf(img, x, labels.Label(1).Color()), (std::vector<int>{mid}));
    EXPECT_EQ(RowsOf(img, x, labels.Label(2).Color()), (std::vector<int>{a.bottom - 1}));
    EXPECT_EQ(RowsOf(img, x, labels.Label(3).Color()), (std::vector<int>{g.WorldToY(750)}));  // 3 .. 3 as 2.5 .. 3.5
    EXPECT_TRUE(RowsOf(img, x, labels.Label(4).Color()).empty());  // a NaN has no height

    // The legend: value, then the widest unit ("degC") and a blank, then the range.
    const TRect panel = painter.PanelCells();
    TCellExtent ext;
    g.GetCellExtent(ext);
    EXPECT_EQ(panel.left, ext.cols - 31 - 5 - 8);  // and "-40..10", the widest range, and a blank
    EXPECT_EQ(RangeText(-40, 10), "-40..10");
    EXPECT_EQ(RangeText(0.5, 1e7), "0.5..1e+07");
}

// The window's check box switches the plot and tells the owner, which remembers it; a value
// set from the settings moves the box without telling anyone.
TEST(GraphScale, OwnRangesCheckBoxSwitchesThePlotAndIsReported)
{
    testsupport::InstallFonts();
    TGraphForm form;
    std::vector<bool> told;
    form.onOwnRangesChanged = [&told](bool on) { told.push_back(on); };
    form.CheckBox2->click();
    EXPECT_TRUE(form.OwnRanges());
    EXPECT_TRUE(form.Painter().OwnRanges());
    form.SetOwnRanges(false);
    EXPECT_FALSE(form.CheckBox2->isChecked());
    EXPECT_FALSE(form.Painter().OwnRanges());
    EXPECT_EQ(told, (std::vector<bool>{true}));
}
