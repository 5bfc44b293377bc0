// BLF and TRC logs of this program held against python-can's readers, and python-can's
// writers' logs read back here.
#include <gtest/gtest.h>

#include <QString>
#include <string>
#include <vector>

#include "logformats/tracefile.h"
#include "platform/atomicfile.h"
#include "support/logread.h"
#include "support/logrecords.h"
#include "support/pythoncan.h"
#include "support/testsupport.h"

using tarvik::AdapterRecord;
using tarvik::TLogLine;
using tarvik::TTraceFormat;
using testsupport::FrameLine;
using testsupport::RunPython;
using testsupport::TraceRecord;

namespace {

// Standard and extended frames of every length, received and transmitted, a remote frame,
// a LIN frame (left out) and a tick counter that wraps on the way.
std::vector<AdapterRecord> InteropRecords()
{
    std::vector<AdapterRecord> recs;
    std::uint32_t tick = 0xFFFFFF00u;
    for (int n = 0; n <= 8; ++n) {
        AdapterRecord s = AdapterRecord::Can(0x100u + n, false, n, nullptr,
                                             n % 2 ? tarvik::kCanTransmitted : tarvik::kCanReceived);
        AdapterRecord e = AdapterRecord::Can(0x18DA0000u + n, true, n, nullptr,
                                             n % 3 ? tarvik::kCanReceived : tarvik::kCanTransmitted);
        for (int i = 0; i < n; ++i) {
            s.SetData(i, static_cast<std::uint8_t>(0x10 * n + i));
            e.SetData(i, static_cast<std::uint8_t>(0xF0 - i));
        }
        recs.push_back(s.SetTimeStamp(tick += 37));
        recs.push_back(e.SetTimeStamp(tick += 1));
    }
    recs.push_back(AdapterRecord::CanRemote(0x321, false, 2).SetTimeStamp(tick += 100));
    recs.push_back(TraceRecord(tarvik::kLinReceived, 0x12, false, {0xA1}, tick += 5));
    recs.push_back(AdapterRecord::Can(0x7FF, false, 1, nullptr).SetData(0, 0x5A).SetTimeStamp(tick += 12345));
    return recs;
}

// The listing the python reader must print: absolute times for BLF, from the first for TRC
// (python-can reads no start time there), and no remote frame for TRC (its reader takes none).
std::string Expected(const std::vector<AdapterRecord>& recs, std::int64_t opened, bool blf)
{
    std::string s;
    std::int64_t ticks = 0, first = 0;
    std::uint32_t last = 0;
    bool started = false;
    for (const AdapterRecord& r : recs) {
        ticks = started ? ticks + static_cast<std::int32_t>(r.TimeStamp() - last) : r.TimeStamp();
        if (!started)
            first = ticks;
        started = true;
        last = r.TimeStamp();
        if (!r.IsCan() || (!blf && r.Remote()))
            continue;
        tarvik::TLogFrame f;
        const std::int64_t us = blf ? opened + ticks * 100 : (ticks - first) * 100;
        f.seconds = us / 1'000'000;
        f.nanoseconds = static_cast<std::int32_t>(us % 1'000'000 * 1000);
        f.record = r;
        s += FrameLine(f, 0);
    }
    return s;
}

std::string Save(const std::string& name, TTraceFormat format, const std::vector<AdapterRecord>& recs,
                 std::int64_t opened)
{
    const std::string path = testsupport::BinaryDir() + "/" + name;
    QString error;
    tarvik::TTraceCounts counts;
    EXPECT_TRUE(tarvik::SaveTrace(QString::fromStdString(path), format, recs, opened, &counts, &error))
        << error.toStdString();
    EXPECT_EQ(counts.linLeftOut, 1u);
    return path;
}

}  // namespace

TEST(BinaryLogInterop, IndependentReaderSeesTheSameFrames)
{
    const std::int64_t opened = 1436509052249713;
    const std::vector<AdapterRecord> recs = InteropRecords();
    const std::string blf = Save("interop-out.blf", TTraceFormat::Blf, recs, opened);
    EXPECT_EQ(RunPython(testsupport::kPythonDumpLog, {QString::fromStdString(blf), "blf", "abs", "remote"}),
              Expected(recs, opened, true));
    const std::string trc = Save("interop-out.trc", TTraceFormat::Trc, recs, opened);
    EXPECT_EQ(RunPython(testsupport::kPythonDumpLog, {QString::fromStdString(trc), "trc", "rel", "remote"}),
              Expected(recs, opened, false));

    // And this program reads its own files back with the absolute times kept.
    for (const std::string& path : {blf, trc}) {
        const testsupport::LogPass p = testsupport::ReadLogFile(path);
        EXPECT_EQ(p.error, "");
        std::string got;
        ASSERT_FALSE(p.frames.empty());
        const std::int64_t first = path == blf ? 0 : p.frames[0].seconds * 1'000'000'000 + p.frames[0].nanoseconds;
        for (std::size_t i = 0; i < p.frames.size(); ++i)
            if (path == blf || p.kinds[i] != TLogLine::RemoteFrame)
                got += FrameLine(p.frames[i], first);
        EXPECT_EQ(got, Expected(recs, opened, path == blf)) << path;
    }
}

TEST(BinaryLogInterop, LogsFromTheIndependentWritersReadBack)
{
    const std::string blf = testsupport::BinaryDir() + "/interop-in.blf";
    const std::string trc = testsupport::BinaryDir() + "/interop-in.trc";
    const std::string want = RunPython(testsupport::kPythonWriteBinaryLogs, {QString::fromStdString(blf),
                                                                             QString::fromStdString(trc)});
    ASSERT_EQ(want.rfind("python", 0), std::string::npos) << want;
    for (const std::string& path : {blf, trc}) {
        const testsupport::LogPass p = testsupport::ReadLogFile(path);
        EXPECT_EQ(p.error, "") << path;
        EXPECT_EQ(p.format, path == blf ? tarvik::TLogFormat::Blf : tarvik::TLogFormat::Trc);
        std::string got;
        ASSERT_FALSE(p.frames.empty()) << path;
        const std::int64_t first = p.frames[0].seconds * 1'000'000'000 + p.frames[0].nanoseconds;
        for (std::size_t i = 0; i < p.frames.size(); ++i)
            if (p.kinds[i] == TLogLine::Frame)
                got += FrameLine(p.frames[i], first);
        EXPECT_EQ(got, want) << path;
        EXPECT_EQ(p.counts.malformed, 0u) << path;
        if (path == blf) {
            EXPECT_EQ(p.counts.fdFrames, 1u);
            EXPECT_EQ(p.counts.errorFrames, 1u);
            EXPECT_EQ(p.counts.remoteFrames, 1u);
            EXPECT_EQ(p.counts.otherKinds, 1u);  // the marker
            ASSERT_EQ(p.kinds.back(), TLogLine::RemoteFrame);
            EXPECT_EQ(p.frames.back().record.CanId(), 0x201u);
            EXPECT_EQ(p.frames.back().record.Length(), 3);
        }
    }
}
