#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QScreen>

#include "platform/screenplace.h"
#include "settings/devicelist.h"
#include "subfuncs/subfuncs.h"
#include "tmainform/mainform.h"
#include "bus/tmonthread.h"
#include "tusbdev/tusbdev.h"

// Settings into the controls and objects that hold them, and back out for writing.

namespace tarvik {

int TMainForm::CanBusSpeed() const { return ComboBox1->currentIndex(); }
void TMainForm::SetCanBusSpeed(int index) { ComboBox1->setCurrentIndex(std::clamp(index, 0, ComboBox1->count() - 1)); }
int TMainForm::LinBusSpeed() const { return ComboBox2->currentIndex(); }
void TMainForm::SetLinBusSpeed(int index) { ComboBox2->setCurrentIndex(std::clamp(index, 0, ComboBox2->count() - 1)); }
int TMainForm::LinOperationNode() const { return CheckBox5->isChecked() ? 1 : 0; }
void TMainForm::SetLinOperationNode(int node) { CheckBox5->setChecked(node == 1); }
bool TMainForm::LinSendEnabled() const { return CheckBox4->isChecked(); }
void TMainForm::SetLinSendEnabled(bool v) { CheckBox4->setChecked(v); }
int TMainForm::DeviceNo() const { return session_ ? int(session_->Device().DeviceNumber()) : 0; }
void TMainForm::SetDeviceNo(int v)
{
    if (session_) session_->Device().SetDeviceNumber(std::uint32_t(std::max(v, 0)));
}
int TMainForm::BaudRate() const { return session_ ? int(session_->Device().BaudRate()) : 3000000; }
void TMainForm::SetBaudRate(int v)
{
    if (session_) session_->Device().SetBaudRate(std::uint32_t(v));
}

void TMainForm::SetLabelFileName(const QString& name)
{
    const QString dataDir = DataDirectory(QCoreApplication::applicationFilePath());
    labelFilePath_ = ResolveLabelFilePath(
        name.isEmpty() ? DefaultLabelFileName(QCoreApplication::applicationFilePath()) : name, dataDir);
    if (labelForm_) labelForm_->SetLabelFilePath(labelFilePath_);
    if (graphForm_) graphForm_->SetLabelFileName(labelFilePath_);
    if (viewNormal_) viewNormal_->SetLabelFile(labelFilePath_);
    if (viewFixed_) viewFixed_->SetLabelFile(labelFilePath_);
}

void TMainForm::SetDaqfilePrefix(const QString& v)
{
    settings_.DaqfilePrefix = v;
    if (graphForm_) graphForm_->SetDaqfilePrefix(v);
}

bool TMainForm::CreateLogFile() const { return graphForm_ ? graphForm_->GetCreateLogFile() : settings_.CreateLogFile; }

void TMainForm::SetCreateLogFile(bool v)
{
    settings_.CreateLogFile = v;
    if (graphForm_) graphForm_->SetCreateLogFile(v);
}

void TMainForm::SetLogBufferSize(int v)
{
    settings_.LogBufferSize = v;
    if (graphForm_) graphForm_->SetLogBufferSize(v);
}

// The graph's scale and rates reach it only when they differ from what it holds: each of its
// setters stops a run. From the settings dialog only what the user changed there goes on, so
// a value just changed in Graph Config is not put back by an OK that did not touch it.
void TMainForm::PassGraphValue(int& held, int v, int (TGraphForm::*get)() const, void (TGraphForm::*set)(int))
{
    const bool unchanged = applyingDialog_ && held == v;
    held = v;
    if (!unchanged && graphForm_ && (graphForm_.data()->*get)() != v) (graphForm_.data()->*set)(v);
}
void TMainForm::SetMinYScale(int v)
{
    PassGraphValue(settings_.MinYScale, v, &TGraphForm::MinYScale, &TGraphForm::SetMinYScale);
}
void TMainForm::SetMaxYScale(int v)
{
    PassGraphValue(settings_.MaxYScale, v, &TGraphForm::MaxYScale, &TGraphForm::SetMaxYScale);
}
void TMainForm::SetYPitch(int v) { PassGraphValue(settings_.YPitch, v, &TGraphForm::YPitch, &TGraphForm::SetYPitch); }
void TMainForm::SetTimeWidth(int v)
{
    PassGraphValue(settings_.TimeWidth, v, &TGraphForm::TimeWidth, &TGraphForm::SetTimeWidth);
}
void TMainForm::SetSampleRate(int v)
{
    PassGraphValue(settings_.SampleRate, v, &TGraphForm::SampleRate, &TGraphForm::SetSampleRate);
}
void TMainForm::SetPlotRate(int v)
{
    PassGraphValue(settings_.PlotRate, v, &TGraphForm::PlotRate, &TGraphForm::SetPlotRate);
}

void TMainForm::BindSettings()
{
    // Keys held in controls and objects; every other key is held in settings_.
    settingBindings_.Bind(
        &TSettings::Left, [this](const TSettings& s) { move(s.Left, y()); }, [this](TSettings& s) { s.Left = x(); });
    settingBindings_.Bind(
        &TSettings::Top, [this](const TSettings& s) { move(x(), s.Top); }, [this](TSettings& s) { s.Top = y(); });
    settingBindings_.Bind(&TSettings::DeviceNo, this, &TMainForm::SetDeviceNo, &TMainForm::DeviceNo);
    settingBindings_.Bind(&TSettings::BaudRate, this, &TMainForm::SetBaudRate, &TMainForm::BaudRate);
    settingBindings_.Bind(
        &TSettings::Port, [this](const TSettings& s) { SetChannel(protocol_, s.Port); },
        [this](TSettings& s) { s.Port = port_; });
    settingBindings_.Bind(
        &TSettings::Protocol, [this](const TSettings& s) { SetChannel(s.Protocol, port_); },
        [this](TSettings& s) { s.Protocol = protocol_; });
    settingBindings_.Bind(
        &TSettings::LabelFileName, [this](const TSettings& s) { SetLabelFileName(s.LabelFileName); },
        [this](TSettings& s) { s.LabelFileName = LabelFileNamePart(labelFilePath_); });
    settingBindings_.Bind(&TSettings::CanBusSpeed, this, &TMainForm::SetCanBusSpeed, &TMainForm::CanBusSpeed);
    settingBindings_.Bind(&TSettings::LinBusSpeed, this, &TMainForm::SetLinBusSpeed, &TMainForm::LinBusSpeed);
    settingBindings_.Bind(&TSettings::OperationNode, this, &TMainForm::SetLinOperationNode,
                          &TMainForm::LinOperationNode);
    settingBindings_.Bind(&TSettings::LinSendEnabled, this, &TMainForm::SetLinSendEnabled, &TMainForm::LinSendEnabled);
    // The graph window's keys, applied in the key table's order (its sample rate before its
    // plot rate, which is divided by it).
    settingBindings_.Bind(&TSettings::DaqfilePrefix, this, &TMainForm::SetDaqfilePrefix, &TMainForm::DaqfilePrefix);
    settingBindings_.Bind(&TSettings::CreateLogFile, this, &TMainForm::SetCreateLogFile, &TMainForm::CreateLogFile);
    settingBindings_.Bind(&TSettings::LogBufferSize, this, &TMainForm::SetLogBufferSize, &TMainForm::LogBufferSize);
    settingBindings_.Bind(&TSettings::MinYScale, this, &TMainForm::SetMinYScale, &TMainForm::MinYScale);
    settingBindings_.Bind(&TSettings::MaxYScale, this, &TMainForm::SetMaxYScale, &TMainForm::MaxYScale);
    settingBindings_.Bind(&TSettings::YPitch, this, &TMainForm::SetYPitch, &TMainForm::YPitch);
    settingBindings_.Bind(&TSettings::TimeWidth, this, &TMainForm::SetTimeWidth, &TMainForm::TimeWidth);
    settingBindings_.Bind(&TSettings::SampleRate, this, &TMainForm::SetSampleRate, &TMainForm::SampleRate);
    settingBindings_.Bind(&TSettings::PlotRate, this, &TMainForm::SetPlotRate, &TMainForm::PlotRate);
    settingBindings_.Bind(
        &TSettings::LabelRanges,
        [this](const TSettings& s) {
            if (graphForm_) graphForm_->SetOwnRanges(s.LabelRanges);
        },
        [this](TSettings& s) { s.LabelRanges = graphForm_ ? graphForm_->OwnRanges() : s.LabelRanges; });
    settingBindings_.Bind(
        &TSettings::FixedStatsColumns,
        [this](const TSettings& s) {
            const QSignalBlocker block(ActFixedStats);  // a setting read, not a user's switch
            ActFixedStats->setChecked(s.FixedStatsColumns);
            if (viewFixed_) viewFixed_->SetStatsColumns(s.FixedStatsColumns);
        },
        [this](TSettings& s) { s.FixedStatsColumns = ActFixedStats->isChecked(); });
    settingBindings_.Bind(&TSettings::DbcLittleEndian, labelForm_.data(), &TLabelForm::SetDbcLittleEndian,
                          &TLabelForm::DbcLittleEndian);
    settingBindings_.Bind(&TSettings::MessageListFile, sendForm_.data(), &TSendForm::SetMessageListFile,
                          &TSendForm::MessageListFile);
}

void TMainForm::SetChannel(const QString& protocol, const QString& port)
{
    const QString p = sysconf::ProtocolOrDefault(protocol);
    // A changed port path or protocol takes effect at the next open, like the device number.
    if ((port != port_ || p != protocol_) && options_.portDevice) {
        // No path and the default kind: back to the device the window started with.
        auto device = port.isEmpty() && p == sysconf::ProtocolItems().first() ? startDevice_ : options_.portDevice(p, port);
        if (device) {
            UseDevice(std::move(device));
            // A log opened for replay is no longer what plays.
            replay_ = {};
            if (viewNormal_) viewNormal_->SetStatusNote({});
            session_->SetHoldWhenFull(false);
            caption_ = baseCaption_;
            setWindowTitle(caption_);
        }
    }
    port_ = port;
    protocol_ = p;
}

TSettings TMainForm::CurrentSettings() const
{
    TSettings s = settings_;
    settingBindings_.StoreFrom(s);
    return s;
}

void TMainForm::ApplyLoadedSettings()
{
    // A stored position off every screen would open the window out of reach, and close
    // would store it there again. Placed before the move: geometry at 2147483647 overflows.
    QList<QRect> areas;
    for (const QScreen* screen : QGuiApplication::screens()) areas << screen->availableGeometry();
    const QPoint at = KeepTitleBarOnScreen({settings_.Left, settings_.Top}, size(), areas);
    settings_.Left = at.x();
    settings_.Top = at.y();
    settingBindings_.LoadInto(settings_);
}

TSettings TMainForm::ApplyDialogSettings(const TSettings& s)
{
    applyingDialog_ = true;
    settingBindings_.LoadInto(s, Written::OnOk, &settings_);
    applyingDialog_ = false;
    return CurrentSettings();
}

}  // namespace tarvik
