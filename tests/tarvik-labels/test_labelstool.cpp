#include <gtest/gtest.h>

#include <QStringList>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "labelstool.h"
#include "logformats/tracefile.h"

namespace fs = std::filesystem;

#include "support/process.h"
#include "support/testsupport.h"
#include "support/toolrun.h"
#include "ttlabelinfo/labelline.h"

namespace {

using ToolRun = testsupport::ToolRun;
using testsupport::ReadAllAndClose;

ToolRun Tool(std::vector<std::string> args, const std::string& stdinText = "")
{
    args.insert(args.begin(), "tarvik-labels");
    std::vector<const char*> argv;
    for (const auto& a : args)
        argv.push_back(a.c_str());
    std::FILE* in = std::tmpfile();
    std::fwrite(stdinText.data(), 1, stdinText.size(), in);
    std::rewind(in);
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    ToolRun r;
    r.status = tarvik::RunTarvikLabels(static_cast<int>(argv.size()), argv.data(), in, out, err);
    std::fclose(in);
    r.out = ReadAllAndClose(out);
    r.err = ReadAllAndClose(err);
    return r;
}

std::string WriteTemp(const std::string& name, const std::string& text)
{
    // One folder per test process, removed when the process ends.
    struct TempDir {
        fs::path path = fs::temp_directory_path() / ("tarvik_labels_test_" + std::to_string(::getpid()));
        TempDir() { fs::create_directories(path); }
        ~TempDir()
        {
            std::error_code ec;
            fs::remove_all(path, ec);
        }
    };
    static const TempDir dir;
    const fs::path p = dir.path / name;
    std::ofstream(p, std::ios::binary) << text;
    return p.string();
}

// Acquired: EngineSpeed, Temp, Ext, Count; the DAQ-off label is no column.
const char* kLabels =
    "EngineSpeed,\"unsigned short\",,0x0C0,Big,0,16,0.25,0,0,8000,rpm\r\n"
    "// Off,\"unsigned char\",,0x0C0,Big,16,8,1,0,0,255,\r\n"
    "Temp,\"signed char\",,0x123,Little,8,8,1,-40,-40,210,degC\r\n"
    "Ext,\"unsigned char\",X,0x18FEF100,Big,0,8,0.5,0,0,100,\r\n"
    "Count,\"unsigned long\",,0x200,Big,0,32,1,0,0,0,\r\n";

}  // namespace

TEST(LabelsTool, ImportDbcPrintsLabelLines)
{
    const std::string dbc = WriteTemp("ok.dbc",
        "BO_ 192 EngineData: 8 ECU\r\n"
        " SG_ BatteryVoltage : 24|16@0+ (0.01,0) [0|655.35] \"V\" ECU\r\n"
        " SG_ Little : 0|8@1+ (1,0) [0|255] \"\" ECU\r\n");
    const ToolRun r = Tool({"import-dbc", dbc});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "BatteryVoltage,\"unsigned short\",,0x0C0,Big,31,16,0.01,0,0,655.35,\"V\"\n");
    EXPECT_EQ(r.err, "tarvik-labels: " + dbc + ": 1 messages, 2 signals read, 1 labels made (0 multiplexed, 0 float); "
                     "skipped: 1 little-endian, 0 malformed, 0 repeated message, 0 outside a message, "
                     "0 unreadable float\n");
}

TEST(LabelsTool, ImportOfTheExampleDatabaseAgreesWithTheExampleLabels)
{
    const std::string dir = testsupport::SourceDir() + "/examples/";
    const ToolRun r = Tool({"import-dbc", "--little-endian", dir + "vehicle.dbc"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("(0 multiplexed, 1 float)"), std::string::npos) << r.err;
    const auto made = tarvik::SplitTextLines(r.out);
    const auto expected = tarvik::SplitTextLines(testsupport::ReadFile(dir + "vehicle-labels.txt"));
    ASSERT_EQ(made.size(), expected.size()) << r.out;
    for (std::size_t i = 0; i < made.size(); ++i)
        EXPECT_EQ(tarvik::SplitLabelLine(made[i]), tarvik::SplitLabelLine(expected[i])) << expected[i];
}

TEST(LabelsTool, ImportDbcOfAFileWithoutMessagesFails)
{
    for (const char* text : {"", "VERSION \"\"\n\nNS_ :\n", "EngineSpeed,\"unsigned short\",,0x0C0,Big,0,16\n"}) {
        const std::string dbc = WriteTemp("nomsg.dbc", text);
        const ToolRun r = Tool({"import-dbc", dbc});
        EXPECT_EQ(r.status, 1) << text;
        EXPECT_EQ(r.out, "") << text;
        EXPECT_NE(r.err.find("no message definition"), std::string::npos) << r.err;
    }
    // A message without a signal is still a database: nothing to import, and no failure.
    const ToolRun r = Tool({"import-dbc", WriteTemp("nosig.dbc", "BO_ 192 EngineData: 8 ECU\n")});
    EXPECT_EQ(r.status, 0) << r.err;
}

TEST(LabelsTool, ImportDbcLittleEndianOption)
{
    const std::string dbc = WriteTemp("le.dbc",
        "BO_ 192 EngineData: 8 ECU\n"
        " SG_ Temp : 16|8@1+ (1,-40) [-40|215] \"degC\" ECU\n"
        " SG_ Odd : 4|8@1+ (1,0) [0|255] \"\" ECU\n");
    const ToolRun plain = Tool({"import-dbc", dbc});
    EXPECT_EQ(plain.out, "");
    EXPECT_NE(plain.err.find("skipped: 2 little-endian"), std::string::npos) << plain.err;
    const ToolRun le = Tool({"import-dbc", "--little-endian", dbc});
    EXPECT_EQ(le.status, 0);
    EXPECT_EQ(le.out, "Temp,\"unsigned char\",,0x0C0,Little,16,8,1,-40,-40,215,\"degC\"\n");
    EXPECT_NE(le.err.find("1 labels made"), std::string::npos) << le.err;
    EXPECT_NE(le.err.find("skipped: 1 little-endian"), std::string::npos) << le.err;
    EXPECT_EQ(Tool({"import-dbc", "--big", dbc}).status, 2);
}

TEST(LabelsTool, ImportDbcAbortReportsLineOnStderr)
{
    const std::string dbc = WriteTemp("bad.dbc",
        "BO_ 192 EngineData: 8 ECU\n"
        " SG_ V : 24|16@0+ (0.01,0) [0|655.35] \"V\" ECU\n"
        "\n"
        "BO_ 12x Broken: 8 ECU\n");
    const ToolRun r = Tool({"import-dbc", dbc});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");  // nothing half-imported
    EXPECT_NE(r.err.find("line 4"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("12x"), std::string::npos) << r.err;

    const ToolRun missing = Tool({"import-dbc", dbc + ".absent"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find(".absent"), std::string::npos);
}

TEST(LabelsTool, UsageErrors)
{
    EXPECT_EQ(Tool({}).status, 2);
    EXPECT_EQ(Tool({"frobnicate"}).status, 2);
    EXPECT_EQ(Tool({"import-dbc"}).status, 2);
    EXPECT_EQ(Tool({"decode", "a", "b", "c"}).status, 2);
    const ToolRun help = Tool({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("decode LABELFILE"), std::string::npos);
}

TEST(LabelsTool, DecodeHoldsValuesAndSkipsMalformedLines)
{
    const std::string labels = WriteTemp("labels.txt", kLabels);
    const std::string log = WriteTemp("small.log",
        "(100.000000) can0 7DF#0011\n"            // first frame, no label: the time base
        "(100.010000) can0 0C0#1F40\n"            // EngineSpeed 0x1F40 * 0.25
        "garbage\n"                               // line 3
        "(100.020000) can0 123#00550000\n"        // Temp: byte 1, 0x55 - 40
        "(100.030000) can0 18FEF100#C8\n"         // Ext: 200 * 0.5
        "(100.040000) can0 123#R\n"               // remote request: no row
        "(100.050000) can0 00000123#FF00\n"       // extended 0x123 is not Temp's key
        "(100.060000) can0 0C0#0001\n"            // EngineSpeed 0.25, the rest held
        "(100.070000) can0 200#0012D687\n"        // Count 1234567 -> %lg
        "(100.080000) can0 0C0#\n");              // no data bytes: zeros
    const ToolRun r = Tool({"decode", labels, log});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out,
              "time(s),EngineSpeed,Temp,Ext,Count\n"
              "0.010000,2000,,,\n"  // labels without a frame yet: empty fields
              "0.020000,2000,45,,\n"
              "0.030000,2000,45,100,\n"
              "0.060000,0.25,45,100,\n"
              "0.070000,0.25,45,100,1.23457e+06\n"
              "0.080000,0,45,100,1.23457e+06\n");
    EXPECT_NE(r.err.find("skipped 1 malformed log line: line 3"), std::string::npos) << r.err;
}

TEST(LabelsTool, DecodeReadsStandardInputAndListsTenLines)
{
    const std::string labels = WriteTemp("labels2.txt", kLabels);
    std::string log = "(5.5) can0 0C0#0004\n";
    for (int i = 0; i < 14; ++i)
        log += "(x) can0 0C0#00\n";  // lines 2 .. 15
    log += "(5.25) can0 0C0#0008\r\n";  // earlier than the first frame
    for (const char* source : {"", "-"}) {
        std::vector<std::string> args{"decode", labels};
        if (*source)
            args.push_back(source);
        const ToolRun r = Tool(args, log);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, "time(s),EngineSpeed,Temp,Ext,Count\n"
                         "0.000000,1,,,\n"
                         "-0.250000,2,,,\n");
        EXPECT_NE(r.err.find("skipped 14 malformed log lines: lines 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, ..."),
                  std::string::npos) << r.err;
    }
}

TEST(LabelsTool, DecodeRefusesAFileThatIsNoLabelFile)
{
    const std::string dbc = testsupport::SourceDir() + "/examples/vehicle.dbc";
    const ToolRun r = Tool({"decode", dbc}, "(1.0) can0 0C0#0010\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "tarvik-labels: " + dbc +
                         " is not a label file (no line has the 12 label fields; it looks like a DBC "
                         "file \u2014 turn it into labels with import-dbc)\n");
}

TEST(LabelsTool, DecodeWithUnreadableFiles)
{
    const std::string labels = WriteTemp("labels3.txt", kLabels);
    const ToolRun noLog = Tool({"decode", labels, labels + ".absent.log"});
    EXPECT_EQ(noLog.status, 1);
    EXPECT_NE(noLog.err.find(".absent.log"), std::string::npos);
    const ToolRun noLabels = Tool({"decode", labels + ".absent"});
    EXPECT_EQ(noLabels.status, 1);
    EXPECT_EQ(noLabels.out, "");
}

TEST(LabelsTool, ExecutableExitStatusAndStreams)
{
    const std::string labels = WriteTemp("labels4.txt", kLabels);
    const testsupport::Ran r = testsupport::RunProcess(TARVIK_LABELS_EXE, {"decode", QString::fromStdString(labels)},
                                                       {.input = "(1.0) can0 0C0#0010\nbad\n"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "time(s),EngineSpeed,Temp,Ext,Count\n0.000000,4,,,\n");
    EXPECT_NE(r.err.find("line 2"), std::string::npos) << r.err;

    const std::string dbc = WriteTemp("bad2.dbc", "BO_ x Broken: 8 ECU\n");
    const testsupport::Ran bad =
        testsupport::RunProcess(TARVIK_LABELS_EXE, {"import-dbc", QString::fromStdString(dbc)});
    EXPECT_EQ(bad.code, 1);
    EXPECT_NE(bad.err.find("line 1"), std::string::npos) << bad.err;
}

TEST(LabelsTool, DecodeReadsAscLogsToo)
{
    const std::string labels = WriteTemp("labels5.txt", kLabels);
    const std::string log = WriteTemp("small.asc",
        "date Tue Dec 08 03:50:13.000 pm 2026\r\n"
        "base hex  timestamps absolute\r\n"
        "internal events logged\r\n"
        "Begin Triggerblock Tue Dec 08 03:50:13.000 pm 2026\r\n"
        "   0.000000 Start of measurement\r\n"
        "   0.100000 1  0C0             Rx   d 2 1F 40\r\n"
        "   0.150000 L1 10  Rx   1 FF\r\n"                       // LIN: no label, no row
        "   0.200000 1  18FEF100x       Rx   d 1 C8\r\n"
        "End TriggerBlock\r\n");
    const ToolRun r = Tool({"decode", labels, log});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "time(s),EngineSpeed,Temp,Ext,Count\n"
                     "0.000000,2000,,,\n"
                     "0.100000,2000,,100,\n");
    EXPECT_EQ(r.err, "");
}

// Every failure names the file and the system's reason, and no usable input is no success.
TEST(LabelsTool, UnusableInputAndOutputFailWithTheReason)
{
    const std::string labels = WriteTemp("labels6.txt", kLabels);
    const std::string dir = fs::path(labels).parent_path().string();
    const struct {
        QStringList args;
        std::string stderrHas;
    } rows[] = {
        {{"decode", QString::fromStdString(labels), QString::fromStdString(dir)}, dir + ": Is a directory"},
        {{"decode", QString::fromStdString(labels), "/bin/ls"}, "/bin/ls: no CAN frame in"},
        {{"decode", QString::fromStdString(labels), "/dev/null"}, "/dev/null: no CAN frame in 0 lines"},
    };
    for (const auto& row : rows) {
        const testsupport::Ran r = testsupport::RunProcess(TARVIK_LABELS_EXE, row.args);
        EXPECT_EQ(r.code, 1) << row.stderrHas;
        EXPECT_NE(r.err.find(row.stderrHas), std::string::npos) << r.err;
    }

    const std::string dbc = WriteTemp("full.dbc", "BO_ 192 EngineData: 8 ECU\n SG_ V : 24|16@0+ (0.01,0) [0|655.35] \"V\" ECU\n");
    const testsupport::Ran full =
        testsupport::RunProcess(TARVIK_LABELS_EXE, {"import-dbc", QString::fromStdString(dbc)}, {.stdoutFile = "/dev/full"});
    EXPECT_EQ(full.code, 1);
    EXPECT_NE(full.err.find("No space left on device"), std::string::npos) << full.err;
}

// The same frames as a candump, BLF and TRC log (and BLF on standard input) decode alike.
TEST(LabelsTool, DecodeReadsEveryLogFormatAlike)
{
    const std::string labels = WriteTemp("labels3.txt", kLabels);
    std::vector<tarvik::AdapterRecord> recs = {
        tarvik::AdapterRecord::Can(0x7DF, false, 2, nullptr).SetTimeStamp(1000),
        tarvik::AdapterRecord::Can(0x0C0, false, 2, nullptr).SetData(0, 0x1F).SetData(1, 0x40).SetTimeStamp(1100),
        tarvik::AdapterRecord::Can(0x123, false, 4, nullptr).SetData(1, 0x55).SetTimeStamp(1200),
        tarvik::AdapterRecord::Can(0x18FEF100, true, 1, nullptr).SetData(0, 0xC8).SetTimeStamp(1300),
        tarvik::AdapterRecord::CanRemote(0x123, false, 0).SetTimeStamp(1400),
        tarvik::AdapterRecord::Can(0x200, false, 4, nullptr).SetData(1, 0x12).SetData(2, 0xD6).SetData(3, 0x87)
            .SetTimeStamp(1500),
    };
    // A label has no value (an empty field) until its first frame.
    const std::string want = "time(s),EngineSpeed,Temp,Ext,Count\n"
                             "0.010000,2000,,,\n"
                             "0.020000,2000,45,,\n"
                             "0.030000,2000,45,100,\n"
                             "0.050000,2000,45,100,1.23457e+06\n";
    for (tarvik::TTraceFormat f : {tarvik::TTraceFormat::Candump, tarvik::TTraceFormat::Blf, tarvik::TTraceFormat::Trc}) {
        const std::string bytes = tarvik::FormatTrace(f, recs, 1765000000000000);
        const std::string path = WriteTemp("every." + std::to_string(static_cast<int>(f)), bytes);
        const ToolRun r = Tool({"decode", labels, path});
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, want) << static_cast<int>(f);
        if (f == tarvik::TTraceFormat::Blf) {
            const ToolRun piped = Tool({"decode", labels}, bytes);
            EXPECT_EQ(piped.out, want);
            // A cut BLF ends the decoding with where the damage is.
            const ToolRun cut = Tool({"decode", labels, WriteTemp("cut.blf", bytes.substr(0, bytes.size() - 20))});
            EXPECT_EQ(cut.status, 1);
            EXPECT_NE(cut.err.find("cut short (") , std::string::npos) << cut.err;
            EXPECT_NE(cut.err.find("at offset 144"), std::string::npos) << cut.err;
        }
    }
}

TEST(LabelsTool, EncodePrintsTheFrameOfTheNamedLabels)
{
    const std::string labels = WriteTemp("encode.txt", kLabels);
    const std::string vehicle = testsupport::SourceDir() + "/examples/vehicle-labels.txt";
    ToolRun r = Tool({"encode", vehicle, "EngineSpeed=2000", "Throttle=40"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "0C0#1F40640000000000\n");  // the frame's labels reach its last byte
    EXPECT_EQ(r.err, "");
    // A label not acquired is a signal all the same; the frame is as long as its labels reach.
    r = Tool({"encode", labels, "EngineSpeed=2000", "Off=7"});
    EXPECT_EQ(r.out, "0C0#1F4007\n") << r.err;
    // Clamped to Max, and said so; an extended identifier has eight digits.
    r = Tool({"encode", labels, "Ext=1000"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "18FEF100#C8\n");
    EXPECT_EQ(r.err, "tarvik-labels: Ext: 1000 does not fit the label, the frame holds 100\n");

    r = Tool({"encode", labels, "EngineSpeed=2000", "Temp=20"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("different frames"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("EngineSpeed (0C0), Temp (123)"), std::string::npos) << r.err;
    r = Tool({"encode", labels, "EngineSpeed=2000", "Nope=1", "Nada=2"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("no label named Nope, Nada"), std::string::npos) << r.err;
    EXPECT_EQ(Tool({"encode", labels, "EngineSpeed"}).status, 2);
    EXPECT_EQ(Tool({"encode", labels, "EngineSpeed=fast"}).status, 2);
    EXPECT_EQ(Tool({"encode", labels}).status, 2);
}
