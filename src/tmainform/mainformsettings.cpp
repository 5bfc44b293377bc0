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
    if (labelForm_) labelForm_->SetLabelFilePath(labelFilePath_);
}

TSettings TMainForm::CurrentSettings() const
{
    TSettings s = settings_;
    s.Left = x();
    s.Top = y();
    s.DeviceNo = DeviceNo();
    s.BaudRate = BaudRate();
    s.LabelFileName = LabelFileNamePart(labelFilePath_);
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
