// The transmit list's file: rows one a line, bad lines named by number and kept.
#include <gtest/gtest.h>

#include <filesystem>

#include "support/testsupport.h"
#include "tsendform/messagelist.h"

using namespace tarvik;

namespace {

TMessageRow Row(bool on, std::uint32_t id, bool ext, int len, std::uint64_t data, std::uint32_t ms,
                std::vector<TSignalValue> signalValues = {}, std::string comment = {})
{
    TMessageRow r;
    r.enabled = on;
    r.id = id;
    r.extended = ext;
    r.length = len;
    r.SetData64(data);
    r.intervalMs = ms;
    r.signalValues = std::move(signalValues);
    r.comment = std::move(comment);
    return r;
}

}  // namespace

TEST(MessageList, GoodLines)
{
    struct Case {
        const char* line;
        TMessageRow row;
    };
    const Case cases[] = {
        {"1 0C0 0 8 1F40640000000000 10", Row(true, 0xC0, false, 8, 0x1F40640000000000, 10)},
        {"0 18FEF100 1 8 FFFFFFFFFFFFFFFF 100 # cruise", Row(false, 0x18FEF100, true, 8, ~0ull, 100, {}, "cruise")},
        // Fewer data digits: the bytes from D0 on, the rest 00; "-" is no byte at all.
        {"1 123 0 2 1122 0", Row(true, 0x123, false, 2, 0x1122000000000000, 0)},
        {"1 7ff 0 0 - 99999999", Row(true, 0x7FF, false, 0, 0, 99999999)},
        {"\t1  1 0 1 aB 5   #  two  words  ", Row(true, 1, false, 1, 0xAB00000000000000, 5, {}, "two  words")},
        {"1 0C0 0 8 1F40640000000000 10 EngineSpeed=2000 Throttle=40.5 # at 2000 rpm",
         Row(true, 0xC0, false, 8, 0x1F40640000000000, 10, {{"EngineSpeed", 2000}, {"Throttle", 40.5}}, "at 2000 rpm")},
        {"1 0C0 0 8 00 10 Oil%20Temp%3D=-4e-3 #x", Row(true, 0xC0, false, 8, 0, 10, {{"Oil Temp=", -0.004}}, "x")},
        {"1 0C0 0 8 00 10 a#b=1", Row(true, 0xC0, false, 8, 0, 10, {{"a#b", 1}})},
    };
    for (const Case& c : cases) {
        TMessageRow row;
        std::string why;
        ASSERT_TRUE(ParseMessageRow(c.line, row, &why)) << c.line << ": " << why;
        EXPECT_EQ(row, c.row) << c.line;
        // What the writer makes of it reads back as the same row.
        TMessageRow again;
        ASSERT_TRUE(ParseMessageRow(FormatMessageRow(row), again, &why)) << FormatMessageRow(row) << ": " << why;
        EXPECT_EQ(again, row) << FormatMessageRow(row);
    }
    EXPECT_EQ(FormatMessageRow(cases[1].row), "0 18FEF100 1 8 FFFFFFFFFFFFFFFF 100 # cruise");
    EXPECT_EQ(FormatMessageRow(cases[5].row),
              "1 0C0 0 8 1F40640000000000 10 EngineSpeed=2000 Throttle=40.5 # at 2000 rpm");
    EXPECT_EQ(FormatMessageRow(cases[6].row), "1 0C0 0 8 0000000000000000 10 Oil%20Temp%3D=-0.004 # x");
}

TEST(MessageList, BadLinesSayWhy)
{
    struct Case {
        const char* line;
        const char* reason;
    };
    const Case cases[] = {
        {"1 0C0 0 8 1F40", "it has 5 of the six fields (on, id, ext, len, data, ms)"},
        {"yes 0C0 0 8 00 10", "enabled is \"yes\", not 1 or 0"},
        {"1 0G0 0 8 00 10", "the identifier \"0G0\" is not 1 to 8 hex digits"},
        {"1 800 0 8 00 10", "the identifier 800 does not fit a standard frame (at most 7FF)"},
        {"1 20000000 1 8 00 10", "the identifier 20000000 does not fit an extended frame (at most 1FFFFFFF)"},
        {"1 0C0 X 8 00 10", "extended is \"X\", not 1 or 0"},
        {"1 0C0 0 9 00 10", "the length \"9\" is not 0 to 8"},
        {"1 0C0 0 8 123 10", "the data \"123\" is not up to 8 bytes in hex digits"},
        {"1 0C0 0 8 001122334455667788 10", "the data \"001122334455667788\" is not up to 8 bytes in hex digits"},
        {"1 0C0 0 8 00 -5", "the interval \"-5\" is not 0 to 99999999 ms"},
        {"1 0C0 0 8 00 100000000", "the interval \"100000000\" is not 0 to 99999999 ms"},
        {"1 0C0 0 8 00 10 engine speed", "\"engine\" is not NAME=VALUE (a comment begins with #)"},
        {"1 0C0 0 8 00 10 Speed=fast", "\"Speed=fast\" is not NAME=VALUE (a comment begins with #)"},
        {"1 0C0 0 8 00 10 =5", "\"=5\" is not NAME=VALUE (a comment begins with #)"},
        {"1 0C0 0 8 00 10 A%2=5", "\"A%2=5\" is not NAME=VALUE (a comment begins with #)"},
    };
    for (const Case& c : cases) {
        TMessageRow row;
        std::string why;
        EXPECT_FALSE(ParseMessageRow(c.line, row, &why)) << c.line;
        EXPECT_EQ(why, c.reason) << c.line;
    }
}

TEST(MessageList, FileKeepsBadAndCommentLinesWhereTheyStood)
{
    const std::string text =
        "# Tarvik message list\r\n"
        "1 0C0 0 8 1F40640000000000 10\r\n"
        "# my own note\r\n"
        "1 0C0 0 9 00 10\r\n"
        "\r\n"
        "0 123 0 2 1122 0 # on demand\n"
        "garbage";
    const TMessageList list = ParseMessageList(text);
    ASSERT_EQ(list.rows.size(), 2u);
    EXPECT_EQ(list.rows[1], Row(false, 0x123, false, 2, 0x1122000000000000, 0, {}, "on demand"));
    ASSERT_EQ(list.kept.size(), 3u);
    EXPECT_EQ(list.Problems(), (std::vector<std::string>{
                                   "line 4: the length \"9\" is not 0 to 8",
                                   "line 7: it has 1 of the six fields (on, id, ext, len, data, ms)"}));
    EXPECT_EQ(FormatMessageList(list),
              "# Tarvik message list\n"
              "# on id ext len data ms [NAME=VALUE...] [# comment]\n"
              "1 0C0 0 8 1F40640000000000 10\n"
              "# my own note\n"
              "1 0C0 0 9 00 10\n"
              "0 123 0 2 1122000000000000 0 # on demand\n"
              "garbage\n");

    // Saved and read again, nothing moves; a kept line whose row was deleted goes at the end.
    const auto dir = std::filesystem::path(testsupport::BinaryDir()) / "test_tmp" / "messagelist";
    std::filesystem::create_directories(dir);
    const std::string path = (dir / "list.txt").string();
    std::string error;
    ASSERT_TRUE(WriteMessageList(path, list, &error)) << error;
    TMessageList back;
    ASSERT_TRUE(ReadMessageList(path, back, &error)) << error;
    EXPECT_EQ(back.rows, list.rows);
    EXPECT_EQ(FormatMessageList(back), FormatMessageList(list));
    back.rows.pop_back();
    EXPECT_TRUE(FormatMessageList(back).ends_with("0 10\n# my own note\n1 0C0 0 9 00 10\ngarbage\n"))
        << FormatMessageList(back);
    EXPECT_FALSE(ReadMessageList((dir / "missing.txt").string(), back, &error));
    EXPECT_NE(error.find("missing.txt"), std::string::npos) << error;
}
