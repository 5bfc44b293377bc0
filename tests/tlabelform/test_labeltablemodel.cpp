// The label table's rows without a window: edits at the edges, what each state enables,
// bytes kept through an edit, and where the window goes.
#include <gtest/gtest.h>

#include <filesystem>

#include "support/testsupport.h"
#include "tlabelform/labeltablemodel.h"

using namespace tarvik;

namespace {

std::vector<std::string> Lines(int n)
{
    std::vector<std::string> l;
    for (int i = 1; i <= n; ++i)
        l.push_back("L" + std::to_string(i) + ",bit,,0x001,Big,0,1,1,0,0,1,");
    return l;
}

}  // namespace

TEST(LabelTableModel, ActionStates)
{
    struct Case {
        int rows, current;
        bool modified;
        bool del, up, down, renew;
    };
    const Case cases[] = {
        {0, 0, true, false, false, false, false},  // empty: only Add
        {1, 0, false, true, false, false, false},
        {3, 0, true, true, false, true, true},
        {3, 1, false, true, true, true, false},
        {3, 2, true, true, true, false, true},
    };
    for (const Case& c : cases) {
        TLabelTableModel m;
        m.Load(Lines(c.rows));
        m.SetModified(c.modified);
        const auto s = m.ActionState(c.current);
        EXPECT_EQ(s.del, c.del) << c.rows << "/" << c.current;
        EXPECT_EQ(s.edit, c.del);
        EXPECT_EQ(s.up, c.up) << c.rows << "/" << c.current;
        EXPECT_EQ(s.down, c.down) << c.rows << "/" << c.current;
        EXPECT_EQ(s.renew, c.renew) << c.rows << "/" << c.current;
    }
}

TEST(LabelTableModel, MovesAtTheEdgesChangeNothing)
{
    TLabelTableModel m;
    m.Load(Lines(3));
    EXPECT_EQ(m.MoveUp(0), 0);
    EXPECT_EQ(m.MoveDown(2), 2);
    EXPECT_FALSE(m.Modified());
}

TEST(LabelTableModel, LoadKeepsBlanksAndDaqState)
{
    TLabelTableModel m;
    m.Load({"", "  ", "// Off,bit", " // On,bit", "Many,a,b,c,d,e,f,g,h,i,j,k,l,m"});
    ASSERT_EQ(m.Count(), 3);
    EXPECT_FALSE(m.DaqOn(0));
    EXPECT_TRUE(m.DaqOn(1));
    EXPECT_EQ(m.CellText(1, 1), "//");
    EXPECT_EQ(m.CellText(2, 12), "k");  // fields past the twelfth dropped
    const auto rows = m.Rows();
    EXPECT_EQ(FormatLabelTable(rows),
              "// Off,bit,,,,,,,,,,\r\n"
              "//,On,bit,,,,,,,,,\r\n"
              "Many,a,b,c,d,e,f,g,h,i,j,k\r\n");
}

TEST(LabelTableModel, ShiftJisBytesSurviveAnEditOfAnotherRow)
{
    // "温度" in code page 932, which is not valid UTF-8.
    const std::string sjisName = "\x89\xB7\x93\x78";
    TLabelTableModel m;
    m.Load({sjisName + ",bit,,0x001,Big,0,1,1,0,0,1,\x81\x8E", "B,bit,,0x002,Big,0,1,1,0,0,1,"});
    ASSERT_EQ(m.Encoding(), TTextEncoding::ShiftJis);
    EXPECT_EQ(m.CellText(0, 1), QStringLiteral("温度"));
    ASSERT_TRUE(m.ApplyEdit(1, m.LabelText(1).replace("0x002", "0x003")));
    EXPECT_FALSE(m.ApplyEdit(0, m.LabelText(0)));  // an unchanged edit changes nothing
    // An edit of the Japanese row itself writes it back in the same encoding.
    ASSERT_TRUE(m.ApplyEdit(0, m.LabelText(0).replace("0x001", "0x004")));
    EXPECT_EQ(FormatLabelTable(m.Rows()),
              sjisName + ",bit,,0x004,Big,0,1,1,0,0,1,\x81\x8E\r\n"
              "B,bit,,0x003,Big,0,1,1,0,0,1,\r\n");
}

TEST(LabelTableModel, WindowBounds)
{
    // Right of the main window, to the work area's edge, lower half below its top.
    EXPECT_EQ(LabelWindowBounds(QRect(0, 0, 1920, 1040), QRect(0, 100, 600, 400)), QRect(600, 570, 1320, 470));
    EXPECT_EQ(LabelWindowBounds(QRect(0, 0, 1000, 801), QRect(10, 0, 300, 200)), QRect(310, 400, 690, 400));
}

// The window takes every file the command-line tools take: a DBC file over the label files'
// limit still imports, and each kind stops at its own reader's limit.
TEST(LabelTableModel, ReadsEachKindUpToItsReadersLimit)
{
    namespace fs = std::filesystem;
    const fs::path dir = fs::path(testsupport::BinaryDir()) / "label-source-limits";
    fs::create_directories(dir);
    const struct {
        const char* name;
        std::uintmax_t size;
        bool read;
    } cases[] = {
        {"big.dbc", kLabelFileMaxBytes + 1, true},
        {"huge.DBC", kDbcFileMaxBytes + 1, false},
        {"big.txt", kLabelFileMaxBytes + 1, false},
    };
    for (const auto& c : cases) {
        const fs::path path = dir / c.name;
        // The NULs after the text end it.
        const char* text = "BO_ 100 M: 8 E\n SG_ S : 0|8@1+ (1,0) [0|255] \"\" E\n";
        ASSERT_TRUE(testsupport::WriteSparseFile(path, text, c.size));
        TLabelSource src;
        std::string error;
        EXPECT_EQ(ReadLabelSource(path.string(), false, src, error), c.read) << c.name << ": " << error;
        if (!c.read) {
            EXPECT_NE(error.find("\"" + path.string() + "\": larger than"), std::string::npos) << error;
        }
        fs::remove(path);
    }
}
