#include <gtest/gtest.h>

#include "tusbdev/slcan/slcanreader.h"

using namespace tarvik;
using Kind = SlcanLine::Kind;

namespace {

std::vector<SlcanLine> Read(TSlcanReader& r, const std::string& bytes)
{
    std::vector<SlcanLine> out;
    r.Feed(bytes.data(), bytes.size(), out);
    return out;
}

struct Good {
    const char* text;
    Kind kind;
    std::uint32_t id;
    bool extended, remote;
    int length;
    std::vector<std::uint8_t> data;
    int stamp;  // -1: none
};

TEST(SlcanReader, LinesTheAdaptersSend)
{
    const Good cases[] = {
        {"t12321122\r", Kind::Frame, 0x123, false, false, 2, {0x11, 0x22}, -1},
        {"T01ABCDEF81122334455667788\r", Kind::Frame, 0x1ABCDEF, true, false, 8,
         {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88}, -1},
        {"t7FF0\r", Kind::Frame, 0x7FF, false, false, 0, {}, -1},
        {"r1232\r", Kind::Frame, 0x123, false, true, 2, {}, -1},
        {"R000001238\r", Kind::Frame, 0x123, true, true, 8, {}, -1},
        {"t1231aaEA5F\r", Kind::Frame, 0x123, false, false, 1, {0xAA}, 59999},
        {"R1FFFFFFF0003A\r", Kind::Frame, 0x1FFFFFFF, true, true, 0, {}, 0x3A},
        {"t12321122\r\n", Kind::Frame, 0x123, false, false, 2, {0x11, 0x22}, -1},
        {"\r", Kind::Ok, 0, false, false, 0, {}, -1},
        {"\a", Kind::Error, 0, false, false, 0, {}, -1},
        {"z\r", Kind::TransmitAck, 0, false, false, 0, {}, -1},
        {"Z\r", Kind::TransmitAck, 0, false, false, 0, {}, -1},
        {"F24\r", Kind::Status, 0, false, false, 0, {}, -1},
        {"V1013\r", Kind::Info, 0, false, false, 0, {}, -1},
    };
    for (const Good& c : cases) {
        SCOPED_TRACE(c.text);
        TSlcanReader whole, split;
        const auto a = Read(whole, c.text);
        // The same bytes one at a time, as a slow port delivers them.
        std::vector<SlcanLine> b;
        for (const char* p = c.text; *p; ++p) split.Feed(p, 1, b);
        ASSERT_EQ(a.size(), 1u);
        ASSERT_EQ(b.size(), 1u);
        EXPECT_EQ(whole.BadLines(), 0u);
        EXPECT_EQ(split.BadLines(), 0u);
        for (const SlcanLine& l : {a[0], b[0]}) {
            EXPECT_EQ(l.kind, c.kind);
            EXPECT_EQ(l.id, c.id);
            EXPECT_EQ(l.extended, c.extended);
            EXPECT_EQ(l.remote, c.remote);
            EXPECT_EQ(l.length, c.length);
            for (std::size_t i = 0; i < c.data.size(); ++i) EXPECT_EQ(l.data[i], c.data[i]) << i;
            EXPECT_EQ(l.hasStamp, c.stamp >= 0);
            if (c.stamp >= 0) {
                EXPECT_EQ(l.stampMs, c.stamp);
            }
        }
    }
    TSlcanReader r;
    EXPECT_EQ(Read(r, "F24\r")[0].flags, 0x24);
}

TEST(SlcanReader, BadLinesAreCountedDroppedAndTheNextLineReadsAgain)
{
    const char* bad[] = {
        "t12G21122",                         // not a hex digit in the id
        "t123211X2",                         // nor in the data
        "t1239",                             // length 9
        "t80000",                            // standard id above 7FF
        "T200000000",                        // extended id above 1FFFFFFF
        "t1232112",                          // a data digit short
        "t123211223",                        // one digit too many
        "t12321122EA60",                     // time stamp 60000
        "T01ABCDEF81122334455667788EA5F0",    // 31 characters
        "t123",                              // no length
        "X",                                 // unknown letter
        "zz",
        "F2",
        "V10",
    };
    for (const char* b : bad) {
        SCOPED_TRACE(b);
        TSlcanReader r;
        const auto out = Read(r, std::string(b) + "\r" + "t1230\r");
        EXPECT_EQ(r.BadLines(), 1u);
        ASSERT_EQ(out.size(), 1u);
        EXPECT_EQ(out[0].id, 0x123u);
    }
    // A runaway line never grows the reader; it ends as one bad line at its CR.
    TSlcanReader r;
    const auto out = Read(r, std::string(100000, 'A') + "\rt1230\r");
    EXPECT_EQ(r.BadLines(), 1u);
    EXPECT_EQ(out.size(), 1u);
    // Text cut short by a BEL is bad, the BEL itself still answers.
    TSlcanReader s;
    const auto bel = Read(s, "t12\a");
    ASSERT_EQ(bel.size(), 1u);
    EXPECT_EQ(bel[0].kind, Kind::Error);
    EXPECT_EQ(s.BadLines(), 1u);
}

TEST(SlcanReader, FormattedFramesReadBack)
{
    SlcanLine f;
    f.kind = Kind::Frame;
    f.id = 0x123;
    f.length = 2;
    f.data[0] = 0x11;
    f.data[1] = 0x22;
    EXPECT_EQ(FormatSlcanFrame(f), "t12321122\r");
    f.extended = true;
    f.remote = true;
    f.hasStamp = true;
    f.stampMs = 59999;
    EXPECT_EQ(FormatSlcanFrame(f), "R000001232EA5F\r");
    f.remote = false;
    f.length = 8;
    for (int i = 0; i < 8; ++i) f.data[i] = std::uint8_t(0xF0 + i);
    const std::string longest = FormatSlcanFrame(f);
    EXPECT_EQ(longest.size(), kSlcanMaxLine + 1);
    TSlcanReader r;
    const auto back = Read(r, longest);
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(back[0].data[7], 0xF7);
    EXPECT_EQ(back[0].stampMs, 59999);
}

}  // namespace
