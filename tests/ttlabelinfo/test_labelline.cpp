#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support/filesizelimit.h"
#include "support/childprocess.h"
#include "support/testsupport.h"
#include "ttlabelinfo/labelline.h"

using namespace tarvik;
using Fields = std::vector<std::string>;
namespace fs = std::filesystem;

namespace {

// A fresh folder under the build tree for files written by one test.
fs::path TempDir(const std::string& name)
{
    fs::path dir = fs::absolute(testsupport::BinaryDir()) / "test_tmp" / ("labelline_" + name);
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

void WriteRaw(const fs::path& p, const std::string& bytes)
{
    std::string error;
    ASSERT_TRUE(WriteFileAtomically(p.string(), bytes, &error)) << error;
}

}  // namespace

TEST(SplitLabelLine, SeparatorsBlanksAndCommas)
{
    EXPECT_EQ(SplitLabelLine("a,b,c"), (Fields{"a", "b", "c"}));
    EXPECT_EQ(SplitLabelLine("  a  b\tc  "), (Fields{"a", "b", "c"}));
    EXPECT_EQ(SplitLabelLine("a, b ,c"), (Fields{"a", "b", "c"}));
    EXPECT_EQ(SplitLabelLine("a,,b"), (Fields{"a", "", "b"}));
    EXPECT_EQ(SplitLabelLine(",a"), (Fields{"", "a"}));
    EXPECT_EQ(SplitLabelLine("a,"), (Fields{"a", ""}));
    EXPECT_EQ(SplitLabelLine(","), (Fields{"", ""}));
    EXPECT_EQ(SplitLabelLine(",,"), (Fields{"", "", ""}));
    EXPECT_EQ(SplitLabelLine(""), Fields{});
    EXPECT_EQ(SplitLabelLine("   "), Fields{});
    // Trailing blanks after a last comma do not swallow the empty last field.
    EXPECT_EQ(SplitLabelLine("a, "), (Fields{"a", ""}));
}

TEST(SplitLabelLine, Quotes)
{
    EXPECT_EQ(SplitLabelLine("\"Engine Speed\",rpm"), (Fields{"Engine Speed", "rpm"}));
    EXPECT_EQ(SplitLabelLine("Engine Speed,rpm"), (Fields{"Engine", "Speed", "rpm"}));
    EXPECT_EQ(SplitLabelLine("\"say \"\"hi\"\"\""), (Fields{"say \"hi\""}));
    EXPECT_EQ(SplitLabelLine("\"\""), (Fields{""}));
    EXPECT_EQ(SplitLabelLine("\"a,b\",c"), (Fields{"a,b", "c"}));
    // Text right after a closing quote starts a new field.
    EXPECT_EQ(SplitLabelLine("\"a\"b"), (Fields{"a", "b"}));
    // An unclosed quote keeps its last character.
    EXPECT_EQ(SplitLabelLine("x,\"deg"), (Fields{"x", "deg"}));
    EXPECT_EQ(SplitLabelLine("\""), (Fields{""}));
}

TEST(SplitLabelLine, NulEndsTextAndHighBytesAreCharacters)
{
    using namespace std::string_literals;
    EXPECT_EQ(SplitLabelLine("a\0b,c"s), (Fields{"a"}));
    EXPECT_EQ(SplitLabelLine("\0a"s), Fields{});
    EXPECT_EQ(SplitLabelLine("\"a\0b\""s), (Fields{"a"}));
    // Code page 932 bytes: lead bytes >= 0x80 are not separators.
    const std::string kanji = "\x93\x64\x88\xb3";  // "voltage" in CP932
    EXPECT_EQ(SplitLabelLine(kanji + ",V"), (Fields{kanji, "V"}));
}

TEST(JoinLabelLine, QuotesOnlyWhereNeeded)
{
    EXPECT_EQ(JoinLabelLine({"EngineSpeed", "unsigned short", "", "0x0C0"}),
              "EngineSpeed,\"unsigned short\",,0x0C0");
    EXPECT_EQ(JoinLabelLine({"a\"b"}), "\"a\"\"b\"");
    EXPECT_EQ(JoinLabelLine({"a,b"}), "\"a,b\"");
    EXPECT_EQ(JoinLabelLine({""}), "\"\"");
    EXPECT_EQ(JoinLabelLine({"", ""}), ",");
    EXPECT_EQ(JoinLabelLine({}), "");
}

// Whatever the fields, join then split gives them back (NUL excepted: it ends the text).
TEST(JoinLabelLine, JoinThenSplitRoundTripsGeneratedFields)
{
    std::mt19937 rng(20261208);
    const std::string alphabet = std::string("ab1 ,\"\t\r\n\x01\x1f\x7f\x80\x9f\xe0\xff") + "/-.";
    for (int iter = 0; iter < 20000; ++iter) {
        Fields fields(rng() % 14);
        for (auto& f : fields) {
            const int len = static_cast<int>(rng() % 7);
            for (int k = 0; k < len; ++k)
                f += alphabet[rng() % alphabet.size()];
        }
        const std::string line = JoinLabelLine(fields);
        ASSERT_EQ(SplitLabelLine(line), fields) << "line: " << line;
    }
}

TEST(SplitTextLines, AllTerminatorsNulAndLastLine)
{
    using namespace std::string_literals;
    EXPECT_EQ(SplitTextLines("a\r\nb\nc\rd"), (Fields{"a", "b", "c", "d"}));
    EXPECT_EQ(SplitTextLines("a\r\n"), (Fields{"a"}));
    EXPECT_EQ(SplitTextLines("a\n\nb"), (Fields{"a", "", "b"}));
    EXPECT_EQ(SplitTextLines("a\r\rb"), (Fields{"a", "", "b"}));
    EXPECT_EQ(SplitTextLines("a\n\r"), (Fields{"a", ""}));
    EXPECT_EQ(SplitTextLines("a\nb\0c\nd"s), (Fields{"a", "b"}));
    EXPECT_EQ(SplitTextLines(""), Fields{});
}

TEST(LabelRows, DaqMarkAndFieldCount)
{
    auto on = LabelRowFromLine("EngineSpeed,\"unsigned short\",,0x0C0,Big,0,16,0.25,0,0,8000,rpm");
    ASSERT_TRUE(on);
    EXPECT_EQ(on->size(), 13u);
    EXPECT_EQ((*on)[0], "V");
    EXPECT_EQ((*on)[2], "unsigned short");
    EXPECT_EQ((*on)[12], "rpm");

    auto off = LabelRowFromLine("// Temp,\"signed char\",,0x123,Little,8,8,1,-40,-40,210,degC");
    ASSERT_TRUE(off);
    EXPECT_EQ((*off)[0], "-");
    EXPECT_EQ((*off)[1], "Temp");

    // The DAQ-off mark is tested on the untrimmed line.
    auto blankFirst = LabelRowFromLine(" // Temp");
    ASSERT_TRUE(blankFirst);
    EXPECT_EQ((*blankFirst)[0], "V");
    EXPECT_EQ((*blankFirst)[1], "//");
    EXPECT_EQ((*blankFirst)[2], "Temp");

    // A hand-written comment becomes a DAQ-off label.
    auto note = LabelRowFromLine("// note for later");
    ASSERT_TRUE(note);
    EXPECT_EQ((*note)[1], "note");
    EXPECT_EQ((*note)[2], "for");

    EXPECT_FALSE(LabelRowFromLine(" \t "));
    auto many = LabelRowFromLine("1,2,3,4,5,6,7,8,9,10,11,12,13,14");
    ASSERT_TRUE(many);
    EXPECT_EQ(many->size(), 13u);
    EXPECT_EQ((*many)[12], "12");
}

TEST(LabelFile, FormatTrimsQuotesAndMarksDaqOff)
{
    std::vector<Fields> rows = {
        {"V", "Engine Speed", " unsigned short ", "", "0x0C0", "Big", "0", "16", "0.25", "0", "0", "8000", "rpm"},
        {"-", "Temp", "signed char", " ", "0x123", "Little", "8", "8", "1", "-40", "-40", "210", "degC"},
        {" V ", "q\"t"},
    };
    EXPECT_EQ(FormatLabelTable(rows),
              "\"Engine Speed\",\"unsigned short\",,0x0C0,Big,0,16,0.25,0,0,8000,rpm\r\n"
              "// Temp,\"signed char\",,0x123,Little,8,8,1,-40,-40,210,degC\r\n"
              "\"q\"\"t\",,,,,,,,,,,\r\n");
    EXPECT_EQ(FormatLabelTable({}), "");

    // A NUL inside a cell must not cut the file short on reading: it is dropped.
    using namespace std::string_literals;
    const std::string text = FormatLabelTable({{"V", "a\0b"s, "x y\0"s}, {"V", "next"}});
    const auto lines = SplitTextLines(text);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(SplitLabelLine(lines[0])[0], "ab");
    EXPECT_EQ(SplitLabelLine(lines[0])[1], "x y");
    EXPECT_EQ(SplitLabelLine(lines[1])[0], "next");
}

TEST(LabelFile, WrittenAndReadBack)
{
    const fs::path dir = TempDir("roundtrip");
    const std::string path = (dir / "labels.txt").string();
    std::vector<Fields> rows = {
        {"V", "Engine Speed", "unsigned short", "", "0x0C0", "Big", "0", "16", "0.25", "0", "0", "8000", "rpm"},
        {"-", "Temp", "signed char", "", "0x123", "Little", "8", "8", "1", "-40", "-40", "210", "\x93\x78"},
        {"V", "a", "b", "c", "d", "e", "f", "g", "h", "i", "j", "k", "l", "m", "n"},
    };
    std::string error;
    ASSERT_TRUE(WriteLabelTable(path, rows, &error)) << error;
    std::vector<std::string> lines;
    ASSERT_TRUE(ReadLabelLines(path, lines, &error)) << error;
    ASSERT_EQ(lines.size(), 3u);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        auto row = LabelRowFromLine(lines[i]);
        ASSERT_TRUE(row);
        Fields expect = rows[i];
        expect.resize(13);
        EXPECT_EQ(*row, expect) << "row " << i;
    }

    // An empty table is a zero-byte file, which reads back as no lines.
    ASSERT_TRUE(WriteLabelTable(path, {}, &error)) << error;
    EXPECT_EQ(fs::file_size(path), 0u);
    ASSERT_TRUE(ReadLabelLines(path, lines, &error));
    EXPECT_TRUE(lines.empty());
}

TEST(LabelFile, FailedWriteKeepsOldFile)
{
    const fs::path dir = TempDir("failed");
    const fs::path path = dir / "labels.txt";
    WriteRaw(path, "old\r\n");
    std::string error;
    // A folder in the way of the target: the write must fail, say so and leave no temp file.
    EXPECT_FALSE(WriteLabelTable((dir / "sub").string() + "/", {{"V", "x"}}, &error));
    EXPECT_FALSE(error.empty());
    {
        // A write cut short (file size limit) fails and leaves the old file and no temp file.
        std::vector<Fields> big(100, Fields{"V", "a long enough label name", "unsigned short"});
        bool ok = false;
        {
            const testsupport::FileSizeLimit limit(1000);
            ASSERT_TRUE(limit.Set());
            ok = WriteLabelTable(path.string(), big, &error);
        }
        EXPECT_FALSE(ok);
        EXPECT_NE(error.find("Cannot write"), std::string::npos) << error;
        EXPECT_EQ(testsupport::ReadFile(path.string()), "old\r\n");
    }
    {
        // A folder we may read but not write. Root ignores the mode, so the write runs in a
        // child that gives root up first.
        fs::permissions(dir, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::others_read |
                                 fs::perms::others_exec);
        const int rc = testsupport::RunInChild(
            [&] {
                std::string childError;
                if (WriteLabelTable(path.string(), {{"V", "new"}}, &childError))
                    return 1;
                return childError.find("Permission denied") != std::string::npos ? 0 : 2;
            },
            {.dropRoot = true});
        fs::permissions(dir, fs::perms::owner_all);
        EXPECT_EQ(rc, 0);
        EXPECT_EQ(testsupport::ReadFile(path.string()), "old\r\n");
    }
    int entries = 0;
    for ([[maybe_unused]] auto& e : fs::directory_iterator(dir))
        ++entries;
    EXPECT_EQ(entries, 1);
    std::vector<std::string> lines;
    error.clear();
    EXPECT_FALSE(ReadLabelLines((dir / "missing.txt").string(), lines, &error));
    EXPECT_FALSE(error.empty());
}

TEST(LabelFile, WriteKeepsModeAndFollowsSymlink)
{
    const fs::path dir = TempDir("mode");
    const fs::path real = dir / "real.txt";
    WriteRaw(real, "x");
    ::chmod(real.c_str(), 0640);
    fs::create_symlink(real, dir / "link.txt");
    std::string error;
    ASSERT_TRUE(WriteLabelTable((dir / "link.txt").string(), {{"V", "n"}}, &error)) << error;
    EXPECT_TRUE(fs::is_symlink(dir / "link.txt"));
    EXPECT_EQ(testsupport::ReadFile(real.string()), "n,,,,,,,,,,,\r\n");
    struct stat st {};
    ASSERT_EQ(::stat(real.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST(LabelFile, BackupNames)
{
    EXPECT_EQ(LabelBackupFileName("/a/labels.txt"), "/a/labels.bak");
    EXPECT_EQ(LabelBackupFileName("/a/labels"), "/a/labels.bak");
    EXPECT_EQ(LabelBackupFileName("/a.d/labels"), "/a.d/labels.bak");
    EXPECT_EQ(LabelBackupFileName("/a/x.tar.txt"), "/a/x.tar.bak");
    EXPECT_EQ(LabelBackupFileName("/a/.labels"), "/a/.labels.bak");
}

TEST(LabelFile, RenewMakesBackupOnlyWhenFileExists)
{
    const fs::path dir = TempDir("renew");
    const std::string path = (dir / "labels.txt").string();
    std::string error;
    ASSERT_TRUE(RenewLabelFile(path, {{"V", "first"}}, &error)) << error;
    EXPECT_FALSE(fs::exists(dir / "labels.bak"));
    EXPECT_EQ(testsupport::ReadFile(path), "first,,,,,,,,,,,\r\n");

    ASSERT_TRUE(RenewLabelFile(path, {{"-", "second"}}, &error)) << error;
    EXPECT_EQ(testsupport::ReadFile((dir / "labels.bak").string()), "first,,,,,,,,,,,\r\n");
    EXPECT_EQ(testsupport::ReadFile(path), "// second,,,,,,,,,,,\r\n");

    // A label file that is itself named .bak is written without a backup of itself.
    const std::string bak = (dir / "only.bak").string();
    ASSERT_TRUE(RenewLabelFile(bak, {{"V", "a"}}, &error)) << error;
    ASSERT_TRUE(RenewLabelFile(bak, {{"V", "b"}}, &error)) << error;
    EXPECT_EQ(testsupport::ReadFile(bak), "b,,,,,,,,,,,\r\n");

    // An older backup is overwritten.
    ASSERT_TRUE(RenewLabelFile(path, {}, &error)) << error;
    EXPECT_EQ(testsupport::ReadFile((dir / "labels.bak").string()), "// second,,,,,,,,,,,\r\n");
    EXPECT_EQ(fs::file_size(path), 0u);
}

// Devices and oversized files end in an error naming the file and the limit, never in a
// read that fills memory.
TEST(LabelFile, ReadsAreBounded)
{
    const fs::path dir = TempDir("bounded");
    const fs::path big = dir / "big.txt";
    ASSERT_TRUE(testsupport::WriteSparseFile(big, "a,bit,,1\r\n", kLabelFileMaxBytes + 1));
    const fs::path edge = dir / "edge.txt";
    ASSERT_TRUE(testsupport::WriteSparseFile(edge, "a,bit,,1\r\n", kLabelFileMaxBytes));
    std::vector<std::string> lines;
    std::string error;
    for (const std::string& path : {big.string(), std::string("/dev/zero")}) {
        error.clear();
        EXPECT_FALSE(ReadLabelLines(path, lines, &error)) << path;
        EXPECT_NE(error.find("\"" + path + "\""), std::string::npos) << error;
        EXPECT_NE(error.find("larger than 64 MB"), std::string::npos) << error;
    }
    ASSERT_TRUE(ReadLabelLines(edge.string(), lines, &error)) << error;
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], "a,bit,,1");

    // A caller's own smaller limit, with a size that is no whole number of megabytes.
    std::string bytes;
    EXPECT_FALSE(ReadFileBytes("/dev/zero", bytes, &error, 1000));
    EXPECT_NE(error.find("larger than 1000 bytes"), std::string::npos) << error;
    EXPECT_TRUE(ReadFileBytes(edge.string(), bytes, &error, kLabelFileMaxBytes));
    EXPECT_EQ(bytes.size(), kLabelFileMaxBytes);
    fs::remove(big);
    fs::remove(edge);
}

TEST(CheckLabelFileLines, RefusesFilesWithoutALabelLineAndSaysWhatTheyLookLike)
{
    struct Case {
        const char* text;
        const char* error;  // empty: accepted
    };
    const char* const label = "A,\"unsigned char\",,0x0C0,Big,0,8,1,0,0,255,";
    const Case cases[] = {
        {"", ""},
        {"\r\n  \r\n", ""},
        {label, ""},
        {"// A,\"unsigned char\",,0x0C0,Little,0,8,1,0,0,255,", ""},  // DAQ off
        {"junk\nA,\"unsigned char\",,0x0C0,Big,0,8,1,0,0,255,\nmore junk", ""},  // damage inside a label file
        {"A,\"unsigned char\",,0x0C0,Big,0,8,1,0,0,255,extra,fields", ""},
        {"A,\"unsigned char\",,0x0C0,Big,0,8", ""},  // the fields after the byte order take defaults
        {"A,\"unsigned char\",,0x0C0", "f is not a label file (no line has the 12 label fields)"},
        {"VERSION \"\"\n\nBO_ 192 EngineData: 8 EMS\n SG_ S : 7|16@0+ (0.25,0) [0|8000] \"rpm\" Dash\n"
         "VAL_ 304 Gear 0 \"P\" 1 \"R\" 2 \"N\" 3 \"D\" ;",
         "f is not a label file (no line has the 12 label fields; it looks like a DBC file \u2014 hint)"},
        {"(1.000000) can0 0C0#1F40\n(1.010000) can0 123#R",
         "f is not a label file (no line has the 12 label fields; it looks like a candump log)"},
        {"date Tue Dec 08 03:50:13.000 pm 2026\nbase hex  timestamps absolute\n   0.1 1  0C0 Rx d 2 1F 40",
         "f is not a label file (no line has the 12 label fields; it looks like an ASC log)"},
        {"time(s),A,B,C,D,E,F,G,H,I,J,K\r\n0.000,1,2,3,4,5,6,7,8,9,10,11\r\n",
         "f is not a label file (no line has the 12 label fields; it looks like an acquisition CSV)"},
        // Twelve fields are not enough without a byte order.
        {"a,b,c,d,e,f,g,h,i,j,k,l", "f is not a label file (no line has the 12 label fields)"},
    };
    for (const Case& c : cases) {
        std::string error = "untouched";
        const bool ok = CheckLabelFileLines(SplitTextLines(c.text), "f", &error, "hint");
        EXPECT_EQ(ok, *c.error == '\0') << c.text;
        EXPECT_EQ(error, *c.error ? c.error : "untouched") << c.text;
    }
}
