// Encoding: a physical value into a frame's bits by the label's rule read backwards.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <initializer_list>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "ttlabelinfo/labeltable.h"
#include "support/dbcmodel.h"
#include "ttlabelinfo/tlabelinfo.h"

using namespace tarvik;

namespace {

using testsupport::Data;

struct Case {
    const char* line;
    std::uint64_t before;
    double value;
    std::uint64_t after;
    bool clamped;
    double holds;  // what the frame then holds for the label
};

const double kPi = 3.141592653589793;

// The decoding edge cases backwards, then rounding and clamping.
const Case kCases[] = {
    // Byte orders and bit fields across bytes.
    {"a,\"unsigned char\",,0,Big,4,8", 0, 0x23, Data({0x02, 0x30}), false, 0x23},
    {"a,\"unsigned short\",,0,Little,8,16", 0, 0x1234, Data({0x00, 0x34, 0x12}), false, 0x1234},
    {"a,\"unsigned short\",,0,Big,0,16", 0, 0x1234, Data({0x12, 0x34}), false, 0x1234},
    {"a,\"unsigned char\",,0,Big,6,4,1,0,0,15", 0, 0xF, Data({0x03, 0xC0}), false, 0xF},
    {"a,\"unsigned long\",,0,Little,32,32,1,0,0,0", 0, 0x12345678, Data({0, 0, 0, 0, 0x78, 0x56, 0x34, 0x12}), false,
     0x12345678},
    // Little-endian partial bytes: the last byte's bits sit at its top in the frame.
    {"a,\"unsigned short\",,0,Little,0,12,1,0,0,4095", 0, 0x234, Data({0x34, 0x20}), false, 0x234},
    {"a,\"unsigned char\",,0,Little,0,4,1,0,0,15", 0, 0xA, Data({0xA0}), false, 0xA},
    {"a,bit,,0,Little,5,1", 0, 1, Data({0x04}), false, 1},
    // Signed widths: the sign comes from the width.
    {"a,\"signed char\",,0,Big,0,8,1,0,-128,127", 0, -1, Data({0xFF}), false, -1},
    {"a,\"signed short\",,0,Big,0,12,1,0,-2048,2047", 0, -2048, Data({0x80, 0x00}), false, -2048},
    {"a,\"signed short\",,0,Big,0,12,1,0,-2048,2047", 0, 2047, Data({0x7F, 0xF0}), false, 2047},
    {"a,\"signed short\",,0,Little,0,12,1,0,-4096,4096", 0, -2048, Data({0x00, 0x80}), false, -2048},
    {"a,\"signed short\",,0,Big,0,12,1,0,0,0", 0, -3000, Data({0x80, 0x00}), true, -2048},
    {"a,\"signed __int64\",,0,Big,0,64,2,5,0,0", 0, 3, ~0ull, false, 3},
    {"a,\"signed __int64\",,0,Big,0,64,1,0,0,0", 0, -1e19, 0x8000000000000000ull, true, -0x1p63},
    {"a,\"unsigned __int64\",,0,Big,0,64,1,0,0,0", 0, 1e20, ~0ull, true, 0x1p64},
    // float and double: IEEE-754 bits, Lsb and Offset not applied.
    {"a,float,,0,Big,0,32,10,5,-9999.999,9999.999", 0, 1.0, Data({0x3F, 0x80, 0, 0}), false, 1.0},
    {"a,float,,0,Little,0,32,1,0,0,0", 0, 1.0, Data({0, 0, 0x80, 0x3F}), false, 1.0},
    {"a,float,,0,Big,32,32,1,0,0,0", 0, -2.5, Data({0, 0, 0, 0, 0xC0, 0x20, 0, 0}), false, -2.5},
    {"a,float,,0,Big,0,32,1,0,0,0", 0, 0.1, Data({0x3D, 0xCC, 0xCC, 0xCD}), false, double(0.1f)},
    {"a,float,,0,Big,0,32,1,0,0,0", 0, 1e39, Data({0x7F, 0x7F, 0xFF, 0xFF}), true,
     double(std::numeric_limits<float>::max())},
    {"a,double,,0,Big,0,64,10,5,0,0", 0, kPi, Data({0x40, 0x09, 0x21, 0xFB, 0x54, 0x44, 0x2D, 0x18}), false, kPi},
    {"a,double,,0,Little,0,64,1,0,0,0", 0, kPi, Data({0x18, 0x2D, 0x44, 0x54, 0xFB, 0x21, 0x09, 0x40}), false, kPi},
    {"a,double,,0,Big,0,64,1,0,-10,10", 0, 1e6, Data({0x40, 0x24, 0, 0, 0, 0, 0, 0}), true, 10},
    // Scale and offset, rounded to the nearest raw value.
    {"EngineSpeed,\"unsigned short\",,0x0C0,Big,0,16,0.25,0,0,8000,rpm", 0, 2000, Data({0x1F, 0x40}), false, 2000},
    {"EngineSpeed,\"unsigned short\",,0x0C0,Big,0,16,0.25,0,0,8000,rpm", 0, 2000.1, Data({0x1F, 0x40}), false, 2000},
    {"EngineSpeed,\"unsigned short\",,0x0C0,Big,0,16,0.25,0,0,8000,rpm", 0, 2000.13, Data({0x1F, 0x41}), false,
     2000.25},
    {"CoolantTemp,\"unsigned char\",,0x3C0,Big,0,8,1,-40,-40,215,degC", 0, 85, Data({0x7D}), false, 85},
    {"a,\"signed char\",,0,Big,8,8,1/2,10-2,0,0", 0, 7, Data({0, 0xFE}), false, 7},
    {"a,\"unsigned char\",,0,Big,0,8,-1,0,-255,0", 0, -5, Data({0x05}), false, -5},
    // Clamping to Min..Max, then to the width; a range with Min not below Max limits nothing.
    {"Throttle,\"unsigned char\",,0x0C0,Big,16,8,0.4,0,0,100,%", 0, 150, Data({0, 0, 0xFA}), true, 100},
    {"a,\"unsigned char\",,0,Big,0,8,1,0,0,1000", 0, 300, Data({0xFF}), true, 255},
    {"a,\"unsigned char\",,0,Big,0,8,1,0,0,0", 0, 200, Data({0xC8}), false, 200},
    {"a,\"unsigned char\",,0,Big,0,8,1,0,0,0", 0, -3, Data({0x00}), true, 0},
    {"a,\"unsigned char\",,0,Big,0,8,1,0,50,10", 0, 200, Data({0xC8}), false, 200},
    // "bit": the one bit Decode reads, unscaled; the field's other bits keep their value.
    {"a,bit,,0,Big,7,1,10,5,0,1", 0, 1, Data({0x01}), false, 1},
    {"a,bit,,0,Big,7,1,1,0,0,1", 0, 0.6, Data({0x01}), false, 1},
    {"a,bit,,0,Big,7,1,1,0,0,0", 0, 2, Data({0x01}), true, 1},
    {"a,bit,,0,Big,0,4,1,0,0,1", Data({0xF0}), 0, Data({0xE0}), false, 0},
    // Bits that the label does not cover keep their value.
    {"a,\"unsigned char\",,0,Big,4,8,1,0,0,0", ~0ull, 0, 0xF00FFFFFFFFFFFFFull, false, 0},
    {"a,\"unsigned short\",,0,Little,8,16,1,0,0,0", ~0ull, 0x1234, 0xFF3412FFFFFFFFFFull, false, 0x1234},
    // What the frame or the width cannot hold.
    {"a,\"unsigned char\",,0,Big,60,8,1,0,0,0", 0, 0xFF, 0xFull, true, 0xF0},
    {"a,\"unsigned short\",,0,Big,0,0,3,7", 5, 7, 5, false, 7},
    {"a,\"unsigned short\",,0,Big,0,0,3,7", 5, 8, 5, true, 7},
    {"a,\"unsigned short\",,0,Big,0,16,0,7,0,0", 5, 8, 5, true, 7},
    {"a,\"unsigned short\",,0,Big,0,16,1,0,0,0", Data({0x12, 0x34}), std::nan(""), Data({0x12, 0x34}), true, 0x1234},
    {"a,float,,0,Big,16,16,1,0,0,0", 0, 1.0, 0, true, 0},
};

}  // namespace

TEST(LabelEncode, Cases)
{
    for (const Case& c : kCases) {
        TLabelData l;
        l.SetFromLine(c.line);
        std::uint64_t data = c.before;
        const TEncodeResult r = l.Encode(c.value, data);
        EXPECT_EQ(data, c.after) << std::hex << c.line << " value " << c.value << " gave " << data;
        EXPECT_EQ(r.clamped, c.clamped) << c.line << " value " << c.value;
        EXPECT_EQ(r.value, c.holds) << c.line << " value " << c.value;
        EXPECT_EQ(l.DecodeValue(data), r.value) << c.line;
        EXPECT_TRUE(IsNoValue(l.Value())) << "Encode leaves Value alone: " << c.line;
    }
}

TEST(LabelEncode, NoValueLeavesTheBits)
{
    TLabelData l;
    l.SetFromLine("a,\"unsigned char\",,0,Big,0,8");
    std::uint64_t data = Data({0x42});
    const TEncodeResult r = l.Encode(NoValue(), data);
    EXPECT_EQ(data, Data({0x42}));
    EXPECT_FALSE(r.clamped);
    EXPECT_EQ(r.value, 0x42);
}

TEST(LabelEncode, FrameOfSeveralLabelsInGroupOrder)
{
    LabelTable t;
    t.LoadFromLines({"EngineSpeed,\"unsigned short\",,0x0C0,Big,0,16,0.25,0,0,8000,rpm",
                     "Other,\"unsigned char\",,0x0C1,Big,0,8",
                     "// Throttle,\"unsigned char\",,0x0C0,Big,16,8,0.4,0,0,100,%",
                     "EngineRunning,bit,,0x0C0,Big,24,1,1,0,0,1,"},
                    {}, tarvik::TDaqOffLabels::Keep);
    ASSERT_EQ(t.Count(), 4);
    EXPECT_EQ(t.Label(2).Name(), "Throttle");  // a label not acquired still sends
    const double values[] = {2000, 40, NoValue()};
    std::array<TEncodeResult, 3> results;
    std::uint64_t data = Data({0, 0, 0, 0xFF, 0xAB});
    ASSERT_EQ(t.EncodeFrame(0x0C0, values, data, results), 3);
    EXPECT_EQ(data, Data({0x1F, 0x40, 0x64, 0xFF, 0xAB}));
    EXPECT_EQ(results[1].value, 40);
    EXPECT_EQ(results[2].value, 1);
    EXPECT_EQ(t.EncodeFrame(0x123, values, data), 0);
    EXPECT_EQ(data, Data({0x1F, 0x40, 0x64, 0xFF, 0xAB}));
}

namespace {

// A random label: any byte order, start and width (some running off the frame), any type,
// and a range that limits nothing (Min = Max, or one wider than any value).
TGraphInfo RandomLabel(std::mt19937_64& rng, bool emptyRange)
{
    static const char* const kTypes[] = {"bit", "signed char", "unsigned char", "signed short",
                                         "unsigned short", "signed long", "unsigned long", "float",
                                         "double", "signed __int64", "unsigned __int64", ""};
    static const char* const kLsbs[] = {"1", "0.25", "0.1", "1/16", "-0.5", "3", "0.001"};
    static const char* const kOffsets[] = {"0", "-40", "12.5", "-1000.3"};
    TGraphInfo l;
    const std::string type = kTypes[rng() % std::size(kTypes)];
    l.SetType(type);
    l.SetEndian(rng() % 2 ? "Big" : "Little");
    // A double holds integers of up to 53 bits exactly: wider integer fields cannot come
    // back from their decoded value bit for bit.
    const bool integer = type != "float" && type != "double";
    const int width = integer ? int(rng() % 41) : type == "float" ? (rng() % 4 ? 32 : int(rng() % 65))
                                                                    : (rng() % 4 ? 64 : int(rng() % 65));
    l.SetBitWidth(width);
    l.SetBitStart(int(rng() % 72) - 4);
    l.SetLsb(kLsbs[rng() % std::size(kLsbs)]);
    l.SetOffset(kOffsets[rng() % std::size(kOffsets)]);
    l.SetMin(emptyRange ? "0" : "-1E308*10");  // infinities: a double field holds any number
    l.SetMax(emptyRange ? "0" : "1E308*10");
    return l;
}

}  // namespace

// For random frames, encoding every label's decoded value gives back the same frame.
TEST(LabelEncodeProperty, DecodedValuesEncodeToTheSameFrame)
{
    std::mt19937_64 rng(20240522);
    int labelsChecked = 0;
    for (int round = 0; round < 3000; ++round) {
        std::vector<TGraphInfo> labels;
        const int n = 1 + int(rng() % 6);
        for (int i = 0; i < n; ++i) {
            labels.push_back(RandomLabel(rng, i % 2 == 0));
            labels.back().SetCanId(0x100);
        }
        LabelTable t;
        t.LoadFromLabels(labels);
        const std::uint64_t frame = rng();
        ASSERT_EQ(t.DecodeFrame(0x100, frame), n);
        std::vector<double> values;
        bool floatNaN = false;
        for (const TGraphInfo* l : t.FindGroup(0x100)->Labels) {
            values.push_back(l->Value());
            // Widening a float quiets a signalling NaN: that frame's bits cannot come back.
            floatNaN |= l->Type() == "float" && std::isnan(l->Value());
        }
        if (floatNaN)
            continue;
        std::uint64_t data = frame;
        std::vector<TEncodeResult> results(values.size());
        t.EncodeFrame(0x100, values, data, results);
        auto describe = [&] {
            std::string d;
            for (const TGraphInfo* l : t.FindGroup(0x100)->Labels)
                d += l->Type() + " " + l->Endian() + " " + std::to_string(l->BitStart()) + "/" +
                     std::to_string(l->BitWidth()) + " lsb " + l->LsbText() + " off " + l->OffsetText() + " = " +
                     std::to_string(l->Value()) + "; ";
            return d;
        };
        ASSERT_EQ(data, frame) << std::hex << "round " << round << " frame " << frame << " " << describe();
        for (std::size_t i = 0; i < results.size(); ++i) {
            EXPECT_FALSE(results[i].clamped) << "round " << round << " label " << i << " " << describe();
            labelsChecked++;
        }
    }
    EXPECT_GT(labelsChecked, 5000);
}

// Decoding an encoded value gives the value within half a scale step (integer labels) or
// within a float's rounding.
TEST(LabelEncodeProperty, EncodedValuesDecodeWithinHalfAStep)
{
    std::mt19937_64 rng(7);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    int checked = 0;
    for (int round = 0; round < 20000; ++round) {
        TGraphInfo l = RandomLabel(rng, true);
        const int width = std::clamp(l.BitWidth(), 0, 64);
        const bool inFrame = l.BitStart() >= 0 && l.BitStart() + width <= 64;
        if (!inFrame || width == 0)
            continue;
        std::uint64_t data = rng();
        double v;
        double tolerance;
        if (l.Type() == "float" && width >= 32) {
            v = (unit(rng) - 0.5) * std::pow(10.0, int(rng() % 20) - 10);
            tolerance = std::fabs(v) * 0x1p-24;
        } else if (l.Type() == "double" && width == 64) {
            v = (unit(rng) - 0.5) * std::pow(10.0, int(rng() % 40) - 20);
            tolerance = 0;
        } else if (l.Type() == "float" || l.Type() == "double") {
            continue;
        } else {
            // A value anywhere inside what the field holds.
            const bool bit = l.Type() == "bit";
            const bool isSigned = l.IsSigned();
            const double span = bit ? 1 : std::ldexp(1.0, width) - 1;
            const double lowRaw = isSigned ? -std::ldexp(1.0, width - 1) : 0;
            const double raw = lowRaw + unit(rng) * span;
            const double scale = bit ? 1 : l.Lsb();
            v = raw * scale + (bit ? 0 : l.Offset());
            tolerance = std::fabs(scale) / 2 * (1 + 1e-9) + std::fabs(v) * 1e-12;
        }
        const TEncodeResult r = l.Encode(v, data);
        ASSERT_FALSE(r.clamped) << l.Type() << " width " << width << " value " << v;
        ASSERT_LE(std::fabs(l.DecodeValue(data) - v), tolerance)
            << l.Type() << " " << l.Endian() << " start " << l.BitStart() << " width " << width << " lsb "
            << l.Lsb() << " value " << v;
        ++checked;
    }
    EXPECT_GT(checked, 5000);
}
