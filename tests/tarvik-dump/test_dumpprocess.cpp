// The real executables: tarvik-dump against the emulator on a pseudo-terminal, signals,
// a killed adapter, and the pipe into tarvik-labels.
#include <algorithm>
#include <gtest/gtest.h>

#include <QProcess>
#include <chrono>
#include <csignal>
#include <string>
#include <thread>
#include <vector>

#include "support/emuprocess.h"
#include "support/process.h"
#include "logformats/candumplog.h"
#include "support/testsupport.h"

namespace {

using Clock = std::chrono::steady_clock;

// Every line a candump frame carrying the load model's running number, in order from 0.
std::uint64_t CheckLoadSequence(const std::string& out, std::string* problem)
{
    std::uint64_t expect = 0;
    std::size_t from = 0;
    while (from < out.size()) {
        const std::size_t nl = out.find('\n', from);
        const std::string_view line(out.data() + from, (nl == std::string::npos ? out.size() : nl) - from);
        from = nl == std::string::npos ? out.size() : nl + 1;
        tarvik::TLogFrame f;
        if (tarvik::ParseCandumpLine(line, f) != tarvik::TLogLine::Frame) {
            *problem = "not a frame: " + std::string(line);
            return expect;
        }
        if (f.record.Data64() != expect) {
            *problem = "frame " + std::to_string(expect) + " missing";
            return expect;
        }
        ++expect;
    }
    return expect;
}

// The same scripts against the native adapter and a serial-line CAN adapter, each emulated
// on a pty and spoken to in its own language.
class DumpProcess : public ::testing::TestWithParam<const char*> {
protected:
    std::vector<std::string> EmuArgs(std::vector<std::string> model) const
    {
        model.insert(model.begin(), {"--protocol", GetParam()});
        return model;
    }
    QStringList DumpArgs(const std::string& port, QStringList more = {}) const
    {
        return QStringList{"--protocol", GetParam(), "--port", QString::fromStdString(port)} + more;
    }
};

}  // namespace

INSTANTIATE_TEST_SUITE_P(Adapters, DumpProcess, ::testing::Values("native", "slcan"));

TEST_P(DumpProcess, LoadOfFifteenThousandPerSecondArrivesWholeAndStopsOnSigint)
{
    testsupport::EmuProcess emu;
    ASSERT_TRUE(emu.Start(EmuArgs({"--model", "load", "15000"})));
    QProcess dump;
    dump.start(TARVIK_DUMP_EXE, DumpArgs(emu.FirstLine()));
    ASSERT_TRUE(dump.waitForStarted(10000));
    // Until 30000 lines have come out (2 s at the full rate), however long a loaded machine
    // takes; what counts is that they arrive whole, not how fast.
    std::string out;
    std::size_t lines = 0;
    const auto until = Clock::now() + std::chrono::seconds(60);
    while (lines <= 30000 && Clock::now() < until && dump.state() == QProcess::Running) {
        dump.waitForReadyRead(100);
        const std::string more = dump.readAllStandardOutput().toStdString();
        lines += std::size_t(std::count(more.begin(), more.end(), '\n'));
        out += more;
    }
    const auto asked = Clock::now();
    ::kill(static_cast<pid_t>(dump.processId()), SIGINT);
    ASSERT_TRUE(dump.waitForFinished(10000));
    const auto took = Clock::now() - asked;
    out += dump.readAllStandardOutput().toStdString();
    const std::string err = dump.readAllStandardError().toStdString();
    EXPECT_EQ(dump.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(dump.exitCode(), 0) << err;
    EXPECT_LT(took, std::chrono::seconds(5)) << "SIGINT ends the run at once";

    std::string problem;
    const std::uint64_t frames = CheckLoadSequence(out, &problem);
    EXPECT_TRUE(problem.empty()) << problem;
    EXPECT_GT(frames, 30000u) << "the run was ended before 30000 whole frames came out";
    EXPECT_NE(err.find("tarvik-dump: " + std::to_string(frames) + " frames written, 0 lost"), std::string::npos)
        << err;

    emu.Signal(SIGINT);
    EXPECT_NE(emu.Wait(), -1);
}

TEST_P(DumpProcess, KilledAdapterEndsWithTheUsbErrorAndStatusOne)
{
    testsupport::EmuProcess emu;
    ASSERT_TRUE(emu.Start(EmuArgs({"--model", "vehicle"})));
    QProcess dump;
    dump.start(TARVIK_DUMP_EXE, DumpArgs(emu.FirstLine()));
    ASSERT_TRUE(dump.waitForStarted(10000));
    ASSERT_TRUE(dump.waitForReadyRead(10000)) << "no frame arrived";
    emu.Signal(SIGKILL);
    EXPECT_NE(emu.Wait(), -1);
    ASSERT_TRUE(dump.waitForFinished(15000));
    const std::string err = dump.readAllStandardError().toStdString();
    EXPECT_EQ(dump.exitCode(), 1) << err;
    EXPECT_NE(err.find("USB Device Error : "), std::string::npos) << err;
}

TEST_P(DumpProcess, LeavesTheAdapterOffBus)
{
    QProcess emu;
    emu.start(TARVIK_EMU_PATH, {"--protocol", GetParam(), "--model", "vehicle"});
    ASSERT_TRUE(emu.waitForReadyRead(10000));
    const std::string path = QString::fromUtf8(emu.readLine()).trimmed().toStdString();
    const testsupport::Ran dump = testsupport::RunProcess(TARVIK_DUMP_EXE, DumpArgs(path, {"-n", "20"}));
    EXPECT_EQ(dump.code, 0) << dump.err;
    emu.terminate();
    ASSERT_TRUE(emu.waitForFinished(10000));
    // The emulator's exit report says whether the host took it off bus.
    const QByteArray report = emu.readAllStandardError();
    EXPECT_TRUE(report.contains("off bus at exit")) << report.toStdString();
}

TEST(DumpPipe, PipesIntoTheLabelTool)
{
#if defined(__SANITIZE_THREAD__)
    // Its fork leaves ThreadSanitizer blind to the locks of the emulator threads that later
    // tests start in this process, which it then reports as races.
    GTEST_SKIP() << "a forked copy of a threaded process is beyond what ThreadSanitizer follows";
#endif
    QProcess dump, labels;
    dump.setStandardOutputProcess(&labels);
    dump.start(TARVIK_DUMP_EXE, {"--simulate", "-n", "300"});
    labels.start(TARVIK_LABELS_EXE,
                 {"decode", QString::fromStdString(testsupport::SourceDir() + "/examples/vehicle-labels.txt")});
    ASSERT_TRUE(dump.waitForFinished(30000));
    ASSERT_TRUE(labels.waitForFinished(30000));
    EXPECT_EQ(dump.exitCode(), 0) << dump.readAllStandardError().toStdString();
    EXPECT_EQ(labels.exitCode(), 0) << labels.readAllStandardError().toStdString();
    const QList<QByteArray> rows = labels.readAllStandardOutput().split('\n');
    ASSERT_GT(rows.size(), 10);
    EXPECT_TRUE(rows[0].startsWith("time(s),"));
    EXPECT_TRUE(rows[1].startsWith("0.0")) << rows[1].toStdString();
}
