#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <cmath>
#include <limits>

#include "platform/fonts.h"
#include "support/testsupport.h"
#include "tgraphctrl/tgraphctrl.h"

using namespace tarvik;

namespace {

constexpr TColor kWhite = RGBColor(255, 255, 255);
constexpr TColor kBlack = RGBColor(0, 0, 0);
constexpr TColor kYellow = RGBColor(255, 255, 0);
constexpr TColor kRed = RGBColor(255, 0, 0);
constexpr TColor kBlue = RGBColor(0, 0, 255);

class GraphCtrl : public ::testing::Test {
protected:
    void SetUp() override
    {
        testsupport::InstallFonts();
        g.SetFont(WindowFont(12));
        g.SetScaleFont(WindowFont(12));
        g.SetTextColor(kBlack, kWhite);
        g.SetSize({0, 0, 200, 100});
    }
    QRgb Pixel(int x, int y) { return g.Canvas().pixel(x, y) & 0xFFFFFF; }
    // Bounding box of the pixels of one colour, exclusive right/bottom.
    QRect BoxOf(TColor c)
    {
        const QImage& img = g.Canvas();
        const QRgb want = ToQColor(c).rgb() & 0xFFFFFF;
        int l = img.width(), t = img.height(), r = -1, b = -1;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                if ((img.pixel(x, y) & 0xFFFFFF) == want) {
                    l = std::min(l, x);
                    t = std::min(t, y);
                    r = std::max(r, x);
                    b = std::max(b, y);
                }
        return r < 0 ? QRect() : QRect(QPoint(l, t), QPoint(r, b));
    }
    TGraphCtrl g;
};

}  // namespace

TEST_F(GraphCtrl, CellGridAndLocate)
{
    const int W = g.CellWidth(), H = g.CellHeight();
    ASSERT_GT(W, 0);
    ASSERT_GT(H, 0);
    g.Locate(1, 1);
    EXPECT_EQ(g.TextX(), 0);
    EXPECT_EQ(g.TextY(), 0);
    g.Locate(3, 5);
    EXPECT_EQ(g.TextX(), 4 * W);
    EXPECT_EQ(g.TextY(), 2 * H);
    g.Locate(0, 0);
    EXPECT_EQ(g.TextX(), 0);
    EXPECT_EQ(g.TextY(), 0);
    EXPECT_EQ(g.ColToX(-2), -2 * W);
    EXPECT_EQ(g.CellsToX(2.9), std::trunc(W * 2.9));
    EXPECT_EQ(g.CellsToY(-1.5), int(std::trunc(H * -1.5)));
}

TEST_F(GraphCtrl, CellExtentCountsWholeCellsOnly)
{
    const int W = g.CellWidth(), H = g.CellHeight();
    TCellExtent e;
    g.SetSize({0, 0, 3 * W - 1, 2 * H});
    g.GetCellExtent(e);
    EXPECT_EQ(e.width, 3 * W - 1);
    EXPECT_EQ(e.height, 2 * H);
    EXPECT_EQ(e.cols, 2);
    EXPECT_EQ(e.rows, 2);
    g.SetSize({0, 0, 3 * W, 3 * H - 1});
    g.GetCellExtent(e);
    EXPECT_EQ(e.cols, 3);
    EXPECT_EQ(e.rows, 2);

    // 7 x 12 cells on a 100 x 50 surface give 14 columns and 4 rows; 11-pixel IPAGothic has a
    // 6 x 12 cell: 16 columns and 4 rows.
    g.SetFont(WindowFont(11));
    g.SetSize({0, 0, 100, 50});
    g.GetCellExtent(e);
    EXPECT_EQ(g.CellWidth(), 6) << "the window font did not resolve to IPAGothic";
    EXPECT_EQ(g.CellHeight(), 12);
    EXPECT_EQ(e.cols, 16);
    EXPECT_EQ(e.rows, 4);
}

TEST_F(GraphCtrl, SetSizeResetsMappingToPixels)
{
    g.SetViewport(5, 5, 6, 6);
    g.SetWindow(-1, -1, 1, 1);
    g.SetTextAlign(kAlignRight, kAlignBottom);
    g.Locate(3, 3);
    g.SetSize({2, 2, 102, 52});
    const QImage& img = g.Canvas();
    EXPECT_EQ(img.width(), 100);
    EXPECT_EQ(img.height(), 50);
    EXPECT_EQ(g.WorldToX(10.7), 10);
    EXPECT_EQ(g.WorldToX(500), 100);
    EXPECT_EQ(g.WorldToY(-3), 0);
    EXPECT_EQ(g.TextAlign(), 5);
    EXPECT_EQ(g.TextX(), 0);
    EXPECT_EQ(g.TextY(), 0);
    TRect clip;
    g.GetClipRect(clip);
    EXPECT_EQ(clip, (TRect{0, 0, 100, 50}));
}

TEST_F(GraphCtrl, ViewportAndWindowWithUpwardY)
{
    g.SetViewport(10, 10, 110, 60);
    g.SetWindow(0, 100, 1000, -100);
    EXPECT_EQ(g.WorldToX(500), 60);
    EXPECT_EQ(g.WorldToY(100), 10);
    EXPECT_EQ(g.WorldToY(0), 35);
    EXPECT_EQ(g.WorldToY(-300), 60);  // clamped to the viewport
    EXPECT_EQ(g.WorldToY(1e9), 10);
    EXPECT_EQ(g.WorldToX(-5), 10);
    // Truncation toward zero: 1.9 world units are 0.19 pixels.
    EXPECT_EQ(g.WorldToX(1.9), 10);
    EXPECT_EQ(g.WorldToX(19.9), 11);
}

TEST_F(GraphCtrl, UnrepresentableWorldValuesStayOnTheViewport)
{
    g.SetViewport(10, 10, 110, 60);
    g.SetWindow(0, 0, 1, 1);
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (double v : {inf, -inf, nan, 1e300, -1e300}) {
        EXPECT_GE(g.WorldToX(v), 10);
        EXPECT_LE(g.WorldToX(v), 110);
        EXPECT_GE(g.WorldToY(v), 10);
        EXPECT_LE(g.WorldToY(v), 60);
    }
    g.MoveToW(nan, nan);
    g.LineToW(inf, -inf);
}

TEST_F(GraphCtrl, ZeroSizeSurfaceNeverFails)
{
    g.SetSize({5, 5, 5, 5});
    TCellExtent e;
    g.GetCellExtent(e);
    EXPECT_EQ(e.width, 0);
    EXPECT_EQ(e.rows, 0);
    EXPECT_TRUE(g.Canvas().isNull());
    // The window collapses to one point: every world value lands on the viewport's corner.
    EXPECT_EQ(g.WorldToX(123.0), 0);
    EXPECT_EQ(g.WorldToY(-7.0), 0);
    g.Clear();
    g.Locate(2, 2);
    g.Print("text");
    g.TextOutW("x", 1, 1);
    g.DrawBox(4, 0, 0, 10, 10);
    g.LineTo(10, 10);
    TRect clip;
    g.GetClipRect(clip);
    EXPECT_EQ(clip, (TRect{0, 0, 0, 0}));
    // An inverted rectangle is an empty one, not a negative size.
    g.SetSize({10, 10, 0, 0});
    EXPECT_TRUE(g.Canvas().isNull());
    // A degenerate window on a real viewport maps to the viewport's corner too.
    g.SetSize({0, 0, 50, 50});
    g.SetViewport(5, 6, 40, 40);
    g.SetWindow(3, 3, 3, 3);
    EXPECT_EQ(g.WorldToX(100), 5);
    EXPECT_EQ(g.WorldToY(-100), 6);
}

TEST_F(GraphCtrl, DrawBoxKinds)
{
    g.SetColor(kYellow);
    g.Clear();
    const QImage before = g.Canvas().copy();
    g.SetColor(kRed);
    g.DrawBox(1, 10, 10, 50, 50);
    g.DrawBox(5, 10, 10, 50, 50);
    EXPECT_EQ(g.Canvas(), before);

    g.DrawBox(4, 10, 20, 30, 25);  // right and bottom exclusive
    EXPECT_EQ(BoxOf(kRed), QRect(10, 20, 20, 5));

    g.SetColor(kYellow);
    g.Clear();
    g.SetColor(kBlue);
    g.DrawBox(2, 10, 10, 20, 20);  // one-pixel frame, inside unchanged
    EXPECT_EQ(BoxOf(kBlue), QRect(10, 10, 10, 10));
    EXPECT_EQ(Pixel(15, 15), ToQColor(kYellow).rgb() & 0xFFFFFF);
    EXPECT_EQ(Pixel(19, 15), ToQColor(kBlue).rgb() & 0xFFFFFF);

    // Kind 3: outline in the pen colour around a brush fill.
    g.SetColor(kBlue);
    g.SetTextColor(kBlack, kRed);  // brush red, pen stays blue
    g.DrawBox(3, 40, 40, 50, 50);
    EXPECT_EQ(Pixel(40, 40), ToQColor(kBlue).rgb() & 0xFFFFFF);
    EXPECT_EQ(Pixel(49, 49), ToQColor(kBlue).rgb() & 0xFFFFFF);
    EXPECT_EQ(Pixel(45, 45), ToQColor(kRed).rgb() & 0xFFFFFF);
    EXPECT_EQ(Pixel(50, 50), ToQColor(kYellow).rgb() & 0xFFFFFF);
}

TEST_F(GraphCtrl, PrintIsOpaqueAtTheTextPosition)
{
    g.SetTextColor(kBlack, kYellow);
    g.Locate(2, 3);
    g.Print("WW");
    const QRect box = BoxOf(kYellow);
    EXPECT_EQ(box.left(), 2 * g.CellWidth());
    EXPECT_EQ(box.top(), g.CellHeight());
    EXPECT_EQ(box.width(), 2 * g.CellWidth());
    EXPECT_EQ(box.height(), g.CellHeight());
    // Some ink was drawn inside the background.
    bool ink = false;
    for (int y = box.top(); y <= box.bottom(); ++y)
        for (int x = box.left(); x <= box.right(); ++x)
            ink |= Pixel(x, y) != (ToQColor(kYellow).rgb() & 0xFFFFFF);
    EXPECT_TRUE(ink);
}

TEST_F(GraphCtrl, TextOutAlignment)
{
    const int w = 3 * g.ScaleCellWidth(), h = g.ScaleCellHeight();
    struct Row {
        int hAlign, vAlign;
        QRect expected;  // for the anchor (100, 50)
    } rows[] = {
        {kAlignLeft, kAlignTop, QRect(100, 50, w, h)},
        {kAlignRight, kAlignCenterV, QRect(100 - w, 50 - h / 2, w, h)},
        {kAlignCenterH, kAlignBottom, QRect(100 - w / 2, 50 - h, w, h)},
    };
    for (const Row& row : rows) {
        g.SetTextColor(kBlack, kWhite);
        g.Clear();
        g.SetTextColor(kBlack, kYellow);
        g.SetTextAlign(row.hAlign, row.vAlign);
        g.TextOutW("WWW", 100, 50);
        EXPECT_EQ(BoxOf(kYellow), row.expected) << row.hAlign << "," << row.vAlign;
    }
}

TEST_F(GraphCtrl, CanvasKeepsDrawingAfterItIsRead)
{
    g.SetColor(kRed);
    g.DrawBox(4, 0, 0, 5, 5);
    EXPECT_EQ(Pixel(0, 0), ToQColor(kRed).rgb() & 0xFFFFFF);
    g.SetColor(kBlue);
    g.MoveTo(0, 50);
    g.LineTo(100, 50);
    EXPECT_EQ(Pixel(50, 50), ToQColor(kBlue).rgb() & 0xFFFFFF);
    EXPECT_EQ(Pixel(50, 51), ToQColor(kWhite).rgb() & 0xFFFFFF);
}

// Monitor lines take a faster path than general text; it must draw the same pixels.
TEST_F(GraphCtrl, PlainLinesDrawAsTheToolkitDrawsThem)
{
    const QString texts[] = {QStringLiteral("000123.4567 R 1FFFFFFF 8 00 11 22 33 44 55 66 77 ~!@#$%^&*()_+{}|:\"<>?"),
                             QStringLiteral("abcdefghijklmnopqrstuvwxyz ABCDEFGHIJKLMNOPQRSTUVWXYZ `-=[]\\;',./"),
                             QStringLiteral("mixed \u65e5\u672c text falls back")};
    g.SetSize({0, 0, 800, 40});
    for (const QString& text : texts) {
        g.SetTextColor(kBlack, kWhite);
        g.Clear();
        g.SetTextColor(kBlack, kYellow);
        g.Locate(1, 1);
        g.Print(text);
        QImage want(g.Canvas().size(), g.Canvas().format());
        want.fill(Qt::white);
        {
            QPainter p(&want);
            const QFont font = WindowFont(12);
            const QFontMetrics fm(font);
            p.fillRect(QRect(0, 0, fm.horizontalAdvance(text), fm.height()), ToQColor(kYellow));
            p.setFont(font);
            p.setPen(Qt::black);
            p.drawText(0, fm.ascent(), text);
        }
        EXPECT_TRUE(g.Canvas() == want) << text.toStdString();
    }
}

// A patterned line is drawn on the pixel columns whose bit is set, whatever piece of the
// curve it is, and only inside its column limits; column runs stay in the viewport.
TEST_F(GraphCtrl, PatternedLinesAndColumnRuns)
{
    const auto row = [&](int y, int from, int to, TColor c) {
        std::string s;
        for (int x = from; x <= to; ++x)
            s += Pixel(x, y) == (ToQColor(c).rgb() & 0xFFFFFF) ? '#' : '.';
        return s;
    };
    g.SetColor(kRed);
    g.MoveTo(0, 10);
    g.LineToPattern(20, 10, 0x0FFF, 0, 199);
    g.LineToPattern(40, 10, 0x0FFF, 0, 199);  // a second piece continues the pattern
    EXPECT_EQ(row(10, 0, 40, kRed), "############....############....#########");
    g.MoveTo(-20, 20);
    g.LineToPattern(5, 20, 0xFFFF, 2, 199);
    EXPECT_EQ(row(20, 0, 6, kRed), "..####.");

    g.SetViewport(10, 30, 20, 40);
    const TColumnSpan spans[] = {{5, 32, 34}, {12, 0, 99}, {13, 35, 35}, {11, 36, 31}};
    g.FillColumns(spans, kBlue);
    for (int y = 28; y <= 42; ++y) {
        EXPECT_EQ(Pixel(5, y), ToQColor(kWhite).rgb() & 0xFFFFFF) << y;
        EXPECT_EQ(Pixel(12, y) == (ToQColor(kBlue).rgb() & 0xFFFFFF), y >= 30 && y <= 40) << y;
        EXPECT_EQ(Pixel(13, y) == (ToQColor(kBlue).rgb() & 0xFFFFFF), y == 35) << y;
        EXPECT_EQ(Pixel(11, y) == (ToQColor(kBlue).rgb() & 0xFFFFFF), y >= 31 && y <= 36) << y;
    }
    g.FillColumns(spans, kYellow, 0x0FFF);  // columns 12 to 15 are the pattern's gap
    EXPECT_EQ(row(35, 11, 13, kYellow), "#..");
}
