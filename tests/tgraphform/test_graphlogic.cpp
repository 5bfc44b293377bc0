#include <gtest/gtest.h>

#include <limits>

#include "platform/fonts.h"
#include "support/testsupport.h"
#include "tgraphform/graphconf.h"
#include "tgraphform/tdaqlogdata.h"
#include "tgraphform/tdaqthread.h"
#include "tgraphform/tgraphplot.h"
#include "ttlabelinfo/labeltable.h"
#include "graphtest.h"
#include "support/logrecords.h"

using namespace tarvik;
using testsupport::TraceRecord;

namespace {
const std::initializer_list<std::uint8_t> kBytes = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88};
}

TEST(ParseRecord, AcceptsCanFramesOnly)
{
    const struct {
        const char* what;
        AdapterRecord rec;
        bool ok;
        std::uint32_t key;
        std::uint64_t data;
    } cases[] = {
        {"received, 8 bytes", TraceRecord(0x00, 0x123, false, kBytes, 0, 8), true, 0x123, 0x1122334455667788},
        {"transmitted", TraceRecord(0x01, 0x123, false, kBytes, 0, 8), true, 0x123, 0x1122334455667788},
        {"length 3 zeroes bytes 3-7", TraceRecord(0x00, 0x7FF, false, kBytes, 0, 3), true, 0x7FF, 0x1122330000000000},
        {"length 0", TraceRecord(0x00, 0x10, false, kBytes, 0, 0), true, 0x10, 0},
        {"length 15 counts as 8", TraceRecord(0x00, 0x10, false, kBytes, 0, 15), true, 0x10, 0x1122334455667788},
        {"extended", TraceRecord(0x00, 0x123, true, kBytes, 0, 8), true, 0x80000123, 0x1122334455667788},
        {"extended 29 bits", TraceRecord(0x00, 0x1FFFFFFF, true, kBytes, 0, 1), true, 0x9FFFFFFF, 0x1100000000000000},
        {"remote request", TraceRecord(0x00, 0x123 | kRemoteFlag, false, kBytes, 0, 8), false, 0, 0},
        {"extended remote request", TraceRecord(0x00, 0x123 | kRemoteFlag, true, kBytes, 0, 8), false, 0, 0},
        {"LIN received", TraceRecord(0x80, 0x123, false, kBytes, 0, 8), false, 0, 0},
        {"LIN transmitted", TraceRecord(0x81, 0x123, false, kBytes, 0, 8), false, 0, 0},
        {"CAN status", TraceRecord(0x02, 0, false, kBytes, 0, 0), false, 0, 0},
        {"LIN status", TraceRecord(0x82, 0, false, kBytes, 0, 0), false, 0, 0},
        {"check byte differs", TraceRecord(0x00, 0x123, false, kBytes, 0, 8).SetCheck(0x5A, 0x5B), false, 0, 0},
    };
    for (const auto& c : cases) {
        std::uint32_t key = 0;
        std::uint64_t data = 0;
        ASSERT_EQ(ParseRecord(c.rec.bytes.data(), key, data), c.ok) << c.what;
        if (c.ok) {
            EXPECT_EQ(key, c.key) << c.what;
            EXPECT_EQ(data, c.data) << c.what;
        }
    }
}

TEST(ParseRecord, DecodePathMatchesStandardAndExtendedSeparately)
{
    LabelTable t;
    t.LoadFromLines({"std,\"unsigned short\",,0x123,Big,0,16,1,0,0,65535,",
                     "ext,\"unsigned short\",X,0x123,Big,0,16,1,0,0,65535,",
                     "tail,\"unsigned char\",,0x123,Big,56,8,1,0,0,255,"},
                    kGraphPalette);
    ASSERT_EQ(t.Count(), 3);
    auto feed = [&](const AdapterRecord& r) {
        std::uint32_t key;
        std::uint64_t data;
        if (ParseRecord(r.bytes.data(), key, data))
            t.DecodeFrame(key, data);
    };
    feed(TraceRecord(0x00, 0x123, true, {0xAB, 0xCD}, 0, 8));
    EXPECT_TRUE(IsNoValue(t.Label(0).Value()));  // the extended frame is another key
    EXPECT_EQ(t.Label(1).Value(), 0xABCD);
    feed(TraceRecord(0x01, 0x123, false, kBytes, 0, 3));  // transmitted, short: byte 7 reads as 0
    EXPECT_EQ(t.Label(0).Value(), 0x1122);
    EXPECT_EQ(t.Label(2).Value(), 0);
    feed(TraceRecord(0x80, 0x123, false, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, 0, 8));
    feed(TraceRecord(0x00, 0x123, false, {0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE}, 0, 8).SetCheck(0x5A, 0x5B));
    EXPECT_EQ(t.Label(0).Value(), 0x1122);
    EXPECT_EQ(t.Label(1).Value(), 0xABCD);
}

TEST(SweepArithmetic, DerivedValues)
{
    const struct {
        int sample, plot, perRefresh, erase;
    } cases[] = {{50, 100, 2, 200}, {50, 10, 0, 200}, {500, 1000, 2, 500}, {5, 50, 10, 200}, {200, 200, 1, 200}};
    for (const auto& c : cases) {
        TGraphScale s;
        s.SampleRate = c.sample;
        s.PlotRate = c.plot;
        EXPECT_EQ(SamplesPerRefresh(s), c.perRefresh) << c.sample << "/" << c.plot;
        EXPECT_EQ(EraseAhead(s), c.erase) << c.sample;
    }
    EXPECT_EQ(SanitizeSampleRate(0), 5);
    EXPECT_EQ(SanitizeSampleRate(-20), 5);
    EXPECT_EQ(SanitizeSampleRate(7), 7);
    EXPECT_EQ(SanitizePlotRate(0), 10);
    EXPECT_EQ(SanitizeTimeWidth(0), 5);
    EXPECT_EQ(SanitizeTimeWidth(std::numeric_limits<int>::max()), 86400);
}

TEST(SweepArithmetic, FourHundredSlicesThenTheLeftEdge)
{
    int t = 0, slices = 0;
    do {
        t = NextSweepTime(t, 50, 20000);
        ++slices;
    } while (t != 0 && slices < 1000);
    EXPECT_EQ(slices, 400);
    EXPECT_EQ(NextSweepTime(19950, 50, 20000), 0);
    EXPECT_EQ(NextSweepTime(19900, 50, 20000), 19950);
}

TEST(GridLevels, StepsFromTheTopLimitAndNeverLoopForever)
{
    const int kMin = std::numeric_limits<int>::min(), kMax = std::numeric_limits<int>::max();
    const struct {
        int min, max, pitch, height;
        std::vector<int> levels;
    } cases[] = {
        {-1000, 10000, 1000, 500, {9000, 8000, 7000, 6000, 5000, 4000, 3000, 2000, 1000, 0}},
        {0, 100, 25, 500, {75, 50, 25}},        // the limits are never levels
        {100, -100, 50, 400, {-50, 0, 50}},     // inverted: upward from the top limit
        {1000, -100, 2000, 500, {}},            // first step already past the bottom limit
        {10, 100, 0, 500, {}},                  // zero pitch
        {10, 100, -5, 500, {}},                 // negative pitch
        {50, 50, 10, 500, {}},                  // empty range
        {0, 11000, 1, 600, {}},                 // lines closer than 2 pixels
        {0, 100, 1, 199, {}},
        {kMin, kMax, kMax, 600, {0, -kMax}},    // 64-bit steps: no wrap at the ends of the range
        {kMax, kMin, kMax, 600, {-1, kMax - 1}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(GridLevels(c.min, c.max, c.pitch, c.height), c.levels) << c.min << ".." << c.max << "/" << c.pitch;
    EXPECT_EQ(GridLevels(0, 100, 1, 200).size(), 99u);  // exactly 2 pixels apart: drawn
}

TEST(GraphConf, IntegerReadingOfTheFields)
{
    const struct {
        const char* text;
        int value;
    } cases[] = {{"100", 100},       {"  -42", -42},       {"+7", 7},          {"0x1F", 31},
                 {"$10", 16},        {"x10", 16},          {"X10", 16},        {"-0x10", -16},
                 {"0xFFFFFFFF", -1}, {"2147483647", 2147483647}, {"-2147483648", std::numeric_limits<int>::min()},
                 {"2147483648", -9}, {"", -9},             {"abc", -9},        {"12a", -9},
                 {" ", -9},          {"0x", -9},           {"0x100000000", -9}, {"1 ", -9}};
    for (const auto& c : cases)
        EXPECT_EQ(StrToIntDef(c.text, -9), c.value) << '"' << c.text << '"';
}
