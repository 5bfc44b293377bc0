#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "logformats/candumplog.h"
#include "logformats/linereader.h"
#include "support/logrecords.h"

using tarvik::AdapterRecord;
using tarvik::LineReader;
using tarvik::ParseCandumpLine;
using tarvik::TLogFrame;
using tarvik::TLogLine;

TEST(CandumpLine, DataFrames)
{
    struct Row {
        const char* line;
        std::uint32_t key;
        std::uint64_t data;
        std::int64_t sec;
        std::int32_t nsec;
        int length = -1;  // -1: not checked
        bool transmitted = false;
        TLogLine kind = TLogLine::Frame;
    };
    const Row rows[] = {
        {"(1436509052.249713) can0 123#DEADBEEF", 0x123, 0xDEADBEEF00000000ull, 1436509052, 249713000},
        {"(1436509052.249713) can0 18FEF100#0102030405060708", 0x98FEF100, 0x0102030405060708ull, 1436509052, 249713000},
        {"(0.5) vcan0 7FF#", 0x7FF, 0, 0, 500000000},                 // no data bytes
        {"(1.000000001) can0 000#ff", 0, 0xFF00000000000000ull, 1, 1},  // lower-case hex
        {"  (2.0)   can1   00000123#11  \r", 0x80000123, 0x1100000000000000ull, 2, 0},
        {"(3.0) can0 123#1122 R", 0x123, 0x1122000000000000ull, 3, 0, 2},  // direction mark
        {"(3.0) can0 123#1122 T", 0x123, 0x1122000000000000ull, 3, 0, 2, true},
        {"(3.0) can0 123#1122334455667788_9", 0x123, 0x1122334455667788ull, 3, 0, 9},
        {"(1.0) can0 100#11.22.33", 0x100, 0x1122330000000000ull, 1, 0, 3},  // cansend's dots
        {"(1436509052.249713) can0 00000005#", 0x80000005, 0, 1436509052, 249713000, 0},  // 8 digits: extended
        // CAN FD: the first eight of up to 64 bytes
        {"(4.0) can0 123##10102030405060708090A", 0x123, 0x0102030405060708ull, 4, 0, 8, false, TLogLine::FdFrame},
    };
    for (const Row& r : rows) {
        TLogFrame f;
        ASSERT_EQ(ParseCandumpLine(r.line, f), r.kind) << r.line;
        EXPECT_EQ(f.record.FrameKey(), r.key) << r.line;
        EXPECT_EQ(f.record.Data64(), r.data) << r.line;
        EXPECT_EQ(f.seconds, r.sec) << r.line;
        EXPECT_EQ(f.nanoseconds, r.nsec) << r.line;
        EXPECT_EQ(f.record.IsTransmitted(), r.transmitted) << r.line;
        EXPECT_TRUE(f.record.IsCan()) << r.line;
        if (r.length >= 0) {
            EXPECT_EQ(f.record.Length(), r.length) << r.line;
        }
    }
}

TEST(CandumpLine, NothingToDecode)
{
    const struct {
        const char* line;
        TLogLine kind;
    } rows[] = {
        {"", TLogLine::Other},
        {"   \r", TLogLine::Other},
        {"(1.0) can0 20000004#0000000000000000", TLogLine::ErrorFrame},
        {"(1.0) can0 20000080#0000000000000000 R", TLogLine::ErrorFrame},
    };
    for (const auto& r : rows) {
        TLogFrame f;
        f.seconds = 55;
        EXPECT_EQ(ParseCandumpLine(r.line, f), r.kind) << r.line;
        EXPECT_EQ(f.seconds, 55) << "frame touched for " << r.line;
    }
}

TEST(CandumpLine, RemoteRequestsReadAsRemoteRecords)
{
    const struct {
        const char* line;
        std::uint32_t key;
        int length;
        bool transmitted;
    } rows[] = {
        {"(1.0) can0 123#R", 0x123, 0, false},
        {"(1.0) can0 123#R8", 0x123, 8, false},
        {"(1.0) can0 12345678#r2 T", 0x92345678, 2, true},
    };
    for (const auto& r : rows) {
        TLogFrame f;
        ASSERT_EQ(ParseCandumpLine(r.line, f), TLogLine::RemoteFrame) << r.line;
        EXPECT_TRUE(f.record.Remote()) << r.line;
        EXPECT_EQ(f.record.FrameKey(), r.key) << r.line;
        EXPECT_EQ(f.record.Length(), r.length) << r.line;
        EXPECT_EQ(f.record.IsTransmitted(), r.transmitted) << r.line;
        EXPECT_EQ(f.record.Data64(), 0u) << r.line;
        EXPECT_EQ(f.seconds, 1) << r.line;
    }
}

TEST(CandumpLine, Malformed)
{
    for (const char* line : {
             "1436509052.249713 can0 123#DEADBEEF",   // no parentheses
             "(1436509052) can0 123#DE",              // no fraction
             "(.5) can0 123#DE",                      // no seconds
             "(1.5)can0 123#DE",                      // no blank after the time
             "(1.5) can0",                            // no frame
             "(1.5) can0 123DEADBEEF",                // no '#'
             "(1.5) can0 800#00",                     // 3 digits above 0x7FF
             "(1.5) can0 1234#00",                    // neither 3 nor 8 digits
             "(1.5) can0 123456789#00",               // 9 digits
             "(1.5) can0 E0000000#00",                // flag bits in the text
             "(1.5) can0 12G#00",                     // not hex
             "(1.5) can0 123#ABC",                    // odd digit count
             "(1.5) can0 123#112233445566778899",     // nine classic bytes
             "(1.5) can0 123#11_9",                   // length code on a short frame
             "(1.5) can0 123##",                      // FD without flags
             "(1.5) can0 123#RX",                     // bad remote form
             "(1.5) can0 123#11 X",                   // unknown trailing mark
             "(1.5) can0 123#11 R T",                 // two marks
             "(1.5) can0 123#11..22",                 // two dots
             "(1.5) can0 123#.11",                    // a dot first
             "(x.0) can0 123#00",                     // seconds not a number
             "(1.1234567890) can0 123#11",            // fraction beyond nanoseconds
             "(1234567890123456789.0) can0 123#11",   // seconds beyond 12 digits
             "(1234567890123.0) can0 123#11",
             "garbage"}) {
        TLogFrame f;
        EXPECT_EQ(ParseCandumpLine(line, f), TLogLine::Malformed) << line;
    }
}

namespace {

std::FILE* TempWith(const std::string& text)
{
    std::FILE* f = std::tmpfile();
    std::fwrite(text.data(), 1, text.size(), f);
    std::rewind(f);
    return f;
}

}  // namespace

TEST(LineReader, LineEndsAndChunkBoundaries)
{
    // A small buffer makes lines straddle refills.
    std::string text;
    for (int i = 0; i < 200; ++i)
        text += "line" + std::to_string(i) + (i % 3 == 0 ? "\r\n" : "\n");
    text += "last";
    std::FILE* f = TempWith(text);
    LineReader r(f, 16);
    std::string_view line;
    bool truncated = true;
    int n = 0;
    while (r.Next(line, truncated)) {
        const std::string want = n < 200 ? "line" + std::to_string(n) : "last";
        EXPECT_EQ(line, want);
        EXPECT_FALSE(truncated);
        ++n;
    }
    EXPECT_EQ(n, 201);
    EXPECT_FALSE(r.Failed());
    std::fclose(f);
}

TEST(LineReader, OverlongLineIsCutAndItsRestSkipped)
{
    std::FILE* f = TempWith("short\n" + std::string(100, 'x') + "\nnext\n" + std::string(40, 'y'));
    LineReader r(f, 16);
    std::string_view line;
    bool truncated = false;
    ASSERT_TRUE(r.Next(line, truncated));
    EXPECT_EQ(line, "short");
    ASSERT_TRUE(r.Next(line, truncated));
    EXPECT_TRUE(truncated);
    EXPECT_EQ(line, std::string(16, 'x'));
    ASSERT_TRUE(r.Next(line, truncated));
    EXPECT_FALSE(truncated);
    EXPECT_EQ(line, "next");
    ASSERT_TRUE(r.Next(line, truncated));
    EXPECT_TRUE(truncated);
    EXPECT_FALSE(r.Next(line, truncated));
    std::fclose(f);
}

TEST(CandumpLine, WrittenLinesReadBackAsTheSameFrame)
{
    using testsupport::TraceRecord;
    const struct {
        AdapterRecord record;
        std::int64_t micros;
        const char* line;
    } rows[] = {
        {TraceRecord(tarvik::kCanReceived, 0x123, false, {0x11, 0x22}, 0), 1436509052249713, "(1436509052.249713) can0 123#1122 R\n"},
        {TraceRecord(tarvik::kCanTransmitted, 0x18FEF100, true, {}, 345), 1436509052284213, "(1436509052.284213) can0 18FEF100# T\n"},
        {TraceRecord(tarvik::kCanReceived, 0x5, true, {1, 2, 3, 4, 5, 6, 7, 8}, 0), 7, "(0.000007) can0 00000005#0102030405060708 R\n"},
        {TraceRecord(tarvik::kCanReceived, 0x7FF, false, {0xAB, 0, 0, 0, 0, 0, 0, 0xCD}, 0, 15), 1000000, "(1.000000) can0 7FF#AB000000000000CD_F R\n"},
        {TraceRecord(tarvik::kCanReceived, 0x321 | tarvik::kRemoteFlag, false, {}, 0), 1000000, "(1.000000) can0 321#R R\n"},
        {TraceRecord(tarvik::kCanTransmitted, 0x12345678 | tarvik::kRemoteFlag, true, {}, 0, 2), 1000000, "(1.000000) can0 12345678#R2 T\n"},
    };
    for (const auto& r : rows) {
        char out[tarvik::kMaxCandumpLine];
        const std::size_t n = tarvik::FormatCandumpLine(r.record, r.micros, out);
        EXPECT_EQ(std::string(out, n), r.line);
        TLogFrame f;
        ASSERT_EQ(ParseCandumpLine(std::string_view(out, n), f),
                  r.record.Remote() ? TLogLine::RemoteFrame : TLogLine::Frame)
            << r.line;
        EXPECT_EQ(f.Micros(), r.micros) << r.line;
        EXPECT_EQ(f.record.Type(), r.record.Type()) << r.line;
        EXPECT_EQ(f.record.Length(), r.record.Length()) << r.line;
        EXPECT_EQ(f.record.Extended(), r.record.Extended()) << r.line;
        EXPECT_EQ(f.record.Identifier(), r.record.Identifier()) << r.line;
        EXPECT_EQ(f.record.Data64(), r.record.Data64()) << r.line;
    }
}
