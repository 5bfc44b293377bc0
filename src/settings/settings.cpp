#include "settings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <unistd.h>

#include "platform/inifile.h"

namespace tarvik {

namespace {

const QString kMainForm = QStringLiteral("MainForm");
const QString kUsb = QStringLiteral("USB");
const QString kLog = QStringLiteral("LOG");
const QString kGraph = QStringLiteral("GRAPH");
const QString kCan = QStringLiteral("CAN");
const QString kLin = QStringLiteral("LIN");
const QString kSystem = QStringLiteral("System");

int ClampIndex(int v, int count) { return std::clamp(v, 0, count - 1); }

}  // namespace

TSettings TSettings::Defaults(const QString& exePath)
{
    TSettings s;
    s.LabelFileName = DefaultLabelFileName(exePath);
    return s;
}

void TSettings::Load(const TIniFile& ini, const QString& exePath)
{
    const TSettings d = Defaults(exePath);

    Left = ini.ReadInteger(kMainForm, QStringLiteral("Left"), d.Left);
    Top = ini.ReadInteger(kMainForm, QStringLiteral("Top"), d.Top);

    DeviceNo = std::max(0, ini.ReadInteger(kUsb, QStringLiteral("DeviceNo"), d.DeviceNo));
    BaudRate = ini.ReadInteger(kUsb, QStringLiteral("BaudRate"), d.BaudRate);
    if (BaudRate < 1)
        BaudRate = d.BaudRate;
    Port = ini.ReadString(kUsb, QStringLiteral("Port"), d.Port);
    LogfilePrefix = ini.ReadString(kLog, QStringLiteral("LogfilePrefix"), d.LogfilePrefix);
    DaqfilePrefix = ini.ReadString(kLog, QStringLiteral("DaqfilePrefix"), d.DaqfilePrefix);
    GraphEnabled = ini.ReadBool(kGraph, QStringLiteral("GraphEnabled"), d.GraphEnabled);
    LabelFileName = ini.ReadString(kGraph, QStringLiteral("LabelFileName"), d.LabelFileName);
    if (LabelFileName.isEmpty())
        LabelFileName = d.LabelFileName;
    CreateLogFile = ini.ReadBool(kGraph, QStringLiteral("CreateLogFile"), d.CreateLogFile);
    LogBufferSize = std::clamp(ini.ReadInteger(kGraph, QStringLiteral("LogBufferSize"), d.LogBufferSize),
                               8 * kMegabyte, 64 * kMegabyte);

    CanBusSpeed = ClampIndex(ini.ReadInteger(kCan, QStringLiteral("BusSpeed"), d.CanBusSpeed), kCanSpeedCount);
    SamplingPoint =
        ClampIndex(ini.ReadInteger(kCan, QStringLiteral("SamplingPoint"), d.SamplingPoint), kSamplingPointCount);
    DriverMode = ClampIndex(ini.ReadInteger(kCan, QStringLiteral("DriverMode"), d.DriverMode), kDriverModeCount);
    Terminator = ClampIndex(ini.ReadInteger(kCan, QStringLiteral("Terminator"), d.Terminator), kTerminatorCount);
    CanSendEnabled = ini.ReadBool(kCan, QStringLiteral("SendEnabled"), d.CanSendEnabled);

    LinBusSpeed = ClampIndex(ini.ReadInteger(kLin, QStringLiteral("BusSpeed"), d.LinBusSpeed), kLinSpeedCount);
    OperationNode = ini.ReadInteger(kLin, QStringLiteral("OperationNode"), d.OperationNode);
    LinSendEnabled = ini.ReadBool(kLin, QStringLiteral("SendEnabled"), d.LinSendEnabled);

    MinYScale = ini.ReadInteger(kGraph, QStringLiteral("MinYScale"), d.MinYScale);
    MaxYScale = ini.ReadInteger(kGraph, QStringLiteral("MaxYScale"), d.MaxYScale);
    if (MinYScale >= MaxYScale) {  // an empty or inverted axis cannot be drawn
        MinYScale = d.MinYScale;
        MaxYScale = d.MaxYScale;
    }
    YPitch = std::max(1, ini.ReadInteger(kGraph, QStringLiteral("YPitch"), d.YPitch));
    TimeWidth = std::clamp(ini.ReadInteger(kGraph, QStringLiteral("TimeWidth"), d.TimeWidth), 5, 60);
    SampleRate = std::clamp(ini.ReadInteger(kGraph, QStringLiteral("SampleRate"), d.SampleRate), 5, 1000);
    PlotRate = std::clamp(ini.ReadInteger(kGraph, QStringLiteral("PlotRate"), d.PlotRate), 10, 1000);

    Administrator = ini.ReadBool(kSystem, QStringLiteral("Administrator"), d.Administrator);

    // Read after the rest at start-up: it decides which window shows once the main one is up.
    ViewState = ini.ReadBool(kMainForm, QStringLiteral("ViewState"), d.ViewState);
}

bool TSettings::SaveConfig(TIniFile& ini) const
{
    TIniFile::Batch batch(ini);
    ini.WriteInteger(kUsb, QStringLiteral("DeviceNo"), DeviceNo);
    ini.WriteInteger(kUsb, QStringLiteral("BaudRate"), BaudRate);
    ini.WriteString(kLog, QStringLiteral("LogfilePrefix"), LogfilePrefix);
    ini.WriteString(kLog, QStringLiteral("DaqfilePrefix"), DaqfilePrefix);
    ini.WriteBool(kGraph, QStringLiteral("GraphEnabled"), GraphEnabled);
    ini.WriteString(kGraph, QStringLiteral("LabelFileName"), LabelFileNamePart(LabelFileName));
    ini.WriteBool(kGraph, QStringLiteral("CreateLogFile"), CreateLogFile);
    ini.WriteInteger(kGraph, QStringLiteral("LogBufferSize"), LogBufferSize);
    ini.WriteInteger(kCan, QStringLiteral("BusSpeed"), CanBusSpeed);
    ini.WriteInteger(kCan, QStringLiteral("SamplingPoint"), SamplingPoint);
    ini.WriteInteger(kCan, QStringLiteral("DriverMode"), DriverMode);
    ini.WriteInteger(kCan, QStringLiteral("Terminator"), Terminator);
    ini.WriteBool(kCan, QStringLiteral("SendEnabled"), CanSendEnabled);
    ini.WriteInteger(kLin, QStringLiteral("BusSpeed"), LinBusSpeed);
    ini.WriteInteger(kLin, QStringLiteral("OperationNode"), OperationNode);
    ini.WriteBool(kLin, QStringLiteral("SendEnabled"), LinSendEnabled);
    ini.WriteInteger(kGraph, QStringLiteral("MinYScale"), MinYScale);
    ini.WriteInteger(kGraph, QStringLiteral("MaxYScale"), MaxYScale);
    ini.WriteInteger(kGraph, QStringLiteral("YPitch"), YPitch);
    ini.WriteInteger(kGraph, QStringLiteral("TimeWidth"), TimeWidth);
    ini.WriteInteger(kGraph, QStringLiteral("SampleRate"), SampleRate);
    ini.WriteInteger(kGraph, QStringLiteral("PlotRate"), PlotRate);
    return batch.Commit();
}

bool TSettings::SaveWindow(TIniFile& ini) const
{
    TIniFile::Batch batch(ini);
    ini.WriteInteger(kMainForm, QStringLiteral("Left"), Left);
    ini.WriteInteger(kMainForm, QStringLiteral("Top"), Top);
    ini.WriteBool(kMainForm, QStringLiteral("ViewState"), ViewState);
    return batch.Commit();
}

QString DataDirectory(const QString& exePath, bool exeDirWritable, const QString& configHome)
{
    if (exeDirWritable)
        return QFileInfo(exePath).absolutePath();
    return QDir(configHome).filePath(QStringLiteral("tarvik"));
}

QString DataDirectory(const QString& exePath)
{
    const QString exeDir = QFileInfo(exePath).absolutePath();
    const bool writable = ::access(QFile::encodeName(exeDir).constData(), W_OK) == 0;
    QString configHome = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (configHome.isEmpty() || QDir::isRelativePath(configHome))  // relative values are to be ignored
        configHome = QDir::home().filePath(QStringLiteral(".config"));
    return DataDirectory(exePath, writable, configHome);
}

QString SettingsFilePath(const QString& exePath, const QString& dataDir)
{
    return QDir(dataDir).filePath(QFileInfo(exePath).completeBaseName() + QStringLiteral(".INI"));
}

QString SettingsFilePath(const QString& exePath) { return SettingsFilePath(exePath, DataDirectory(exePath)); }

QString DefaultLabelFileName(const QString& exePath)
{
    return QFileInfo(exePath).completeBaseName() + QStringLiteral(".TXT");
}

QString ResolveLabelFilePath(const QString& name, const QString& dataDir)
{
    if (name.contains(QLatin1Char('/')))
        return name;
    return QDir(dataDir).filePath(name);
}

QString LabelFileNamePart(const QString& path) { return QFileInfo(path).fileName(); }

}  // namespace tarvik
