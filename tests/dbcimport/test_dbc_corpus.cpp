// Real databases: every file imports or aborts with a line-numbered error, and signals
// worked out by hand from the file text come out exactly.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "support/skipmissing.h"
#include "support/testsupport.h"
#include "ttlabelinfo/dbcimport.h"

namespace fs = std::filesystem;

namespace {

std::vector<fs::path> CorpusFiles()
{
    std::vector<fs::path> files;
    const std::string dir = testsupport::SharedDbcDir();
    if (dir.empty())
        return files;
    for (const auto& e : fs::recursive_directory_iterator(dir)) {
        if (!e.is_regular_file())
            continue;
        std::string ext = e.path().extension().string();
        std::transform(ext.begin(), ext.end(), ext.begin(), ::tolower);
        if (ext == ".dbc")
            files.push_back(e.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::vector<std::string> ImportCorpusFile(const std::string& name)
{
    for (const auto& p : CorpusFiles())
        if (p.filename() == name)
            return tarvik::ImportDbcFile(p.string());
    ADD_FAILURE() << name << " not in the corpus";
    return {};
}

bool Contains(const std::vector<std::string>& lines, const std::string& line)
{
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

}  // namespace

TEST(DbcCorpus, EveryFileImportsOrAbortsWithLine)
{
    const auto files = CorpusFiles();
    if (files.empty())
        TARVIK_SKIP_MISSING("the shared DBC corpus (../shared/dbc)");
    int imported = 0, aborted = 0;
    std::size_t labels = 0;
    for (const auto& p : files) {
        try {
            labels += tarvik::ImportDbcFile(p.string()).size();
            ++imported;
        } catch (const tarvik::DbcImportError& e) {
            ++aborted;
            EXPECT_GT(e.Line(), 0) << p << ": " << e.what();
            EXPECT_NE(std::string(e.what()).find("line " + std::to_string(e.Line())),
                      std::string::npos) << p << ": " << e.what();
            EXPECT_FALSE(e.Token().empty()) << p;
        }
    }
    std::printf("corpus: %zu files, %d imported, %d aborted, %zu labels\n", files.size(),
                imported, aborted, labels);
    EXPECT_EQ(imported + aborted, static_cast<int>(files.size()));
    // Blank runs are one separator, so the real files import rather than abort.
    EXPECT_EQ(aborted, 0);
    EXPECT_GT(labels, 10000u);
}

TEST(DbcCorpus, HandCheckedSignals)
{
    if (CorpusFiles().empty())
        TARVIK_SKIP_MISSING("the shared DBC corpus (../shared/dbc)");

    // BO_ 771 Outside_Air_Temperature_FO: 2 EOCM_F_FO
    //  SG_ OtsAirTmpCrVal : 15|8@0+ (0.5,-40) [-40|87.5] "deg C"  NVS_FO
    const auto cadillac = ImportCorpusFile("cadillac_ct6_object.dbc");
    EXPECT_TRUE(Contains(cadillac,
        "OtsAirTmpCrVal,\"unsigned char\",,0x303,Big,8,8,0.5,-40,-40,87.5,\"deg C\""));

    // BO_ 2151825408 Outside_Air_Temperature_LS: 3 XXX   (bit 31 set, 0x424000)
    //  SG_ OtsAirTmpCrValGroup : 0|9@0+ (1,0) [0|0] ""  XXX
    const auto gm = ImportCorpusFile("gm_global_a_lowspeed_1818125.dbc");
    EXPECT_TRUE(Contains(gm,
        "OtsAirTmpCrValGroup,\"unsigned short\",X,0x00424000,Big,7,9,1,0,0,0,\"\""));

    // BO_ 806 Compressor_Req_FD1: 8 GWM
    //  SG_ HvacEvap_Te_Rq : 33|10@0+ (0.125,-50) [-50|77.875] "Degrees C"  ...
    const auto ford = ImportCorpusFile("ford_lincoln_base_pt.dbc");
    EXPECT_TRUE(Contains(ford,
        "HvacEvap_Te_Rq,\"unsigned short\",,0x326,Big,38,10,0.125,-50,-50,77.875,\"Degrees C\""));

    // BO_ 836 ACC1F01: 8 DS1
    //  SG_ DSS1GDRV : 7|10@0- (0.1,0) [0|0] "m/s^2" Vector__XXX
    const auto toyota = ImportCorpusFile("toyota_2017_ref_pt.dbc");
    EXPECT_TRUE(Contains(toyota, "DSS1GDRV,\"signed short\",,0x344,Big,0,10,0.1,0,0,0,\"m/s^2\""));

    // BO_ 222 EPS_1: 6 EPS  ... SG_ COUNTER : 35|4@0+ (1,0) [0|15] "" XXX
    // BO_ 238 ABS_1: 8 ABS  ... SG_ COUNTER : 51|4@0+ (1,0) [0|15] "" XXX   (a second COUNTER)
    // BO_ 1046 NEW_MSG_416: 8 XXX ... SG_ UNKNOWN_M0_1 m0 : 15|8@0+ (1,0) [0|255] "" XXX
    const auto fca = ImportCorpusFile("fca_giorgio.dbc");
    EXPECT_TRUE(Contains(fca,
        "STEERING_ANGLE,\"unsigned short\",,0x0DE,Big,2,14,0.1,-716.8,0,16383,\"deg\""));
    EXPECT_TRUE(Contains(fca, "COUNTER,\"unsigned char\",,0x0DE,Big,36,4,1,0,0,15,\"\""));
    EXPECT_TRUE(Contains(fca, "COUNTER_0x0EE,\"unsigned char\",,0x0EE,Big,52,4,1,0,0,15,\"\""));
    EXPECT_TRUE(Contains(fca, "COUNTER_0x0F1,\"unsigned char\",,0x0F1,Big,52,4,1,0,0,15,\"\""));
    EXPECT_TRUE(Contains(fca, "UNKNOWN_M0_1_m0,\"unsigned char\",,0x416,Big,8,8,1,0,0,255,\"\""));
}
