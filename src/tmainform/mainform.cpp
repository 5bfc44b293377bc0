#include "tmainform/mainform.h"

#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QRadioButton>
#include <QTimer>
#include <QToolButton>
#include <chrono>
#include <thread>

#include "dialogs/taboutbox.h"
#include "dialogs/tsystemdialog.h"
#include "dialogs/twarningdialog.h"
#include "platform/fonts.h"
#include "subfuncs/subfuncs.h"
#include "platform/tmmtimer.h"
#include "tmainform/tmonthread.h"
#include "tsendform/tsendform.h"
#include "tusbdev/tusbdev.h"
#include "tviewfixedform/tviewfixedform.h"
#include "tviewnormalform/tviewnormalform.h"

namespace tarvik {

// The bus status lamp: a rounded square in a small sunken panel.
class TLampShape : public QWidget {
public:
    explicit TLampShape(QWidget* parent) : QWidget(parent) {}
    void SetColor(const QColor& c)
    {
        if (c == color_) return;
        color_ = c;
        update();
    }
    QColor Color() const { return color_; }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(Qt::black, 1));
        p.setBrush(color_);
        const QRectF r = QRectF(rect()).adjusted(3.5, 3.5, -3.5, -3.5);
        p.drawRoundedRect(r, 4, 4);
    }

private:
    QColor color_{255, 0, 0};
};

namespace {

const char* const kCanSpeeds[] = {"1MBPS",    "500KBPS",  "250KBPS",  "166KBPS", "125KBPS",  "100KBPS",
                                  "83.3KBPS", "71.4KBPS", "62.5KBPS", "55.5KBPS", "50.0KBPS", "45.4KBPS",
                                  "41.6KBPS", "38.4KBPS", "35.7KBPS", "33.3KBPS"};
const char* const kLinSpeeds[] = {"19200BPS", "14400BPS", "10400BPS", "9600BPS", "4800BPS", "2400BPS"};

constexpr int kClientWidth = 402;
constexpr int kClientHeight = 249;

const QColor kLampRed(255, 0, 0);
const QColor kLampGreen(0, 255, 0);
const QColor kLampYellow(255, 255, 0);
const QColor kLampBlack(0, 0, 0);

void SleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

}  // namespace

TMainForm::TMainForm(TMainFormOptions options, QWidget* parent)
    : QMainWindow(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      options_(std::move(options))
{
    setObjectName(QStringLiteral("MainForm"));
    setFont(WindowFont());
    CreateActions();
    CreateMenus();
    CreateControls();
    layout()->setSizeConstraint(QLayout::SetFixedSize);  // a fixed-size window, like a dialog
    FormCreate();
}

TMainForm::~TMainForm()
{
    if (!closed_) FormClose();
    FormDestroy();
}

// ---------------------------------------------------------------------------------------
// Construction of the window's parts

QAction* TMainForm::NewAction(const char* name, const QString& text, const QString& buttonText,
                              void (TMainForm::*handler)())
{
    auto* a = new QAction(text, this);
    a->setObjectName(QString::fromLatin1(name));
    // A button shows the icon text; without it Qt would strip the mnemonic.
    a->setIconText(buttonText.isEmpty() ? text : buttonText);
    if (handler) connect(a, &QAction::triggered, this, [this, handler] { Guard([this, handler] { (this->*handler)(); }); });
    return a;
}

void TMainForm::CreateActions()
{
    ActPortOpen = NewAction("ActPortOpen", "Open(&O)", {}, &TMainForm::ActPortOpenExecute);
    ActPortClose = NewAction("ActPortClose", "Close(&C)", {}, &TMainForm::ActPortCloseExecute);
    ActSystemConfig = NewAction("ActSystemConfig", "System Config(&S)...", {}, &TMainForm::ActSystemConfigExecute);
    ActFileExit = NewAction("ActFileExit", "Exit(&X)", {}, nullptr);
    connect(ActFileExit, &QAction::triggered, this, &QWidget::close);
    ActOnBus = NewAction("ActOnBus", "Go On Bus(&G)", {}, &TMainForm::ActOnBusExecute);
    ActOffBus = NewAction("ActOffBus", "Go Off Bus(&F)", {}, &TMainForm::ActOffBusExecute);
    ActCopyToClipbord =
        NewAction("ActCopyToClipbord", "Copy to Clipbord(&C)", "Copy to Clip(&C)", &TMainForm::ActCopyToClipbordExecute);
    ActSaveToFile = NewAction("ActSaveToFile", "Save to File(&A)...", "Save to File(&A)", nullptr);
    connect(ActSaveToFile, &QAction::triggered, this, [this] {
        Guard([this] {
            const QString proposed = ActSaveToFileBeforeExecute();
            QString path;
            if (options_.askSaveFileName) {
                path = options_.askSaveFileName(proposed);
            } else {
                QFileDialog dlg(this, QString(), proposed,
                                QStringLiteral("Text file (txt) (*.txt);;All files (*.*) (*)"));
                dlg.setAcceptMode(QFileDialog::AcceptSave);
                dlg.setDefaultSuffix(QStringLiteral("txt"));
                dlg.selectFile(proposed);
                if (dlg.exec() == QDialog::Accepted && !dlg.selectedFiles().isEmpty()) path = dlg.selectedFiles().first();
            }
            if (!path.isEmpty()) ActSaveToFileAccept(path);
        });
    });
    ActClsWindow = NewAction("ActClsWindow", "Clear(&E)", {}, &TMainForm::ActClsWindowExecute);
    ActPauseMonitor = NewAction("ActPauseMonitor", "Pause(&P)", {}, &TMainForm::ActPauseMonitorExecute);
    ActContiMonitor = NewAction("ActContiMonitor", "Continue(&N)", {}, &TMainForm::ActContiMonitorExecute);
    ActMonitor = NewAction("ActMonitor", "Monitor Window(&M)", {}, &TMainForm::ActMonitorExecute);
    ActSendWindow = NewAction("ActSendWindow", "Send Window(&S)", {}, &TMainForm::ActSendWindowExecute);
    ActGraphWindow = NewAction("ActGraphWindow", "Graph Window(&G)", {}, &TMainForm::ActGraphWindowExecute);
    ActAbout = NewAction("ActAbout", "About(&A)...", {}, &TMainForm::ActAboutExecute);
    ActLinSlaveStart = NewAction("ActLinSlaveStart", "Start(&S)", {}, &TMainForm::ActLinSlaveStartExecute);
    ActLinSlaveStop = NewAction("ActLinSlaveStop", "Stop(&D)", {}, &TMainForm::ActLinSlaveStopExecute);
    ActLinMasterSend = NewAction("ActLinMasterSend", "Send(&S)", {}, &TMainForm::ActLinMasterSendExecute);
}

void TMainForm::CreateMenus()
{
    QMenuBar* bar = menuBar();
    QMenu* file = bar->addMenu(QStringLiteral("File(&F)"));
    file->addAction(ActPortOpen);
    file->addAction(ActPortClose);
    file->addSeparator();
    file->addAction(ActSystemConfig);
    file->addSeparator();
    file->addAction(ActFileExit);
    QMenu* edit = bar->addMenu(QStringLiteral("Edit(&E)"));
    edit->addAction(ActCopyToClipbord);
    edit->addAction(ActSaveToFile);
    QMenu* view = bar->addMenu(QStringLiteral("View(&V)"));
    view->addAction(ActPauseMonitor);
    view->addAction(ActContiMonitor);
    view->addSeparator();
    view->addAction(ActClsWindow);
    QMenu* run = bar->addMenu(QStringLiteral("Run(&R)"));
    run->addAction(ActOnBus);
    run->addAction(ActOffBus);
    QMenu* window = bar->addMenu(QStringLiteral("Window(&W)"));
    window->addAction(ActMonitor);
    window->addAction(ActSendWindow);
    QMenu* help = bar->addMenu(QStringLiteral("Help(&H)"));
    help->addAction(ActAbout);
    for (QMenu* m : {file, edit, view, run, window, help}) m->setFont(WindowFont());
    bar->setFont(WindowFont());
}

void TMainForm::BindButton(QAbstractButton* button, QAction* action)
{
    auto* tool = qobject_cast<QToolButton*>(button);
    if (tool) tool->setDefaultAction(action);
    // Visibility is not carried by a default action; follow it here so the pair stays one control.
    auto sync = [button, action] { button->setVisible(action->isVisible()); };
    connect(action, &QAction::changed, button, sync);
    sync();
}

QLineEdit* TMainForm::NewEdit(const char* name, const QString& text, int maxLength, QWidget* parent, int x, int y,
                              int w)
{
    auto* e = new QLineEdit(text, parent);
    e->setObjectName(QString::fromLatin1(name));
    e->setMaxLength(maxLength);
    e->setGeometry(x, y, w, 20);
    e->installEventFilter(this);
    return e;
}

QLabel* TMainForm::NewLabel(const QString& text, QWidget* parent, int x, int y)
{
    auto* l = new QLabel(text, parent);
    l->setGeometry(x, y, l->fontMetrics().horizontalAdvance(text) + 2, 20);
    return l;
}

void TMainForm::CreateControls()
{
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("Client"));
    client->setFixedSize(kClientWidth, kClientHeight);
    setCentralWidget(client);

    auto newButton = [client](const char* name, QWidget* parent, int x, int y, int w, int h) {
        auto* b = new QToolButton(parent ? parent : client);
        b->setObjectName(QString::fromLatin1(name));
        b->setGeometry(x, y, w, h);
        b->setToolButtonStyle(Qt::ToolButtonTextOnly);
        return b;
    };

    RadioGroup1 = new QGroupBox(QStringLiteral(" Monitor Function "), client);
    RadioGroup1->setObjectName(QStringLiteral("RadioGroup1"));
    RadioGroup1->setGeometry(6, 2, 266, 42);
    radioButtons_ = new QButtonGroup(this);
    auto* canRadio = new QRadioButton(QStringLiteral("CAN Bus Monitor"), RadioGroup1);
    canRadio->setObjectName(QStringLiteral("RadioButtonCan"));
    canRadio->setGeometry(10, 18, 124, 20);
    auto* linRadio = new QRadioButton(QStringLiteral("LIN Bus Monitor"), RadioGroup1);
    linRadio->setObjectName(QStringLiteral("RadioButtonLin"));
    linRadio->setGeometry(138, 18, 124, 20);
    radioButtons_->addButton(canRadio, 0);
    radioButtons_->addButton(linRadio, 1);
    canRadio->setChecked(true);
    connect(radioButtons_, &QButtonGroup::idClicked, this, [this] { RadioGroup1Click(); });

    BindButton(newButton("BitBtn1", client, 278, 8, 88, 34), ActOnBus);
    BindButton(newButton("BitBtn2", client, 278, 8, 88, 34), ActOffBus);

    auto* lampPanel = new QFrame(client);
    lampPanel->setObjectName(QStringLiteral("Panel1"));
    lampPanel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    lampPanel->setGeometry(370, 8, 28, 34);
    Shape1 = new TLampShape(lampPanel);
    Shape1->setObjectName(QStringLiteral("Shape1"));
    Shape1->setGeometry(3, 6, 22, 22);

    Label1 = NewLabel(QStringLiteral("CAN Bus Speed : "), client, 8, 50);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setFixedWidth(104);
    ComboBox1 = new QComboBox(client);
    ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
    for (const char* s : kCanSpeeds) ComboBox1->addItem(QString::fromLatin1(s));
    ComboBox1->setGeometry(112, 49, 104, 22);
    ComboBox2 = new QComboBox(client);
    ComboBox2->setObjectName(QStringLiteral("ComboBox2"));
    for (const char* s : kLinSpeeds) ComboBox2->addItem(QString::fromLatin1(s));
    ComboBox2->setGeometry(112, 49, 104, 22);
    ComboBox2->hide();

    CheckBox3 = new QCheckBox(QStringLiteral("Fixed ID Position"), client);
    CheckBox3->setObjectName(QStringLiteral("CheckBox3"));
    CheckBox3->setGeometry(254, 50, 142, 20);
    connect(CheckBox3, &QCheckBox::clicked, this, [this] { Guard([this] { CheckBoxClick(); }); });

    // CAN acceptance masks.
    GroupBox1 = new QGroupBox(QStringLiteral(" Standard (11bit) Messages "), client);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    GroupBox1->setGeometry(6, 74, 192, 84);
    CheckBox1 = new QCheckBox(QStringLiteral("Use Mask and Code"), GroupBox1);
    CheckBox1->setObjectName(QStringLiteral("CheckBox1"));
    CheckBox1->setGeometry(8, 18, 176, 20);
    CheckBox1->installEventFilter(this);
    stdMaskLabels_[0] = NewLabel(QStringLiteral("Mask : "), GroupBox1, 14, 40);
    Edit[1] = NewEdit("Edit1", QStringLiteral("000"), 3, GroupBox1, 62, 40, 40);
    stdMaskLabels_[1] = NewLabel(QStringLiteral("Code : "), GroupBox1, 14, 60);
    Edit[2] = NewEdit("Edit2", QStringLiteral("000"), 3, GroupBox1, 62, 60, 40);

    GroupBox2 = new QGroupBox(QStringLiteral(" Extended (29bit) Messages "), client);
    GroupBox2->setObjectName(QStringLiteral("GroupBox2"));
    GroupBox2->setGeometry(204, 74, 192, 84);
    CheckBox2 = new QCheckBox(QStringLiteral("Use Mask and Code"), GroupBox2);
    CheckBox2->setObjectName(QStringLiteral("CheckBox2"));
    CheckBox2->setGeometry(8, 18, 176, 20);
    CheckBox2->installEventFilter(this);
    extMaskLabels_[0] = NewLabel(QStringLiteral("Mask : "), GroupBox2, 14, 40);
    Edit[3] = NewEdit("Edit3", QStringLiteral("00000000"), 8, GroupBox2, 62, 40, 70);
    extMaskLabels_[1] = NewLabel(QStringLiteral("Code : "), GroupBox2, 14, 60);
    Edit[4] = NewEdit("Edit4", QStringLiteral("00000000"), 8, GroupBox2, 62, 60, 70);

    // LIN send group, in the place of the mask groups.
    GroupBox3 = new QGroupBox(QStringLiteral(" LIN Send Messages "), client);
    GroupBox3->setObjectName(QStringLiteral("GroupBox3"));
    GroupBox3->setGeometry(6, 74, 390, 84);
    CheckBox4 = new QCheckBox(QStringLiteral("Use Send Message"), GroupBox3);
    CheckBox4->setObjectName(QStringLiteral("CheckBox4"));
    CheckBox4->setGeometry(8, 16, 140, 20);
    CheckBox4->setChecked(true);
    CheckBox4->installEventFilter(this);
    CheckBox5 = new QCheckBox(QStringLiteral("Master-Node"), GroupBox3);
    CheckBox5->setObjectName(QStringLiteral("CheckBox5"));
    CheckBox5->setGeometry(152, 16, 104, 20);
    CheckBox5->installEventFilter(this);
    BindButton(newButton("BitBtn14", GroupBox3, 262, 14, 60, 22), ActLinMasterSend);
    BindButton(newButton("BitBtn12", GroupBox3, 262, 14, 60, 22), ActLinSlaveStart);
    BindButton(newButton("BitBtn13", GroupBox3, 326, 14, 58, 22), ActLinSlaveStop);
    linLabels_[0] = NewLabel(QStringLiteral("LIN ID : "), GroupBox3, 8, 38);
    Edit[5] = NewEdit("Edit5", QStringLiteral("00"), 2, GroupBox3, 62, 38, 28);
    linLabels_[1] = NewLabel(QStringLiteral("DLC : "), GroupBox3, 104, 38);
    Edit[6] = NewEdit("Edit6", QStringLiteral("2"), 1, GroupBox3, 144, 38, 20);
    linLabels_[2] = NewLabel(QStringLiteral("Datas : "), GroupBox3, 8, 60);
    for (int i = 7; i <= 14; ++i) {
        const QByteArray name = "Edit" + QByteArray::number(i);
        Edit[i] = NewEdit(name.constData(), QStringLiteral("00"), 2, GroupBox3, 62 + (i - 7) * 32, 60, 28);
    }
    GroupBox3->hide();

    // Window and monitor buttons.
    BindButton(newButton("BitBtn4", client, 6, 164, 128, 26), ActMonitor);
    BindButton(newButton("BitBtn11", client, 137, 164, 128, 26), ActGraphWindow);
    BindButton(newButton("BitBtn10", client, 268, 164, 128, 26), ActSendWindow);
    BindButton(newButton("BitBtn5", client, 6, 193, 128, 26), ActCopyToClipbord);
    BindButton(newButton("BitBtn6", client, 137, 193, 128, 26), ActClsWindow);
    BindButton(newButton("BitBtn7", client, 268, 193, 128, 26), ActPauseMonitor);
    BindButton(newButton("BitBtn8", client, 268, 193, 128, 26), ActContiMonitor);
    BindButton(newButton("BitBtn9", client, 6, 222, 128, 26), ActSaveToFile);

    // Tab order follows the form from top to bottom.
    QWidget* order[] = {canRadio, linRadio, ComboBox1, ComboBox2, CheckBox3, CheckBox1, Edit[1], Edit[2],
                        CheckBox2, Edit[3],  Edit[4],  CheckBox4, CheckBox5, Edit[5],  Edit[6]};
    for (size_t i = 0; i + 1 < std::size(order); ++i) setTabOrder(order[i], order[i + 1]);
    for (int i = 7; i <= 14; ++i) setTabOrder(Edit[i - 1], Edit[i]);
}

// ---------------------------------------------------------------------------------------
// Start-up and shutdown

void TMainForm::FormCreate()
{
    setWindowTitle(QStringLiteral("Halvorn Tarvik for PC  Ver. ") + GetVersionLabel(QCoreApplication::applicationFilePath()));
    const QString exePath = QCoreApplication::applicationFilePath();
    ini_ = std::make_unique<TIniFile>(options_.settingsPath.isEmpty() ? SettingsFilePath(exePath)
                                                                      : options_.settingsPath);

    CreateReception();
    usbDev_->SetErrorPresenter([this](const std::string& m) { ShowError(QString::fromStdString(m)); });
    usbDev_->SetMessagePump([] { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents); });

    viewNormal_ = new TViewNormalForm([this](TQueueBuffer* r) { SetConsumerBuffer(1, r); });
    viewFixed_ = new TViewFixedForm([this](TQueueBuffer* r) { SetConsumerBuffer(2, r); });
    // Pausing is refused off bus; the realtime view shows what was lost on the way to it.
    viewNormal_->SetHost({[this] { return ReceptionRunning(); },
                          [this] {
                              TLossCounts c;
                              if (monThread_) {
                                  c.ringDropped = monThread_->Dropped(1);
                                  c.badRecords = monThread_->BadRecords();
                                  c.partialBytes = monThread_->PartialBytesDiscarded();
                              }
                              return c;
                          },
                          this});
    viewFixed_->SetHost({[this] { return ReceptionRunning(); }, nullptr, this});
    sendForm_ = new TSendForm(*usbDev_, [this] { return OnBus(); });
    sendForm_->SetAnchor(this);
    sendForm_->SetErrorPresenter([this](const QString& m) { ShowError(m); });
    // The graph and label table windows take their places here as they arrive.

    settings_.Load(*ini_, exePath);
    move(settings_.Left, settings_.Top);
    usbDev_->SetDeviceNumber(std::uint32_t(settings_.DeviceNo));
    usbDev_->SetBaudRate(std::uint32_t(settings_.BaudRate));
    if (!settings_.Port.isEmpty() && options_.portBackend) usbDev_->SetBackend(options_.portBackend(settings_.Port));
    SetLabelFileName(settings_.LabelFileName);
    SetCanBusSpeed(settings_.CanBusSpeed);
    SetLinBusSpeed(settings_.LinBusSpeed);
    SetLinOperationNode(settings_.OperationNode);
    SetLinSendEnabled(settings_.LinSendEnabled);

    // Control states follow the facts whenever the event loop runs dry; the slow poll picks up
    // what the receive thread changes (bus status) while nothing else happens.
    idleTimer_ = new QTimer(this);
    idleTimer_->setSingleShot(true);
    idleTimer_->setInterval(0);
    connect(idleTimer_, &QTimer::timeout, this, [this] {
        idlePending_ = false;
        UpdateControls();
    });
    pollTimer_ = new QTimer(this);
    pollTimer_->setInterval(100);
    connect(pollTimer_, &QTimer::timeout, this, &TMainForm::UpdateControls);
    pollTimer_->start();
    qApp->installEventFilter(this);
    UpdateControls();

    show();
    QCoreApplication::processEvents();
    if (settings_.ViewState) {
        PlaceMonitor(ActiveMonitor());
        ActiveMonitor()->show();
    }
    activateWindow();
    setFocus();
}

void TMainForm::PlaceMonitor(QWidget* w)
{
    const QRect frame = frameGeometry();
    w->move(frame.left(), frame.bottom() + 1);
}

void TMainForm::FormCloseQuery()
{
    TSettings pos = settings_;
    pos.Left = x();
    pos.Top = y();
    pos.ViewState = (viewNormal_ && viewNormal_->isVisible()) || (viewFixed_ && viewFixed_->isVisible());
    pos.SaveWindow(*ini_);  // a failed write never keeps the program from closing
}

void TMainForm::FormClose()
{
    closed_ = true;
    try {
        if (ReceptionRunning()) {
            GoOffBus();
            SleepMs(100);
        }
    } catch (const std::exception&) {
        // The link failed while going off bus; closing goes on regardless.
    }
    try {
        if (usbDev_->IsOpen()) usbDev_->Close();
    } catch (const std::exception&) {
    }
    if (sendForm_) {
        sendForm_->SetCloseAllowed(true);
        sendForm_->close();
    }
    for (TMonitorForm* w : std::initializer_list<TMonitorForm*>{viewNormal_, viewFixed_}) {
        if (!w) continue;
        w->SetCloseAllowed(true);
        w->close();
    }
    ReceptionShutdown();
}

void TMainForm::FormDestroy()
{
    qApp->removeEventFilter(this);
    if (idleTimer_) idleTimer_->stop();
    if (pollTimer_) pollTimer_->stop();
    delete viewNormal_.data();
    delete viewFixed_.data();
    delete sendForm_.data();
    DestroyReception();
    usbDev_.reset();
    ini_.reset();
}

void TMainForm::closeEvent(QCloseEvent* event)
{
    if (closed_) {
        event->accept();
        return;
    }
    if (busy_ > 0) {
        // A command is still waiting for its reply (the wait keeps the window alive):
        // close right after it instead of pulling the port from under it.
        event->ignore();
        QTimer::singleShot(10, this, &QWidget::close);
        return;
    }
    FormCloseQuery();
    FormClose();
    event->accept();
}

void TMainForm::CreateReception()
{
    usbDev_ = std::make_unique<TUsbDev>(0, options_.backend);
    TMonThread::Host host;
    host.UsbFailure = [this] { UsbFailure(); };
    host.ShowError = [this](const std::string& m) { ShowError(QString::fromStdString(m)); };
    monThread_ = std::make_unique<TMonThread>(*usbDev_, std::move(host));
    monThread_->SetPriority(TThread::Priority::AboveNormal);
    bus_ = std::make_unique<TBusControl>(*usbDev_, TBusControl::Reception{[this] { return ReceptionStart(); },
                                                                          [this] { ReceptionStop(); },
                                                                          [this] { return ReceptionRunning(); }});
}

void TMainForm::DestroyReception()
{
    bus_.reset();
    monThread_.reset();
}

bool TMainForm::ReceptionStart() { return monThread_ && monThread_->Start(); }

void TMainForm::ReceptionStop()
{
    if (monThread_) monThread_->Stop();
}

bool TMainForm::ReceptionRunning() const { return monThread_ && monThread_->Running(); }

void TMainForm::ReceptionShutdown()
{
    if (!monThread_) return;
    // Terminate also wakes a parked thread; the wait keeps serving its calls onto this thread.
    monThread_->Terminate();
    monThread_->WaitFor();
}

int TMainForm::BusStatus() const { return monThread_ ? monThread_->BusStatus() : 2; }

void TMainForm::SetConsumerBuffer(int slot, TQueueBuffer* ring)
{
    if (monThread_) monThread_->SetSlot(slot, ring);
}

// ---------------------------------------------------------------------------------------
// Settings held in controls and objects

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

// ---------------------------------------------------------------------------------------
// Facts and control states

bool TMainForm::PortOpen() const { return usbDev_ && usbDev_->IsOpen(); }
bool TMainForm::OnBus() const { return ReceptionRunning(); }

TMonitorForm* TMainForm::ActiveMonitor() const
{
    if (CheckBox3->isChecked()) return viewFixed_;
    return viewNormal_;
}

QColor TMainForm::LampColor() const
{
    if (!OnBus()) return kLampRed;
    switch (BusStatus()) {
    case 0: return kLampGreen;
    case 1: return kLampYellow;
    case 2: return kLampRed;
    default: return kLampBlack;
    }
}

void TMainForm::UpdateControls()
{
    if (closed_ || !usbDev_) return;
    const bool portOpen = PortOpen();
    const bool onBus = OnBus();
    const bool canMode = radioButtons_->checkedId() == 0;
    const bool linMode = !canMode;
    const bool hasLines = viewNormal_ && viewNormal_->HasLines();
    const bool paused = viewNormal_ && viewNormal_->IsPaused();
    const bool monitorShown = (viewNormal_ && viewNormal_->isVisible()) || (viewFixed_ && viewFixed_->isVisible());

    RadioGroup1->setEnabled(!portOpen);
    ActPortOpen->setVisible(!portOpen);
    ActPortClose->setVisible(portOpen);
    ActSystemConfig->setEnabled(!portOpen);
    ActOnBus->setVisible(!onBus);
    ActOffBus->setVisible(onBus);
    ActCopyToClipbord->setEnabled(hasLines && !portOpen);
    ActSaveToFile->setEnabled(hasLines && !portOpen);
    ActClsWindow->setEnabled(hasLines);
    ActPauseMonitor->setEnabled(monitorShown);
    ActPauseMonitor->setVisible(!paused);
    ActContiMonitor->setEnabled(monitorShown);
    ActContiMonitor->setVisible(paused);
    ActSendWindow->setEnabled(settings_.CanSendEnabled && settings_.DriverMode == 0 && canMode);
    ActGraphWindow->setEnabled(settings_.GraphEnabled && canMode);

    const bool masksEnabled = !onBus && canMode;
    GroupBox1->setEnabled(masksEnabled);
    GroupBox2->setEnabled(masksEnabled);
    CheckBox1->setEnabled(masksEnabled);
    CheckBox2->setEnabled(masksEnabled);
    const bool stdOn = CheckBox1->isChecked() && masksEnabled;
    const bool extOn = CheckBox2->isChecked() && masksEnabled;
    for (QLabel* l : stdMaskLabels_) l->setEnabled(stdOn);
    Edit[1]->setEnabled(stdOn);
    Edit[2]->setEnabled(stdOn);
    for (QLabel* l : extMaskLabels_) l->setEnabled(extOn);
    Edit[3]->setEnabled(extOn);
    Edit[4]->setEnabled(extOn);

    const bool useSend = CheckBox4->isChecked();
    const bool master = CheckBox5->isChecked();
    GroupBox3->setEnabled(linMode);
    CheckBox4->setEnabled(!onBus && linMode);
    CheckBox5->setEnabled(!onBus && useSend);
    for (QLabel* l : linLabels_) l->setEnabled(useSend);
    for (int i = 5; i <= 14; ++i) Edit[i]->setEnabled(useSend);
    ActLinMasterSend->setEnabled(portOpen && linMode && useSend && master);
    ActLinMasterSend->setVisible(master);
    ActLinSlaveStart->setEnabled(portOpen && linMode && useSend && !master);
    ActLinSlaveStart->setVisible(!master);
    ActLinSlaveStop->setEnabled(portOpen && linMode && useSend && !master);
    ActLinSlaveStop->setVisible(!master);

    Label1->setEnabled(!onBus);
    ComboBox1->setEnabled(!onBus);
    ComboBox2->setEnabled(!onBus);

    Shape1->SetColor(LampColor());
    if (sendForm_) sendForm_->SetSendEnabled(onBus);
    // The graph and label table windows get the on-bus flag here once they exist.
}

void TMainForm::ScheduleIdle()
{
    if (idlePending_ || !idleTimer_) return;
    idlePending_ = true;
    idleTimer_->start();
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event)
{
    // Any event but the idle timer's own means the loop will soon run dry: recompute then.
    if (watched != idleTimer_ && event->type() != QEvent::Timer) ScheduleIdle();

    auto* edit = qobject_cast<QLineEdit*>(watched);
    auto* box = qobject_cast<QCheckBox*>(watched);
    const bool inputRules = (edit && edit->window() == this) ||
                            (box && (box == CheckBox1 || box == CheckBox2 || box == CheckBox4 || box == CheckBox5));
    if (!inputRules) return QMainWindow::eventFilter(watched, event);

    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        switch (ClassifyEditKey(key->key(), key->text())) {
        case EditKey::Discard: return true;
        case EditKey::NextControl: focusNextChild(); return true;
        case EditKey::Pass: break;
        }
    } else if (event->type() == QEvent::FocusOut && edit) {
        if (edit == Edit[5]) EditLinIdExit();
        else EditLinDatExit(edit);
    }
    return QMainWindow::eventFilter(watched, event);
}

// ---------------------------------------------------------------------------------------
// Input rules

void TMainForm::EditLinDatExit(QLineEdit* edit)
{
    edit->setText(FormatHexField(HexFieldValue(edit->text()), edit->maxLength()));
}

void TMainForm::EditLinIdExit()
{
    const std::uint32_t id = HexFieldValue(Edit[5]->text());
    Edit[5]->setText(FormatHexField(id, 2));
    Edit[6]->setText(QString::number(LinLengthForId(id)));
}

void TMainForm::RadioGroup1Click()
{
    const bool lin = radioButtons_->checkedId() == 1;
    Label1->setText(lin ? QStringLiteral("LIN Bus Speed : ") : QStringLiteral("CAN Bus Speed : "));
    ComboBox1->setVisible(!lin);
    ComboBox2->setVisible(lin);
    GroupBox1->setVisible(!lin);
    GroupBox2->setVisible(!lin);
    GroupBox3->setVisible(lin);
    if (lin && sendForm_ && sendForm_->isVisible()) sendForm_->hide();
    // In LIN mode the graph window is hidden here once it exists.
}

void TMainForm::CheckBoxClick()
{
    QWidget* show = CheckBox3->isChecked() ? static_cast<QWidget*>(viewFixed_) : viewNormal_;
    QWidget* hide = CheckBox3->isChecked() ? static_cast<QWidget*>(viewNormal_) : viewFixed_;
    if (show && !show->isVisible()) {
        PlaceMonitor(show);
        show->show();
    }
    if (hide && hide->isVisible()) hide->hide();
}

// ---------------------------------------------------------------------------------------
// Bus control

OnBusConfig TMainForm::CurrentOnBusConfig() const
{
    OnBusConfig c;
    c.monitorFunction = radioButtons_->checkedId() == 1 ? 1 : 0;
    c.canSpeed = CanBusSpeed();
    c.samplingPoint = settings_.SamplingPoint;
    c.driverMode = settings_.DriverMode;
    c.terminator = settings_.Terminator;
    if (CheckBox1->isChecked()) {
        c.stdMask = HexFieldValue(Edit[1]->text());
        c.stdCode = HexFieldValue(Edit[2]->text());
    }
    if (CheckBox2->isChecked()) {
        c.extMask = HexFieldValue(Edit[3]->text());
        c.extCode = HexFieldValue(Edit[4]->text());
    }
    c.linSpeed = LinBusSpeed();
    c.linNode = LinOperationNode();
    return c;
}

LinFrame TMainForm::CurrentLinFrame() const
{
    LinFrame f;
    f.length = DecimalFieldValue(Edit[6]->text());
    f.id = HexFieldValue(Edit[5]->text());
    for (int i = 0; i < 8; ++i) f.data[i] = std::uint8_t(HexFieldValue(Edit[7 + i]->text()));
    return f;
}

bool TMainForm::GoOnBus() { return bus_->GoOnBus(CurrentOnBusConfig()); }
bool TMainForm::GoOffBus() { return bus_->GoOffBus(); }
bool TMainForm::ClearAdapter() { return bus_->ClearAdapter(); }

void TMainForm::ContinueBothMonitors()
{
    if (viewNormal_) viewNormal_->ContinueMonitor();
    if (viewFixed_) viewFixed_->ContinueMonitor();
}

void TMainForm::ClearBothMonitors()
{
    if (viewNormal_) viewNormal_->ClearMonitor();
    if (viewFixed_) viewFixed_->ClearMonitor();
}

void TMainForm::ToggleWindow(QWidget* w)
{
    if (!w) return;
    if (w->isVisible()) {
        w->hide();
    } else {
        if (w == viewNormal_ || w == viewFixed_) PlaceMonitor(w);
        w->show();
    }
}

// ---------------------------------------------------------------------------------------
// Action handlers

void TMainForm::ActPortOpenExecute()
{
    if (usbDev_->Open()) ContinueBothMonitors();
}

void TMainForm::ActPortCloseExecute()
{
    if (OnBus()) GoOffBus();
    if (usbDev_->Close()) ContinueBothMonitors();
}

void TMainForm::ActSystemConfigExecute()
{
    RunSystemConfig(
        this, CurrentSettings(), *ini_, [this](std::uint32_t* n) { return usbDev_->DeviceCount(n); },
        [this](const TSettings& s) {
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
        });
    UpdateControls();
}

void TMainForm::ActOnBusExecute()
{
    if (!usbDev_->IsOpen() && !usbDev_->Open()) return;
    ClearBothMonitors();
    if (!GoOnBus()) return;  // refused: the port stays open, nothing is shown
    ContinueBothMonitors();
    QWidget* monitor = ActiveMonitor();
    if (monitor && !monitor->isVisible()) {
        PlaceMonitor(monitor);
        monitor->show();
    }
}

void TMainForm::ActOffBusExecute()
{
    GoOffBus();
    // Acquisition of the graph window stops here once it exists.
    ContinueBothMonitors();
    usbDev_->Close();
}

void TMainForm::UsbFailure()
{
    // The receive thread shows the error itself; the off-bus steps must not add a second box.
    try {
        ActOffBusExecute();
    } catch (const std::exception&) {
        ContinueBothMonitors();
        try {
            usbDev_->Close();
        } catch (const std::exception&) {
        }
    }
}

void TMainForm::ActClsWindowExecute()
{
    if (!usbDev_->IsOpen() && !usbDev_->Open()) return;
    ClearAdapter();
    ClearBothMonitors();
    ContinueBothMonitors();
}

void TMainForm::ActPauseMonitorExecute()
{
    if (viewNormal_) viewNormal_->PauseMonitor();
    if (viewFixed_) viewFixed_->PauseMonitor();
}

void TMainForm::ActContiMonitorExecute() { ContinueBothMonitors(); }

static QString MonitorText(const TMonitorForm* w) { return w ? w->GetMonitorText() : QString(); }

void TMainForm::ActCopyToClipbordExecute() { QGuiApplication::clipboard()->setText(MonitorText(ActiveMonitor())); }

QString TMainForm::ActSaveToFileBeforeExecute() const
{
    return ProposeLogFileName(settings_.LogfilePrefix, QDate::currentDate(),
                              [](const QString& name) { return QFileInfo::exists(name); });
}

void TMainForm::ActSaveToFileAccept(const QString& path)
{
    QString error;
    if (!WriteLinesCrLf(path, MonitorText(ActiveMonitor()), &error))
        ShowError(QStringLiteral("Cannot write %1 : %2").arg(path, error));
}

void TMainForm::ActMonitorExecute() { ToggleWindow(ActiveMonitor()); }

void TMainForm::ActSendWindowExecute()
{
    if (sendForm_) ToggleSendWindow(*sendForm_, [this] { return TWarningDialog::Ask(this); });
}

void TMainForm::ActGraphWindowExecute()
{
    // The graph window is shown and hidden here once it exists.
}

void TMainForm::ActAboutExecute()
{
    TAboutBox box(this);
    box.FillDefaults(QApplication::applicationDisplayName());
    box.exec();
}

void TMainForm::ActLinMasterSendExecute() { bus_->SendLinFrame(CurrentLinFrame()); }
void TMainForm::ActLinSlaveStartExecute() { bus_->SendLinFrame(CurrentLinFrame()); }
void TMainForm::ActLinSlaveStopExecute() { bus_->StopLinSlave(); }

// ---------------------------------------------------------------------------------------
// Errors

void TMainForm::ShowError(const QString& message)
{
    if (options_.showError) {
        options_.showError(message);
        return;
    }
    QMessageBox::critical(this, QApplication::applicationDisplayName(), message);
}

void TMainForm::Guard(const std::function<void()>& body)
{
    ++busy_;
    try {
        body();
    } catch (const std::exception& e) {
        ShowError(QString::fromStdString(e.what()));
    }
    --busy_;
}

}  // namespace tarvik
