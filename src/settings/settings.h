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
//   - TimeWidth, SampleRate and PlotRate are clamped into the range the settings dialog
//     offers (5..60 s, 5..1000 ms, 10..1000 ms); LogBufferSize into 8 MB..1 GiB, beyond
//     the dialog's 64 MB so a long run can be kept;
//   - YPitch below 1 becomes 1; MinYScale == MaxYScale gives both defaults (an inverted
//     range is kept as the user gave it);
//   - DeviceNo below 0 becomes 0; BaudRate below 1 gives the default;
//   - an empty LabelFileName gives the default name.
#include <QString>
#include <functional>
#include <optional>
#include <variant>
#include <vector>

#include "settings/options.h"

namespace tarvik {

class TIniFile;

struct TSettings {
    // Every field has its key, default and clamp in the key table (settings.cpp); a field
    // without a row would stay uninitialised.
    // "MainForm"
    int Left, Top;
    bool ViewState;
    // "USB"
    int DeviceNo;
    int BaudRate;
    QString Port;  // an explicit serial port path; empty: open by device number
    QString Protocol;  // the adapter's protocol, "native" or "slcan" (sysconf::ProtocolItems)
    // "LOG"
    QString LogfilePrefix;
    QString DaqfilePrefix;
    // "GRAPH"
    bool GraphEnabled;
    QString LabelFileName;  // as stored: normally a bare file name
    bool CreateLogFile;
    int LogBufferSize;
    // "CAN"
    int CanBusSpeed;
    int SamplingPoint;
    int DriverMode;
    int Terminator;
    bool CanSendEnabled;
    // "LIN"
    int LinBusSpeed;
    int OperationNode;  // 1 master node, anything else slave
    bool LinSendEnabled;
    // "GRAPH" display
    int MinYScale;
    int MaxYScale;
    int YPitch;
    int TimeWidth;
    int SampleRate;
    int PlotRate;
    bool DbcLittleEndian;
    bool LabelRanges;  // the graph draws each label over its own Min..Max  // the label window's DBC import also takes exact little-endian signals
    // "SEND"
    QString MessageListFile;  // the send window's last message list, reopened at start
    // "System"
    bool Administrator;
    // "Monitor"
    bool FixedStatsColumns;  // the fixed-position view's count and cycle columns

    // Every key at its default (LabelFileName empty: it depends on the executable).
    TSettings();

    bool MasterNode() const { return OperationNode == 1; }

    // Defaults for a program whose executable is exePath (the label file is named after it).
    static TSettings Defaults(const QString& exePath);

    // Reads every key in start-up order; exePath names the default label file.
    void Load(const TIniFile& ini, const QString& exePath);
    // Writes the keys confirmed by the settings dialog (the explicit port path among them),
    // in their fixed order, as one file update. LabelFileName is written as its file-name
    // part only.
    bool SaveConfig(TIniFile& ini) const;
    // Writes "Left", "Top" and "ViewState" to "MainForm" (at close).
    bool SaveWindow(TIniFile& ini) const;
    // Writes the keys that their window stores as soon as the user changes them.
    bool SaveChanged(TIniFile& ini) const;
};

// One key of the settings file. The table of them is the only list of keys: reading,
// writing, the settings dialog's exchange and the main window's apply all walk it, in its
// order. Adding a key: a field in TSettings and one row; a window that shows or holds it
// binds it beside its control (TSettingBindings), keys held nowhere else need nothing more.
// OnChange: written by the window that holds the key when the user changes it.
enum class Written { Never, OnOk, AtClose, OnChange };
using SettingField = std::variant<int TSettings::*, bool TSettings::*, QString TSettings::*>;
struct SettingKey {
    const char* section;
    const char* key;
    SettingField field;
    std::variant<int, bool, const char*> def;  // same type as the field
    Written written;
    // Int keys only: the value as the program uses it, given the value read and the default.
    int (*clamp)(int value, int def) = nullptr;
};
const std::vector<SettingKey>& SettingKeys();

// Where a window holds settings: for a key bound here, load puts its value from TSettings
// into the window's control or object and store reads it back. Walks the key table, so the
// order is the table's; keys that are not bound are passed over.
class TSettingBindings {
public:
    using Load = std::function<void(const TSettings&)>;
    using Store = std::function<void(TSettings&)>;

    void Bind(SettingField field, Load load, Store store);
    // A member setter and getter of owner, for a field of the getter's type.
    template <class T, class Owner, class Set, class Get>
    void Bind(T TSettings::*field, Owner* owner, Set set, Get get)
    {
        Bind(
            SettingField(field), [owner, set, field](const TSettings& s) { (owner->*set)(s.*field); },
            [owner, get, field](TSettings& s) { s.*field = (owner->*get)(); });
    }

    // Only the keys written at `only` when given, else every key. With unboundInto, the keys
    // not bound here are copied into it (the settings the window holds itself).
    void LoadInto(const TSettings& s, std::optional<Written> only = {}, TSettings* unboundInto = nullptr) const;
    void StoreFrom(TSettings& s, std::optional<Written> only = {}) const;

private:
    struct Entry {
        SettingField field;
        Load load;
        Store store;
    };
    const Entry* Find(const SettingField& field) const;
    std::vector<Entry> entries_;
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
