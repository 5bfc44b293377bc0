#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "platform/novalue.h"
#include "tgraphform/graphview.h"

using namespace tarvik;

namespace {

const double kNan = std::numeric_limits<double>::quiet_NaN();

// A two-column log whose second column holds rows (the first is noise the reduction must
// not mix in); wrapBefore earlier rows are pushed first and overwritten by the ring, whose
// odd capacity puts rows across its end.
std::unique_ptr<TDaqLogData> Log(const std::vector<double>& rows, int rate, std::size_t wrapBefore = 0)
{
    auto log = std::make_unique<TDaqLogData>(std::uint32_t((rows.size() * 2 + 1) * 8), rate);
    log->Columns = {"noise", "v"};
    for (std::size_t k = 0; k < wrapBefore + rows.size(); ++k) {
        log->Push(1e9);
        log->Push(k < wrapBefore ? -1e9 : rows[k - wrapBefore]);
    }
    return log;
}

// The plain way: every row, its column by the view's definition.
TReducedCurve Reference(const std::vector<double>& rows, int rate, const TTimeView& v, int width)
{
    TReducedCurve out;
    out.columns.resize(std::size_t(width));
    for (std::size_t k = 0; k < rows.size(); ++k) {
        const double u = (double(k) * rate - v.t0) * width / v.Span();
        const double c = std::floor(u);
        const bool finite = std::isfinite(rows[k]), prevFinite = k > 0 && std::isfinite(rows[k - 1]);
        if (c < 0) {
            out.before = {finite, u, rows[k]};
        } else if (c >= width) {
            out.after = {finite && prevFinite, u, rows[k]};
            break;
        } else if (finite) {
            TColumnRange& col = out.columns[std::size_t(c)];
            if (col.count++ == 0) {
                col.lo = col.hi = col.first = rows[k];
                col.joined = prevFinite;
            }
            col.lo = std::min(col.lo, rows[k]);
            col.hi = std::max(col.hi, rows[k]);
            col.last = rows[k];
        }
    }
    return out;
}

}  // namespace

TEST(GraphView, ColumnReductionMatchesThePlainWay)
{
    std::vector<double> wave;
    for (int k = 0; k < 200; ++k)
        wave.push_back(k == 57 ? kNan : k < 3 ? NoValue() : std::sin(k * 0.37) * 100 + k);
    const struct Case {
        const char* what;
        std::vector<double> rows;
        int rate;
        TTimeView view;
        int width;
        std::size_t wrap;
    } cases[] = {
        {"many samples per column, a NaN and no values yet", wave, 10, {0, 2000}, 7, 0},
        {"zoomed in: empty columns, samples off both edges", wave, 10, {415, 475}, 12, 0},
        {"a view inside one gap between two samples", wave, 10, {301, 309}, 4, 0},
        {"a NaN just off the left edge breaks the line in", wave, 10, {575, 700}, 5, 0},
        {"wider than the log", {1, 5, 2}, 50, {0, 1000}, 10, 0},
        {"one sample", {42}, 10, {0, 40}, 8, 0},
        {"a ring that wrapped", wave, 20, {600, 3000}, 9, 77},
        {"a view past the end", {1, 2, 3}, 10, {100, 200}, 3, 0},
    };
    for (const Case& c : cases) {
        const auto log = Log(c.rows, c.rate, c.wrap);
        std::vector<TReducedCurve> curves;
        ReduceColumns(log->Samples(), c.view, c.width, curves);
        ASSERT_EQ(curves.size(), 2u);
        const TReducedCurve& got = curves[1];
        const TReducedCurve want = Reference(c.rows, c.rate, c.view, c.width);
        ASSERT_EQ(got.columns.size(), want.columns.size()) << c.what;
        for (std::size_t i = 0; i < want.columns.size(); ++i) {
            const TColumnRange &g = got.columns[i], &w = want.columns[i];
            EXPECT_EQ(g.count, w.count) << c.what << " column " << i;
            if (w.count > 0) {
                EXPECT_TRUE(g.lo == w.lo && g.hi == w.hi && g.first == w.first && g.last == w.last &&
                            g.joined == w.joined)
                    << c.what << " column " << i;
            }
        }
        for (auto [g, w] : {std::pair{got.before, want.before}, std::pair{got.after, want.after}}) {
            EXPECT_EQ(g.valid, w.valid) << c.what;
            if (w.valid) {
                EXPECT_TRUE(g.column == w.column && g.value == w.value) << c.what;
            }
        }
    }
    // The lines the cases rely on: the gap case has no sample on screen, only its neighbours.
    std::vector<TReducedCurve> gap;
    ReduceColumns(Log(wave, 10)->Samples(), {301, 309}, 4, gap);
    EXPECT_TRUE(gap[1].before.valid && gap[1].after.valid);
}

TEST(GraphView, CursorFindsTheNearestSample)
{
    const auto log = Log(std::vector<double>(11, 1.0), 10);  // rows 0 .. 10 at 0 .. 100 ms
    const struct {
        double t;
        std::uint32_t row;
    } cases[] = {{-500, 0}, {0, 0}, {4.9, 0}, {5, 1}, {14, 1}, {99, 10}, {100, 10}, {1e12, 10}, {kNan, 0}};
    for (const auto& c : cases)
        EXPECT_EQ(RowAt(log->Samples(), c.t), std::optional<std::uint32_t>(c.row)) << c.t;
    EXPECT_EQ(RowAt(TLogSamples{}, 50), std::nullopt);
    // The middle of a column: column 3 of 10 over 0 .. 100 ms is 35 ms.
    EXPECT_DOUBLE_EQ(TimeAtColumn({0, 100}, 3, 10), 35);
}

TEST(GraphView, ZoomPanAndHomeStayOnTheLog)
{
    const auto log = Log(std::vector<double>(1001, 0.0), 10);  // 0 .. 10 s
    const TLogSamples s = log->Samples();
    const double sweep = 5000;
    const struct {
        const char* what;
        TTimeView got, want;
    } cases[] = {
        {"zoom in keeps the point", ZoomAround({2000, 4000}, 2500, 0.5, s, sweep), {2250, 3250}},
        {"zoom out keeps the point", ZoomAround({2250, 3250}, 2500, 2, s, sweep), {2000, 4000}},
        {"narrowest: four samples, still around the point", ZoomAround({2000, 4000}, 2500, 1e-6, s, sweep), {2490, 2530}},
        {"widest: the whole log", ZoomAround({2000, 4000}, 2500, 100, s, sweep), {0, 10000}},
        {"pan", PanBy({2000, 4000}, 1000, s, sweep), {3000, 5000}},
        {"pan stops at the start", PanBy({2000, 4000}, -5000, s, sweep), {0, 2000}},
        {"pan stops at the end", PanBy({2000, 4000}, 20000, s, sweep), {8000, 10000}},
        {"home", FitLog(s), {0, 10000}},
        {"after a stop: the last sweep", LatestView(s, sweep), {5000, 10000}},
        {"a log shorter than the sweep starts at 0", LatestView(Log({1, 2, 3}, 10)->Samples(), sweep), {0, 5000}},
        {"an empty log", FitLog(TLogSamples{}), {0, 4}},
    };
    for (const auto& c : cases) {
        EXPECT_NEAR(c.got.t0, c.want.t0, 1e-9) << c.what;
        EXPECT_NEAR(c.got.t1, c.want.t1, 1e-9) << c.what;
    }
}

TEST(GraphView, TimeLabelSteps)
{
    EXPECT_EQ(TimeStep(60000, 600, 50, 1000), 5000);  // 10 pixels a second: every fifth
    EXPECT_EQ(TimeTicks({150, 700}, 200), (std::vector<double>{200, 400, 600}));
    EXPECT_EQ(SecondsText(1500, 500), "1.5");
}
