#include <gtest/gtest.h>

#include <algorithm>

#include <string>

#include "logformats/asclog.h"
#include "support/logrecords.h"

using tarvik::AdapterRecord;
using tarvik::TAscReader;
using tarvik::TLogFrame;
using tarvik::TLogLine;
using testsupport::TraceRecord;

TEST(AscLine, FramesAndWhatIsNotAFrame)
{
    const struct {
        const char* line;
        TLogLine kind;
        std::uint8_t type = 0;
        std::uint32_t id = 0;
        bool extended = false;
        int length = 0;
        std::uint64_t data = 0;
        std::int64_t micros = 0;
    } rows[] = {
        {"   0.000000 1  123             Rx   d 2 11 22", TLogLine::Frame, tarvik::kCanReceived, 0x123, false, 2,
         0x1122000000000000ull, 0},
        {"   0.034500 1  18FEF100x       Tx   d 8 01 02 03 04 05 06 07 08", TLogLine::Frame, tarvik::kCanTransmitted,
         0x18FEF100, true, 8, 0x0102030405060708ull, 34500},
        // trailing fields of a full logger, lower-case hex, a length code above 8
        {"12.5 2 7ff Rx d f aa bb cc dd ee ff 00 11  Length = 228000 BitCount = 116 ID = 2047", TLogLine::Frame,
         tarvik::kCanReceived, 0x7FF, false, 15, 0xAABBCCDDEEFF0011ull, 12500000},
        {"   1.000000 L1 12  Rx   2 A1 B2", TLogLine::Frame, tarvik::kLinReceived, 0x12, false, 2, 0xA1B2000000000000ull,
         1000000},
        {"   1.000000 L1 3F  Tx   0", TLogLine::Frame, tarvik::kLinTransmitted, 0x3F, false, 0, 0, 1000000},
        {"   2.000000 CANFD   1 Rx        123                                   1 0 d 32 ",
         TLogLine::Malformed},  // 32 bytes announced, none given
        {"   2.000000 CANFD   1 Rx        123  Name  1 0 2 2 11 22 0 0 1000 0 0 0 0 0", TLogLine::FdFrame,
         tarvik::kCanReceived, 0x123, false, 2, 0x1122000000000000ull, 2000000},
        {"   3.000000 1  ErrorFrame", TLogLine::ErrorFrame},
        {"   3.000000 CANFD   1 Rx ErrorFrame", TLogLine::ErrorFrame},
        // remote requests: the length asked for when given
        {"   3.000000 1  123             Rx   r", TLogLine::RemoteFrame, tarvik::kCanReceived,
         0x123 | tarvik::kRemoteFlag, false, 0, 0, 3000000},
        {"   3.000000 1  1234x           Tx   r 4", TLogLine::RemoteFrame, tarvik::kCanTransmitted,
         0x1234 | tarvik::kRemoteFlag, true, 4, 0, 3000000},
        {"date Tue Dec 08 03:50:13.000 pm 2026", TLogLine::Other},
        {"internal events logged", TLogLine::Other},
        {"// version 9.0.0", TLogLine::Other},
        {"   0.000000 Start of measurement", TLogLine::Other},
        {"   4.000000 1  Statistic: D 0 R 0 XD 0 XR 0 E 0 O 0 B 0.00%", TLogLine::Other},
        {"   4.000000 L1 CSErr: id=12 ...", TLogLine::Other},
        {"End TriggerBlock", TLogLine::Other},
        {"", TLogLine::Other},
        {"   5.0 1  800 Rx d 1 00", TLogLine::Malformed},               // standard identifier above 0x7FF
        {"   5.0 1  20000000x Rx d 1 00", TLogLine::Malformed},         // above 29 bits
        {"   5.0 1  123 Rx d 4 11 22", TLogLine::Malformed},            // fewer bytes than the length
        {"   5.0 1  123 Rx d 1 1FF", TLogLine::Malformed},              // not a byte
        {"   5.0 1  123 Rx q 1 11", TLogLine::Malformed},               // neither data nor remote
        {"   5.0 L1 40  Rx 1 11", TLogLine::Malformed},                 // LIN identifier beyond 6 bits
        {"1000000000.0 1  123 Rx d 0", TLogLine::Malformed},          // beyond 10^9 s of measurement
    };
    for (const auto& r : rows) {
        TAscReader reader;
        TLogFrame f;
        ASSERT_EQ(reader.ParseLine(r.line, f), r.kind) << r.line;
        if (r.kind != TLogLine::Frame && r.kind != TLogLine::FdFrame && r.kind != TLogLine::RemoteFrame)
            continue;
        EXPECT_EQ(f.record.Type(), r.type) << r.line;
        if (f.record.IsCan()) {
            EXPECT_EQ(f.record.Identifier(), r.id) << r.line;
            EXPECT_EQ(f.record.Extended(), r.extended) << r.line;
        } else {
            EXPECT_EQ(f.record.LinIdentifier(), r.id) << r.line;
        }
        EXPECT_EQ(f.record.Length(), r.length) << r.line;
        EXPECT_EQ(f.record.Data64(), r.data) << r.line;
        EXPECT_EQ(f.Micros(), r.micros) << r.line;
    }
}

TEST(AscLine, HeaderSetsDecimalBaseAndRelativeTimes)
{
    TAscReader reader;
    TLogFrame f;
    EXPECT_EQ(reader.ParseLine("base dec  timestamps relative", f), TLogLine::Other);
    ASSERT_EQ(reader.ParseLine("   0.500000 1  291  Rx d 2 17 255", f), TLogLine::Frame);
    EXPECT_EQ(f.record.Identifier(), 291u);
    EXPECT_EQ(f.record.Data(0), 17);
    EXPECT_EQ(f.record.Data(1), 255);
    EXPECT_EQ(f.Micros(), 500000);
    ASSERT_EQ(reader.ParseLine("   0.250000 1  100x Rx d 10 1 2 3 4 5 6 7 8", f), TLogLine::Frame);
    EXPECT_EQ(f.Micros(), 750000) << "relative times add up";
    EXPECT_EQ(f.record.Length(), 10);
    // An error frame and a remote request count in the sum too.
    EXPECT_EQ(reader.ParseLine("   0.100000 1  ErrorFrame", f), TLogLine::ErrorFrame);
    ASSERT_EQ(reader.ParseLine("   0.050000 1  291  Rx r", f), TLogLine::RemoteFrame);
    EXPECT_EQ(f.Micros(), 900000);
    ASSERT_EQ(reader.ParseLine("   0.100000 1  291  Rx d 0", f), TLogLine::Frame);
    EXPECT_EQ(f.Micros(), 1000000);
    EXPECT_EQ(reader.ParseLine("   0.1 1  123 Rx d 1 0A", f), TLogLine::Malformed) << "hex digit in a decimal log";
    // The sum stays under the 10^9 s an absolute time may have, so what was read is written
    // back readable: 1 s + 999999998.999999 s is the last that fits.
    ASSERT_EQ(reader.ParseLine("999999998.999999 1  291  Rx d 0", f), TLogLine::Frame);
    EXPECT_EQ(f.Micros(), 999999999999999);
    EXPECT_EQ(reader.ParseLine("0.000001 1  291  Rx d 0", f), TLogLine::Malformed) << "reaches 10^9 s";
}

TEST(AscLine, WrittenLinesReadBackAsTheSameFrame)
{
    const struct {
        AdapterRecord record;
        std::int64_t micros;
        const char* line;
    } rows[] = {
        {TraceRecord(tarvik::kCanReceived, 0x123, false, {0x11, 0x22}, 0), 0,
         "   0.000000 1  123             Rx   d 2 11 22\n"},
        {TraceRecord(tarvik::kCanTransmitted, 0x18FEF100, true, {1, 2, 3, 4, 5, 6, 7, 8}, 0), 34500,
         "   0.034500 1  18FEF100x       Tx   d 8 01 02 03 04 05 06 07 08\n"},
        {TraceRecord(tarvik::kCanReceived, 0x7FF, false, {0xAB, 0, 0, 0, 0, 0, 0, 0xCD}, 0, 12), 429496729500,
         "429496.729500 1  7FF             Rx   d 8 AB 00 00 00 00 00 00 CD\n"},
        {TraceRecord(tarvik::kCanReceived, 0x100, false, {1, 2, 3, 4, 5, 6, 7, 8}, 0, 9), 0,
         "   0.000000 1  100             Rx   d 8 01 02 03 04 05 06 07 08\n"},
        {TraceRecord(tarvik::kCanTransmitted, 0x100, false, {1, 2, 3, 4, 5, 6, 7, 8}, 0, 15), 0,
         "   0.000000 1  100             Tx   d 8 01 02 03 04 05 06 07 08\n"},
        {TraceRecord(tarvik::kLinReceived, 0x12, false, {0xA1, 0xB2}, 0), 1000000, "   1.000000 L1 12  Rx   2 A1 B2\n"},
        {TraceRecord(tarvik::kLinTransmitted, 0x3F, false, {}, 0), 1000000, "   1.000000 L1 3F  Tx   0\n"},
        {TraceRecord(tarvik::kCanReceived, 0x321 | tarvik::kRemoteFlag, false, {}, 0), 1000000,
         "   1.000000 1  321             Rx   r 0\n"},
        {TraceRecord(tarvik::kCanTransmitted, 0x12345678 | tarvik::kRemoteFlag, true, {}, 0, 8), 1000000,
         "   1.000000 1  12345678x       Tx   r 8\n"},
    };
    for (const auto& r : rows) {
        char out[tarvik::kMaxAscLine];
        const std::size_t n = tarvik::FormatAscLine(r.record, r.micros, out);
        EXPECT_EQ(std::string(out, n), r.line);
        TAscReader reader;
        TLogFrame f;
        ASSERT_EQ(reader.ParseLine(std::string_view(out, n), f),
                  r.record.Remote() ? TLogLine::RemoteFrame : TLogLine::Frame)
            << r.line;
        EXPECT_EQ(f.Micros(), r.micros) << r.line;
        EXPECT_EQ(f.record.Type(), r.record.Type()) << r.line;
        // A length code above 8 reads back as the eight bytes it carried.
        EXPECT_EQ(f.record.Length(), r.record.Remote() ? r.record.Length() : std::min<int>(r.record.Length(), 8))
            << r.line;
        EXPECT_EQ(f.record.Extended(), r.record.Extended()) << r.line;
        EXPECT_EQ(f.record.Remote(), r.record.Remote()) << r.line;
        EXPECT_EQ(f.record.Data64(), r.record.Data64()) << r.line;
    }
}

TEST(AscLine, HeaderIsDatedAndReadsAsNoFrame)
{
    const std::string h = tarvik::AscHeader(1436509052249713);
    EXPECT_EQ(h.rfind("date ", 0), 0u) << h;
    EXPECT_NE(h.find(" 2015\n"), std::string::npos) << h;
    EXPECT_NE(h.find(".249 "), std::string::npos) << "milliseconds of the start: " << h;
    EXPECT_NE(h.find("\nbase hex  timestamps absolute\n"), std::string::npos) << h;
    EXPECT_NE(h.find("\nBegin Triggerblock "), std::string::npos) << h;
    TAscReader reader;
    std::size_t from = 0;
    while (from < h.size()) {
        const std::size_t nl = h.find('\n', from);
        TLogFrame f;
        EXPECT_EQ(reader.ParseLine(h.substr(from, nl - from), f), TLogLine::Other) << h.substr(from, nl - from);
        from = nl + 1;
    }
}
