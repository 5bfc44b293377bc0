#pragma once
// The program's settings: every key of the settings file with its default, read once at
// start-up and written back on OK of the system settings dialog (device, bus, log and
// graph keys) and at close (window position and ViewState).
//
// Reading is forgiving: a missing file, section or key, or a value that is not an
// integer, gives the default. Values outside what the program can use are clamped when
// read, so a file edited by hand or written by another version cannot drive a list
// index out of its list or a timer to zero:
//   - list indexes (CAN/LIN bus speed, sampling point, driver mode, terminator) are
//     clamped into their list: below 0 -> 0, beyond the last item -> the last item;
//   - OperationNode selects master only for exactly 1, anything else is slave (kept as read);
//   - TimeWidth, SampleRate, PlotRate and LogBufferSize are clamped into the range the
//     settings dialog offers (5..60 s, 5..1000 ms, 10..1000 ms, 8..64 MB);
//   - YPitch below 1 becomes 1; MinYScale >= MaxYScale gives both defaults;
//   - DeviceNo below 0 becomes 0; BaudRate below 1 gives the default;
//   - an empty LabelFileName gives the default name.
#include <QString>

namespace tarvik {

class TIniFile;

// Lengths of the lists the indexes select from.
inline constexpr int kCanSpeedCount = 16;       // "1MBPS" .. "33.3KBPS"
inline constexpr int kSamplingPointCount = 6;   // "60%" .. "85%"
inline constexpr int kDriverModeCount = 2;      // "Normal", "Silent"
inline constexpr int kTerminatorCount = 2;      // "Disable", "Enable"
inline constexpr int kLinSpeedCount = 6;        // "19200BPS" .. "2400BPS"

inline constexpr int kMegabyte = 1048576;

struct TSettings {
    // "MainForm"
    int Left = 0;
    int Top = 0;
    bool ViewState = true;
    // "USB"
    int DeviceNo = 0;
    int BaudRate = 3000000;
    QString Port;  // an explicit serial port path; empty: open by device number
    // "LOG"
    QString LogfilePrefix = QStringLiteral("Log");
    QString DaqfilePrefix = QStringLiteral("Daq");
    // "GRAPH"
    bool GraphEnabled = true;
    QString LabelFileName;  // as stored: normally a bare file name
    bool CreateLogFile = true;
    int LogBufferSize = 64 * kMegabyte;
    // "CAN"
    int CanBusSpeed = 0;
    int SamplingPoint = 0;
    int DriverMode = 0;
    int Terminator = 0;
    bool CanSendEnabled = true;
    // "LIN"
    int LinBusSpeed = 0;
    int OperationNode = 0;  // 1 master node, anything else slave
    bool LinSendEnabled = true;
    // "GRAPH" display
    int MinYScale = -1000;
    int MaxYScale = 10000;
    int YPitch = 1000;
    int TimeWidth = 20;
    int SampleRate = 50;
    int PlotRate = 100;
    // "System"
    bool Administrator = false;

    bool MasterNode() const { return OperationNode == 1; }

    // Defaults for a program whose executable is exePath (the label file is named after it).
    static TSettings Defaults(const QString& exePath);

    // Reads every key in start-up order; exePath names the default label file.
    void Load(const TIniFile& ini, const QString& exePath);
    // Writes the keys confirmed by the settings dialog, in their fixed order, as one
    // file update. LabelFileName is written as its file-name part only.
    bool SaveConfig(TIniFile& ini) const;
    // Writes "Left", "Top" and "ViewState" to "MainForm" (at close).
    bool SaveWindow(TIniFile& ini) const;
};

// Where files that live "beside the executable" go: the executable's folder when it is
// writable, otherwise $XDG_CONFIG_HOME/tarvik (~/.config/tarvik without the variable).
QString DataDirectory(const QString& exePath);
// Same rule with the test for writability and the configuration home given.
QString DataDirectory(const QString& exePath, bool exeDirWritable, const QString& configHome);

// The settings file: the executable's name with ".INI" in the data directory.
QString SettingsFilePath(const QString& exePath);
QString SettingsFilePath(const QString& exePath, const QString& dataDir);

// The default label file name: the executable's name with ".TXT", no directory.
QString DefaultLabelFileName(const QString& exePath);
// A name without a directory is put in dataDir; a name with one is used unchanged.
QString ResolveLabelFilePath(const QString& name, const QString& dataDir);
// What is stored for a label file path: its file-name part.
QString LabelFileNamePart(const QString& path);

}  // namespace tarvik
