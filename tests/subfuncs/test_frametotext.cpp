#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/printfreference.h"
#include "subfuncs/subfuncs.h"

using tarvik::AdapterRecord;
using tarvik::FrameToText;

namespace {

const std::uint8_t kData[8] = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0xFF};

AdapterRecord Can(bool tx, bool ext, std::uint32_t id, int len, std::uint32_t stamp, std::uint8_t check = 0x5A)
{
    return AdapterRecord::Raw(tx ? 1 : 0, std::uint8_t((ext ? 0x80 : 0) | (len & 0x0F)), id)
        .SetData(kData)
        .SetCheck(check)
        .SetTimeStamp(stamp);
}

AdapterRecord Lin(bool tx, std::uint8_t id, std::uint8_t status, int len, std::uint32_t stamp)
{
    return AdapterRecord::Lin(id, len, kData, status, tx ? 0x81 : 0x80).SetCheck(0x5A).SetTimeStamp(stamp);
}

const std::uint32_t kStamps[] = {0u, 345u, 4294967295u};

}  // namespace

// Worked examples written out column by column, independent of the reference formatter.
TEST(FrameToText, WorkedExamples)
{
    AdapterRecord r = Can(false, false, 0x123, 2, 345);
    const std::string line = FrameToText(r);
    ASSERT_EQ(line.size(), 62u);
    EXPECT_EQ(line, "     0123      2   11  22                               0.0345");
    EXPECT_EQ(line.substr(5, 4), "0123");
    EXPECT_EQ(line[15], '2');
    EXPECT_EQ(line.substr(19, 2), "11");
    EXPECT_EQ(line.substr(23, 2), "22");
    EXPECT_EQ(line.substr(50), "      0.0345");

    EXPECT_EQ(FrameToText(Can(true, false, 0x123, 2, 345))[0], 'T');
    const std::string ext = FrameToText(Can(false, true, 0x123, 2, 345));
    EXPECT_EQ(ext.substr(1, 8), "00000123");
    EXPECT_EQ(ext[11], 'X');

    // The examples documented beside the formatter.
    EXPECT_EQ(FrameToText(Can(true, true, 0x123, 8, 4294967295u)),
              "T00000123  X   8   11  22  33  44  55  66  77  FF  429496.7295");
}

// A remote request: its identifier without the flag, "R" in column 12, no data, the same width.
TEST(FrameToText, RemoteRequestMarkedInColumnTwelve)
{
    const struct {
        bool ext;
        std::uint32_t id;
        const char* line;
    } rows[] = {
        {false, 0x123, "     0123   R  2                                        0.0345"},
        {true, 0x123, " 00000123  XR  2                                        0.0345"},
        {true, 0x1FFFFFFF, " 1FFFFFFF  XR  2                                        0.0345"},
    };
    for (const auto& r : rows) {
        const std::string line = FrameToText(Can(false, r.ext, r.id | tarvik::kRemoteFlag, 2, 345));
        EXPECT_EQ(line, r.line);
        EXPECT_EQ(line, FrameToText(Can(false, r.ext, r.id, 2, 345)).substr(0, 11) + line.substr(11))
            << "only column 12 and the data differ from the data frame";
    }
}

TEST(FrameToText, TimeColumns)
{
    EXPECT_EQ(FrameToText(Can(false, false, 1, 0, 0)).substr(50), "      0.0000");
    EXPECT_EQ(FrameToText(Can(false, false, 1, 0, 4294967295u)).substr(50), " 429496.7295");
    EXPECT_EQ(FrameToText(Can(false, false, 1, 0, 10000)).substr(50), "      1.0000");
    EXPECT_EQ(FrameToText(Can(false, false, 1, 0, 9999)).substr(50), "      0.9999");
}

TEST(FrameToText, LengthZeroAndEightKeepTheColumns)
{
    const std::string empty = FrameToText(Can(false, false, 0x7FF, 0, 1));
    EXPECT_EQ(empty.size(), 62u);
    EXPECT_EQ(empty.substr(16, 34), std::string(34, ' '));
    const std::string full = FrameToText(Can(false, false, 0x7FF, 8, 1));
    EXPECT_EQ(full.size(), 62u);
    EXPECT_EQ(full.substr(47, 3), "FF ");
}

TEST(FrameToText, LongLengthShowsEightBytesAndTheLengthAsReceived)
{
    for (int len = 9; len <= 15; ++len) {
        const std::string line = FrameToText(Can(false, false, 0x10, len, 345));
        EXPECT_EQ(line.size(), len >= 10 ? 63u : 62u) << len;
        EXPECT_EQ(line.substr(15, len >= 10 ? 2 : 1), std::to_string(len));
        EXPECT_NE(line.find("77  FF "), std::string::npos) << line;
    }
}

TEST(FrameToText, IdentifierWidths)
{
    EXPECT_EQ(FrameToText(Can(false, false, 1, 0, 0)).substr(1, 8), "    0001");
    // Wider values than the field are printed in full, pushing the line right.
    const std::string wide = FrameToText(Can(false, false, 0x12345, 0, 0));
    EXPECT_EQ(wide.substr(1, 9), "    12345");
    EXPECT_EQ(wide.size(), 63u);
    EXPECT_EQ(FrameToText(Can(false, false, 0xFFFFFFFFu, 0, 0)).size(), 66u);
    EXPECT_EQ(FrameToText(Can(false, true, 0x1FFFFFFF, 0, 0)).substr(1, 8), "1FFFFFFF");
}

TEST(FrameToText, LinStatusCodes)
{
    struct {
        std::uint8_t status;
        const char* code;
    } rows[] = {{0, "  "}, {'P', "pe"}, {'F', "fe"}, {'S', "se"}, {'T', "te"}, {'p', "??"}, {1, "??"}, {0xFF, "??"}};
    for (auto row : rows) {
        const std::string line = FrameToText(Lin(false, 0x3C, row.status, 2, 0));
        EXPECT_EQ(line.substr(7, 2), "3C");
        EXPECT_EQ(line.substr(11, 2), row.code) << int(row.status);
    }
}

TEST(FrameToText, HexDumpWhenCheckBytesDiffer)
{
    AdapterRecord r = Can(true, true, 0x1ABCDEF, 8, 345);
    r.bytes[19] = 0x5B;
    const std::string dump = FrameToText(r);
    EXPECT_EQ(dump, "5A 01 88 01 AB CD EF 11 22 33 44 55 66 77 FF 00 00 01 59 5B");
    EXPECT_EQ(dump.size(), 59u);
    // Whatever the type byte says.
    r.bytes[1] = 0x80;
    EXPECT_EQ(FrameToText(r).substr(0, 6), "5A 80 ");
}

// Every kind of line against the printf forms, byte for byte.
TEST(FrameToText, MatchesPrintfFormsForEveryCombination)
{
    std::vector<AdapterRecord> records;
    const std::uint32_t ids[] = {0, 0x1, 0x123, 0x7FF, 0xFFFF, 0x10000, 0x1FFFFFFF, 0xFFFFFFFFu, 0x40000123, 0x5FFFFFFF};
    for (bool tx : {false, true})
        for (bool ext : {false, true})
            for (int len = 0; len <= 15; ++len)
                for (std::uint32_t stamp : kStamps)
                    for (std::uint32_t id : ids)
                        records.push_back(Can(tx, ext, id, len, stamp));
    const std::uint8_t statuses[] = {0, 'P', 'F', 'S', 'T', 'p', 0x01, 0xFF};
    for (bool tx : {false, true})
        for (std::uint8_t status : statuses)
            for (int len = 0; len <= 15; ++len)
                for (std::uint32_t stamp : kStamps)
                    for (std::uint8_t id : {0x00, 0x3C, 0xFF})
                        records.push_back(Lin(tx, id, status, len, stamp));
    // Any non-zero high nibble marks an extended identifier.
    for (std::uint8_t flag : {0x10, 0x20, 0x40, 0xF0}) {
        AdapterRecord r = Can(false, false, 0x123, 3, 345);
        r.bytes[2] |= flag;
        records.push_back(r);
    }
    for (const auto& r : records)
        ASSERT_EQ(FrameToText(r), testsupport::reference::Format(r)) << "type " << int(r.bytes[1]) << " byte2 " << int(r.bytes[2]);

    // Bad check bytes, including every type.
    for (std::uint8_t type : {0x00, 0x01, 0x02, 0x80, 0x81, 0x33}) {
        AdapterRecord r = Can(false, false, 0x123, 3, 345);
        r.bytes[1] = type;
        r.bytes[19] = 0xA5;
        ASSERT_EQ(FrameToText(r), testsupport::reference::Format(r));
    }
}

TEST(FrameToText, FormatFrameStaysWithinItsBuffer)
{
    // The widest line: a full 32-bit standard identifier and a two-digit length.
    AdapterRecord r = Can(true, false, 0xFFFFFFFFu, 15, 4294967295u);
    char buf[tarvik::kMaxFrameTextLength + 8];
    std::memset(buf, '#', sizeof buf);
    const std::size_t n = tarvik::FormatFrame(r, buf);
    EXPECT_EQ(n, 67u);
    EXPECT_LE(n, tarvik::kMaxFrameTextLength);
    for (std::size_t i = n; i < sizeof buf; ++i)
        EXPECT_EQ(buf[i], '#');
}
