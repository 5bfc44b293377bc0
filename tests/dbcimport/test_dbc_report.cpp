// The import report and the little-endian option: every signal line is accounted for,
// the default import of the real files is unchanged, and every little-endian label made
// from them decodes exactly as the database's own bit rule says.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <random>
#include <sstream>

#include "support/dbcmodel.h"
#include "support/skipmissing.h"
#include "support/testsupport.h"
#include "ttlabelinfo/dbcimport.h"
#include "ttlabelinfo/labelline.h"
#include "ttlabelinfo/tlabelinfo.h"

using namespace tarvik;

namespace {

DbcImportOptions LittleEndian()
{
    DbcImportOptions o;
    o.littleEndian = true;
    return o;
}

}  // namespace

TEST(DbcReport, EverySignalLineCountedOnce)
{
    const char* text =
        "BO_ 192 EngineData: 8 ECU\n"
        " SG_ A : 24|16@0+ (0.01,0) [0|655.35] \"V\" ECU\n"
        " SG_ Le : 16|8@1+ (1,0) [0|255] \"\" ECU\n"
        " SG_ Mux M : 1|2@0+ (1,0) [0|3] \"\" ECU\n"
        " SG_ Gear m1 : 15|4@0+ (1,0) [0|15] \"\" ECU\n"
        " SG_ BadPos : 24|16@2+ (1,0) [0|1] \"\" ECU\n"
        " SG_ BadScale : 24|16@0+ (1;0) [0|1] \"\" ECU\n"
        " SG_ Short : 24|16@0+ (1,0)\n"
        "BO_ 192 Again: 8 ECU\n"
        " SG_ Dup : 0|8@0+ (1,0) [0|1] \"\" ECU\n"
        " SG_ Dup2 : 0|8@0+ (1,0) [0|1] \"\" ECU\n"
        "\n"
        " SG_ Orphan : 0|8@0+ (1,0) [0|1] \"\" ECU\n"
        "BO_ 2147484672 Ext: 8 ECU\n"
        " SG_ E : 7|8@0- (1,0) [0|1] \"\" ECU\n";
    DbcImportReport r;
    const auto lines = ImportDbc(text, DbcImportOptions{}, &r);
    EXPECT_EQ(r.messages, 3);
    EXPECT_EQ(r.signalLines, 11);
    EXPECT_EQ(r.labels, 4);
    EXPECT_EQ(r.labels, static_cast<int>(lines.size()));
    EXPECT_EQ(r.multiplexed, 2);
    EXPECT_EQ(r.littleEndian, 1);
    EXPECT_EQ(r.malformed, 3);
    EXPECT_EQ(r.repeatedMessage, 2);
    EXPECT_EQ(r.outsideMessage, 1);
    EXPECT_EQ(r.signalLines, r.labels + r.Skipped());
    EXPECT_EQ(FormatDbcImportReport(r),
              "3 messages, 11 signals read, 4 labels made (2 multiplexed, 0 float); skipped: 1 little-endian, "
              "3 malformed, 2 repeated message, 1 outside a message, 0 unreadable float");
}

TEST(DbcReport, ValueTypeMakesFloatLabels)
{
    struct Case {
        const char* signal;     // after "SG_ "
        const char* valueType;  // the SIG_VALTYPE_ line
        const char* type;       // the label's type; empty: skipped as an unreadable float
    };
    const Case cases[] = {
        {"F : 7|32@0- (1,0) [0|50] \"\"", "SIG_VALTYPE_ 304 F : 1;", "float"},
        {"F : 7|32@0+ (1,0) [0|50] \"\"", "SIG_VALTYPE_ 304 F: 1 ;", "float"},
        {"F : 7|64@0- (1,0) [0|50] \"\"", "SIG_VALTYPE_ 304 F : 2;", "double"},
        {"F : 7|32@0- (1,0) [0|50] \"\"", "SIG_VALTYPE_ 304 F : 0;", "signed long"},
        {"F : 7|32@0- (1,0) [0|50] \"\"", "SIG_VALTYPE_ 305 F : 1;", "signed long"},  // other message
        {"F : 7|32@0- (1,0) [0|50] \"\"", "SIG_VALTYPE_ 304 G : 1;", "signed long"},  // other signal
        {"F : 7|16@0- (1,0) [0|50] \"\"", "SIG_VALTYPE_ 304 F : 1;", ""},
        {"F : 7|32@0- (1,0) [0|50] \"\"", "SIG_VALTYPE_ 304 F : 2;", ""},
        {"F : 7|64@0- (1,0) [0|50] \"\"", "SIG_VALTYPE_ 304 F : 1;", ""},
        {"F : 7|32@0- (0.5,0) [0|50] \"\"", "SIG_VALTYPE_ 304 F : 1;", ""},  // a float label scales nothing
        {"F : 7|32@0- (1,3) [0|50] \"\"", "SIG_VALTYPE_ 304 F : 1;", ""},
        {"F m2 : 7|32@0- (1,0) [0|50] \"\"", "SIG_VALTYPE_ 304 F : 1;", "float"},
    };
    for (const Case& c : cases) {
        const std::string text = std::string("BO_ 304 M: 8 ECU\n SG_ ") + c.signal +
                                 " ECU\n SG_ Other : 39|8@0+ (1,0) [0|1] \"\" ECU\n\n" + c.valueType + "\n";
        DbcImportReport r;
        const auto lines = ImportDbc(text, DbcImportOptions{}, &r);
        EXPECT_EQ(r.signalLines, r.labels + r.Skipped()) << c.signal;
        EXPECT_EQ(r.labels, static_cast<int>(lines.size())) << c.signal;
        ASSERT_FALSE(lines.empty()) << c.signal;
        EXPECT_EQ(SplitLabelLine(lines.back())[0], "Other") << c.signal;
        if (*c.type) {
            ASSERT_EQ(lines.size(), 2u) << c.signal << " / " << c.valueType;
            EXPECT_EQ(SplitLabelLine(lines[0])[1], c.type) << c.signal << " / " << c.valueType;
            const bool isFloat = std::string(c.type) == "float" || std::string(c.type) == "double";
            EXPECT_EQ(r.floating, isFloat ? 1 : 0) << c.signal << " / " << c.valueType;
            EXPECT_EQ(r.floatUnfit, 0);
        } else {
            EXPECT_EQ(lines.size(), 1u) << c.signal << " / " << c.valueType;
            EXPECT_EQ(r.floatUnfit, 1) << c.signal << " / " << c.valueType;
            EXPECT_EQ(r.multiplexed, 0);
        }
    }
}

TEST(DbcReport, FloatLabelDecodesTheFloatBits)
{
    const auto lines = ImportDbc("BO_ 304 FuelData: 5 EMS\n SG_ FuelRate : 7|32@0- (1,0) [0|50] \"l/h\" Dash\n"
                                 "\nSIG_VALTYPE_ 304 FuelRate : 1;\n");
    ASSERT_EQ(lines.size(), 1u);
    TLabelData label;
    label.SetFromLine(lines[0]);
    label.Decode(0x3F2E147B00000000ull);  // 0.68f in bytes 0..3
    EXPECT_FLOAT_EQ(static_cast<float>(label.Value()), 0.68f);
}

TEST(DbcReport, LittleEndianOptionTakesOnlyExactShapes)
{
    struct Case {
        const char* position;
        const char* line;  // empty: skipped as little-endian
    };
    const Case cases[] = {
        {"16|8@1+", "S,\"unsigned char\",,0x0C0,Little,16,8,1,0,0,1,\"\""},
        {"0|64@1-", "S,\"signed __int64\",,0x0C0,Little,0,64,1,0,0,1,\"\""},
        {"8|16@1-", "S,\"signed short\",,0x0C0,Little,8,16,1,0,0,1,\"\""},
        {"10|3@1+", "S,\"unsigned char\",,0x0C0,Little,11,3,1,0,0,1,\"\""},  // Data1 bits 2..4
        {"63|1@1+", "S,\"bit\",,0x0C0,Little,56,1,1,0,0,1,\"\""},            // top bit of Data7
        {"0|1@1+", "S,\"bit\",,0x0C0,Little,7,1,1,0,0,1,\"\""},
        {"0|1@1+ (100,0)", "S,\"unsigned char\",,0x0C0,Little,7,1,100,0,0,1,\"\""},
        {"4|8@1+", ""},   // straddles two bytes
        {"0|12@1+", ""},  // whole byte plus a partial one
        {"56|16@1+", ""}, // runs off the frame
        {"8|0@1+", ""},
    };
    for (const Case& c : cases) {
        std::string pos = c.position;
        if (pos.find('(') == std::string::npos)
            pos += " (1,0)";
        const std::string text = "BO_ 192 M: 8 ECU\n SG_ S : " + pos + " [0|1] \"\" ECU\n";
        DbcImportReport r;
        const auto lines = ImportDbc(text, LittleEndian(), &r);
        if (*c.line) {
            ASSERT_EQ(lines.size(), 1u) << c.position;
            EXPECT_EQ(lines[0], c.line) << c.position;
        } else {
            EXPECT_TRUE(lines.empty()) << c.position;
            EXPECT_EQ(r.littleEndian, 1) << c.position;
        }
        EXPECT_TRUE(ImportDbc(text).empty()) << c.position;  // off by default
    }
}

namespace {

std::vector<std::string> DefaultCorpusImport()
{
    std::vector<std::string> all;
    for (const auto& f : testsupport::SharedDbcFiles()) {
        auto lines = ImportDbcFile(f);
        all.insert(all.end(), lines.begin(), lines.end());
    }
    return all;
}

}  // namespace

TEST(DbcCorpusReport, DefaultImportUnchanged)
{
    if (testsupport::SharedDbcFiles().empty())
        TARVIK_SKIP_MISSING("the shared DBC corpus (../shared/dbc)");
    // FNV-1a of every label line, each followed by "\n", of the files in bytewise order,
    // taken before the report and the little-endian option were added.
    std::uint64_t h = 0xcbf29ce484222325ull;
    std::size_t count = 0;
    for (const auto& line : DefaultCorpusImport()) {
        for (unsigned char c : line + "\n")
            h = (h ^ c) * 0x100000001b3ull;
        ++count;
    }
    EXPECT_EQ(count, 22453u);
    EXPECT_EQ(h, 0x5dccd29d8e5b4042ull);
}

TEST(DbcCorpusReport, CountsAddUpAndLittleEndianDecodesExactly)
{
    const auto files = testsupport::SharedDbcFiles();
    if (files.empty())
        TARVIK_SKIP_MISSING("the shared DBC corpus (../shared/dbc)");
    std::mt19937_64 rng(12);
    int checked = 0, ambiguous = 0;
    DbcImportReport total, totalLe;
    for (const auto& f : files) {
        DbcImportReport plain, le;
        const auto plainLines = ImportDbcFile(f, DbcImportOptions{}, &plain);
        const auto lines = ImportDbcFile(f, LittleEndian(), &le);
        EXPECT_EQ(plain.signalLines, plain.labels + plain.Skipped()) << f;
        EXPECT_EQ(le.signalLines, le.labels + le.Skipped()) << f;
        EXPECT_EQ(le.labels - plain.labels, plain.littleEndian - le.littleEndian) << f;
        total.signalLines += plain.signalLines;
        total.littleEndian += plain.littleEndian;
        totalLe.labels += le.labels;
        totalLe.littleEndian += le.littleEndian;

        const auto defs = testsupport::ReadDbcSignals(f);
        for (const auto& line : lines) {
            const auto fields = SplitLabelLine(line);
            if (fields[4] != "Little")
                continue;
            std::string key = fields[3] + "/" + fields[0];
            auto it = defs.find(key);
            const std::string suffix = "_" + fields[3];  // a repeated name
            if (it == defs.end() && fields[0].ends_with(suffix))
                it = defs.find(fields[3] + "/" + fields[0].substr(0, fields[0].size() - suffix.size()));
            ASSERT_NE(it, defs.end()) << f << ": " << line;
            if (it->second.count > 1) {
                ++ambiguous;
                continue;
            }
            const testsupport::DbcSignal& s = it->second;
            ASSERT_TRUE(s.little) << line;
            // The same label with scale 1 and offset 0 shows the extracted bits themselves.
            auto unscaled = fields;
            unscaled[7] = "1";
            unscaled[8] = "0";
            TLabelData raw, full;
            raw.SetFromLine(JoinLabelLine(unscaled));
            full.SetFromLine(line);
            for (int k = 0; k < 40; ++k) {
                std::uint64_t data = k == 0 ? ~0ull : rng();
                std::uint8_t bytes[8];
                for (int b = 0; b < 8; ++b)
                    bytes[b] = static_cast<std::uint8_t>(data >> (56 - 8 * b));
                raw.Decode(data);
                full.Decode(data);
                const double expected = testsupport::DbcRaw(s, bytes);
                ASSERT_EQ(raw.Value(), expected) << f << ": " << line << " frame " << std::hex << data;
                const double phys = expected * s.factor + s.offset;
                ASSERT_NEAR(full.Value(), phys, 1e-9 * std::max(1.0, std::abs(phys))) << line;
            }
            ++checked;
        }
    }
    std::printf("corpus: %d signals, %d little-endian; with the option %d more labels, "
                "%d little-endian left out; %d checked, %d ambiguous names\n",
                total.signalLines, total.littleEndian, totalLe.labels - 22453,
                totalLe.littleEndian, checked, ambiguous);
    EXPECT_GT(checked, 5000);
    EXPECT_LT(ambiguous, checked / 100);
}
