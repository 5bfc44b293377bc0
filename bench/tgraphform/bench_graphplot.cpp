// The graph's per-sample work and the CSV writer.
//   PlotSample: one slice with 32 labels on a 1200 x 600 surface (erase, grid, curves, panel);
//   second argument 1: each label on its own range.
//   LogRedraw: a stopped run's plot, 1200 x 600 pixels, redrawn after a zoom or pan step with
//   32 labels of 10,000 samples each on screen (frame budget: 16 ms).
//   SaveToCsv: a full 64 MB log (8,388,608 values, 32 columns) built and written to a file;
//   before timing, the text is checked byte for byte against the same file made with printf.
#include <benchmark/benchmark.h>

#include <QDir>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <random>

#include "platform/fonts.h"
#include "tgraphform/tdaqlogdata.h"
#include "tgraphform/tgraphplot.h"
#include "ttlabelinfo/labeltable.h"

using namespace tarvik;

namespace {

constexpr int kLabels = 32;

std::vector<std::string> LabelLines()
{
    std::vector<std::string> lines;
    for (int i = 0; i < kLabels; ++i)
        lines.push_back("Signal" + std::to_string(i) + ",\"unsigned short\",,0x" + std::to_string(100 + i / 4) +
                        ",Big," + std::to_string(16 * (i % 4)) + ",16,0.1,0,0,6553.5,");
    return lines;
}

// The window's surface and painter on a -1000..10000 scale sampled every 5 ms.
struct Plot {
    static constexpr int kSampleMs = 5;
    TGraphCtrl g;
    TGraphPainter painter{g};
    Plot()
    {
        g.SetFont(WindowFont(12));
        g.SetScaleFont(WindowFont(12));
        TGraphScale s;
        s.MinYScale = -1000;
        s.MaxYScale = 10000;
        s.YPitch = 1000;
        s.SampleRate = kSampleMs;
        painter.SetScale(s);
    }
};

void BM_PlotSample(benchmark::State& state)
{
    Plot plot;
    TGraphCtrl& g = plot.g;
    TGraphPainter& painter = plot.painter;
    painter.SetOwnRanges(state.range(1) != 0);
    LabelTable labels;
    auto lines = LabelLines();
    lines.resize(std::size_t(state.range(0)));
    labels.LoadFromLines(lines, kGraphPalette);
    // The surface is the plot plus the value panel, as the window lays it out.
    painter.Redraw({2, 2, 1202 + 32 * g.CellWidth(), 602}, labels);
    TDaqLogData log(64u << 20, 5);
    std::mt19937 rng(1);
    std::uniform_real_distribution<double> v(-1500, 11000);
    for (auto _ : state) {
        for (int i = 0; i < labels.Count(); ++i)
            labels.Label(i).SetValue(v(rng));
        painter.PlotSample(labels, &log);
        benchmark::DoNotOptimize(g.Canvas().constBits());  // the refresh copies the finished image
    }
}
BENCHMARK(BM_PlotSample)->Args({0, 0})->Args({32, 0})->Args({32, 1})->Unit(benchmark::kMicrosecond)->Repetitions(7)->ReportAggregatesOnly(true);

void BM_LogRedraw(benchmark::State& state)
{
    Plot plot;
    TGraphCtrl& g = plot.g;
    TGraphPainter& painter = plot.painter;
    LabelTable labels;
    labels.LoadFromLines(LabelLines(), kGraphPalette);
    // Sized so the plot itself is 600 high and at least 1200 wide (the panel moves in
    // whole text cells, so the width comes out a few pixels more).
    TRect surface{2, 2, 1202 + 32 * g.CellWidth(), 602};
    painter.Redraw(surface, labels);
    surface.bottom += 600 - painter.PlotArea().Height();
    for (int i = 0; i < 64 && painter.PlotArea().Width() < 1200; ++i) {
        surface.right += 1200 - painter.PlotArea().Width();
        painter.Redraw(surface, labels);
    }
    painter.Redraw(surface, labels);
    if (painter.PlotArea().Width() < 1200 || painter.PlotArea().Height() != 600)
        state.SkipWithError("plot is smaller than 1200 x 600");
    // 20,000 rows of random walks; the view holds 10,000 of them.
    constexpr std::uint32_t kRows = 20000, kShown = 10000;
    TDaqLogData log(kRows * kLabels * 8, Plot::kSampleMs);
    for (int i = 0; i < kLabels; ++i)
        log.Columns.push_back("Signal" + std::to_string(i));
    std::mt19937 rng(3);
    std::normal_distribution<double> step(0, 40);
    std::vector<double> walk(kLabels);
    for (int i = 0; i < kLabels; ++i)
        walk[std::size_t(i)] = 300.0 * i;
    for (std::uint32_t r = 0; r < kRows; ++r)
        for (int i = 0; i < kLabels; ++i)
            log.Push(walk[std::size_t(i)] += step(rng));
    const TLogSamples samples = log.Samples();
    const double sweep = SweepWidth(plot.painter.Scale());
    TTimeView view{25000, 25000 + double(kShown) * Plot::kSampleMs};
    std::int64_t n = 0;
    for (auto _ : state) {
        // Alternately a pan step (a tenth of the view) and a zoom step back and forth around
        // the middle, so the view keeps 10,000 samples or (zoomed out) 12,500.
        const double mid = (view.t0 + view.t1) / 2;
        switch (n++ % 4) {
        case 0: view = PanBy(view, view.Span() / 10, samples, sweep); break;
        case 1: view = ZoomAround(view, mid, 1.25, samples, sweep); break;
        case 2: view = ZoomAround(view, mid, 0.8, samples, sweep); break;
        case 3: view = PanBy(view, -view.Span() / 10, samples, sweep); break;
        }
        painter.DrawLog(labels, samples, view);
        painter.ShowRow(labels, samples, RowAt(samples, mid));
        benchmark::DoNotOptimize(g.Canvas().constBits());
    }
    state.counters["samples_shown"] = view.Span() / Plot::kSampleMs;
    state.counters["plot_width"] = painter.PlotArea().Width();
    state.counters["plot_height"] = painter.PlotArea().Height();
}
BENCHMARK(BM_LogRedraw)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);

// A full log that has wrapped once; pushed gets every value in push order.
std::unique_ptr<TDaqLogData> FullLog(std::vector<double>& pushed)
{
    auto log = std::make_unique<TDaqLogData>(64u << 20, 5);
    for (int i = 0; i < kLabels; ++i)
        log->Columns.push_back("Signal" + std::to_string(i));
    std::mt19937_64 rng(2);
    std::normal_distribution<double> v(0, 1000);
    for (std::uint32_t i = 0; i < log->Capacity() + 1000; ++i) {
        pushed.push_back(i % 97 == 0 ? double(i) : v(rng));
        log->Push(pushed.back());
    }
    return log;
}

// The file the slow way: the last complete rows of what was pushed, one printf per field.
std::string PrintfCsv(const TDaqLogData& log, const std::vector<double>& pushed)
{
    std::string out = "time(s)";
    for (const auto& n : log.Columns)
        out += "," + n;
    out += "\r\n";
    const std::size_t c = log.Columns.size(), rows = log.Count() / c;
    std::size_t read = pushed.size() - rows * c;
    char buf[64];
    double t = 0;
    for (std::size_t r = 0; r < rows; ++r, t += log.SampleRate() * 0.001) {
        std::snprintf(buf, sizeof buf, "%5.3f", t);
        out += buf;
        for (std::size_t k = 0; k < c; ++k) {
            std::snprintf(buf, sizeof buf, ",%lg", pushed[read++]);
            out += buf;
        }
        out += "\r\n";
    }
    return out;
}

void BM_SaveToCsv(benchmark::State& state)
{
    std::vector<double> pushed;
    const auto log = FullLog(pushed);
    static bool checked = false;
    if (!checked) {
        checked = true;
        const bool same = log->BuildCsv() == PrintfCsv(*log, pushed);
        std::printf("SaveToCsv of %u values: %s printf\n", log->Count(), same ? "byte-identical to" : "DIFFERS from");
        if (!same)
            state.SkipWithError("output differs from printf");
    }
    QTemporaryDir dir;
    const QString path = QDir(dir.path()).filePath("full.csv");
    for (auto _ : state) {
        QString error;
        if (!log->SaveToCsv(path, &error))
            state.SkipWithError(error.toStdString().c_str());
    }
}
BENCHMARK(BM_SaveToCsv)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv)
{
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QGuiApplication app(argc, argv);
    InstallFontSubstitutes();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
