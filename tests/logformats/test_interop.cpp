// The logs this program writes, held against an independent reader (python-can), and the
// logs that reader's writers make, read back here.
#include <gtest/gtest.h>

#include <QStringList>
#include <cstdio>
#include <string>
#include <vector>

#include "emulator/adapteremulator.h"
#include "emulator/replaymodel.h"
#include "logformats/logsource.h"
#include "logformats/tracefile.h"
#include "support/logrecords.h"
#include "support/process.h"
#include "support/pythoncan.h"
#include "support/testsupport.h"

using tarvik::AdapterRecord;
using tarvik::TTraceFormat;
using testsupport::RunPython;
using testsupport::TraceRecord;

namespace {

std::string Canonical(const std::vector<AdapterRecord>& recs, std::int64_t opened, TTraceFormat format)
{
    std::string s;
    std::int64_t first = -1;
    for (const AdapterRecord& r : recs) {
        if (!r.IsCan())
            continue;
        const std::int64_t ticks = r.TimeStamp();
        if (first < 0)
            first = ticks;
        const std::int64_t us = format == TTraceFormat::Candump ? opened + ticks * 100 : (ticks - first) * 100;
        char line[128];
        std::string data = r.Remote() ? "R" : "";
        for (int i = 0; i < (r.Remote() ? 0 : r.Length()); ++i) {
            char b[3];
            std::snprintf(b, sizeof b, "%02X", r.Data(i));
            data += b;
        }
        std::snprintf(line, sizeof line, "%lld.%06lld %X %d %s %d %s\n", static_cast<long long>(us / 1000000),
                      static_cast<long long>(us % 1000000), r.CanId(), r.Extended() ? 1 : 0,
                      r.IsTransmitted() ? "Tx" : "Rx", r.Length(), data.c_str());
        s += line;
    }
    return s;
}

const std::vector<AdapterRecord> kRecords = {
    TraceRecord(tarvik::kCanReceived, 0x123, false, {0x11, 0x22}, 12),
    TraceRecord(tarvik::kCanTransmitted, 0x18FEF100, true, {1, 2, 3, 4, 5, 6, 7, 8}, 13),
    TraceRecord(tarvik::kLinReceived, 0x12, false, {0xA1}, 20),
    TraceRecord(tarvik::kCanReceived, 0x7FF, false, {}, 10012),
    TraceRecord(tarvik::kCanReceived, 0x0, true, {0xFF}, 123456789),
    TraceRecord(tarvik::kCanTransmitted, 0x001, false, {0, 0, 0}, 123456790),
    TraceRecord(tarvik::kCanReceived, 0x321 | tarvik::kRemoteFlag, false, {}, 123456800, 2),
};

}  // namespace

TEST(LogInterop, IndependentReaderSeesTheSameFrames)
{
    const std::int64_t opened = 1436509052249713;
    for (TTraceFormat format : {TTraceFormat::Candump, TTraceFormat::Asc}) {
        const bool candump = format == TTraceFormat::Candump;
        const std::string path = testsupport::BinaryDir() + (candump ? "/interop-out.log" : "/interop-out.asc");
        const std::string text = tarvik::FormatTrace(format, kRecords, opened);
        QString error;
        ASSERT_TRUE(tarvik::SaveFileAtomically(QString::fromStdString(path), text.data(),
                                               static_cast<std::int64_t>(text.size()), &error));
        EXPECT_EQ(RunPython(testsupport::kPythonDumpLog, {QString::fromStdString(path), candump ? "log" : "asc", "abs", "remote"}),
                  Canonical(kRecords, opened, format))
            << text;
    }
}

TEST(LogInterop, LogsFromTheIndependentWritersReadBack)
{
    const std::string logPath = testsupport::BinaryDir() + "/interop-in.log";
    const std::string ascPath = testsupport::BinaryDir() + "/interop-in.asc";
    ASSERT_EQ(RunPython(testsupport::kPythonWriteLogs, {QString::fromStdString(logPath), QString::fromStdString(ascPath)}), "");

    struct Want {
        std::int64_t micros;  // from the first message
        std::uint32_t key;
        bool tx;
        std::uint64_t data;
        int length;
    };
    const Want want[] = {
        {0, 0x123, false, 0x1122000000000000ull, 2},
        {249900, 0x98FEF100, true, 0x0102030405060708ull, 8},
        {999900, 0x7FF, false, 0, 0},
        {1999901, 0x80000005, false, 0xAB00000000000000ull, 1},
    };
    for (const std::string& path : {logPath, ascPath}) {
        std::string error;
        std::FILE* f = tarvik::OpenLogFile(path, &error);
        ASSERT_NE(f, nullptr) << error;
        tarvik::TLogSource src(f, path);
        tarvik::TLogFrame frame;
        tarvik::TLogLine kind;
        std::vector<tarvik::TLogFrame> frames;
        while (src.Next(frame, kind)) {
            EXPECT_NE(kind, tarvik::TLogLine::Malformed) << path << " line " << src.LineNumber();
            if (kind == tarvik::TLogLine::Frame)
                frames.push_back(frame);
        }
        std::fclose(f);
        EXPECT_TRUE(src.Error().empty()) << src.Error();
        EXPECT_EQ(src.Counts().fdFrames, 1u) << path;
        EXPECT_EQ(src.Counts().errorFrames, 1u) << path;
        EXPECT_EQ(src.Counts().remoteFrames, 1u) << path;
        ASSERT_EQ(frames.size(), std::size(want)) << path;

        // And replayed as the bus: the same frames, stamped with their times since the first.
        std::string error2;
        auto model = tarvik::TReplayModel::Open(path, true, 1.0, &error2);
        ASSERT_NE(model, nullptr) << error2;
        EXPECT_EQ(model->SkippedText(), "1 CAN FD frame, 1 error frame, 1 remote frame") << path;
        tarvik::AdapterEmulator emu(std::move(model), 0);
        const std::string on = "\x02N\x03";
        emu.Feed(on.data(), on.size(), 0);
        emu.Advance(0);
        std::vector<AdapterRecord> played;
        for (std::size_t at = 0; at + tarvik::kRecordSize <= emu.OutputSize(); at += tarvik::kRecordSize) {
            const AdapterRecord r = AdapterRecord::From(emu.OutputData() + at);
            if (r.IsCan())
                played.push_back(r);
        }
        ASSERT_EQ(played.size(), std::size(want)) << path;
        for (std::size_t i = 0; i < played.size(); ++i) {
            EXPECT_EQ(played[i].TimeStamp(), std::uint32_t(want[i].micros / 100)) << path << " #" << i;
            EXPECT_EQ(played[i].FrameKey(), want[i].key) << path << " #" << i;
            EXPECT_EQ(played[i].IsTransmitted(), want[i].tx) << path << " #" << i;
            EXPECT_EQ(played[i].Data64(), want[i].data) << path << " #" << i;
        }
        for (std::size_t i = 0; i < frames.size(); ++i) {
            EXPECT_EQ(frames[i].Micros() - frames[0].Micros(), want[i].micros) << path << " #" << i;
            EXPECT_EQ(frames[i].record.FrameKey(), want[i].key) << path << " #" << i;
            EXPECT_EQ(frames[i].record.IsTransmitted(), want[i].tx) << path << " #" << i;
            EXPECT_EQ(frames[i].record.Data64(), want[i].data) << path << " #" << i;
            EXPECT_EQ(frames[i].record.Length(), want[i].length) << path << " #" << i;
        }
    }
}

// can-utils' converters turn each of our logs into the other format; both must still hold
// the same frames at the same times.
TEST(LogInterop, CanUtilsConvertersKeepTheFrames)
{
    const std::int64_t opened = 1436509052249713;
    auto frames = [](const std::string& path) {
        std::vector<std::string> out;
        std::string error;
        std::FILE* f = tarvik::OpenLogFile(path, &error);
        if (!f)
            return std::vector<std::string>{error};
        tarvik::TLogSource src(f, path);
        tarvik::TLogFrame frame;
        tarvik::TLogLine kind;
        std::int64_t first = -1;
        while (src.Next(frame, kind)) {
            if (kind != tarvik::TLogLine::Frame || !frame.record.IsCan())
                continue;
            if (first < 0)
                first = frame.Micros();
            char line[96];
            std::snprintf(line, sizeof line, "%lld %08X %d %d %016llX", static_cast<long long>(frame.Micros() - first),
                          frame.record.FrameKey(), frame.record.IsTransmitted() ? 1 : 0, frame.record.Length(),
                          static_cast<unsigned long long>(frame.record.Data64()));
            out.push_back(line);
        }
        std::fclose(f);
        return out;
    };
    const std::string dir = testsupport::BinaryDir();
    for (TTraceFormat format : {TTraceFormat::Candump, TTraceFormat::Asc}) {
        const bool candump = format == TTraceFormat::Candump;
        const std::string ours = dir + (candump ? "/interop-cu.log" : "/interop-cu.asc");
        const std::string theirs = dir + (candump ? "/interop-cu-conv.asc" : "/interop-cu-conv.log");
        const std::string text = tarvik::FormatTrace(format, kRecords, opened);
        ASSERT_TRUE(tarvik::SaveFileAtomically(QString::fromStdString(ours), text.data(),
                                               static_cast<std::int64_t>(text.size()), nullptr));
        QStringList args{"-I", QString::fromStdString(ours), "-O", QString::fromStdString(theirs)};
        if (candump)
            args << "can0";
        const testsupport::Ran r = testsupport::RunProcess(candump ? "log2asc" : "asc2log", args);
        ASSERT_EQ(r.code, 0) << r.err;  // "did not start": can-utils is not installed
        const auto mine = frames(ours);
        EXPECT_EQ(mine.size(), 5u);
        EXPECT_EQ(frames(theirs), mine) << (candump ? "log2asc" : "asc2log");
    }
}
