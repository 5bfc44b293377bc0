// Traces through the real executables: the emulator tool's vehicle recorded by tarvik-dump,
// replayed and saved by tarvik twice over; logs from an independent writer replayed, saved and
// read back by that writer's reader.
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "support/emuprocess.h"
#include "support/process.h"
#include "support/pythoncan.h"
#include "support/testsupport.h"

namespace {

using testsupport::Ran;

Ran Start(const QString& exe, const QStringList& args, const QString& stdoutFile = {}, bool headless = false)
{
    return testsupport::RunProcess(exe, args, {.stdoutFile = stdoutFile, .offscreen = true, .headless = headless});
}

class TraceThroughPrograms : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        // A copy of the program in a folder of its own keeps its settings file there.
        ASSERT_TRUE(QFile::copy(QString::fromStdString(testsupport::BinaryDir()) + "/tarvik", Tarvik()));
    }
    QString Tarvik() const { return dir.filePath("tarvik"); }
    QString Path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }
    std::string Text(const char* name) const { return testsupport::ReadFile(Path(name).toStdString()); }
    // tarvik plays `in` as fast as it reads and saves what it received as `out`.
    Ran ReplayAndSave(const char* in, const char* out) const
    {
        return Start(Tarvik(), {"--replay", Path(in), "--fast", "--save", Path(out)}, {}, /*headless*/ true);
    }

    QTemporaryDir dir;
};

std::string FromMeasurementOn(const std::string& asc)
{
    const auto at = asc.find("Start of measurement");
    return at == std::string::npos ? std::string("no ASC body") : asc.substr(at);
}

}  // namespace

TEST_F(TraceThroughPrograms, VehicleRecordedReplayedAndSavedAgainKeepsEveryFrameAndTime)
{
    const struct {
        const char* format;
        const char* first;
        const char* second;
        const char* third;
    } formats[] = {{"candump", "first.log", "second.log", "third.log"}, {"asc", "first.asc", "second.asc", "third.asc"}};
    for (const auto& f : formats) {
        SCOPED_TRACE(f.format);
        testsupport::EmuProcess emu;
        ASSERT_TRUE(emu.Start({"--model", "vehicle"}));
        const Ran dump = Start(TARVIK_DUMP_EXE, {"--port", QString::fromStdString(emu.FirstLine()), "--format",
                                                f.format, "-n", "1500"},
                               Path(f.first));
        ASSERT_EQ(dump.code, 0) << dump.err;
        ASSERT_NE(dump.err.find("1500 frames written, 0 lost"), std::string::npos) << dump.err;

        for (const auto& [in, out] : {std::pair{f.first, f.second}, std::pair{f.second, f.third}}) {
            const Ran r = ReplayAndSave(in, out);
            EXPECT_EQ(r.code, 0) << r.err;
            EXPECT_NE(r.out.find("1500 frames written to " + Path(out).toStdString()), std::string::npos) << r.out;
        }
        const std::string first = Text(f.first);
        ASSERT_FALSE(first.empty());
        if (std::string(f.format) == "candump") {
            EXPECT_EQ(std::count(first.begin(), first.end(), '\n'), 1500);
            EXPECT_EQ(Text(f.second), first) << "same frames, order and times to the microsecond";
            EXPECT_EQ(Text(f.third), first);
        } else {
            // The header is dated when the bus opened; the measurement itself must not change.
            EXPECT_EQ(FromMeasurementOn(Text(f.second)), FromMeasurementOn(first));
            EXPECT_EQ(FromMeasurementOn(Text(f.third)), FromMeasurementOn(first));
        }
    }
}

// What a replay cannot play is named, and the rest arrives as the independent writer wrote
// it: its own reader finds the same frames in what tarvik saved.
TEST_F(TraceThroughPrograms, IndependentLogsReplayedAndSavedReadBackTheSame)
{
    ASSERT_EQ(testsupport::RunPython(testsupport::kPythonWriteLogs, {Path("in.log"), Path("in.asc")}), "");
    const struct {
        const char* in;
        const char* out;
        const char* kind;
        const char* times;
    } cases[] = {{"in.log", "out.log", "log", "abs"}, {"in.asc", "out.asc", "asc", "rel"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.in);
        const Ran r = ReplayAndSave(c.in, c.out);
        EXPECT_EQ(r.code, 0) << r.err;
        EXPECT_NE(r.err.find("left out of the replay: 1 CAN FD frame, 1 error frame, 1 remote frame"), std::string::npos) << r.err;
        EXPECT_NE(r.out.find("4 frames written"), std::string::npos) << r.out;
        std::string wrote = testsupport::RunPython(testsupport::kPythonDumpLog, {Path(c.in), c.kind, c.times});
        for (std::string::size_type at; (at = wrote.find("skip\n")) != std::string::npos;) wrote.erase(at, 5);
        EXPECT_EQ(std::count(wrote.begin(), wrote.end(), '\n'), 4) << wrote;
        const std::string saved = testsupport::RunPython(testsupport::kPythonDumpLog, {Path(c.out), c.kind, c.times});
        // The adapter stamps in 0.1 ms ticks: times agree to the tick, everything else exactly.
        std::istringstream a(wrote), b(saved);
        std::string la, lb;
        int lines = 0;
        while (std::getline(a, la) && std::getline(b, lb)) {
            ++lines;
            const auto sa = la.find(' '), sb = lb.find(' ');
            EXPECT_EQ(la.substr(sa), lb.substr(sb));
            EXPECT_NEAR(std::stod(la.substr(0, sa)), std::stod(lb.substr(0, sb)), 0.0001) << la << " | " << lb;
        }
        EXPECT_EQ(lines, 4) << saved;
        EXPECT_FALSE(std::getline(b, lb)) << "more frames saved than written: " << lb;
    }
}

TEST_F(TraceThroughPrograms, SaveThatCannotBeWrittenEndsWithTheReasonAndStatusOne)
{
    ASSERT_EQ(testsupport::RunPython("import can\nw = can.CanutilsLogWriter('" + Path("in.log").toStdString() +
                                         "')\nw.on_message_received(can.Message(arbitration_id=1, data=b'\\x01'))\nw.stop()\n",
                                     {}),
              "");
    const Ran r = Start(Tarvik(), {"--replay", Path("in.log"), "--fast", "--save", Path("no/such/dir/out.log")});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("Cannot write " + Path("no/such/dir/out.log").toStdString() + " : "), std::string::npos) << r.err;
    EXPECT_EQ(Start(Tarvik(), {"--save", Path("out.log")}).code, 2) << "--save belongs to a replay";
}

// A log longer than the history is not saved cut short and called whole.
TEST_F(TraceThroughPrograms, ALogLongerThanTheHistoryIsNotSavedCutShort)
{
    constexpr int kFrames = 1'000'000 + 25;
    {
        QFile f(Path("long.log"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        std::string text;
        text.reserve(std::size_t(kFrames) * 34);
        char line[64];
        for (int i = 0; i < kFrames; ++i)
            text.append(line, std::size_t(std::snprintf(line, sizeof line, "(1700000000.%06d) can0 123#%02X R\n",
                                                        i % 1000000, i & 0xFF)));
        ASSERT_EQ(f.write(text.data(), qint64(text.size())), qint64(text.size()));
    }
    const Ran r = ReplayAndSave("long.log", "out.log");
    EXPECT_EQ(r.code, 1) << r.err;
    EXPECT_NE(r.err.find("brought 1000025 frames, 25 more than the history keeps; nothing was saved"), std::string::npos)
        << r.err;
    EXPECT_FALSE(QFile::exists(Path("out.log")));
}

// A capture written as BLF by tarvik-dump, replayed and saved as TRC, that replayed and saved
// as BLF again: python-can reads the same frames at the same absolute times in both BLF files.
TEST_F(TraceThroughPrograms, BlfCaptureConvertedToTrcAndBackKeepsFramesAndTimes)
{
    testsupport::EmuProcess emu;
    ASSERT_TRUE(emu.Start({"--model", "vehicle"}));
    const Ran dump = Start(TARVIK_DUMP_EXE, {"--port", QString::fromStdString(emu.FirstLine()), "--output",
                                            Path("first.blf"), "-n", "1500"});
    ASSERT_EQ(dump.code, 0) << dump.err;
    ASSERT_NE(dump.err.find("1500 frames written, 0 lost, 1 file finished"), std::string::npos) << dump.err;
    for (const auto& [in, out] : {std::pair{"first.blf", "second.trc"}, std::pair{"second.trc", "third.blf"}}) {
        const Ran r = ReplayAndSave(in, out);
        EXPECT_EQ(r.code, 0) << r.err;
        EXPECT_NE(r.out.find("1500 frames written to " + Path(out).toStdString()), std::string::npos) << r.out;
    }
    const std::string first = testsupport::RunPython(testsupport::kPythonDumpLog, {Path("first.blf"), "blf", "abs", "remote"});
    EXPECT_EQ(std::count(first.begin(), first.end(), '\n'), 1500) << first.substr(0, 200);
    EXPECT_EQ(testsupport::RunPython(testsupport::kPythonDumpLog, {Path("third.blf"), "blf", "abs", "remote"}), first);
    const std::string trc = testsupport::RunPython(testsupport::kPythonDumpLog, {Path("second.trc"), "trc", "rel", "remote"});
    EXPECT_EQ(trc, testsupport::RunPython(testsupport::kPythonDumpLog, {Path("first.blf"), "blf", "rel", "remote"}));
}
