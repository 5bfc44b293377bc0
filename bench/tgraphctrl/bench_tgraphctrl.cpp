// A full page of monitor lines drawn on the text surface, as one redraw of a monitor window.
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <cstdlib>
#include <vector>

#include "platform/fonts.h"
#include "subfuncs/subfuncs.h"
#include "tgraphctrl/tgraphctrl.h"

namespace {

void BM_FullPageOfLines(benchmark::State& state)
{
    tarvik::TGraphCtrl g;
    g.SetFont(tarvik::WindowFont(12));
    g.SetScaleFont(tarvik::WindowFont(12));
    g.SetTextColor(tarvik::RGBColor(0, 0, 0), tarvik::RGBColor(255, 255, 255));
    // The text area of a monitor window under a main window on a 1080-line desktop.
    g.SetSize({0, 0, 387, 760});
    tarvik::TCellExtent e;
    g.GetCellExtent(e);
    std::vector<tarvik::AdapterRecord> recs(e.rows);
    for (int i = 0; i < e.rows; ++i) {
        auto& r = recs[std::size_t(i)].bytes;
        r[2] = 8;
        r[5] = std::uint8_t(i >> 8);
        r[6] = std::uint8_t(i);
        for (int k = 7; k < 15; ++k)
            r[std::size_t(k)] = std::uint8_t(i * k);
        r[18] = std::uint8_t(i);
    }
    for (auto _ : state) {
        g.Clear();
        for (int i = 0; i < e.rows; ++i) {
            g.Locate(i + 1, 1);
            g.Print(QString::fromStdString(tarvik::FrameToText(recs[std::size_t(i)])));
        }
        benchmark::DoNotOptimize(g.Canvas().constBits());
    }
    state.counters["lines"] = e.rows;
}
BENCHMARK(BM_FullPageOfLines)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv)
{
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QGuiApplication app(argc, argv);
    tarvik::InstallFontSubstitutes();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
