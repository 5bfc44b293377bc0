#include <gtest/gtest.h>

#include <cmath>

#include <atomic>
#include <climits>
#include <initializer_list>
#include <thread>

#include "support/dbcmodel.h"
#include "ttlabelinfo/tlabelinfo.h"

using namespace tarvik;

namespace {

using testsupport::Data;

double DecodeLine(const std::string& line, std::uint64_t data)
{
    TLabelData l;
    l.SetFromLine(line);
    l.Decode(data);
    return l.Value();
}

}  // namespace

TEST(LabelDecode, BigEndianIntegers)
{
    EXPECT_EQ(DecodeLine("a,\"unsigned char\",,0,Big,4,8", Data({0x12, 0x34})), 0x23);
    EXPECT_EQ(DecodeLine("a,\"unsigned short\",,0,Big,0,16", Data({0x12, 0x34})), 0x1234);
    EXPECT_EQ(DecodeLine("a,\"unsigned long\",,0,Big,32,32", Data({0, 0, 0, 0, 0xDE, 0xAD, 0xBE, 0xEF})),
              0xDEADBEEF);
    EXPECT_EQ(DecodeLine("a,\"unsigned __int64\",,0,Big,0,64", Data({0, 0, 0, 0, 0, 0, 1, 0})), 256);
    EXPECT_EQ(DecodeLine("a,\"signed long\",,0,Big,0,32", Data({0xFF, 0xFF, 0xFF, 0xFE})), -2);
    // Scale and offset, including expression texts.
    EXPECT_DOUBLE_EQ(DecodeLine("a,\"unsigned short\",,0,Big,0,16,0.25,-10", Data({0x00, 0x64})), 15);
    EXPECT_DOUBLE_EQ(DecodeLine("a,\"signed char\",,0,Big,8,8,1/2,10-2", Data({0, 0xFE})), 7);
}

TEST(LabelDecode, LittleEndianIntegers)
{
    EXPECT_EQ(DecodeLine("a,\"unsigned short\",,0,Little,8,16", Data({0x00, 0x34, 0x12})), 0x1234);
    EXPECT_EQ(DecodeLine("a,\"unsigned short\",,0,Little,0,16", Data({0x01, 0x02})), 0x0201);
    EXPECT_EQ(DecodeLine("a,\"unsigned long\",,0,Little,32,32", Data({0, 0, 0, 0, 0x78, 0x56, 0x34, 0x12})),
              0x12345678);
    EXPECT_EQ(DecodeLine("a,\"signed short\",,0,Little,0,16", Data({0xFE, 0xFF})), -2);
    EXPECT_EQ(DecodeLine("a,\"unsigned __int64\",,0,Little,0,64", Data({1, 0, 0, 0, 0, 0, 0, 0})), 1);
    // Whole-byte width at an odd start: the bits of the field, bytes read low first.
    EXPECT_EQ(DecodeLine("a,\"unsigned char\",,0,Little,4,8", Data({0x12, 0x34})), 0x23);
    // Only exactly "Big" is big-endian.
    EXPECT_EQ(DecodeLine("a,\"unsigned short\",,0,big,0,16", Data({0x01, 0x02})), 0x0201);
    EXPECT_EQ(DecodeLine("a,\"unsigned short\",,0,BIG,0,16", Data({0x01, 0x02})), 0x0201);
    EXPECT_EQ(DecodeLine("a,\"unsigned short\",,0,,0,16", Data({0x01, 0x02})), 0x0201);
}

TEST(LabelDecode, LittleEndianPartialBytesAreRightAligned)
{
    EXPECT_EQ(DecodeLine("a,\"unsigned char\",,0,Little,0,4", Data({0xA0})), 0xA);
    EXPECT_EQ(DecodeLine("a,bit,,0,Little,5,1", Data({0x04})), 1);
    EXPECT_EQ(DecodeLine("a,bit,,0,Little,5,1", Data({0xFB})), 0);
    // 12 bits from byte 0 then the top nibble of byte 1: low byte first.
    EXPECT_EQ(DecodeLine("a,\"unsigned short\",,0,Little,0,12", Data({0x34, 0x20})), 0x234);
    // Sign of a partial field comes from its top bit after alignment.
    EXPECT_EQ(DecodeLine("a,\"signed short\",,0,Little,0,12", Data({0x00, 0x80})), -2048);
}

TEST(LabelDecode, SignFromWidthAndTypes)
{
    EXPECT_EQ(DecodeLine("a,\"signed char\",,0,Big,0,8", Data({0xFF})), -1);
    EXPECT_EQ(DecodeLine("a,\"unsigned char\",,0,Big,0,8", Data({0xFF})), 255);
    EXPECT_EQ(DecodeLine("a,\"signed short\",,0,Big,0,12", Data({0x80, 0x00})), -2048);
    EXPECT_EQ(DecodeLine("a,\"signed char\",,0,Big,0,12", Data({0x7F, 0xF0})), 2047);
    EXPECT_DOUBLE_EQ(DecodeLine("a,\"signed __int64\",,0,Big,0,64,2,5", ~0ull), 3);
    EXPECT_EQ(DecodeLine("a,\"signed __int64\",,0,Big,0,64", 0x8000000000000000ull), -9223372036854775808.0);
    EXPECT_EQ(DecodeLine("a,\"unsigned __int64\",,0,Big,0,64", ~0ull), 18446744073709551615.0);
    // Type names are exact: another spelling is unsigned.
    EXPECT_EQ(DecodeLine("a,\"Signed Char\",,0,Big,0,8", Data({0xFF})), 255);
}

TEST(LabelDecode, BitFloatDoubleAreNotScaled)
{
    EXPECT_EQ(DecodeLine("a,bit,,0,Big,7,1,10,5", Data({0x01})), 1);
    EXPECT_EQ(DecodeLine("a,bit,,0,Big,6,1,10,5", Data({0x01})), 0);
    EXPECT_EQ(DecodeLine("a,float,,0,Big,0,32,10,5", Data({0x3F, 0x80, 0, 0})), 1.0);
    EXPECT_EQ(DecodeLine("a,float,,0,Little,0,32", Data({0, 0, 0x80, 0x3F})), 1.0);
    EXPECT_EQ(DecodeLine("a,float,,0,Big,32,32", Data({0, 0, 0, 0, 0xC0, 0x20, 0, 0})), -2.5);
    EXPECT_EQ(DecodeLine("a,double,,0,Big,0,64,10,5", Data({0x40, 0x09, 0x21, 0xFB, 0x54, 0x44, 0x2D, 0x18})),
              3.141592653589793);
    EXPECT_EQ(DecodeLine("a,double,,0,Little,0,64", Data({0x18, 0x2D, 0x44, 0x54, 0xFB, 0x21, 0x09, 0x40})),
              3.141592653589793);
}

TEST(LabelDecode, WidthZeroGivesOffset)
{
    EXPECT_DOUBLE_EQ(DecodeLine("a,\"unsigned short\",,0,Big,0,0,3,7", ~0ull), 7);
    EXPECT_DOUBLE_EQ(DecodeLine("a,\"signed short\",,0,Little,12,0,3,-7", ~0ull), -7);
    EXPECT_EQ(DecodeLine("a,bit,,0,Big,0,0", ~0ull), 0);
    TLabelData l;
    l.SetFromLine("a,x,,0,Big,0,0");
    EXPECT_EQ(l.Mask(), 0u);
    EXPECT_EQ(l.Shift(), 64);
}

TEST(LabelDecode, FieldsBeyondTheFrameAreDefined)
{
    // Bits past position 63 read as zeros: the field keeps its width.
    EXPECT_EQ(DecodeLine("a,\"unsigned short\",,0,Big,56,16", Data({0, 0, 0, 0, 0, 0, 0, 0xAB})), 0xAB00);
    EXPECT_EQ(DecodeLine("a,\"unsigned short\",,0,Little,56,16", Data({0, 0, 0, 0, 0, 0, 0, 0xAB})), 0xAB);
    EXPECT_EQ(DecodeLine("a,\"signed short\",,0,Big,60,8", Data({0, 0, 0, 0, 0, 0, 0, 0x08})), -128);
    EXPECT_EQ(DecodeLine("a,\"unsigned __int64\",,0,Big,63,64", 1), 9223372036854775808.0);
    // A width above 64 counts as 64; nothing at all of the field in the frame reads 0.
    EXPECT_EQ(DecodeLine("a,\"unsigned __int64\",,0,Big,0,100", 5), 5);
    EXPECT_EQ(DecodeLine("a,\"unsigned char\",,0,Big,64,8,1,3", ~0ull), 3);
    EXPECT_EQ(DecodeLine("a,\"unsigned char\",,0,Little,-8,8,1,3", ~0ull), 3);
    // A negative start: the missing leading bits are zeros.
    EXPECT_EQ(DecodeLine("a,\"unsigned char\",,0,Big,-4,8", Data({0xAB})), 0xA);
    EXPECT_EQ(DecodeLine("a,\"unsigned char\",,0,Little,-4,8", Data({0xAB})), 0xA);
    // Extreme numbers from a hand-edited file must not overflow a shift.
    for (int start : {INT_MIN, -1000, -65, 64, 1000, INT_MAX}) {
        for (int width : {INT_MIN, -1, 0, 1, 64, 65, INT_MAX}) {
            for (const char* endian : {"Big", "Little"}) {
                TLabelData l;
                l.SetEndian(endian);
                l.SetType("unsigned char");
                l.SetOffset("3");
                l.SetBitStart(start);
                l.SetBitWidth(width);
                l.Decode(~0ull);
                EXPECT_EQ(l.Value(), 3) << start << " " << width << " " << endian;
            }
        }
    }
}

// Against a bit-by-bit statement of the rule: field bit i is position start + i (zero
// outside the frame); big-endian reads them most significant first, little-endian in
// bytes least significant first, a final partial byte holding its bits at the bottom.
TEST(LabelDecode, MatchesBitByBitModel)
{
    std::uint64_t seed = 88172645463325252ull;
    auto next = [&] {
        seed ^= seed << 13;
        seed ^= seed >> 7;
        seed ^= seed << 17;
        return seed;
    };
    for (int start = -70; start <= 70; ++start) {
        for (int width = 0; width <= 64; ++width) {
            const std::uint64_t data = next();
            auto bit = [&](int i) -> std::uint64_t {
                const int p = start + i;
                return p >= 0 && p <= 63 ? (data >> (63 - p)) & 1 : 0;
            };
            std::uint64_t be = 0;
            for (int i = 0; i < width; ++i)
                be = (be << 1) | bit(i);
            std::uint64_t le = 0;
            for (int j = 0; 8 * j < width; ++j) {
                std::uint64_t byte = 0;
                for (int i = 8 * j; i < width && i < 8 * j + 8; ++i)
                    byte = (byte << 1) | bit(i);
                le |= byte << (8 * j);
            }
            for (bool big : {true, false}) {
                const std::uint64_t raw = big ? be : le;
                // Exact in integers before the one rounding to double.
                std::uint64_t extended = raw;
                if (width > 0 && width < 64 && ((raw >> (width - 1)) & 1))
                    extended = raw - (1ull << width);
                const double expectSigned = static_cast<double>(static_cast<std::int64_t>(extended));
                TLabelData l;
                l.SetEndian(big ? "Big" : "Little");
                l.SetBitStart(start);
                l.SetBitWidth(width);
                l.SetType("unsigned __int64");
                l.Decode(data);
                ASSERT_EQ(l.Value(), static_cast<double>(raw)) << start << " " << width << " " << big;
                l.SetType("signed __int64");
                l.Decode(data);
                ASSERT_EQ(l.Value(), expectSigned) << start << " " << width << " " << big;
                l.SetType("bit");
                l.Decode(data);
                ASSERT_EQ(l.Value(), static_cast<double>(raw & 1)) << start << " " << width << " " << big;
            }
        }
    }
}

TEST(LabelDecode, MaskAndShift)
{
    TLabelData l;
    l.SetBitStart(4);
    l.SetBitWidth(8);
    EXPECT_EQ(l.Mask(), 0x0FF0000000000000ull);
    EXPECT_EQ(l.Shift(), 52);
    l.SetBitStart(0);
    l.SetBitWidth(64);
    EXPECT_EQ(l.Mask(), ~0ull);
    EXPECT_EQ(l.Shift(), 0);
    l.SetBitStart(60);
    l.SetBitWidth(8);
    EXPECT_EQ(l.Mask(), 0xFull);
    EXPECT_EQ(l.Shift(), -4);
}

TEST(LabelFields, IntegerForms)
{
    EXPECT_EQ(ParseLabelInt("0x7DF"), 2015);
    EXPECT_EQ(ParseLabelInt("0X7df"), 2015);
    EXPECT_EQ(ParseLabelInt("$7DF"), 2015);
    EXPECT_EQ(ParseLabelInt("x7DF"), 2015);
    EXPECT_EQ(ParseLabelInt("X7DF"), 2015);
    EXPECT_EQ(ParseLabelInt("2015"), 2015);
    EXPECT_EQ(ParseLabelInt("  -12"), -12);
    EXPECT_EQ(ParseLabelInt("+12"), 12);
    EXPECT_EQ(ParseLabelInt("7DF"), 0);
    EXPECT_EQ(ParseLabelInt(""), 0);
    EXPECT_EQ(ParseLabelInt("12 "), 0);
    EXPECT_EQ(ParseLabelInt("12a"), 0);
    EXPECT_EQ(ParseLabelInt("0x"), 0);
    EXPECT_EQ(ParseLabelInt("2147483647"), 2147483647);
    EXPECT_EQ(ParseLabelInt("-2147483648"), INT_MIN);
    EXPECT_EQ(ParseLabelInt("2147483648"), 0);
    EXPECT_EQ(ParseLabelInt("99999999999999999999999"), 0);
    EXPECT_EQ(ParseLabelInt("0x1FFFFFFF"), 0x1FFFFFFF);
    EXPECT_EQ(ParseLabelInt("0xFFFFFFFF"), -1);
    EXPECT_EQ(ParseLabelInt("0x000000001"), 1);
    EXPECT_EQ(ParseLabelInt("0x100000000"), 0);
}

TEST(LabelFields, SetFromLineFullAndShort)
{
    TLabelData l;
    l.SetFromLine("EngineSpeed,\"unsigned short\",X,0x18FEF100,Big,0,16,0.25,-(10),0,8000,rpm,extra");
    EXPECT_EQ(l.Name(), "EngineSpeed");
    EXPECT_EQ(l.Type(), "unsigned short");
    EXPECT_TRUE(l.Extended());
    EXPECT_EQ(l.CanId(), 0x18FEF100u);
    EXPECT_EQ(l.FrameKey(), 0x98FEF100u);
    EXPECT_EQ(l.BitWidth(), 16);
    EXPECT_DOUBLE_EQ(l.Lsb(), 0.25);
    EXPECT_DOUBLE_EQ(l.Offset(), -10);
    EXPECT_DOUBLE_EQ(l.Max(), 8000);
    EXPECT_EQ(l.Unit(), "rpm");

    TLabelData s;
    s.SetFromLine("Speed");
    EXPECT_EQ(s.Name(), "Speed");
    EXPECT_EQ(s.Type(), "");
    EXPECT_FALSE(s.Extended());
    EXPECT_EQ(s.FrameKey(), 0u);
    EXPECT_EQ(s.Endian(), "Big");
    EXPECT_EQ(s.BitStart(), 0);
    EXPECT_EQ(s.BitWidth(), 0);
    EXPECT_EQ(s.LsbText(), "1");
    EXPECT_EQ(s.OffsetText(), "0");
    EXPECT_EQ(s.MinText(), "0");
    EXPECT_EQ(s.MaxText(), "0");
    EXPECT_DOUBLE_EQ(s.Max(), 0);
    EXPECT_EQ(s.Unit(), "");

    // Present but empty fields take the setters' defaults; Max is then 100.
    TLabelData e;
    e.SetFromLine("n,,,,,,,,,,,");
    EXPECT_EQ(e.LsbText(), "1");
    EXPECT_EQ(e.MaxText(), "100");
    EXPECT_DOUBLE_EQ(e.Max(), 100);
    EXPECT_EQ(e.Endian(), "");
    EXPECT_FALSE(e.IsBigEndian());
}

TEST(LabelFields, KeyRules)
{
    TLabelData l;
    l.SetFromLine("a,b,x,0x123");
    EXPECT_FALSE(l.Extended());  // lower-case x is not the mark
    EXPECT_EQ(l.FrameKey(), 0x123u);
    l.SetFromLine("a,b,,0xFFFF");
    EXPECT_EQ(l.FrameKey(), 0x7FFu);
    l.SetFromLine("a,b,X,0xFFFFFFFF");
    EXPECT_EQ(l.FrameKey(), 0x9FFFFFFFu);
    l.SetFromLine("a,b,\" X \",0x10");
    EXPECT_EQ(l.FrameKey(), 0x80000010u);
}

TEST(LabelFields, ConstructionDefaultsAndCopy)
{
    TGraphInfo g;
    EXPECT_EQ(g.Endian(), "Big");
    EXPECT_DOUBLE_EQ(g.Lsb(), 1);
    EXPECT_DOUBLE_EQ(g.Max(), 100);
    EXPECT_EQ(g.Shift(), 64);
    EXPECT_EQ(g.Color(), 0xFFFFFFu);
    g.SetFromLine("a,\"unsigned char\",,1,Little,8,8,2");
    g.SetPrevValue(3);
    g.Decode(Data({0, 5}));
    EXPECT_EQ(g.Value(), 10);
    TGraphInfo copy = g;
    EXPECT_EQ(copy.Value(), 10);
    copy.Decode(Data({0, 7}));
    EXPECT_EQ(copy.Value(), 14);
    EXPECT_EQ(g.Value(), 10);
    g.ClearValue();
    EXPECT_TRUE(IsNoValue(g.Value()));
    EXPECT_TRUE(IsNoValue(g.PrevValue()));
}

TEST(LabelValue, NoValueUntilTheFirstFrame)
{
    struct Case {
        const char* line;
        std::uint64_t data;
        bool nan;  // the decoded value is an ordinary NaN
    };
    const Case cases[] = {
        {"a,\"unsigned char\",,1,Big,0,8", 0, false},
        {"a,bit,,1,Big,0,1", 0, false},
        {"a,float,,1,Big,0,32", 0x7FC0000000000000ull, true},
        {"a,double,,1,Big,0,64", 0x7FF8000000000000ull, true},
        // A frame that carries the very bits of "no value" still carries a value.
        {"a,double,,1,Big,0,64", kNoValueBits, true},
    };
    for (const Case& c : cases) {
        TGraphInfo label;
        label.SetFromLine(c.line);
        EXPECT_TRUE(IsNoValue(label.Value())) << c.line;
        EXPECT_TRUE(IsNoValue(label.PrevValue())) << c.line;
        TGraphInfo copy = label;
        EXPECT_TRUE(IsNoValue(copy.Value())) << c.line;
        label.Decode(c.data);
        EXPECT_FALSE(IsNoValue(label.Value())) << c.line;
        EXPECT_EQ(std::isnan(label.Value()), c.nan) << c.line;
        if (!c.nan) {
            EXPECT_EQ(label.Value(), 0) << c.line;
        }
    }
}

// Values cross threads without a lock; a reader must only ever see whole values.
TEST(LabelValue, ReadersSeeWholeValuesWhileDecoding)
{
    TLabelData l;
    l.SetFromLine("a,double,,0,Big,0,64");
    const double a = 1.0, b = -3.0e300;
    std::uint64_t da, db;
    std::memcpy(&da, &a, 8);
    std::memcpy(&db, &b, 8);
    std::atomic<bool> stop{false};
    std::thread writer([&] {
        for (int i = 0; !stop.load(); ++i)
            l.Decode(i & 1 ? da : db);
    });
    long odd = 0;
    for (int i = 0; i < 2000000; ++i) {
        const double v = l.Value();
        if (v != a && v != b && !IsNoValue(v))
            ++odd;
    }
    stop = true;
    writer.join();
    EXPECT_EQ(odd, 0);
}
