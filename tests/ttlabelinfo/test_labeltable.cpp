#include <gtest/gtest.h>

#include <array>
#include <filesystem>

#include "support/testsupport.h"
#include "ttlabelinfo/labelline.h"
#include "ttlabelinfo/labeltable.h"

using namespace tarvik;
namespace fs = std::filesystem;

namespace {

const std::array<std::uint32_t, 16> kPalette = {
    0x0000FF, 0x00FF00, 0x00FFFF, 0xFF0000, 0xFF00FF, 0xFFFF00, 0xFFFFFF, 0x000080,
    0x008000, 0x008080, 0x800000, 0x800080, 0x808000, 0x808080, 0xC0C0C0, 0xC0DCC0};

std::string WriteTemp(const std::string& name, const std::string& bytes)
{
    const fs::path dir = fs::path(testsupport::BinaryDir()) / "test_tmp" / "labeltable";
    fs::create_directories(dir);
    const std::string path = (dir / name).string();
    std::string error;
    EXPECT_TRUE(WriteFileAtomically(path, bytes, &error)) << error;
    return path;
}

}  // namespace

TEST(LabelTable, LoadSkipsBlankAndDaqOffLinesAndGroupsByKey)
{
    const std::string path = WriteTemp(
        "groups.txt",
        "Speed,\"unsigned short\",,0x0C0,Big,0,16,0.25\r\n"
        "\r\n"
        "   \t\r\n"
        "// Off,\"unsigned char\",,0x0C0,Big,16,8\r\n"
        "ExtSame,\"unsigned char\",X,0x0C0,Big,0,8\n"
        "Temp,\"signed char\",,0x0C0,Big,16,8,1,-40\r"
        " // Kept,\"unsigned char\",,0x123,Big,0,8");
    LabelTable t;
    ASSERT_TRUE(t.LoadFromFile(path, kPalette));
    ASSERT_EQ(t.Count(), 4);
    EXPECT_EQ(t.Label(0).Name(), "Speed");
    EXPECT_EQ(t.Label(1).Name(), "ExtSame");
    EXPECT_EQ(t.Label(2).Name(), "Temp");
    EXPECT_EQ(t.Label(3).Name(), "//");  // a blank before "// " makes it a label

    ASSERT_EQ(t.GroupCount(), 3);
    EXPECT_EQ(t.Group(0).Key, 0x0C0u);
    EXPECT_EQ(t.Group(1).Key, 0x800000C0u);
    EXPECT_EQ(t.Group(2).Key, 0u);  // its fields shift by one: the id field is empty
    ASSERT_EQ(t.Group(0).Labels.size(), 2u);
    EXPECT_EQ(t.Group(0).Labels[0], &t.Label(0));
    EXPECT_EQ(t.Group(0).Labels[1], &t.Label(2));
    EXPECT_EQ(t.FindGroup(0x800000C0u), &t.Group(1));
    EXPECT_EQ(t.FindGroup(0x7FFu), nullptr);

    // One frame decodes every label of its key; the extended label stays untouched.
    EXPECT_EQ(t.DecodeFrame(0x0C0, 0x0190'2A00'0000'0000ull), 2);
    EXPECT_DOUBLE_EQ(t.Label(0).Value(), 100);
    EXPECT_DOUBLE_EQ(t.Label(2).Value(), 2);
    EXPECT_TRUE(IsNoValue(t.Label(1).Value()));
    EXPECT_EQ(t.DecodeFrame(0x800000C0u, 0x0500'0000'0000'0000ull), 1);
    EXPECT_EQ(t.Label(1).Value(), 5);
    EXPECT_EQ(t.DecodeFrame(0x0C1, ~0ull), 0);

    t.Label(0).SetPrevValue(9);
    t.ClearValues();
    for (int i = 0; i < t.Count(); ++i)
        EXPECT_TRUE(IsNoValue(t.Label(i).Value()));
    EXPECT_TRUE(IsNoValue(t.Label(0).PrevValue()));
}

TEST(LabelTable, SeventeenthLabelTakesFirstColour)
{
    std::vector<std::string> lines;
    for (int i = 0; i < 17; ++i)
        // Appended piece by piece: a literal put in front of a temporary string trips GCC 12's
        // -Wrestrict false positive at -O3.
        lines.push_back(std::string("L").append(std::to_string(i)).append(",bit,,0x").append(std::to_string(100 + i)).append(",Big,0,1"));
    LabelTable t;
    t.LoadFromLines(lines, kPalette);
    ASSERT_EQ(t.Count(), 17);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(t.Label(i).Color(), kPalette[static_cast<std::size_t>(i)]);
    EXPECT_EQ(t.Label(16).Color(), kPalette[0]);
    EXPECT_EQ(t.GroupCount(), 17);

    // A label switched off keeps its slot: the ones after it keep their colours.
    for (TDaqOffLabels mode : {TDaqOffLabels::Skip, TDaqOffLabels::Keep}) {
        t.LoadFromLines({"a,bit,,1,Big,0,1", "// b,bit,,1,Big,1,1", "", "c,bit,,1,Big,2,1"}, kPalette, mode);
        const TGraphInfo& c = t.Label(t.Count() - 1);
        EXPECT_EQ(c.Name(), "c");
        EXPECT_EQ(c.Slot(), 2u);
        EXPECT_EQ(c.Color(), kPalette[2]);
    }
}

TEST(LabelTable, MissingEmptyAndReloadedFiles)
{
    LabelTable t;
    t.LoadFromLines({"a,bit,,1,Big,0,1"}, kPalette);
    ASSERT_EQ(t.Count(), 1);
    std::string error;
    EXPECT_FALSE(t.LoadFromFile(WriteTemp("x.txt", "") + ".missing", kPalette, &error));
    EXPECT_EQ(t.Count(), 0);
    EXPECT_EQ(t.GroupCount(), 0);
    EXPECT_EQ(t.DecodeFrame(0, ~0ull), 0);

    EXPECT_TRUE(t.LoadFromFile(WriteTemp("empty.txt", ""), kPalette));
    EXPECT_EQ(t.Count(), 0);

    // Reload replaces, never appends.
    const std::string path = WriteTemp("two.txt", "a,bit,,1,Big,0,1\r\nb,bit,,1,Big,1,1\r\n");
    ASSERT_TRUE(t.LoadFromFile(path, kPalette));
    ASSERT_TRUE(t.LoadFromFile(path, kPalette));
    EXPECT_EQ(t.Count(), 2);
    EXPECT_EQ(t.GroupCount(), 1);
    EXPECT_EQ(t.Label(1).Color(), kPalette[1]);
}

// Many groups exercise the key index: every key finds its own group and no other.
TEST(LabelTable, KeyIndexFindsEveryGroup)
{
    std::vector<std::string> lines;
    for (int i = 0; i < 300; ++i) {
        const bool ext = i % 3 == 0;
        char buf[96];
        std::snprintf(buf, sizeof buf, "L%d,\"unsigned char\",%s,0x%X,Big,0,8,1,%d", i, ext ? "X" : "",
                      ext ? 0x18000000 + i * 7 : i * 5, i);
        lines.push_back(buf);
    }
    // A second label on every tenth key, after all the others: it joins the existing group.
    for (int i = 0; i < 300; i += 10)
        lines.push_back(lines[static_cast<std::size_t>(i)] + "0");
    LabelTable t;
    t.LoadFromLines(lines, kPalette);
    ASSERT_EQ(t.GroupCount(), 300);
    for (int i = 0; i < 300; ++i) {
        const TGraphInfo& l = t.Label(i);
        const int members = i % 10 == 0 ? 2 : 1;
        ASSERT_EQ(t.DecodeFrame(l.FrameKey(), 0x0100000000000000ull), members) << i;
        EXPECT_EQ(l.Value(), 1 + i);
        // Groups in the order their keys first appear, each found by its key.
        EXPECT_EQ(t.Group(i).Key, l.FrameKey());
        EXPECT_EQ(t.FindGroup(l.FrameKey()), &t.Group(i));
        ASSERT_EQ(t.Group(i).Labels.size(), static_cast<std::size_t>(members));
        EXPECT_EQ(t.Group(i).Labels[0], &l);
        if (members == 2) {
            EXPECT_EQ(t.Group(i).Labels[1], &t.Label(300 + i / 10));
        }
    }
    EXPECT_EQ(t.DecodeFrame(0x7FF, 0), 0);
    EXPECT_EQ(t.DecodeFrame(0x80000000u + 5, 0), 0);
}

TEST(LabelTable, TableWrittenByTheEditorLoadsForAcquisition)
{
    const fs::path dir = fs::path(testsupport::BinaryDir()) / "test_tmp" / "labeltable";
    fs::create_directories(dir);
    const std::string path = (dir / "edited.txt").string();
    std::string error;
    ASSERT_TRUE(WriteLabelTable(path,
                                {{"V", "Engine Speed", "unsigned short", "", "0x0C0", "Big", "0", "16", "0.25",
                                  "0", "0", "8000", "rpm"},
                                 {"-", "Temp", "signed char", "", "0x0C0", "Big", "16", "8", "1", "-40"}},
                                &error))
        << error;
    LabelTable t;
    ASSERT_TRUE(t.LoadFromFile(path, kPalette));
    ASSERT_EQ(t.Count(), 1);
    EXPECT_EQ(t.Label(0).Name(), "Engine Speed");
    t.DecodeFrame(0x0C0, 0x1F40'0000'0000'0000ull);
    EXPECT_DOUBLE_EQ(t.Label(0).Value(), 2000);
}
