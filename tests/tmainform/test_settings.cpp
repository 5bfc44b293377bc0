#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "platform/inifile.h"
#include "support/testsupport.h"
#include "settings/settings.h"

using tarvik::TIniFile;
using tarvik::TSettings;

namespace {

const QString kExe = QStringLiteral("/opt/tarvik/bin/tarvik");

TSettings LoadFrom(const QByteArray& text)
{
    TIniFile ini("/dev/null/tarvik.INI");
    ini.Parse(text);
    TSettings s;
    s.Load(ini, kExe);
    return s;
}

}  // namespace

TEST(SettingsRead, NoFileGivesTheFullDefaultList)
{
    QTemporaryDir dir;
    TIniFile ini(dir.filePath("tarvik.INI"));
    TSettings s;
    s.DeviceNo = 9;  // whatever was held before is replaced
    s.Load(ini, kExe);
    EXPECT_EQ(s.Left, 0);
    EXPECT_EQ(s.Top, 0);
    EXPECT_TRUE(s.ViewState);
    EXPECT_EQ(s.DeviceNo, 0);
    EXPECT_EQ(s.BaudRate, 3000000);
    EXPECT_EQ(s.Port, "");
    EXPECT_EQ(s.LogfilePrefix, "Log");
    EXPECT_EQ(s.DaqfilePrefix, "Daq");
    EXPECT_TRUE(s.GraphEnabled);
    EXPECT_EQ(s.LabelFileName, "tarvik.TXT");
    EXPECT_EQ(tarvik::ResolveLabelFilePath(s.LabelFileName, "/opt/tarvik/bin"), "/opt/tarvik/bin/tarvik.TXT");
    EXPECT_TRUE(s.CreateLogFile);
    EXPECT_EQ(s.LogBufferSize, 67108864);
    EXPECT_EQ(s.CanBusSpeed, 0);    // 1MBPS
    EXPECT_EQ(s.SamplingPoint, 0);  // 60%
    EXPECT_EQ(s.DriverMode, 0);     // Normal
    EXPECT_EQ(s.Terminator, 0);     // Disable
    EXPECT_TRUE(s.CanSendEnabled);
    EXPECT_EQ(s.LinBusSpeed, 0);  // 19200BPS
    EXPECT_FALSE(s.MasterNode());
    EXPECT_TRUE(s.LinSendEnabled);
    EXPECT_EQ(s.MinYScale, -1000);
    EXPECT_EQ(s.MaxYScale, 10000);
    EXPECT_EQ(s.YPitch, 1000);
    EXPECT_EQ(s.TimeWidth, 20);
    EXPECT_EQ(s.SampleRate, 50);
    EXPECT_EQ(s.PlotRate, 100);
    EXPECT_FALSE(s.Administrator);
    EXPECT_FALSE(QFile::exists(dir.filePath("tarvik.INI")));  // reading never creates the file
}

TEST(SettingsRead, FileFromAnotherMachine)
{
    const TSettings s = LoadFrom(
        "[MainForm]\r\nLeft=120\r\nTop=-8\r\nViewState=0\r\n[USB]\r\nDeviceNo=1\r\nBaudRate=921600\r\n"
        "Port=/dev/ttyUSB3\r\n[LOG]\r\nLogfilePrefix=Bench\r\n[GRAPH]\r\nLabelFileName=engine.txt\r\n"
        "LogBufferSize=16777216\r\nSampleRate=10\r\n[CAN]\r\nBusSpeed=10\r\nDriverMode=1\r\nSendEnabled=0\r\n"
        "[LIN]\r\nBusSpeed=3\r\nOperationNode=1\r\n[System]\r\nAdministrator=1\r\n");
    EXPECT_EQ(s.Left, 120);
    EXPECT_EQ(s.Top, -8);
    EXPECT_FALSE(s.ViewState);
    EXPECT_EQ(s.DeviceNo, 1);
    EXPECT_EQ(s.BaudRate, 921600);
    EXPECT_EQ(s.Port, "/dev/ttyUSB3");
    EXPECT_EQ(s.LogfilePrefix, "Bench");
    EXPECT_EQ(s.LabelFileName, "engine.txt");
    EXPECT_EQ(s.LogBufferSize, 16 * tarvik::kMegabyte);
    EXPECT_EQ(s.SampleRate, 10);
    EXPECT_EQ(s.CanBusSpeed, 10);
    EXPECT_EQ(s.DriverMode, 1);
    EXPECT_FALSE(s.CanSendEnabled);
    EXPECT_EQ(s.LinBusSpeed, 3);
    EXPECT_TRUE(s.MasterNode());
    EXPECT_TRUE(s.Administrator);
}

TEST(SettingsRead, OperationNodeTwoIsSlave)
{
    EXPECT_FALSE(LoadFrom("[LIN]\r\nOperationNode=2\r\n").MasterNode());
    EXPECT_FALSE(LoadFrom("[LIN]\r\nOperationNode=-1\r\n").MasterNode());
}

TEST(SettingsRead, GarbageReadsAsDefault)
{
    const TSettings s = LoadFrom("[USB]\r\nBaudRate=fast\r\n[CAN]\r\nBusSpeed=1M\r\nSendEnabled=yes\r\n"
                                 "[GRAPH]\r\nPlotRate=\r\nGraphEnabled=off\r\nLabelFileName=\r\n");
    EXPECT_EQ(s.BaudRate, 3000000);
    EXPECT_EQ(s.CanBusSpeed, 0);
    EXPECT_TRUE(s.CanSendEnabled);
    EXPECT_EQ(s.PlotRate, 100);
    EXPECT_TRUE(s.GraphEnabled);
    EXPECT_EQ(s.LabelFileName, "tarvik.TXT");
}

TEST(SettingsRead, OutOfRangeValuesAreClamped)
{
    const TSettings high = LoadFrom(
        "[CAN]\r\nBusSpeed=40\r\nSamplingPoint=6\r\nDriverMode=2\r\nTerminator=9\r\n[LIN]\r\nBusSpeed=6\r\n"
        "[GRAPH]\r\nTimeWidth=0\r\nSampleRate=1\r\nPlotRate=100000\r\nLogBufferSize=2147483647\r\nYPitch=0\r\n"
        "MinYScale=50\r\nMaxYScale=50\r\n[USB]\r\nDeviceNo=-2\r\nBaudRate=-1\r\n");
    EXPECT_EQ(high.CanBusSpeed, 15);
    EXPECT_EQ(high.SamplingPoint, 5);
    EXPECT_EQ(high.DriverMode, 1);
    EXPECT_EQ(high.Terminator, 1);
    EXPECT_EQ(high.LinBusSpeed, 5);
    EXPECT_EQ(high.TimeWidth, 5);
    EXPECT_EQ(high.SampleRate, 5);
    EXPECT_EQ(high.PlotRate, 1000);
    EXPECT_EQ(high.LogBufferSize, 1024 * tarvik::kMegabyte);
    EXPECT_EQ(high.YPitch, 1);
    EXPECT_EQ(high.MinYScale, -1000);
    EXPECT_EQ(high.MaxYScale, 10000);
    EXPECT_EQ(high.DeviceNo, 0);
    EXPECT_EQ(high.BaudRate, 3000000);

    const TSettings low =
        LoadFrom("[CAN]\r\nBusSpeed=-3\r\nSamplingPoint=-1\r\n[LIN]\r\nBusSpeed=-1\r\n[GRAPH]\r\nLogBufferSize=0\r\n");
    EXPECT_EQ(low.CanBusSpeed, 0);
    EXPECT_EQ(low.SamplingPoint, 0);
    EXPECT_EQ(low.LinBusSpeed, 0);
    EXPECT_EQ(low.LogBufferSize, 8 * tarvik::kMegabyte);
}

// Sizes beyond what the dialog offers are kept for long runs, up to 1 GiB.
TEST(SettingsRead, LogBufferSizeFromTheFile)
{
    const struct {
        const char* text;
        int bytes;
    } cases[] = {{"8388607", 8388608},       {"8388608", 8388608},       {"67108865", 67108865},
                 {"268435456", 268435456},   {"104870000", 104870000},   {"1073741824", 1073741824},
                 {"1073741825", 1073741824}, {"-1", 8388608},            {"4294967296", 67108864}};
    for (const auto& c : cases)
        EXPECT_EQ(LoadFrom(QByteArray("[GRAPH]\r\nLogBufferSize=") + c.text + "\r\n").LogBufferSize, c.bytes) << c.text;
}

TEST(SettingsWrite, DialogKeysInTheirOrderThenWindowPosition)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("tarvik.INI");
    TIniFile ini(path);
    TSettings s = TSettings::Defaults(kExe);
    s.LabelFileName = "/home/u/labels/engine.txt";  // only the file-name part is stored
    s.CanBusSpeed = 10;
    s.OperationNode = 1;
    ASSERT_TRUE(s.SaveConfig(ini));
    s.Left = 33;
    s.Top = 44;
    s.ViewState = false;
    ASSERT_TRUE(s.SaveWindow(ini));
    EXPECT_EQ(testsupport::ReadFile(path.toStdString()),
              "[USB]\r\nDeviceNo=0\r\nBaudRate=3000000\r\nPort=\r\nProtocol=native\r\n"
              "[LOG]\r\nLogfilePrefix=Log\r\nDaqfilePrefix=Daq\r\n"
              "[GRAPH]\r\nGraphEnabled=1\r\nLabelFileName=engine.txt\r\nCreateLogFile=1\r\nLogBufferSize=67108864\r\n"
              "MinYScale=-1000\r\nMaxYScale=10000\r\nYPitch=1000\r\nTimeWidth=20\r\nSampleRate=50\r\nPlotRate=100\r\n"
              "[CAN]\r\nBusSpeed=10\r\nSamplingPoint=0\r\nDriverMode=0\r\nTerminator=0\r\nSendEnabled=1\r\n"
              "[LIN]\r\nBusSpeed=0\r\nOperationNode=1\r\nSendEnabled=1\r\n"
              "[MainForm]\r\nLeft=33\r\nTop=44\r\nViewState=0\r\n");

    // Round trip: what was written reads back the same.
    TIniFile again(path);
    TSettings r;
    r.Load(again, kExe);
    EXPECT_EQ(r.LabelFileName, "engine.txt");
    EXPECT_EQ(r.CanBusSpeed, 10);
    EXPECT_TRUE(r.MasterNode());
    EXPECT_EQ(r.Left, 33);
    EXPECT_FALSE(r.ViewState);
}

TEST(SettingsPaths, FilesBesideTheExecutableOrInTheConfigFolder)
{
    EXPECT_EQ(tarvik::DataDirectory(kExe, true, "/home/u/.config"), "/opt/tarvik/bin");
    EXPECT_EQ(tarvik::DataDirectory(kExe, false, "/home/u/.config"), "/home/u/.config/tarvik");
    EXPECT_EQ(tarvik::SettingsFilePath(kExe, "/opt/tarvik/bin"), "/opt/tarvik/bin/tarvik.INI");
    EXPECT_EQ(tarvik::SettingsFilePath("/x/TarvikPC.exe", "/x"), "/x/TarvikPC.INI");
    EXPECT_EQ(tarvik::DefaultLabelFileName("/x/TarvikPC.exe"), "TarvikPC.TXT");

    EXPECT_EQ(tarvik::ResolveLabelFilePath("a.txt", "/d"), "/d/a.txt");
    EXPECT_EQ(tarvik::ResolveLabelFilePath("/e/a.txt", "/d"), "/e/a.txt");
    EXPECT_EQ(tarvik::ResolveLabelFilePath("sub/a.txt", "/d"), "sub/a.txt");
    EXPECT_EQ(tarvik::LabelFileNamePart("/e/a.txt"), "a.txt");

    // A writable temporary folder holds the settings beside the "executable".
    QTemporaryDir dir;
    const QString exe = dir.filePath("tarvik");
    EXPECT_EQ(tarvik::SettingsFilePath(exe), dir.filePath("tarvik.INI"));
}

namespace {

// A value of the key's type that differs from its default.
void SetOther(TSettings& s, const tarvik::SettingKey& k, int n)
{
    std::visit(
        [&](auto field) {
            using T = std::remove_cvref_t<decltype(s.*field)>;
            if constexpr (std::is_same_v<T, QString>)
                s.*field = QStringLiteral("v%1").arg(n);
            else if constexpr (std::is_same_v<T, bool>)
                s.*field = !std::get<bool>(k.def);
            else {
                // Next to the default, on the side the clamp keeps.
                const int def = std::get<int>(k.def);
                auto kept = [&k, def](int v) { return k.clamp ? k.clamp(v, def) : v; };
                s.*field = kept(def + 1) != def ? kept(def + 1) : kept(def - 1);
            }
        },
        k.field);
}

bool SameValue(const TSettings& a, const TSettings& b, const tarvik::SettingKey& k)
{
    return std::visit([&](auto field) { return a.*field == b.*field; }, k.field);
}

}  // namespace

TEST(SettingsKeys, TableIsConsistent)
{
    const auto& keys = tarvik::SettingKeys();
    ASSERT_GE(keys.size(), 26u);
    const TSettings d;
    for (size_t i = 0; i < keys.size(); ++i) {
        const auto& k = keys[i];
        SCOPED_TRACE(std::string(k.section) + "/" + k.key);
        // The default is of the field's type, and a fresh TSettings holds it.
        const bool typed = std::visit(
            [&](auto field) {
                using T = std::remove_cvref_t<decltype(d.*field)>;
                if constexpr (std::is_same_v<T, QString>)
                    return std::holds_alternative<const char*>(k.def) && d.*field == std::get<const char*>(k.def);
                else
                    return std::holds_alternative<T>(k.def) && d.*field == std::get<T>(k.def);
            },
            k.field);
        EXPECT_TRUE(typed);
        for (size_t j = i + 1; j < keys.size(); ++j) {
            EXPECT_FALSE(QString(k.section) == keys[j].section && QString(k.key) == keys[j].key) << "key twice";
            EXPECT_FALSE(k.field == keys[j].field) << "field twice";
        }
    }
}

TEST(SettingsKeys, EveryWrittenKeyReadsBackAsWritten)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("tarvik.INI");
    TIniFile ini(path);
    TSettings s = TSettings::Defaults(kExe);
    int n = 0;
    for (const auto& k : tarvik::SettingKeys())
        SetOther(s, k, n++);
    ASSERT_TRUE(s.SaveConfig(ini));
    ASSERT_TRUE(s.SaveWindow(ini));
    ASSERT_TRUE(s.SaveChanged(ini));

    TIniFile again(path);
    TSettings r;
    r.Load(again, kExe);
    for (const auto& k : tarvik::SettingKeys()) {
        SCOPED_TRACE(std::string(k.section) + "/" + k.key);
        if (k.written == tarvik::Written::Never)
            EXPECT_TRUE(SameValue(r, TSettings::Defaults(kExe), k));  // never written: still the default
        else
            EXPECT_TRUE(SameValue(r, s, k));
    }
}

TEST(SettingsRead, YRangeOnlyEqualIsReset)
{
    struct {
        const char* text;
        int min, max;
    } const rows[] = {
        {"MinYScale=50\r\nMaxYScale=50\r\n", -1000, 10000},  // empty axis: both defaults
        {"MinYScale=500\r\nMaxYScale=-500\r\n", 500, -500},   // inverted: kept as given
        {"MinYScale=-5\r\nMaxYScale=5\r\n", -5, 5},
        {"MaxYScale=-1000\r\n", -1000, 10000},                 // equals the default minimum
        {"MinYScale=20000\r\n", 20000, 10000},                 // above the default maximum
    };
    for (const auto& row : rows) {
        const TSettings s = LoadFrom(QByteArray("[GRAPH]\r\n") + row.text);
        EXPECT_EQ(s.MinYScale, row.min) << row.text;
        EXPECT_EQ(s.MaxYScale, row.max) << row.text;
    }
}
