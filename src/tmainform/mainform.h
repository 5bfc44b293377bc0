#pragma once
// The control window: opens the adapter, goes on and off the bus, chooses CAN or LIN, sets
// the acceptance masks, sends LIN frames and opens the other windows.
#include <QColor>
#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "platform/inifile.h"
#include "platform/tmmtimer.h"
#include "bus/devicekinds.h"
#include "bus/tbussession.h"
#include "tmainform/controlstates.h"
#include "tmainform/mainformlogic.h"
#include "settings/settings.h"
#include "tgraphform/tgraphform.h"
#include "tlabelform/tlabelform.h"
#include "tsendform/tsendform.h"
#include "tviewfixedform/tviewfixedform.h"
#include "tviewnormalform/tviewnormalform.h"

class QAction;
class QAbstractButton;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QRadioButton;
class QTimer;

namespace tarvik {

class TFtBackend;
class TQueueBuffer;
class TLampShape;

struct TMainFormOptions {
    // Settings file; empty means the usual place beside the executable.
    QString settingsPath;
    // The bus device to drive; when unset, the native adapter over `backend` (serial ports,
    // the emulator, a test's fake table).
    std::shared_ptr<TBusDevice> device;
    std::shared_ptr<TFtBackend> backend;
    // Shows an error to the user; a modal box unless replaced (tests record instead).
    std::function<void(const QString& message)> showError;
    // Asks for the file to save the monitor text to; empty answer cancels. The name's ending
    // chooses the form: ".log" a candump log, ".asc" an ASC log, ".trc" a TRC log, ".blf" a
    // BLF log, anything else monitor text.
    std::function<QString(const QString& proposedName)> askSaveFileName;
    // Asks for a trace log to play ("Open Log..."); empty answer cancels.
    std::function<QString()> askOpenLogName;
    // Confirms a finished action; a modal box unless replaced.
    std::function<void(const QString& message)> showInfo;
    // Asks a yes/no question (true: yes); a modal box unless replaced.
    std::function<bool(const QString& question)> askYesNo;
    // Builds the device for the adapter protocol ("native", "slcan") and serial port (empty:
    // by device number) the settings file names; unset when the command line already chose
    // the device.
    std::function<std::shared_ptr<TBusDevice>(const QString& protocol, const QString& port)> portDevice;
};

class TMainForm : public QMainWindow {
    Q_OBJECT
public:
    explicit TMainForm(TMainFormOptions options, QWidget* parent = nullptr);
    ~TMainForm() override;

    // Recomputes every control state from live facts; runs whenever the event loop goes idle.
    void UpdateControls();

    bool GoOnBus();
    bool GoOffBus();
    bool ClearAdapter();

    // Action handlers.
    void ActPortOpenExecute();
    void ActPortCloseExecute();
    void ActSystemConfigExecute();
    void ActOnBusExecute();
    void ActOffBusExecute();
    void ActClsWindowExecute();
    void ActPauseMonitorExecute();
    void ActContiMonitorExecute();
    void ActCopyToClipbordExecute();
    void ActSaveToFileExecute();
    QString ActSaveToFileBeforeExecute() const;
    // Saves the shown monitor's text, or the history as a trace log when the name asks for
    // one; false when nothing could be written (the error was shown).
    bool ActSaveToFileAccept(const QString& path);
    void ActOpenLogExecute();
    // Plays a recorded trace as the bus from the next go-on-bus on; the caption names it.
    void PlayLog(const TReplaySource& source);
    // Goes on bus, waits until the history holds every frame the played log brings, goes off
    // bus and saves it to `path` as Save to File would; `done` hears whether it was saved.
    void PlayAndSave(const QString& path, std::function<void(bool saved)> done);
    void ActMonitorExecute();
    void ActSendWindowExecute();
    void ActGraphWindowExecute();
    void ActAboutExecute();
    void ActLinMasterSendExecute();
    void ActLinSlaveStartExecute();
    void ActLinSlaveStopExecute();

    void RadioGroup1Click();
    void CheckBoxClick();
    void EditLinDatExit(QLineEdit* edit);
    void EditLinIdExit();

    // The receive thread's report of a failed USB link: goes off bus and closes the port.
    void UsbFailure();

    // Facts other windows read.
    bool OnBus() const;
    int BusStatus() const;
    bool PortOpen() const;
    QColor LampColor() const;
    // The device, the receive thread and its counts.
    TBusSession& Session() { return *session_; }
    const TBusSession& Session() const { return *session_; }
    TViewNormalForm* ViewNormalForm() const { return viewNormal_; }
    TViewFixedForm* ViewFixedForm() const { return viewFixed_; }
    TSendForm* SendForm() const { return sendForm_; }
    TGraphForm* GraphForm() const { return graphForm_; }
    TLabelForm* LabelForm() const { return labelForm_; }
    // Consumer rings of the receive thread: 1 scrolling monitor, 2 fixed monitor, 3 acquisition.
    void SetConsumerBuffer(int slot, TQueueBuffer* ring);

    // Settings held by the window (those of the graph window wait here until it exists).
    QString LogfilePrefix() const { return settings_.LogfilePrefix; }
    void SetLogfilePrefix(const QString& v) { settings_.LogfilePrefix = v; }
    QString DaqfilePrefix() const { return settings_.DaqfilePrefix; }
    void SetDaqfilePrefix(const QString& v);
    bool GraphEnabled() const { return settings_.GraphEnabled; }
    void SetGraphEnabled(bool v) { settings_.GraphEnabled = v; }
    bool CanSendEnabled() const { return settings_.CanSendEnabled; }
    void SetCanSendEnabled(bool v) { settings_.CanSendEnabled = v; }
    int SamplingPoint() const { return settings_.SamplingPoint; }
    void SetSamplingPoint(int v) { settings_.SamplingPoint = v; }
    int DriverMode() const { return settings_.DriverMode; }
    void SetDriverMode(int v) { settings_.DriverMode = v; }
    int Terminator() const { return settings_.Terminator; }
    void SetTerminator(int v) { settings_.Terminator = v; }
    bool Administrator() const { return settings_.Administrator; }
    void SetAdministrator(bool v) { settings_.Administrator = v; }
    // A name without a directory lands in the data directory; only the file-name part is stored.
    QString LabelFilePath() const { return labelFilePath_; }
    void SetLabelFileName(const QString& name);
    // The graph window holds these once it exists (its check box can change the first).
    bool CreateLogFile() const;
    void SetCreateLogFile(bool v);
    int LogBufferSize() const { return settings_.LogBufferSize; }
    void SetLogBufferSize(int v);
    int MinYScale() const { return settings_.MinYScale; }
    void SetMinYScale(int v);  // passed on to the graph window when it changes
    int MaxYScale() const { return settings_.MaxYScale; }
    void SetMaxYScale(int v);  // passed on to the graph window when it changes
    int YPitch() const { return settings_.YPitch; }
    void SetYPitch(int v);  // passed on to the graph window when it changes
    int TimeWidth() const { return settings_.TimeWidth; }
    void SetTimeWidth(int v);  // passed on to the graph window when it changes
    int SampleRate() const { return settings_.SampleRate; }
    void SetSampleRate(int v);  // passed on to the graph window when it changes
    int PlotRate() const { return settings_.PlotRate; }
    void SetPlotRate(int v);  // passed on to the graph window when it changes
    QString Port() const { return port_; }
    QString Protocol() const { return protocol_; }
    int CanBusSpeed() const;
    void SetCanBusSpeed(int index);
    int LinBusSpeed() const;
    void SetLinBusSpeed(int index);
    int LinOperationNode() const;
    void SetLinOperationNode(int node);
    bool LinSendEnabled() const;
    void SetLinSendEnabled(bool v);
    int DeviceNo() const;
    void SetDeviceNo(int v);
    int BaudRate() const;
    void SetBaudRate(int v);
    // Every setting as it stands now, for writing back to the settings file.
    TSettings CurrentSettings() const;

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // One CAN acceptance mask group: its check box turns the mask and code edits on.
    struct MaskGroup {
        QGroupBox* box = nullptr;
        QCheckBox* use = nullptr;
        QLabel* labels[2] = {};
        QLineEdit* mask = nullptr;
        QLineEdit* code = nullptr;
    };

    // Lifecycle (mainform.cpp).
    void FormCreate();
    void FormCloseQuery();
    void FormClose();
    void FormDestroy();
    // The bus session as the window sees it.
    void CreateSession();
    // Another device from the next open on (the port settings carry over); nullptr keeps
    // the one there. Either way the window becomes its presenter of errors.
    void UseDevice(std::shared_ptr<TBusDevice> device);
    // Runs a user action; errors from the link are shown instead of escaping the event loop.
    void Guard(const std::function<void()>& body);
    void ShowError(const QString& message);
    // A problem the user should see without a box (an unanswered command): the lamp's
    // tooltip and the caption carry it until a command succeeds.
    void ShowNotice(const QString& notice);

    // Every QAction and the menus (mainformactions.cpp): add a command there.
    void CreateActions();
    void CreateMenus();
    QAction* NewAction(const char* name, const QString& text, const QString& buttonText,
                       void (TMainForm::*handler)());
    OnBusConfig CurrentOnBusConfig() const;
    LinFrame CurrentLinFrame() const;

    // The controls (mainformlayout.cpp).
    void CreateControls();
    MaskGroup NewMaskGroup(int number, const QString& title, int x, int digits, int editWidth, QWidget* parent);
    void BindButton(QAbstractButton* button, QAction* action);
    // Gives each Alt+letter to one control: menu titles first, then buttons (see .cpp).
    void ResolveMnemonics();
    void UpdateChildWindowActions(bool transmitEnabled);
    QLineEdit* NewEdit(const char* name, const QString& text, int maxLength, QWidget* parent, int x, int y, int w);
    QLabel* NewLabel(const QString& text, QWidget* parent, int x, int y);

    // The secondary windows (mainformwindows.cpp): add a window there.
    void CreateWindows();
    void CloseWindows();
    void DeleteWindows();
    TMonitorForm* ActiveMonitor() const;
    void PlaceMonitor(QWidget* w);
    void ToggleWindow(QWidget* w);
    void ContinueBothMonitors();
    void ClearBothMonitors();

    // Settings into controls and objects (mainformsettings.cpp).
    void BindSettings();
    void SetChannel(const QString& protocol, const QString& port);
    void ApplyLoadedSettings();
    void PassGraphValue(int& held, int v, int (TGraphForm::*get)() const, void (TGraphForm::*set)(int));
    TSettings ApplyDialogSettings(const TSettings& s);
    bool applyingDialog_ = false;

    // Control states (mainformstates.cpp).
    MainFormFacts CurrentFacts() const;
    void ScheduleIdle();


    TMainFormOptions options_;
    std::unique_ptr<TBusSession> session_;
    std::shared_ptr<TBusDevice> startDevice_;  // the device given at start
    QPointer<TViewNormalForm> viewNormal_;
    QPointer<TViewFixedForm> viewFixed_;
    QPointer<TSendForm> sendForm_;
    QPointer<TGraphForm> graphForm_;
    QPointer<TLabelForm> labelForm_;

    std::unique_ptr<TIniFile> ini_;
    TSettings settings_;  // the keys held by the window itself
    TSettingBindings settingBindings_;
    QString labelFilePath_;
    QString port_;  // the serial port path the adapter channel was built for
    QString protocol_ = QStringLiteral("native");  // and the adapter protocol

    // Actions.
    QAction* ActPortOpen = nullptr;
    QAction* ActPortClose = nullptr;
    QAction* ActSystemConfig = nullptr;
    QAction* ActFileExit = nullptr;
    QAction* ActOnBus = nullptr;
    QAction* ActOffBus = nullptr;
    QAction* ActCopyToClipbord = nullptr;
    QAction* ActSaveToFile = nullptr;
    QAction* ActOpenLog = nullptr;
    QAction* ActClsWindow = nullptr;
    QAction* ActFixedStats = nullptr;  // checked: the fixed view's count and cycle columns
    QAction* ActPauseMonitor = nullptr;
    QAction* ActContiMonitor = nullptr;
    QAction* ActMonitor = nullptr;
    QAction* ActSendWindow = nullptr;
    QAction* ActGraphWindow = nullptr;
    QAction* ActAbout = nullptr;
    QAction* ActLinSlaveStart = nullptr;
    QAction* ActLinSlaveStop = nullptr;
    QAction* ActLinMasterSend = nullptr;

    // Controls.
    QGroupBox* RadioGroup1 = nullptr;
    QButtonGroup* radioButtons_ = nullptr;
    TLampShape* Shape1 = nullptr;
    QLabel* Label1 = nullptr;
    QComboBox* ComboBox1 = nullptr;
    QComboBox* ComboBox2 = nullptr;
    MaskGroup stdMask_;  // 11-bit identifiers
    MaskGroup extMask_;  // 29-bit identifiers
    QGroupBox* GroupBox3 = nullptr;
    QCheckBox* CheckBox3 = nullptr;
    QCheckBox* CheckBox4 = nullptr;
    QCheckBox* CheckBox5 = nullptr;
    QLineEdit* Edit[15] = {};  // Edit[5] .. Edit[14]: LIN id, length and data
    QLabel* linLabels_[3] = {};
    std::vector<QAbstractButton*> boundButtons_;

    // Wall clock (microseconds since 1970) when the bus was last opened: a saved candump
    // log's time base. A replayed candump log brings its own.
    std::int64_t busOpenedMicros_ = 0;
    TReplaySource replay_;
    bool replayEnded_ = false;  // said once per play
    void ShowReplayNote();
    void CheckReplayEnd();
    QString baseCaption_;

    QTimer* idleTimer_ = nullptr;
    QTimer* pollTimer_ = nullptr;
    bool idlePending_ = false;
    bool closed_ = false;
    int busy_ = 0;  // user actions in progress (a reply wait may run the event loop)
    std::optional<MainFormStates> appliedStates_;  // what the widgets show now
    bool settling_ = false;  // a long wait has just ended; held clicks are still arriving
    QString caption_;
};

}  // namespace tarvik
