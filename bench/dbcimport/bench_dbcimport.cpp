// ImportDbc on the largest files of the shared corpus, text already in memory.
//   bench_dbcimport [--benchmark_filter=...]      corpus from $TARVIK_DBC_DIR or ../shared/dbc
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "ttlabelinfo/dbcimport.h"

namespace fs = std::filesystem;

namespace {

std::string CorpusDir()
{
    if (const char* d = std::getenv("TARVIK_DBC_DIR"))
        return d;
    for (const char* rel : {"/../shared/dbc", "/../../shared/dbc"}) {
        std::error_code ec;
        if (fs::is_directory(std::string(TARVIK_SOURCE_DIR) + rel, ec))
            return std::string(TARVIK_SOURCE_DIR) + rel;
    }
    return {};
}

std::string Read(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void BM_ImportDbc(benchmark::State& state, const std::string& text)
{
    std::size_t lines = 0;
    for (auto _ : state) {
        auto out = tarvik::ImportDbc(text);
        lines = out.size();
        benchmark::DoNotOptimize(out);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(text.size()));
    state.counters["labels"] = static_cast<double>(lines);
    state.counters["MB"] = static_cast<double>(text.size()) / 1e6;
}

void BM_FormatGeneralDecimal(benchmark::State& state)
{
    const double values[] = {0.01, -40, 655.35, 0.000001, 0.125, 16383, 1.84467440737096e19, 0.1};
    std::size_t i = 0;
    for (auto _ : state) {
        auto s = tarvik::FormatGeneralDecimal(values[i++ & 7]);
        benchmark::DoNotOptimize(s);
    }
}
BENCHMARK(BM_FormatGeneralDecimal);

}  // namespace

int main(int argc, char** argv)
{
    const std::string dir = CorpusDir();
    std::vector<std::pair<std::uintmax_t, fs::path>> files;
    if (!dir.empty())
        for (const auto& e : fs::recursive_directory_iterator(dir))
            if (e.is_regular_file() && e.path().extension() == ".dbc")
                files.emplace_back(e.file_size(), e.path());
    std::sort(files.rbegin(), files.rend());
    if (files.size() > 4)
        files.resize(4);
    static std::vector<std::string> texts;  // outlive the registered benchmarks
    texts.reserve(files.size());
    for (const auto& [size, path] : files) {
        texts.push_back(Read(path));
        benchmark::RegisterBenchmark(("ImportDbc/" + path.filename().string()).c_str(),
                                     BM_ImportDbc, texts.back())
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
