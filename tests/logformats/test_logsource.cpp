#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "logformats/logsource.h"
#include "support/testsupport.h"

using tarvik::TLogFormat;
using tarvik::TLogFrame;
using tarvik::TLogLine;
using tarvik::TLogSource;

namespace {

struct Pass {
    TLogFormat format = TLogFormat::Unknown;
    std::vector<std::uint32_t> keys;  // of the Frame lines, in order
    tarvik::TLogCounts counts;
    std::string error;
};

Pass ReadAll(const std::string& text, std::size_t maxLine = TLogSource::kMaxLine)
{
    std::FILE* f = std::tmpfile();
    std::fwrite(text.data(), 1, text.size(), f);
    std::rewind(f);
    TLogSource src(f, "trace.log", maxLine);
    Pass p;
    TLogFrame frame;
    TLogLine kind;
    while (src.Next(frame, kind))
        if (kind == TLogLine::Frame)
            p.keys.push_back(frame.record.FrameKey());
    p.format = src.Format();
    p.counts = src.Counts();
    p.error = src.Error();
    std::fclose(f);
    return p;
}

}  // namespace

TEST(LogSource, TakesTheFormatFromTheFirstFrameLine)
{
    const Pass candump = ReadAll("garbage\n(1.0) can0 123#11\n(1.1) can1 123##1112233\n(1.2) can0 20000080#\n"
                                 "   1.3 1 124 Rx d 1 11\n(1.4) can0 00000125#R\n");
    EXPECT_EQ(candump.format, TLogFormat::Candump);
    EXPECT_EQ(candump.keys, (std::vector<std::uint32_t>{0x123}));
    EXPECT_EQ(candump.counts.malformed, 2u) << "garbage before, and an ASC line inside a candump log";
    EXPECT_EQ(candump.counts.fdFrames, 1u);
    EXPECT_EQ(candump.counts.errorFrames, 1u);
    EXPECT_EQ(candump.counts.remoteFrames, 1u);
    EXPECT_EQ(candump.counts.lines, 6u);

    const Pass asc = ReadAll("date Tue Dec 08 03:50:13.000 pm 2026\r\nbase hex  timestamps absolute\r\n"
                             "   0.1 1 123 Rx d 1 11\r\n(1.0) can0 124#11\r\n   0.2 1 ErrorFrame\r\n"
                             "   0.3 1 1x Tx d 0\r\nEnd TriggerBlock\r\n");
    EXPECT_EQ(asc.format, TLogFormat::Asc);
    EXPECT_EQ(asc.keys, (std::vector<std::uint32_t>{0x123, 0x80000001}));
    EXPECT_EQ(asc.counts.malformed, 0u) << "a line ASC does not know is no frame";
    EXPECT_EQ(asc.counts.errorFrames, 1u);
    EXPECT_TRUE(asc.error.empty());
}

TEST(LogSource, OverlongAndUnfinishedLinesAreCountedNeverDecoded)
{
    struct Case {
        const char* what;
        std::string text;
        std::vector<std::uint32_t> keys;
        std::uint64_t malformed, overlong, unterminated;
        std::string error;
    };
    const std::string over(5000, 'x'), endless(300 * 1024, '\0');
    const Case cases[] = {
        {"an overlong line is skipped, the frames after it read", "(1.0) can0 123#11\n" + over + "\n(1.1) can0 124#22\n",
         {0x123, 0x124}, 1, 1, 0, ""},
        {"a line far beyond the limit ends reading", "(1.0) can0 123#11\n" + endless, {0x123}, 1, 1, 0,
         "trace.log: line 2 is longer than 262144 bytes: not a text log"},
        {"a cut last frame line is not read short", "(1.0) can0 123#11\n(1.1) can0 124#2233", {0x123}, 1, 0, 1, ""},
        {"a last line that is no frame is no fault", "   0.1 1 123 Rx d 1 11\nEnd TriggerBlock", {0x123}, 0, 0, 0, ""},
        {"a whole last line with its end reads", "(1.0) can0 123#11\n(1.1) can0 124#2233\n", {0x123, 0x124}, 0, 0, 0, ""},
    };
    for (const Case& c : cases) {
        const Pass p = ReadAll(c.text, 1024);
        EXPECT_EQ(p.keys, c.keys) << c.what;
        EXPECT_EQ(p.counts.malformed, c.malformed) << c.what;
        EXPECT_EQ(p.counts.overlong, c.overlong) << c.what;
        EXPECT_EQ(p.counts.unterminated, c.unterminated) << c.what;
        EXPECT_EQ(p.error, c.error) << c.what;
    }
}

TEST(LogSource, OpeningNamesTheFileAndTheSystemsReason)
{
    const std::string dir = testsupport::BinaryDir();
    std::string error;
    EXPECT_EQ(tarvik::OpenLogFile(dir, &error), nullptr);
    EXPECT_EQ(error, dir + ": Is a directory");
    EXPECT_EQ(tarvik::OpenLogFile(dir + "/no-such.log", &error), nullptr);
    EXPECT_EQ(error, dir + "/no-such.log: No such file or directory");
    EXPECT_EQ(tarvik::OpenLogFile("-", &error), stdin);

    std::FILE* zero = tarvik::OpenLogFile("/dev/zero", &error);
    ASSERT_NE(zero, nullptr);
    TLogSource src(zero, "/dev/zero");
    TLogFrame f;
    TLogLine k;
    EXPECT_TRUE(src.Next(f, k) && k == TLogLine::Malformed) << "the line's first piece";
    EXPECT_FALSE(src.Next(f, k));
    EXPECT_EQ(src.Error(), "/dev/zero: line 1 is longer than 16777216 bytes: not a text log");
    std::fclose(zero);
}
