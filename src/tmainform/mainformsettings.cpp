#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>

#include "subfuncs/subfuncs.h"
#include "tmainform/mainform.h"
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
int TMainForm::DeviceNo() const { return usbDev_ ? int(usbDev_->DeviceNumber()) : 0; }
void TMainForm::SetDeviceNo(int v)
{
    if (usbDev_) usbDev_->SetDeviceNumber(std::uint32_t(std::max(v, 0)));
}
int TMainForm::BaudRate() const { return usbDev_ ? int(usbDev_->BaudRate()) : 3000000; }
void TMainForm::SetBaudRate(int v)
{
    if (usbDev_) usbDev_->SetBaudRate(std::uint32_t(v));
}

void TMainForm::SetLabelFileName(const QString& name)
{
    const QString dataDir = DataDirectory(QCoreApplication::applicationFilePath());
    labelFilePath_ = ResolveLabelFilePath(
        name.isEmpty() ? DefaultLabelFileName(QCoreApplication::applicationFilePath()) : name, dataDir);
    if (graphForm_) graphForm_->SetLabelFileName(labelFilePath_);
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

// The graph's scale and rates reach it only when they change: each of its setters stops a run.
void TMainForm::PassGraphValue(int& held, int v, void (TGraphForm::*set)(int))
{
    if (v == held) return;
    held = v;
    if (graphForm_) (graphForm_.data()->*set)(v);
}
void TMainForm::SetMinYScale(int v) { PassGraphValue(settings_.MinYScale, v, &TGraphForm::SetMinYScale); }
void TMainForm::SetMaxYScale(int v) { PassGraphValue(settings_.MaxYScale, v, &TGraphForm::SetMaxYScale); }
void TMainForm::SetYPitch(int v) { PassGraphValue(settings_.YPitch, v, &TGraphForm::SetYPitch); }
void TMainForm::SetTimeWidth(int v) { PassGraphValue(settings_.TimeWidth, v, &TGraphForm::SetTimeWidth); }
void TMainForm::SetSampleRate(int v) { PassGraphValue(settings_.SampleRate, v, &TGraphForm::SetSampleRate); }
void TMainForm::SetPlotRate(int v) { PassGraphValue(settings_.PlotRate, v, &TGraphForm::SetPlotRate); }

void TMainForm::PushGraphSettings()
{
    if (!graphForm_) return;
    graphForm_->SetDaqfilePrefix(settings_.DaqfilePrefix);
    graphForm_->SetLabelFileName(labelFilePath_);
    graphForm_->SetCreateLogFile(settings_.CreateLogFile);
    graphForm_->SetLogBufferSize(settings_.LogBufferSize);
    // Sample rate before plot rate: the refresh count divides the one by the other.
    graphForm_->SetMinYScale(settings_.MinYScale);
    graphForm_->SetMaxYScale(settings_.MaxYScale);
    graphForm_->SetYPitch(settings_.YPitch);
    graphForm_->SetTimeWidth(settings_.TimeWidth);
    graphForm_->SetSampleRate(settings_.SampleRate);
    graphForm_->SetPlotRate(settings_.PlotRate);
}

TSettings TMainForm::CurrentSettings() const
{
    TSettings s = settings_;
    s.Left = x();
    s.Top = y();
    s.DeviceNo = DeviceNo();
    s.BaudRate = BaudRate();
    s.LabelFileName = LabelFileNamePart(labelFilePath_);
    s.CreateLogFile = CreateLogFile();
    s.CanBusSpeed = CanBusSpeed();
    s.LinBusSpeed = LinBusSpeed();
    s.OperationNode = LinOperationNode();
    s.LinSendEnabled = LinSendEnabled();
    return s;
}

void TMainForm::ApplyLoadedSettings()
{
    move(settings_.Left, settings_.Top);
    usbDev_->SetDeviceNumber(std::uint32_t(settings_.DeviceNo));
    usbDev_->SetBaudRate(std::uint32_t(settings_.BaudRate));
    if (!settings_.Port.isEmpty() && options_.portBackend) usbDev_->SetBackend(options_.portBackend(settings_.Port));
    SetLabelFileName(settings_.LabelFileName);
    PushGraphSettings();
    SetCanBusSpeed(settings_.CanBusSpeed);
    SetLinBusSpeed(settings_.LinBusSpeed);
    SetLinOperationNode(settings_.OperationNode);
    SetLinSendEnabled(settings_.LinSendEnabled);
}

TSettings TMainForm::ApplyDialogSettings(const TSettings& s)
{
    SetDeviceNo(s.DeviceNo);
    SetBaudRate(s.BaudRate);
    // A changed port path takes effect at the next open, like the device number.
    if (s.Port != settings_.Port && options_.portBackend) {
        auto backend = s.Port.isEmpty() ? options_.backend : options_.portBackend(s.Port);
        if (backend) usbDev_->SetBackend(std::move(backend));
    }
    settings_.Port = s.Port;
    SetCanSendEnabled(s.CanSendEnabled);
    SetLogfilePrefix(s.LogfilePrefix);
    SetDaqfilePrefix(s.DaqfilePrefix);
    SetGraphEnabled(s.GraphEnabled);
    SetLabelFileName(s.LabelFileName);
    SetCreateLogFile(s.CreateLogFile);
    SetLogBufferSize(s.LogBufferSize);
    SetCanBusSpeed(s.CanBusSpeed);
    SetSamplingPoint(s.SamplingPoint);
    SetDriverMode(s.DriverMode);
    SetTerminator(s.Terminator);
    SetMinYScale(s.MinYScale);
    SetMaxYScale(s.MaxYScale);
    SetYPitch(s.YPitch);
    SetTimeWidth(s.TimeWidth);
    SetSampleRate(s.SampleRate);
    SetPlotRate(s.PlotRate);
    SetLinBusSpeed(s.LinBusSpeed);
    SetLinOperationNode(s.OperationNode);
    SetLinSendEnabled(s.LinSendEnabled);
    return CurrentSettings();
}

}  // namespace tarvik
