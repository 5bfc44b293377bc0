#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <random>
#include <unistd.h>

#include "support/testsupport.h"
#include "ttlabelinfo/dbcimport.h"
#include "ttlabelinfo/tlabelinfo.h"

using tarvik::DbcImportError;
using tarvik::FormatGeneralDecimal;
using tarvik::ImportDbc;
using Lines = std::vector<std::string>;

namespace {

// The error a text aborts with; fails the test when it imports.
DbcImportError ImportError(std::string_view text)
{
    try {
        ImportDbc(text);
    } catch (const DbcImportError& e) {
        return e;
    }
    ADD_FAILURE() << "import did not abort";
    return DbcImportError(-1, "", "");
}

}  // namespace

// ---- messages and signals ---------------------------------------------------------------

// One message with one signal, each row a rule of the conversion, the whole line compared.
TEST(DbcImport, MessageAndSignalBecomeOneLabelLine)
{
    struct Row {
        const char* rule;
        std::string text;
        std::string line;
    };
    const Row rows[] = {
        {"big-endian signal",
         "BO_ 192 EngineData: 8 ECU\n SG_ BatteryVoltage : 24|16@0+ (0.01,0) [0|655.35] \"V\" ECU\n",
         "BatteryVoltage,\"unsigned short\",,0x0C0,Big,31,16,0.01,0,0,655.35,\"V\""},
        {"extended from bit 31 (2147483648 + 0x18FEF100)",
         "BO_ 2566844672 EEC1: 8 Vector__XXX\n SG_ Torque : 7|8@0- (1,-125) [-125|125] \"%\" X\n",
         "Torque,\"signed char\",X,0x18FEF100,Big,0,8,1,-125,-125,125,\"%\""},
        {"without bit 31 standard, low 11 bits", "BO_ 4095 M: 8 E\n SG_ S : 7|8@0+ (1,0) [0|255] \"\" E\n",
         "S,\"unsigned char\",,0x7FF,Big,0,8,1,0,0,255,\"\""},
        {"runs of blanks separate like one",
         "BO_   192   EngineData:  8   ECU  \n   SG_  BatteryVoltage   :  24|16@0+  (0.01,0)  [0|655.35]  \"V\"   ECU\n",
         "BatteryVoltage,\"unsigned short\",,0x0C0,Big,31,16,0.01,0,0,655.35,\"V\""},
        {"double-byte (Shift-JIS) name and unit bytes neither re-encoded nor case-folded",
         "BO_ 1 M: 8 E\n SG_ T\x82\xA0 : 7|8@0+ (1,0) [0|255] \"\x93\x78\" E\n",
         "T\x82\xA0,\"unsigned char\",,0x001,Big,0,8,1,0,0,255,\"\x93\x78\""},
    };
    for (const Row& r : rows) EXPECT_EQ(ImportDbc(r.text), Lines{r.line}) << r.rule;
}

TEST(DbcImport, TypeFollowsLengthAndSign)
{
    struct Row { const char* pos; const char* type; };
    const Row rows[] = {
        {"0|1@0+", "bit"},          {"0|1@0-", "bit"},
        {"0|0@0+", "unsigned char"}, {"0|-3@0-", "signed char"},
        {"0|8@0-", "signed char"},   {"0|9@0+", "unsigned short"},
        {"0|12@0-", "signed short"}, {"0|16@0+", "unsigned short"},
        {"0|17@0-", "signed long"},  {"0|32@0+", "unsigned long"},
        {"0|33@0-", "signed __int64"}, {"0|64@0+", "unsigned __int64"},
    };
    for (const Row& r : rows) {
        const std::string text = std::string("BO_ 1 M: 8 E\n SG_ S : ") + r.pos +
                                 " (1,0) [0|1] \"\" E\n";
        const Lines got = ImportDbc(text);
        ASSERT_EQ(got.size(), 1u) << r.pos;
        EXPECT_NE(got[0].find(std::string(",\"") + r.type + "\","), std::string::npos)
            << r.pos << " -> " << got[0];
    }
}

TEST(DbcImport, StartBitRenumberedFromTopOfByteZero)
{
    // Database bit 7 is the top bit of byte 0 (position 0); bit 0 is position 7.
    const std::pair<int, int> rows[] = {{7, 0}, {0, 7}, {24, 31}, {15, 8}, {56, 63}, {63, 56}, {33, 38}};
    for (auto [start, want] : rows) {
        const std::string text = "BO_ 1 M: 8 E\n SG_ S : " + std::to_string(start) +
                                 "|4@0+ (1,0) [0|1] \"\" E\n";
        const Lines got = ImportDbc(text);
        ASSERT_EQ(got.size(), 1u);
        EXPECT_NE(got[0].find(",Big," + std::to_string(want) + ",4,"), std::string::npos)
            << start << " -> " << got[0];
    }
}

TEST(DbcImport, MultiplexMarkersJoinTheName)
{
    const Lines got = ImportDbc(
        "BO_ 100 M: 8 E\n"
        " SG_ Mux M : 7|2@0+ (1,0) [0|3] \"\" E\n"
        " SG_ Gear m1 : 15|4@0+ (1,0) [0|15] \"\" E\n");
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].substr(0, 6), "Mux_M,");
    EXPECT_EQ(got[1].substr(0, 8), "Gear_m1,");
}

// ---- what is skipped --------------------------------------------------------------------

TEST(DbcImport, SkipsLittleEndianAndMalformedSignals)
{
    const Lines got = ImportDbc(
        "BO_ 16 M: 8 E\n"
        " SG_ Little : 0|8@1+ (1,0) [0|255] \"\" E\n"
        " SG_ NoBar : 8@0+ (1,0) [0|255] \"\" E\n"
        " SG_ BarFirst : |12345@0+ (1,0) [0|255] \"\" E\n"
        " SG_ ShortTail : 1|@0+ (1,0) [0|255] \"\" E\n"
        " SG_ BadStart : x|8@0+ (1,0) [0|255] \"\" E\n"
        " SG_ BadLen : 7|8x@0+ (1,0) [0|255] \"\" E\n"
        " SG_ NoFactor : 7|8@0+ (,0) [0|255] \"\" E\n"
        " SG_ NoOffset : 7|8@0+ (1,) [0|255] \"\" E\n"
        " SG_ BadScale : 7|8@0+ (1;0) [0|255] \"\" E\n"
        " SG_ WordScale : 7|8@0+ (one,0) [0|255] \"\" E\n"
        " SG_ InfScale : 7|8@0+ (inf,0) [0|255] \"\" E\n"
        " SG_ CommaPoint : 7|8@0+ (0,5,0) [0|255] \"\" E\n"
        " SG_ BadRange : 7|8@0+ (1,0) (0|255) \"\" E\n"
        " SG_ EmptyMax : 7|8@0+ (1,0) [0|] \"\" E\n"
        " SG_ NoColon 7|8@0+ (1,0) [0|255] \"\" E F\n"
        " SG_ : Nameless 7|8@0+ (1,0) [0|255] \"\" E\n"
        " SG_ TooFew : 7|8@0+ (1,0) [0|255]\n"
        " SG_ Good : 7|8@0+ (1,0) [0|255] \"\" E\n");
    EXPECT_EQ(got, Lines{"Good,\"unsigned char\",,0x010,Big,0,8,1,0,0,255,\"\""});
}

TEST(DbcImport, SignalsMustFollowTheirMessageDirectly)
{
    const Lines got = ImportDbc(
        "BO_ 1 A: 8 E\n"
        "\n"
        " SG_ AfterEmpty : 7|8@0+ (1,0) [0|255] \"\" E\n"
        "BO_ 2 B: 8 E\n"
        " SG_ B1 : 7|8@0+ (1,0) [0|255] \"\" E\n"
        "CM_ SG_ 2 B1 \"comment\";\n"
        " SG_ AfterComment : 7|8@0+ (1,0) [0|255] \"\" E\n"
        "BO_ 3 C: 8 E\n"
        " SG_ C1 : 7|8@0+ (1,0) [0|255] \"\" E\n"
        "\t \r\n"  // blank after trimming
        " SG_ AfterBlank : 7|8@0+ (1,0) [0|255] \"\" E\n"
        "BO_ 5 D: 8 E\n"
        " SG_ D1 : 7|8@0+ (1,0) [0|255] \"\" E\n"
        "BO_ 6 Short:\n"  // too short to be a message: its signals must not land on D
        " SG_ NotD : 7|8@0+ (1,0) [0|255] \"\" E\n");
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0].substr(0, 3), "B1,");
    EXPECT_EQ(got[1], "C1,\"unsigned char\",,0x003,Big,0,8,1,0,0,255,\"\"");
    EXPECT_EQ(got[2].substr(0, 3), "D1,");
}

TEST(DbcImport, RepeatedMessageDropsItsSignals)
{
    const Lines got = ImportDbc(
        "BO_ 5 First: 8 E\n"
        " SG_ One : 7|8@0+ (1,0) [0|255] \"\" E\n"
        "\n"
        "BO_ 5 Again: 8 E\n"
        " SG_ Two : 7|8@0+ (1,0) [0|255] \"\" E\n"
        "\n"
        "BO_ 2048 Masked: 8 E\n"  // 2048 & 0x7FF is 0x000, a new message
        " SG_ Three : 7|8@0+ (1,0) [0|255] \"\" E\n"
        "BO_ 2147483653 Ext5: 8 E\n"  // extended 5 differs from standard 5
        " SG_ Four : 7|8@0+ (1,0) [0|255] \"\" E\n");
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0].substr(0, 4), "One,");
    EXPECT_NE(got[1].find(",,0x000,"), std::string::npos);
    EXPECT_NE(got[2].find(",X,0x00000005,"), std::string::npos);
}

TEST(DbcImport, DuplicateNamesGetTheMessageIdentifier)
{
    const Lines got = ImportDbc(
        "BO_ 256 A: 8 E\n"
        " SG_ Speed : 7|8@0+ (1,0) [0|255] \"\" E\n"
        "BO_ 2147484159 B: 8 E\n"
        " SG_ SPEED : 7|8@0+ (1,0) [0|255] \"\" E\n"
        "BO_ 512 C: 8 E\n"
        " SG_ speed_0x000001ff : 7|8@0+ (1,0) [0|255] \"\" E\n");
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0].substr(0, 6), "Speed,");
    EXPECT_EQ(got[1].substr(0, 18), "SPEED_0x000001FF,\"");
    // Its name was produced already (letter case aside), so it takes a suffix too.
    EXPECT_EQ(got[2].substr(0, 24), "speed_0x000001ff_0x200,\"");
}

// ---- text shapes ------------------------------------------------------------------------

TEST(DbcImport, QuotedUnitWithBlanksStaysWhole)
{
    const Lines got = ImportDbc(
        "BO_ 771 M: 2 E\n"
        " SG_ Temp : 15|8@0+ (0.5,-40) [-40|87.5] \"deg  C\"  NVS\n"
        " SG_ Blank : 7|1@0+ (1,0) [0|1] \" \"  NVS\n"
        " SG_ Open : 23|8@0+ (1,0) [0|1] \"km/h  NVS\n");
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0], "Temp,\"unsigned char\",,0x303,Big,8,8,0.5,-40,-40,87.5,\"deg  C\"");
    EXPECT_EQ(got[1].substr(got[1].size() - 4), ",\" \"");
    // No closing quote anywhere: the unit token is taken as it is.
    EXPECT_EQ(got[2].substr(got[2].size() - 6), ",\"km/h");
}

TEST(DbcImport, NameThatWouldBreakTheLineIsQuoted)
{
    const Lines got = ImportDbc(
        "BO_ 1 M: 8 E\n"
        " SG_ a,b : 7|8@0+ (1,0) [0|255] \"\" E\n"
        " SG_ q\"x\ty : 15|8@0+ (1,0) [0|255] \"\" E\n");
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].substr(0, 7), "\"a,b\",\"");
    EXPECT_EQ(got[1].substr(0, 10), "\"q\"\"x\ty\",\"");
}

TEST(DbcImport, LineEndsAndNul)
{
    const std::string body[] = {
        "BO_ 1 M: 8 E", " SG_ A : 7|8@0+ (1,0) [0|255] \"\" E", "", "BO_ 2 N: 8 E",
        " SG_ B : 7|8@0+ (1,0) [0|255] \"\" E"};
    Lines want;
    for (const char* eol : {"\n", "\r", "\r\n"}) {
        std::string text;
        for (const auto& l : body)
            text += l + eol;
        text.resize(text.size() - std::strlen(eol));  // last line without terminator
        const Lines got = ImportDbc(text);
        if (want.empty())
            want = got;
        EXPECT_EQ(got.size(), 2u) << "eol " << int(eol[0]);
        EXPECT_EQ(got, want);
    }
    // A NUL ends the text: the signal behind it is not read.
    const std::string withNul = std::string("BO_ 1 M: 8 E\n SG_ A : 7|8@0+ (1,0) [0|255] \"\" E\n") +
                                '\0' + " SG_ B : 15|8@0+ (1,0) [0|255] \"\" E\n";
    EXPECT_EQ(ImportDbc(withNul).size(), 1u);
    EXPECT_TRUE(ImportDbc("").empty());
}

// ---- aborts -----------------------------------------------------------------------------

TEST(DbcImport, AbortsOnBadMessageIdentifierNamingLineAndToken)
{
    for (const char* id : {"0x7DF", "-1", "4294967296", "12a", "+5", "99999999999999999999999"}) {
        const std::string text = std::string("VERSION \"\"\r\n\r\nBO_ ") + id + " Bad: 8 E\r\n";
        const DbcImportError e = ImportError(text);
        EXPECT_EQ(e.Line(), 3) << id;
        EXPECT_EQ(e.Token(), id);
        EXPECT_NE(std::string(e.what()).find("line 3"), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find(id), std::string::npos) << e.what();
    }
    // The largest 32-bit value is fine.
    EXPECT_NO_THROW(ImportDbc("BO_ 4294967295 Max: 8 E\n"));
}

TEST(DbcImport, AbortsOnSignalLineTooShortAfterColon)
{
    const DbcImportError e = ImportError(
        "BO_ 1 M: 8 E\n"
        " SG_ Sig m1 x : 7|8@0+ (1,0) [0|255]\n");
    EXPECT_EQ(e.Line(), 2);
    EXPECT_EQ(e.Token(), "Sig");
    EXPECT_NE(std::string(e.what()).find("line 2"), std::string::npos) << e.what();
    // Without a current message the same line is only skipped.
    EXPECT_NO_THROW(ImportDbc(" SG_ Sig m1 x : 7|8@0+ (1,0) [0|255]\n"));
}

TEST(DbcImport, LongTokenIsShortenedInTheMessage)
{
    const std::string id(5000, '7');
    const DbcImportError e = ImportError("BO_ " + id + " M: 8 E\n");
    EXPECT_EQ(e.Token(), id);
    EXPECT_LT(std::string(e.what()).size(), 200u);
}

TEST(DbcImport, FileWrapper)
{
    namespace fs = std::filesystem;
    const fs::path p = fs::temp_directory_path() / ("dbcimport_wrapper_" + std::to_string(::getpid()) + ".dbc");
    {
        std::ofstream f(p, std::ios::binary);
        f << "BO_ 192 EngineData: 8 ECU\r\n SG_ V : 24|16@0+ (0.01,0) [0|655.35] \"V\" ECU\r\n";
    }
    EXPECT_EQ(tarvik::ImportDbcFile(p.string()).size(), 1u);
    fs::remove(p);
    try {
        tarvik::ImportDbcFile(p.string());
        ADD_FAILURE() << "missing file imported";
    } catch (const DbcImportError& e) {
        EXPECT_EQ(e.Line(), 0);
        EXPECT_NE(std::string(e.what()).find(p.filename().string()), std::string::npos);
    }
    // A folder is not an empty database.
    EXPECT_THROW(tarvik::ImportDbcFile(fs::temp_directory_path().string()), DbcImportError);

    // Endless devices and oversized files stop at the limit, with the file and the limit named.
    ASSERT_TRUE(testsupport::WriteSparseFile(p, "BO_ 192 EngineData: 8 ECU\r\n", tarvik::kDbcFileMaxBytes + 1));
    for (const std::string& path : {std::string("/dev/zero"), p.string()}) {
        try {
            tarvik::ImportDbcFile(path);
            ADD_FAILURE() << path << " imported";
        } catch (const DbcImportError& e) {
            EXPECT_EQ(e.Line(), 0);
            EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
            EXPECT_NE(std::string(e.what()).find("256 MB"), std::string::npos) << e.what();
        }
    }
    fs::remove(p);
}

// ---- number form ------------------------------------------------------------------------

TEST(GeneralDecimal, Examples)
{
    const std::pair<double, const char*> rows[] = {
        {0.1, "0.1"},
        {-40, "-40"},
        {0.00001, "0.00001"},
        {0.000001, "1E-6"},
        {0.01, "0.01"},
        {655.35, "655.35"},
        {0.0625, "0.0625"},
        {-716.8, "-716.8"},
        {0, "0"},
        {-0.0, "0"},
        {1, "1"},
        {1.5e-7, "1.5E-7"},
        {-2.5e-9, "-2.5E-9"},
        {0.000012345, "0.000012345"},
        {123456789012345.0, "123456789012345"},    // 15 integer digits: still fixed
        {1e14, "100000000000000"},
        {1e15, "1E15"},                            // 16 integer digits: scientific
        {1234567890123456.0, "1.23456789012346E15"},
        {0.1234567890123456789, "0.123456789012346"},  // 15 significant digits
        {2.0 / 3.0, "0.666666666666667"},
        {9.999999999999999e-6, "0.00001"},         // rounds up into fixed range
        {999999999999999.9, "1E15"},               // rounds up out of it
        {1.84467440737096e19, "1.84467440737096E19"},
        {-9.22337203685478e18, "-9.22337203685478E18"},
        {1e100, "1E100"},
        {std::numeric_limits<double>::max(), "1.79769313486232E308"},
        {std::numeric_limits<double>::denorm_min(), "4.94065645841247E-324"},
        {4294967295.0, "4294967295"},
        {0.3, "0.3"},
        {100.0, "100"},
    };
    for (auto [v, want] : rows)
        EXPECT_EQ(FormatGeneralDecimal(v), want) << "%.17g of " << v;
}

TEST(GeneralDecimal, RoundTripsWithin15Digits)
{
    std::mt19937_64 rng(12345);
    std::uniform_real_distribution<double> mant(1.0, 10.0);
    std::uniform_int_distribution<int> ex(-30, 30);
    for (int i = 0; i < 20000; ++i) {
        double v = mant(rng) * std::pow(10.0, ex(rng));
        if (i & 1)
            v = -v;
        const std::string s = FormatGeneralDecimal(v);
        double back = 0;
        auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), back);
        ASSERT_TRUE(ec == std::errc() && p == s.data() + s.size()) << s;
        EXPECT_LE(std::fabs(back - v), std::fabs(v) * 1e-14) << s;
        // No trailing zeros after a point, and never a point without digits after it.
        const auto e = s.find('E');
        const std::string mantText = s.substr(0, e);
        if (mantText.find('.') != std::string::npos) {
            EXPECT_NE(mantText.back(), '0') << s;
        }
        EXPECT_NE(mantText.back(), '.') << s;
    }
}

TEST(GeneralDecimal, IsTheFifteenDigitRoundingForAnyDouble)
{
    // Whatever path the formatter takes, the text must hold exactly v rounded to 15
    // significant digits: reading it back and rounding again gives the same digits.
    std::mt19937_64 rng(777);
    char want[64], got[64];
    for (int i = 0; i < 200000; ++i) {
        std::uint64_t bits = rng();
        if (i % 4 == 0)
            bits &= 0x800FFFFFFFFFFFFFull;  // subnormals
        double v;
        std::memcpy(&v, &bits, sizeof v);
        if (!std::isfinite(v) || v == 0)
            continue;
        const std::string s = FormatGeneralDecimal(v);
        double back = 0;
        auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), back);
        ASSERT_TRUE(ec == std::errc() && p == s.data() + s.size()) << s;
        std::snprintf(want, sizeof want, "%.14e", v);
        std::snprintf(got, sizeof got, "%.14e", back);
        ASSERT_STREQ(got, want) << s;
    }
}

// Selects de_DE (comma as the decimal point) for LC_NUMERIC. The install script generates
// it; where it is missing, one is compiled into a folder of our own.
static bool SetCommaLocale()
{
    if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8"))
        return true;
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("tarvik_locale_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const std::string cmd = "localedef -i de_DE -f UTF-8 '" + (dir / "de_DE.UTF-8").string() + "' 2>/dev/null";
    if (std::system(cmd.c_str()) != 0)
        return false;
    ::setenv("LOCPATH", dir.c_str(), 1);
    const bool ok = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
    ::unsetenv("LOCPATH");
    std::error_code ec;
    fs::remove_all(dir, ec);  // loaded by now
    return ok;
}

TEST(GeneralDecimal, IndependentOfLocale)
{
    // Qt programs take the locale from the environment; a comma point would split fields.
    const char* old = std::setlocale(LC_NUMERIC, nullptr);
    const std::string saved = old ? old : "C";
    ASSERT_TRUE(SetCommaLocale()) << "no de_DE locale, and localedef could not make one";
    ASSERT_STREQ(std::localeconv()->decimal_point, ",");
    EXPECT_EQ(FormatGeneralDecimal(0.5), "0.5");
    const Lines got = ImportDbc("BO_ 1 M: 8 E\n SG_ S : 7|8@0+ (0.5,-1.25) [0|1.5] \"\" E\n");
    std::setlocale(LC_NUMERIC, saved.c_str());
    ASSERT_EQ(got.size(), 1u);
    EXPECT_NE(got[0].find(",0.5,-1.25,0,1.5,"), std::string::npos) << got[0];
}

// ---- read back by the label reader ------------------------------------------------------

TEST(DbcImport, LinesReadBackAsTheSignal)
{
    const Lines got = ImportDbc(
        "BO_ 2566844672 EEC1: 8 E\n"
        " SG_ Engine,Torque : 7|12@0- (0.125,-40.5) [-296.5|215.375] \"N m\" E\n"
        " SG_ Oil : 23|8@0+ (1E-6,0.00001) [0|1] \"\" E\n");
    ASSERT_EQ(got.size(), 2u);
    tarvik::TLabelData l;
    l.SetFromLine(got[0]);
    EXPECT_EQ(l.Name(), "Engine,Torque");
    EXPECT_EQ(l.Type(), "signed short");
    EXPECT_TRUE(l.Extended());
    EXPECT_EQ(l.CanId(), 0x18FEF100u);
    EXPECT_TRUE(l.IsBigEndian());
    EXPECT_EQ(l.BitStart(), 0);
    EXPECT_EQ(l.BitWidth(), 12);
    EXPECT_DOUBLE_EQ(l.Lsb(), 0.125);
    EXPECT_DOUBLE_EQ(l.Offset(), -40.5);
    EXPECT_DOUBLE_EQ(l.Min(), -296.5);
    EXPECT_DOUBLE_EQ(l.Max(), 215.375);
    EXPECT_EQ(l.Unit(), "N m");
    // 0xFFF in the top 12 bits is -1: -1 * 0.125 - 40.5
    l.Decode(0xFFF0000000000000ull);
    EXPECT_DOUBLE_EQ(l.Value(), -40.625);

    // Scientific numbers must be ones the label calculator reads.
    l.SetFromLine(got[1]);
    EXPECT_DOUBLE_EQ(l.Lsb(), 1e-6);
    EXPECT_DOUBLE_EQ(l.Offset(), 0.00001);
    EXPECT_EQ(l.BitStart(), 16);
    EXPECT_EQ(l.Unit(), "");
}
