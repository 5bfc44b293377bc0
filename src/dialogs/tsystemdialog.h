#pragma once
// "System Config": typed setters and getters over its controls, plus the device list,
// hiding the graph settings, and greying CAN sending in silent mode. It holds no settings.
#include <QDialog>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "settings/devicelist.h"
#include "settings/systemconfig.h"
#include "settings/settings.h"
#include "tusbdev/serial/serialports.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QTabWidget;

namespace tarvik {

class TSystemDialog : public QDialog {
    Q_OBJECT
public:
    // Number of attached adapters; false when it cannot be told.
    using DeviceCounter = std::function<bool(std::uint32_t* count)>;

    // The USB serial ports with their identity, listed when serial-line adapters are chosen.
    using PortLister = std::function<std::vector<TUsbPortInfo>()>;

    explicit TSystemDialog(DeviceCounter counter, QWidget* parent = nullptr, PortLister ports = {});
    // The CAN interfaces, listed when socketcan is chosen (this machine's unless replaced).
    using CanLister = std::function<std::vector<sysconf::CanInterface>()>;
    void SetCanLister(CanLister cans)
    {
        cans_ = std::move(cans);
        FillDeviceList();
    }

    void SetAdminPageVisible(bool visible);
    bool AdminPageVisible() const;

    void SetDeviceNo(int n);
    int DeviceNo() const;
    void SetBaudRate(int baud);
    int BaudRate() const;
    void SetPortPath(const QString& path);
    QString PortPath() const;
    // Choosing the protocol refills the device list: numbers for the native adapter, USB
    // identities for serial-line adapters.
    void SetProtocol(const QString& name);
    QString Protocol() const;
    void SetCanSendEnabled(bool on);
    bool CanSendEnabled() const;
    void SetLogfilePrefix(const QString& s);
    QString LogfilePrefix() const;
    void SetDaqfilePrefix(const QString& s);
    QString DaqfilePrefix() const;
    void SetGraphEnabled(bool on);
    bool GraphEnabled() const;
    void SetLabelFileName(const QString& s);
    QString LabelFileName() const;
    void SetCreateLogFile(bool on);
    bool CreateLogFile() const;
    void SetLogBufferSize(int bytes);
    int LogBufferSize() const;
    void SetCanBusSpeed(int index);
    int CanBusSpeed() const;
    void SetSamplingPoint(int index);
    int SamplingPoint() const;
    void SetDriverMode(int index);
    int DriverMode() const;
    void SetTerminator(int index);
    int Terminator() const;
    void SetMinYScale(int v);
    int MinYScale() const;
    void SetMaxYScale(int v);
    int MaxYScale() const;
    void SetYPitch(int v);
    int YPitch() const;
    void SetTimeWidth(int s);
    int TimeWidth() const;
    void SetSampleRate(int ms);
    int SampleRate() const;
    void SetPlotRate(int ms);
    int PlotRate() const;
    void SetLinBusSpeed(int index);
    int LinBusSpeed() const;
    void SetLinOperationNode(int index);
    int LinOperationNode() const;
    void SetLinSendEnabled(bool on);
    bool LinSendEnabled() const;

    // Every key written on OK into its control (the label file as its file-name part).
    void Load(const TSettings& s);
    // Every such key back from its control into s; the rest of s stays.
    void Values(TSettings& s) const;

    void CheckBox2Click();
    void ComboBox5CloseUp();

protected:
    void showEvent(QShowEvent* event) override;

private:
    QWidget* BuildCanPage();
    QWidget* BuildLinPage();
    QWidget* BuildGraphPage();
    QWidget* BuildAdminPage(const DeviceCounter& counter);
    void FillDeviceList();
    template <class T, class Set, class Get>
    void Bind(T TSettings::*field, Set set, Get get)
    {
        bindings_.Bind(field, this, set, get);
    }

    TSettingBindings bindings_;  // which control holds which key

    QTabWidget* pages_ = nullptr;
    QWidget* adminPage_ = nullptr;
    QComboBox *combo1_ = nullptr, *combo2_ = nullptr, *combo3_ = nullptr, *combo4_ = nullptr, *combo5_ = nullptr,
              *combo6_ = nullptr, *combo7_ = nullptr, *combo8_ = nullptr, *combo9_ = nullptr, *combo10_ = nullptr,
              *combo11_ = nullptr, *combo12_ = nullptr, *combo13_ = nullptr;
    QCheckBox *check1_ = nullptr, *check2_ = nullptr, *check3_ = nullptr, *check4_ = nullptr;
    QLineEdit *edit1_ = nullptr, *edit2_ = nullptr, *edit3_ = nullptr, *edit4_ = nullptr, *edit5_ = nullptr,
              *edit6_ = nullptr, *edit7_ = nullptr;
    QList<QWidget*> graphControls_;
    std::optional<std::uint32_t> deviceCount_;
    PortLister ports_;
    CanLister cans_ = sysconf::CurrentCanInterfaces;
    int loadedDeviceNo_ = -1;

    // A stored value that matches no list item is kept as it was, so confirming the dialog
    // without touching a list never rewrites its setting.
    int loadedBaud_ = 1250000;
    int loadedBufferSize_ = 67108864;
    int loadedCanSpeed_ = 0, loadedSampling_ = 0, loadedDriver_ = 0, loadedTerminator_ = 0, loadedLinSpeed_ = 0,
        loadedNode_ = 0;
};

// The exchange behind "System Config(&S)...": shows the Admin Config page by the
// administrator flag, loads the settings, runs the dialog (show returns its result), and
// on OK reads every value back into settings. Returns whether the user confirmed; on
// Cancel settings stay as they were.
bool ExchangeSystemConfig(TSystemDialog& dialog, TSettings& settings,
                          const std::function<int(TSystemDialog&)>& show);

// The whole exchange with a modal dialog owned by owner, starting from current. On OK,
// apply hands the values to the objects they configure and returns the settings as
// they then stand, which are written to ini. Returns whether the user confirmed. A file
// that cannot be written is reported through showError ("Cannot write FILE : reason";
// a message box when none is given); the values stay applied for this run.
using TSettingsApply = std::function<TSettings(const TSettings&)>;
bool RunSystemConfig(QWidget* owner, const TSettings& current, TIniFile& ini, TSystemDialog::DeviceCounter counter,
                     const TSettingsApply& apply, const std::function<void(const QString&)>& showError = {},
                     TSystemDialog::PortLister ports = {});

}  // namespace tarvik
