// The TRC reader over the three versions it takes, the writer's lines and header, and a
// round trip through the program's log reader.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "logformats/tracefile.h"
#include "logformats/trclog.h"
#include "support/logread.h"
#include "support/logrecords.h"

using tarvik::AdapterRecord;
using tarvik::TLogLine;
using tarvik::TTraceFormat;

TEST(TrcLog, ReadsTheLinesOfEachVersion)
{
    const struct {
        const char* header;
        const char* line;
        TLogLine kind;
        std::uint32_t id;
        bool extended, tx;
        int length;
        std::uint64_t data;
        std::int64_t micros;
    } rows[] = {
        {";$FILEVERSION=1.1", "     1)      1059.9  Rx         0300  7  00 01 02 03 04 05 06", TLogLine::Frame,
         0x300, false, false, 7, 0x00010203040506ull << 8, 1059900},
        {";$FILEVERSION=1.1", "     2)      1100.0  Tx     18FEF100  2  RTR", TLogLine::RemoteFrame, 0x18FEF100,
         true, true, 2, 0, 1100000},
        {";$FILEVERSION=1.1", "     3)      1200.0  Error  00000008  4  00 00 00 00", TLogLine::ErrorFrame, 0, false,
         false, 0, 0, 1200000},
        {";$FILEVERSION=1.1", "     4)      1300.0  Warng  FFFFFFFF  4  00 00 00 08  BUSHEAVY", TLogLine::Other, 0,
         false, false, 0, 0, 0},
        {";$FILEVERSION=2.0", "     1)      1059.900 DT     0300 Rx 7 00 00 00 00 04 00 00", TLogLine::Frame, 0x300,
         false, false, 7, 0x0000000004000000ull, 1059900},
        {";$FILEVERSION=2.0", "     2)      1060.125 RR 18FEF100 Tx 3", TLogLine::RemoteFrame, 0x18FEF100, true, true,
         3, 0, 1060125},
        {";$FILEVERSION=2.0", "     3)      1061.000 ST Rx 00000004", TLogLine::Other, 0, false, false, 0, 0, 0},
        {";$FILEVERSION=2.1", "      1        12.300 DT  1     0123 Rx -  2    11 22", TLogLine::Frame, 0x123, false,
         false, 2, 0x1122000000000000ull, 12300},
        {";$FILEVERSION=2.1", "      2        13.001 DT  1 18FEF100 Tx -  8    01 02 03 04 05 06 07 08",
         TLogLine::Frame, 0x18FEF100, true, true, 8, 0x0102030405060708ull, 13001},
        {";$FILEVERSION=2.1", "      3        14.000 FD  1     0100 Rx -  9    00 01 02 03 04 05 06 07 08 09 0A 0B",
         TLogLine::FdFrame, 0x100, false, false, 8, 0x0001020304050607ull, 14000},
        {";$FILEVERSION=2.1", "      4        15.000 ER  1        - Rx -  5    04 00 00 00 00", TLogLine::ErrorFrame,
         0, false, false, 0, 0, 15000},
        {";$FILEVERSION=2.1", "      5        16.000 EV  1 User event text", TLogLine::Other, 0, false, false, 0, 0,
         0},
        {";$FILEVERSION=2.1", "      6        17.000 DT  1     0123 Rx -  3    11 22", TLogLine::Malformed, 0, false,
         false, 0, 0, 0},  // fewer bytes than its length
        {";$FILEVERSION=2.1", "      7        xx.000 DT  1     0123 Rx -  0", TLogLine::Malformed, 0, false, false, 0,
         0, 0},
        {";$FILEVERSION=2.1", "      8        18.000 DT  1    1G23 Rx -  0", TLogLine::Malformed, 0, false, false, 0,
         0, 0},
        {";$COLUMNS=N,O,T,B,I,d,l,D", "      9        19.000 DT  1     0123 Tx  1    AB", TLogLine::Frame, 0x123, false,
         true, 1, 0xAB00000000000000ull, 19000},
        // No version line: the shape tells 2.0 (numbered, a type column) from 1.1 and 2.1.
        {";", "     1)      20.000 DT     0301 Tx 1 CD", TLogLine::Frame, 0x301, false, true, 1, 0xCD00000000000000ull,
         20000},
        {";", "     1)      21.5  Rx         0302  1  EF", TLogLine::Frame, 0x302, false, false, 1,
         0xEF00000000000000ull, 21500},
        {";", "      1        22.000 DT  1     0303 Rx -  0", TLogLine::Frame, 0x303, false, false, 0, 0, 22000},
    };
    for (const auto& row : rows) {
        tarvik::TTrcReader reader;
        tarvik::TLogFrame frame;
        if (std::string(row.header).find("COLUMNS") != std::string::npos)
            reader.ParseLine(";$FILEVERSION=2.1", frame);
        reader.ParseLine(row.header, frame);
        const TLogLine kind = reader.ParseLine(row.line, frame);
        EXPECT_EQ(kind, row.kind) << row.line;
        EXPECT_EQ(reader.OtherLines(), row.kind == TLogLine::Other ? 1u : 0u) << row.line;
        if (kind != TLogLine::Frame && kind != TLogLine::RemoteFrame && kind != TLogLine::FdFrame)
            continue;
        EXPECT_EQ(frame.record.CanId(), row.id) << row.line;
        EXPECT_EQ(frame.record.Extended(), row.extended) << row.line;
        EXPECT_EQ(frame.record.IsTransmitted(), row.tx) << row.line;
        EXPECT_EQ(frame.record.Length(), row.length) << row.line;
        EXPECT_EQ(frame.record.Remote(), kind == TLogLine::RemoteFrame) << row.line;
        EXPECT_EQ(frame.record.Data64(), row.data) << row.line;
        EXPECT_EQ(frame.Micros(), row.micros) << row.line;
    }
}

TEST(TrcLog, WritesLinesAPeerReads)
{
    char out[tarvik::kMaxTrcLine];
    const struct {
        AdapterRecord record;
        std::int64_t micros;
        const char* line;
    } rows[] = {
        {testsupport::TraceRecord(tarvik::kCanReceived, 0x123, false, {0x11, 0x22}, 0), 12300,
         "      1        12.300 DT  1     0123 Rx -  2    11 22\r\n"},
        {testsupport::TraceRecord(tarvik::kCanTransmitted, 0x18FEF100, true, {}, 0), 0,
         "      1         0.000 DT  1 18FEF100 Tx -  0   \r\n"},
        {testsupport::TraceRecord(tarvik::kCanReceived, 0x5, false, {1, 2, 3, 4, 5, 6, 7, 8}, 0, 15), 123456789,
         "      1    123456.789 DT  1     0005 Rx -  8    01 02 03 04 05 06 07 08\r\n"},
        {AdapterRecord::CanRemote(0x321, false, 4), 1500, "      1         1.500 RR  1     0321 Rx -  4   \r\n"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(std::string(out, tarvik::FormatTrcLine(row.record, 1, row.micros, out)), row.line);
}

TEST(TrcLog, RoundTripKeepsFramesAndTheStartTime)
{
    const std::int64_t opened = 1765000000123456;
    std::vector<AdapterRecord> recs;
    for (int n = 0; n <= 8; ++n)
        recs.push_back(AdapterRecord::Can(0x700u + n, n % 2 == 1, n, nullptr, tarvik::kCanTransmitted)
                           .SetData(0, static_cast<std::uint8_t>(n))
                           .SetTimeStamp(static_cast<std::uint32_t>(1000 + n * 7)));
    recs.push_back(AdapterRecord::CanRemote(0x12345, true, 5).SetTimeStamp(2000));
    const std::string text = tarvik::FormatTrace(TTraceFormat::Trc, recs, opened);
    EXPECT_EQ(text.rfind(";$FILEVERSION=2.1\r\n", 0), 0u) << text;
    const testsupport::LogPass p = testsupport::ReadLogBytes(text);
    EXPECT_EQ(p.format, tarvik::TLogFormat::Trc);
    EXPECT_EQ(p.counts.malformed, 0u);
    ASSERT_EQ(p.frames.size(), recs.size());
    for (std::size_t i = 0; i < recs.size(); ++i) {
        EXPECT_EQ(p.frames[i].record.Identifier(), recs[i].Identifier()) << i;
        EXPECT_EQ(p.frames[i].record.Type(), recs[i].Type()) << i;
        EXPECT_EQ(p.frames[i].record.Length(), recs[i].Length()) << i;
        EXPECT_EQ(p.frames[i].record.Data64(), recs[i].Data64()) << i;
        // Absolute to the microsecond: the start time carries twelve fraction digits of a day.
        EXPECT_NEAR(static_cast<double>(p.frames[i].Micros()), static_cast<double>(opened + recs[i].TimeStamp() * 100),
                    1.0)
            << i;
    }
    EXPECT_EQ(p.kinds.back(), TLogLine::RemoteFrame);
}
