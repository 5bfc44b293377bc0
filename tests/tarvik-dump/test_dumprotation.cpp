// Long captures split into files: each file whole on its own, no frame lost or doubled at a
// rotation (the load model numbers its frames), and a failed write that stops the capture
// keeping the files finished before it.
#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "dumptool.h"
#include "emulator/emulatorbackend.h"
#include "emulator/loadmodel.h"
#include "support/childprocess.h"
#include "support/filesizelimit.h"
#include "support/logread.h"
#include "support/testsupport.h"
#include "support/toolrun.h"

using tarvik::TDumpOptions;

namespace {

struct Span {
    std::uint64_t first = 0, last = 0, frames = 0;
    std::string name;
};

// Every capture file in `dir`: each must read to its end without error and hold running
// numbers without a gap; sorted by the first number.
std::vector<Span> ReadCaptures(const QString& dir, const QString& ending)
{
    std::vector<Span> spans;
    for (const QString& name : QDir(dir).entryList({"*"}, QDir::Files)) {
        EXPECT_TRUE(name.endsWith(ending)) << "a file left behind: " << name.toStdString();
        const testsupport::LogPass p = testsupport::ReadLogFile(QDir(dir).filePath(name).toStdString());
        EXPECT_EQ(p.error, "") << name.toStdString();
        EXPECT_EQ(p.counts.malformed, 0u) << name.toStdString();
        Span s;
        s.name = name.toStdString();
        for (std::size_t i = 0; i < p.frames.size(); ++i) {
            const std::uint64_t n = p.frames[i].record.Data64();
            if (i == 0)
                s.first = n;
            else
                EXPECT_EQ(n, s.last + 1) << s.name << " frame " << i;
            s.last = n;
            ++s.frames;
        }
        EXPECT_GT(s.frames, 0u) << s.name << ": a file without frames";
        spans.push_back(s);
    }
    std::sort(spans.begin(), spans.end(), [](const Span& a, const Span& b) { return a.first < b.first; });
    return spans;
}

// The files continue one another from frame 0 on: returns the frames in them all.
std::uint64_t ExpectChained(const std::vector<Span>& spans)
{
    std::uint64_t next = 0, total = 0;
    for (const Span& s : spans) {
        EXPECT_EQ(s.first, next) << s.name << (s.first < next ? ": frames doubled" : ": frames lost");
        next = s.last + 1;
        total += s.frames;
    }
    return total;
}

int RunCapture(const TDumpOptions& o, double rate, std::FILE* err)
{
    auto emu = std::make_shared<tarvik::TEmulatorBackend>(std::make_unique<tarvik::TLoadModel>(rate));
    std::atomic<bool> stop{false};
    std::FILE* out = std::tmpfile();
    const int status = tarvik::RunDump(o, emu, out, err, stop);
    std::fclose(out);
    return status;
}

TDumpOptions Capture(const QTemporaryDir& dir, const char* pattern)
{
    TDumpOptions o;
    o.source = TDumpOptions::Source::Simulate;
    o.output = dir.filePath(pattern).toStdString();
    std::string error;
    std::vector<const char*> args = {"--simulate", "--output", o.output.c_str()};
    EXPECT_TRUE(tarvik::ParseDumpArgs(static_cast<int>(args.size()), args.data(), o, error)) << error;
    return o;
}

}  // namespace

TEST(DumpRotation, SizeLimitSplitsTheCaptureWithoutLosingAFrame)
{
    const struct {
        const char* pattern;
        const char* ending;
        std::uint64_t size;
    } rows[] = {
        {"cap_%H%M%S.log", ".log", 60000},
        {"cap_%H%M%S.asc", ".asc", 60000},
        {"cap_%H%M%S.trc", ".trc", 60000},
        {"cap_%H%M%S.blf", ".blf", 5000},  // a container at a time
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.pattern);
        QTemporaryDir dir;
        TDumpOptions o = Capture(dir, row.pattern);
        o.rotateSize = row.size;
        o.count = 12000;
        std::FILE* err = std::tmpfile();
        EXPECT_EQ(RunCapture(o, 20000, err), 0);
        const std::string said = testsupport::ReadAllAndClose(err);
        EXPECT_NE(said.find("12000 frames written, 0 lost"), std::string::npos) << said;
        const std::vector<Span> spans = ReadCaptures(dir.path(), row.ending);
        EXPECT_GE(spans.size(), 3u);
        EXPECT_NE(said.find(std::to_string(spans.size()) + " files finished"), std::string::npos) << said;
        EXPECT_EQ(ExpectChained(spans), 12000u);
        for (const Span& s : spans) {
            const std::string bytes = testsupport::ReadFile(QDir(dir.path()).filePath(QString::fromStdString(s.name)).toStdString());
            if (std::string(row.ending) != ".blf") {
                // Text files stop at the first record past the limit.
                EXPECT_LT(bytes.size(), row.size + 1024) << s.name;
            }
        }
    }
}

TEST(DumpRotation, TimeLimitSplitsAPacedCapture)
{
    QTemporaryDir dir;
    TDumpOptions o = Capture(dir, "t_%Y%m%d_%H%M%S.blf");
    o.rotateTime = 0.25;
    o.duration = 1.3;
    std::FILE* err = std::tmpfile();
    EXPECT_EQ(RunCapture(o, 4000, err), 0);
    const std::string said = testsupport::ReadAllAndClose(err);
    const std::vector<Span> spans = ReadCaptures(dir.path(), ".blf");
    EXPECT_GE(spans.size(), 4u) << said;
    EXPECT_LE(spans.size(), 7u) << said;
    EXPECT_GT(ExpectChained(spans), 3000u) << said;
}

TEST(DumpRotation, AFailedWriteStopsTheCaptureAndKeepsTheFinishedFiles)
{
    QTemporaryDir dir;
    const QString errPath = dir.filePath("err.txt");
    QDir(dir.path()).mkdir("cap");
    const int code = testsupport::RunInChild([&] {
        TDumpOptions o;
        o.source = TDumpOptions::Source::Simulate;
        o.output = QDir(dir.path()).filePath("cap/c_%H%M%S.log").toStdString();
        o.rotateTime = 0.2;
        // The disk fills after the third rotation: no file may grow past a few lines.
        std::optional<testsupport::FileSizeLimit> limit;
        std::thread fill([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(700));
            limit.emplace(4096);
        });
        std::FILE* err = std::fopen(errPath.toStdString().c_str(), "w");
        const int status = RunCapture(o, 2000, err);
        std::fclose(err);
        fill.join();
        return status;
    });
    EXPECT_EQ(code, 1);
    const std::string said = testsupport::ReadFile(errPath.toStdString());
    EXPECT_NE(said.find("File too large; the capture stopped"), std::string::npos) << said;
    const std::vector<Span> spans = ReadCaptures(QDir(dir.path()).filePath("cap"), ".log");
    EXPECT_GE(spans.size(), 2u) << said;
    ExpectChained(spans);
}

TEST(DumpRotation, ACaptureEndingAtARotationLeavesNoEmptyFile)
{
    QTemporaryDir dir;
    TDumpOptions o = Capture(dir, "one_%H%M%S.trc");
    o.rotateSize = 1;  // every frame fills its file
    o.count = 5;
    std::FILE* err = std::tmpfile();
    EXPECT_EQ(RunCapture(o, 2000, err), 0);
    const std::string said = testsupport::ReadAllAndClose(err);
    EXPECT_NE(said.find("5 frames written, 0 lost, 5 files finished"), std::string::npos) << said;
    const std::vector<Span> spans = ReadCaptures(dir.path(), ".trc");
    EXPECT_EQ(spans.size(), 5u);
    EXPECT_EQ(ExpectChained(spans), 5u);
}
