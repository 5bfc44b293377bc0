#include "settings/settings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <type_traits>
#include <unistd.h>

#include "platform/inifile.h"

namespace tarvik {

namespace {

template <int Count>
int IndexIn(int v, int) { return std::clamp(v, 0, Count - 1); }

template <const auto& List>
int WithinList(int v, int) { return std::clamp(v, List[0], List[std::size(List) - 1]); }

int BufferSize(int v, int)
{
    return std::clamp(v, kBufferSizesMb[0] * kMegabyte, kMaxLogBufferMb * kMegabyte);
}
int NotNegative(int v, int) { return std::max(0, v); }
int AtLeastOne(int v, int) { return std::max(1, v); }
int PositiveElseDefault(int v, int def) { return v < 1 ? def : v; }

constexpr auto Ok = Written::OnOk;
constexpr auto Close = Written::AtClose;
constexpr auto Never = Written::Never;
constexpr auto Change = Written::OnChange;

// In reading order. The keys written on OK are in the order they are written, the port
// path beside the other USB keys; the window keys are written at close.
const std::vector<SettingKey> kKeys = {
    {"MainForm", "Left", &TSettings::Left, 0, Close},
    {"MainForm", "Top", &TSettings::Top, 0, Close},
    {"USB", "DeviceNo", &TSettings::DeviceNo, 0, Ok, NotNegative},
    {"USB", "BaudRate", &TSettings::BaudRate, 3000000, Ok, PositiveElseDefault},
    {"USB", "Port", &TSettings::Port, "", Ok},
    {"USB", "Protocol", &TSettings::Protocol, "native", Ok},
    {"LOG", "LogfilePrefix", &TSettings::LogfilePrefix, "Log", Ok},
    {"LOG", "DaqfilePrefix", &TSettings::DaqfilePrefix, "Daq", Ok},
    {"GRAPH", "GraphEnabled", &TSettings::GraphEnabled, true, Ok},
    {"GRAPH", "LabelFileName", &TSettings::LabelFileName, "", Ok},  // empty: named after the executable
    {"GRAPH", "CreateLogFile", &TSettings::CreateLogFile, true, Ok},
    {"GRAPH", "LogBufferSize", &TSettings::LogBufferSize, 64 * kMegabyte, Ok, BufferSize},
    {"CAN", "BusSpeed", &TSettings::CanBusSpeed, 0, Ok, IndexIn<kCanSpeedCount>},
    {"CAN", "SamplingPoint", &TSettings::SamplingPoint, 0, Ok, IndexIn<kSamplingPointCount>},
    {"CAN", "DriverMode", &TSettings::DriverMode, 0, Ok, IndexIn<kDriverModeCount>},
    {"CAN", "Terminator", &TSettings::Terminator, 0, Ok, IndexIn<kTerminatorCount>},
    {"CAN", "SendEnabled", &TSettings::CanSendEnabled, true, Ok},
    {"LIN", "BusSpeed", &TSettings::LinBusSpeed, 0, Ok, IndexIn<kLinSpeedCount>},
    {"LIN", "OperationNode", &TSettings::OperationNode, 0, Ok},
    {"LIN", "SendEnabled", &TSettings::LinSendEnabled, true, Ok},
    {"GRAPH", "MinYScale", &TSettings::MinYScale, -1000, Ok},
    {"GRAPH", "MaxYScale", &TSettings::MaxYScale, 10000, Ok},
    {"GRAPH", "YPitch", &TSettings::YPitch, 1000, Ok, AtLeastOne},
    {"GRAPH", "TimeWidth", &TSettings::TimeWidth, 20, Ok, WithinList<kTimeWidths>},
    {"GRAPH", "SampleRate", &TSettings::SampleRate, 50, Ok, WithinList<kSampleRates>},
    {"GRAPH", "PlotRate", &TSettings::PlotRate, 100, Ok, WithinList<kPlotRates>},
    {"GRAPH", "DbcLittleEndian", &TSettings::DbcLittleEndian, false, Change},
    {"GRAPH", "LabelRanges", &TSettings::LabelRanges, false, Change},
    {"SEND", "MessageListFile", &TSettings::MessageListFile, "", Change},
    {"System", "Administrator", &TSettings::Administrator, false, Never},
    {"Monitor", "FixedStatsColumns", &TSettings::FixedStatsColumns, false, Change},
    // Read last at start-up: it decides which window shows once the main one is up.
    {"MainForm", "ViewState", &TSettings::ViewState, true, Close},
};

// Rules between keys, after every key is read.
void SettleTogether(TSettings& s, const QString& exePath)
{
    const TSettings d;
    if (s.MinYScale == s.MaxYScale) {  // an empty axis cannot be drawn
        s.MinYScale = d.MinYScale;
        s.MaxYScale = d.MaxYScale;
    }
    if (s.LabelFileName.isEmpty())
        s.LabelFileName = DefaultLabelFileName(exePath);
}

void SetDefault(TSettings& s, const SettingKey& k)
{
    std::visit(
        [&s, &k](auto field) {
            using T = std::remove_cvref_t<decltype(s.*field)>;
            if constexpr (std::is_same_v<T, QString>)
                s.*field = QString::fromUtf8(std::get<const char*>(k.def));
            else
                s.*field = std::get<T>(k.def);
        },
        k.field);
}

void Read(TSettings& s, const SettingKey& k, const TIniFile& ini)
{
    const QString section = QString::fromLatin1(k.section);
    const QString key = QString::fromLatin1(k.key);
    std::visit(
        [&](auto field) {
            using T = std::remove_cvref_t<decltype(s.*field)>;
            if constexpr (std::is_same_v<T, QString>) {
                s.*field = ini.ReadString(section, key, QString::fromUtf8(std::get<const char*>(k.def)));
            } else if constexpr (std::is_same_v<T, bool>) {
                s.*field = ini.ReadBool(section, key, std::get<bool>(k.def));
            } else {
                const int def = std::get<int>(k.def);
                const int v = ini.ReadInteger(section, key, def);
                s.*field = k.clamp ? k.clamp(v, def) : v;
            }
        },
        k.field);
}

void Write(const TSettings& s, const SettingKey& k, TIniFile& ini)
{
    const QString section = QString::fromLatin1(k.section);
    const QString key = QString::fromLatin1(k.key);
    std::visit(
        [&](auto field) {
            using T = std::remove_cvref_t<decltype(s.*field)>;
            if constexpr (std::is_same_v<T, QString>) {
                // A directory entered in the dialog holds for this run only.
                ini.WriteString(section, key, field == &TSettings::LabelFileName ? LabelFileNamePart(s.*field) : s.*field);
            } else if constexpr (std::is_same_v<T, bool>) {
                ini.WriteBool(section, key, s.*field);
            } else {
                ini.WriteInteger(section, key, s.*field);
            }
        },
        k.field);
}

bool WriteKeys(const TSettings& s, TIniFile& ini, Written which)
{
    TIniFile::Batch batch(ini);
    for (const SettingKey& k : kKeys)
        if (k.written == which)
            Write(s, k, ini);
    return batch.Commit();
}

}  // namespace

const std::vector<SettingKey>& SettingKeys() { return kKeys; }

TSettings::TSettings()
{
    for (const SettingKey& k : kKeys)
        SetDefault(*this, k);
}

TSettings TSettings::Defaults(const QString& exePath)
{
    TSettings s;
    s.LabelFileName = DefaultLabelFileName(exePath);
    return s;
}

void TSettings::Load(const TIniFile& ini, const QString& exePath)
{
    for (const SettingKey& k : kKeys)
        Read(*this, k, ini);
    SettleTogether(*this, exePath);
}

bool TSettings::SaveConfig(TIniFile& ini) const { return WriteKeys(*this, ini, Written::OnOk); }

bool TSettings::SaveWindow(TIniFile& ini) const { return WriteKeys(*this, ini, Written::AtClose); }

bool TSettings::SaveChanged(TIniFile& ini) const { return WriteKeys(*this, ini, Written::OnChange); }

void TSettingBindings::Bind(SettingField field, Load load, Store store)
{
    entries_.push_back({field, std::move(load), std::move(store)});
}

const TSettingBindings::Entry* TSettingBindings::Find(const SettingField& field) const
{
    for (const Entry& e : entries_)
        if (e.field == field)
            return &e;
    return nullptr;
}

void TSettingBindings::LoadInto(const TSettings& s, std::optional<Written> only, TSettings* unboundInto) const
{
    for (const SettingKey& k : kKeys) {
        if (only && k.written != *only)
            continue;
        if (const Entry* e = Find(k.field)) {
            if (e->load)
                e->load(s);
        } else if (unboundInto) {
            std::visit([&](auto field) { unboundInto->*field = s.*field; }, k.field);
        }
    }
}

void TSettingBindings::StoreFrom(TSettings& s, std::optional<Written> only) const
{
    for (const SettingKey& k : kKeys) {
        if (only && k.written != *only)
            continue;
        if (const Entry* e = Find(k.field); e && e->store)
            e->store(s);
    }
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
