#include "dialogs/tsystemdialog.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>
#include <exception>
#include <optional>

#include "platform/fonts.h"
#include "platform/inifile.h"
#include "settings/devicelist.h"

namespace tarvik {

namespace {

QLabel* AddLabel(QWidget* parent, const QString& name, const QString& text, int x, int y)
{
    auto* l = new QLabel(text, parent);
    l->setObjectName(name);
    l->move(x, y + 3);
    l->adjustSize();
    return l;
}

QComboBox* AddList(QWidget* parent, const QString& name, const QStringList& items, int x, int y, int w)
{
    auto* c = new QComboBox(parent);
    c->setObjectName(name);
    c->addItems(items);
    c->setGeometry(x, y, w, 22);
    return c;
}

QLineEdit* AddEdit(QWidget* parent, const QString& name, int x, int y, int w)
{
    auto* e = new QLineEdit(parent);
    e->setObjectName(name);
    e->setGeometry(x, y, w, 22);
    return e;
}

QCheckBox* AddCheck(QWidget* parent, const QString& name, const QString& text, int x, int y)
{
    auto* c = new QCheckBox(text, parent);
    c->setObjectName(name);
    c->move(x, y);
    c->adjustSize();
    return c;
}

// Index lists: a stored index outside the list selects nothing.
void SelectIndex(QComboBox* c, int index) { c->setCurrentIndex(index >= 0 && index < c->count() ? index : -1); }

int SelectedIndex(const QComboBox* c, int loaded)
{
    const int i = c->currentIndex();
    return i >= 0 ? i : loaded;
}

constexpr int kLabelX = 16;
constexpr int kFieldX = 184;

}  // namespace

TSystemDialog::TSystemDialog(DeviceCounter counter, QWidget* parent, PortLister ports)
    : QDialog(parent), ports_(ports ? std::move(ports) : PortLister([] { return UsbSerialPorts(true); }))
{
    setObjectName("SystemDialog");
    setWindowTitle("System Config");
    setFont(WindowFont(12));
    setFixedSize(345, 330);

    pages_ = new QTabWidget(this);
    pages_->setObjectName("PageControl1");
    pages_->setGeometry(8, 8, 329, 280);
    // Four page names must fit the dialog's width without scroll arrows.
    pages_->setStyleSheet("QTabBar::tab { padding: 3px 2px; border: 1px solid #a0a0a0; border-bottom: none;"
                          " background: #e4e4e4; } QTabBar::tab:selected { background: #fafafa; }");
    pages_->setUsesScrollButtons(false);
    pages_->addTab(BuildCanPage(), "CAN Interface");
    pages_->addTab(BuildLinPage(), "LIN Interface");
    pages_->addTab(BuildGraphPage(), "Graph Config");
    adminPage_ = BuildAdminPage(counter);
    pages_->addTab(adminPage_, "Admin Config");

    auto* ok = new QPushButton("OK", this);
    ok->setObjectName("OKBtn");
    ok->setGeometry(176, 296, 75, 25);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    auto* cancel = new QPushButton(tr("キャンセル"), this);
    cancel->setObjectName("CancelBtn");
    cancel->setGeometry(262, 296, 75, 25);
    cancel->setAutoDefault(false);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

QWidget* TSystemDialog::BuildCanPage()
{
    auto* p = new QWidget(this);  // parented now so labels size in the window font
    AddLabel(p, "Label1", "CAN Bus Speed :", kLabelX, 16);
    combo7_ = AddList(p, "ComboBox7", sysconf::CanSpeedItems(), kFieldX, 16, 112);
    AddLabel(p, "Label2", "Sampling Point :", kLabelX, 46);
    combo4_ = AddList(p, "ComboBox4", sysconf::SamplingPointItems(), kFieldX, 46, 112);
    AddLabel(p, "Label3", "Driver Mode :", kLabelX, 76);
    combo5_ = AddList(p, "ComboBox5", sysconf::DriverModeItems(), kFieldX, 76, 112);
    AddLabel(p, "Label4", "Terminator (120Ω):", kLabelX, 106);
    combo6_ = AddList(p, "ComboBox6", sysconf::TerminatorItems(), kFieldX, 106, 112);
    check1_ = AddCheck(p, "CheckBox1", "Use Send Message.", kLabelX, 146);
    Bind(&TSettings::CanBusSpeed, &TSystemDialog::SetCanBusSpeed, &TSystemDialog::CanBusSpeed);
    Bind(&TSettings::SamplingPoint, &TSystemDialog::SetSamplingPoint, &TSystemDialog::SamplingPoint);
    Bind(&TSettings::DriverMode, &TSystemDialog::SetDriverMode, &TSystemDialog::DriverMode);
    Bind(&TSettings::Terminator, &TSystemDialog::SetTerminator, &TSystemDialog::Terminator);
    Bind(&TSettings::CanSendEnabled, &TSystemDialog::SetCanSendEnabled, &TSystemDialog::CanSendEnabled);
    // Chosen by mouse or keyboard; either way the check box must follow.
    connect(combo5_, &QComboBox::activated, this, &TSystemDialog::ComboBox5CloseUp);
    return p;
}

QWidget* TSystemDialog::BuildLinPage()
{
    auto* p = new QWidget(this);  // parented now so labels size in the window font
    AddLabel(p, "Label8", "LIN Bus Speed :", kLabelX, 16);
    combo11_ = AddList(p, "ComboBox11", sysconf::LinSpeedItems(), kFieldX, 16, 112);
    AddLabel(p, "Label9", "Operation Node :", kLabelX, 46);
    combo12_ = AddList(p, "ComboBox12", sysconf::OperationNodeItems(), kFieldX, 46, 112);
    check4_ = AddCheck(p, "CheckBox4", "Use Send Message.", kLabelX, 86);
    Bind(&TSettings::LinBusSpeed, &TSystemDialog::SetLinBusSpeed, &TSystemDialog::LinBusSpeed);
    Bind(&TSettings::OperationNode, &TSystemDialog::SetLinOperationNode, &TSystemDialog::LinOperationNode);
    Bind(&TSettings::LinSendEnabled, &TSystemDialog::SetLinSendEnabled, &TSystemDialog::LinSendEnabled);
    return p;
}

QWidget* TSystemDialog::BuildGraphPage()
{
    auto* p = new QWidget(this);  // parented now so labels size in the window font
    check2_ = AddCheck(p, "CheckBox2", "Use Graph Window.", kLabelX, 8);
    connect(check2_, &QCheckBox::toggled, this, &TSystemDialog::CheckBox2Click);

    constexpr int x = 168;
    graphControls_ << AddLabel(p, "Label5", "Label File Master :", kLabelX, 34);
    graphControls_ << (edit2_ = AddEdit(p, "Edit2", x, 34, 140));
    graphControls_ << (check3_ = AddCheck(p, "CheckBox3", "Create DAQ Log File", kLabelX, 62));
    graphControls_ << AddLabel(p, "Label6", "DAQ Buffer Size :", kLabelX, 86);
    graphControls_ << (combo3_ = AddList(p, "ComboBox3", sysconf::BufferSizeItems(), x, 86, 64));
    graphControls_ << AddLabel(p, "Label7", "MB", x + 70, 86);
    graphControls_ << AddLabel(p, "Label12", "Graph Y Scale:", kLabelX, 112);
    graphControls_ << (edit3_ = AddEdit(p, "Edit3", x, 112, 56));
    graphControls_ << AddLabel(p, "Label13", tr("～"), x + 60, 112);
    graphControls_ << (edit4_ = AddEdit(p, "Edit4", x + 80, 112, 56));
    graphControls_ << AddLabel(p, "Label14", "Graph Y Pitch:", kLabelX, 138);
    graphControls_ << (edit5_ = AddEdit(p, "Edit5", x, 138, 56));
    graphControls_ << AddLabel(p, "Label15", "Graph X Width:", kLabelX, 164);
    graphControls_ << (combo8_ = AddList(p, "ComboBox8", sysconf::TimeWidthItems(), x, 164, 64));
    graphControls_ << AddLabel(p, "Label16", "sec", x + 70, 164);
    graphControls_ << AddLabel(p, "Label17", "Log Sampling Rate:", kLabelX, 190);
    graphControls_ << (combo9_ = AddList(p, "ComboBox9", sysconf::SampleRateItems(), x, 190, 64));
    graphControls_ << AddLabel(p, "Label18", "ms", x + 70, 190);
    graphControls_ << AddLabel(p, "Label19", "Graph Draw Rate:", kLabelX, 216);
    graphControls_ << (combo10_ = AddList(p, "ComboBox10", sysconf::PlotRateItems(), x, 216, 64));
    graphControls_ << AddLabel(p, "Label20", "ms", x + 70, 216);

    // Until a stored value selects another, these lists show the value their getter
    // falls back to, so what is shown is what OK stores.
    combo8_->setCurrentIndex(sysconf::IndexOfItem(sysconf::TimeWidthItems(), "30"));
    combo9_->setCurrentIndex(sysconf::IndexOfItem(sysconf::SampleRateItems(), "50"));
    combo10_->setCurrentIndex(sysconf::IndexOfItem(sysconf::PlotRateItems(), "100"));

    Bind(&TSettings::GraphEnabled, &TSystemDialog::SetGraphEnabled, &TSystemDialog::GraphEnabled);
    // The dialog shows only the file-name part; a directory typed here is handed on as typed.
    bindings_.Bind(
        &TSettings::LabelFileName, [this](const TSettings& s) { SetLabelFileName(LabelFileNamePart(s.LabelFileName)); },
        [this](TSettings& s) { s.LabelFileName = LabelFileName(); });
    Bind(&TSettings::CreateLogFile, &TSystemDialog::SetCreateLogFile, &TSystemDialog::CreateLogFile);
    Bind(&TSettings::LogBufferSize, &TSystemDialog::SetLogBufferSize, &TSystemDialog::LogBufferSize);
    Bind(&TSettings::MinYScale, &TSystemDialog::SetMinYScale, &TSystemDialog::MinYScale);
    Bind(&TSettings::MaxYScale, &TSystemDialog::SetMaxYScale, &TSystemDialog::MaxYScale);
    Bind(&TSettings::YPitch, &TSystemDialog::SetYPitch, &TSystemDialog::YPitch);
    Bind(&TSettings::TimeWidth, &TSystemDialog::SetTimeWidth, &TSystemDialog::TimeWidth);
    Bind(&TSettings::SampleRate, &TSystemDialog::SetSampleRate, &TSystemDialog::SampleRate);
    Bind(&TSettings::PlotRate, &TSystemDialog::SetPlotRate, &TSystemDialog::PlotRate);
    return p;
}

QWidget* TSystemDialog::BuildAdminPage(const DeviceCounter& counter)
{
    auto* p = new QWidget(this);  // parented now so labels size in the window font
    AddLabel(p, "Label10", "USB Device No. :", kLabelX, 16);
    if (counter) {
        std::uint32_t n = 0;
        try {
            if (counter(&n))
                deviceCount_ = n;
        } catch (const std::exception&) {
            // An unanswerable count leaves the design-time device numbers.
        }
    }
    // Wide enough for a port's USB identity; the numbers alone leave it mostly empty.
    combo1_ = AddList(p, "ComboBox1", sysconf::DeviceItems(deviceCount_), kFieldX, 16, 136);
    combo1_->view()->setMinimumWidth(380);  // the open list shows identities in full
    AddLabel(p, "Label11", "USB VCOM Baud Rate :", kLabelX, 46);
    combo2_ = AddList(p, "ComboBox2", sysconf::BaudRateItems(), kFieldX, 46, 88);
    combo2_->setEditable(true);
    combo2_->setInsertPolicy(QComboBox::NoInsert);
    combo2_->setCurrentIndex(sysconf::IndexOfItem(sysconf::BaudRateItems(), "3000000"));
    AddLabel(p, "Label21", "bps", kFieldX + 94, 46);
    AddLabel(p, "Label22", "MON Logfile Prefix :", kLabelX, 76);
    edit1_ = AddEdit(p, "Edit1", kFieldX, 76, 120);
    AddLabel(p, "Label23", "DAQ Logfile Prefix :", kLabelX, 106);
    edit6_ = AddEdit(p, "Edit6", kFieldX, 106, 120);
    AddLabel(p, "Label24", "USB Port Path :", kLabelX, 136);
    edit7_ = AddEdit(p, "Edit7", kFieldX, 136, 120);
    edit7_->setPlaceholderText("(device No.)");
    AddLabel(p, "Label25", "Adapter Protocol :", kLabelX, 166);
    combo13_ = AddList(p, "ComboBox13", sysconf::ProtocolItems(), kFieldX, 166, 80);
    combo13_->setCurrentIndex(0);
    connect(combo13_, &QComboBox::currentIndexChanged, this, [this] { FillDeviceList(); });
    Bind(&TSettings::DeviceNo, &TSystemDialog::SetDeviceNo, &TSystemDialog::DeviceNo);
    Bind(&TSettings::BaudRate, &TSystemDialog::SetBaudRate, &TSystemDialog::BaudRate);
    Bind(&TSettings::Port, &TSystemDialog::SetPortPath, &TSystemDialog::PortPath);
    Bind(&TSettings::Protocol, &TSystemDialog::SetProtocol, &TSystemDialog::Protocol);
    Bind(&TSettings::LogfilePrefix, &TSystemDialog::SetLogfilePrefix, &TSystemDialog::LogfilePrefix);
    Bind(&TSettings::DaqfilePrefix, &TSystemDialog::SetDaqfilePrefix, &TSystemDialog::DaqfilePrefix);
    return p;
}

void TSystemDialog::showEvent(QShowEvent* event)
{
    pages_->setCurrentIndex(0);
    QDialog::showEvent(event);
}

void TSystemDialog::SetAdminPageVisible(bool visible) { pages_->setTabVisible(pages_->indexOf(adminPage_), visible); }
bool TSystemDialog::AdminPageVisible() const { return pages_->isTabVisible(pages_->indexOf(adminPage_)); }

void TSystemDialog::SetDeviceNo(int n)
{
    // Kept for the list of the protocol loaded after it: a number this list lacks may be
    // in that one.
    loadedDeviceNo_ = n;
    QStringList items;
    for (int i = 0; i < combo1_->count(); ++i) items << combo1_->itemText(i);
    combo1_->setCurrentIndex(sysconf::IndexOfDeviceNumber(items, n));
}
int TSystemDialog::DeviceNo() const { return sysconf::DeviceNumberOfItem(combo1_->currentText(), 0); }

void TSystemDialog::SetProtocol(const QString& name)
{
    combo13_->setCurrentIndex(sysconf::IndexOfItem(sysconf::ProtocolItems(), sysconf::ProtocolOrDefault(name)));
}
QString TSystemDialog::Protocol() const { return sysconf::ProtocolOrDefault(combo13_->currentText()); }

void TSystemDialog::FillDeviceList()
{
    // The chosen device number survives the change of list; none chosen keeps the loaded one.
    const int chosen = combo1_->currentIndex() < 0 ? loadedDeviceNo_ : DeviceNo();
    combo1_->clear();
    combo1_->addItems(Protocol() == QLatin1String("slcan")       ? sysconf::UsbPortItems(ports_())
                      : Protocol() == QLatin1String("socketcan") ? sysconf::CanInterfaceItems(cans_())
                                                                 : sysconf::DeviceItems(deviceCount_));
    SetDeviceNo(chosen);
}

void TSystemDialog::SetBaudRate(int baud)
{
    loadedBaud_ = baud;
    const int i = combo2_->findText(QString::number(baud));
    combo2_->setCurrentIndex(i);
    if (i < 0)
        combo2_->setEditText(QString());
}
int TSystemDialog::BaudRate() const { return sysconf::ParseInt(combo2_->currentText().trimmed(), loadedBaud_); }

void TSystemDialog::SetPortPath(const QString& path) { edit7_->setText(path); }
QString TSystemDialog::PortPath() const { return edit7_->text(); }

void TSystemDialog::SetCanSendEnabled(bool on) { check1_->setChecked(on); }
bool TSystemDialog::CanSendEnabled() const { return check1_->isChecked(); }

void TSystemDialog::SetLogfilePrefix(const QString& s) { edit1_->setText(s); }
QString TSystemDialog::LogfilePrefix() const { return edit1_->text(); }
void TSystemDialog::SetDaqfilePrefix(const QString& s) { edit6_->setText(s); }
QString TSystemDialog::DaqfilePrefix() const { return edit6_->text(); }

void TSystemDialog::SetGraphEnabled(bool on)
{
    check2_->setChecked(on);
    CheckBox2Click();
}
bool TSystemDialog::GraphEnabled() const { return check2_->isChecked(); }

void TSystemDialog::SetLabelFileName(const QString& s) { edit2_->setText(s); }
QString TSystemDialog::LabelFileName() const { return edit2_->text(); }
void TSystemDialog::SetCreateLogFile(bool on) { check3_->setChecked(on); }
bool TSystemDialog::CreateLogFile() const { return check3_->isChecked(); }

void TSystemDialog::SetLogBufferSize(int bytes)
{
    loadedBufferSize_ = bytes;
    combo3_->setCurrentIndex(combo3_->findText(sysconf::BufferSizeText(bytes)));
}
int TSystemDialog::LogBufferSize() const
{
    if (combo3_->currentIndex() < 0)
        return loadedBufferSize_;
    return sysconf::BufferSizeBytes(combo3_->currentText(), loadedBufferSize_);
}

void TSystemDialog::SetCanBusSpeed(int index)
{
    loadedCanSpeed_ = index;
    SelectIndex(combo7_, index);
}
int TSystemDialog::CanBusSpeed() const { return SelectedIndex(combo7_, loadedCanSpeed_); }
void TSystemDialog::SetSamplingPoint(int index)
{
    loadedSampling_ = index;
    SelectIndex(combo4_, index);
}
int TSystemDialog::SamplingPoint() const { return SelectedIndex(combo4_, loadedSampling_); }
void TSystemDialog::SetDriverMode(int index)
{
    loadedDriver_ = index;
    SelectIndex(combo5_, index);
    check1_->setEnabled(index == 0);
}
int TSystemDialog::DriverMode() const { return SelectedIndex(combo5_, loadedDriver_); }
void TSystemDialog::SetTerminator(int index)
{
    loadedTerminator_ = index;
    SelectIndex(combo6_, index);
}
int TSystemDialog::Terminator() const { return SelectedIndex(combo6_, loadedTerminator_); }

void TSystemDialog::SetMinYScale(int v) { edit3_->setText(QString::number(v)); }
int TSystemDialog::MinYScale() const { return sysconf::ParseInt(edit3_->text().trimmed(), -100); }
void TSystemDialog::SetMaxYScale(int v) { edit4_->setText(QString::number(v)); }
int TSystemDialog::MaxYScale() const { return sysconf::ParseInt(edit4_->text().trimmed(), 1000); }
void TSystemDialog::SetYPitch(int v) { edit5_->setText(QString::number(v)); }
int TSystemDialog::YPitch() const { return sysconf::ParseInt(edit5_->text().trimmed(), 100); }

namespace {
void SelectIfPresent(QComboBox* c, int v)
{
    const int i = c->findText(QString::number(v));
    if (i >= 0)
        c->setCurrentIndex(i);
}
}  // namespace

void TSystemDialog::SetTimeWidth(int s) { SelectIfPresent(combo8_, s); }
int TSystemDialog::TimeWidth() const { return sysconf::ParseInt(combo8_->currentText(), 30); }
void TSystemDialog::SetSampleRate(int ms) { SelectIfPresent(combo9_, ms); }
int TSystemDialog::SampleRate() const { return sysconf::ParseInt(combo9_->currentText(), 50); }
void TSystemDialog::SetPlotRate(int ms) { SelectIfPresent(combo10_, ms); }
int TSystemDialog::PlotRate() const { return sysconf::ParseInt(combo10_->currentText(), 100); }

void TSystemDialog::SetLinBusSpeed(int index)
{
    loadedLinSpeed_ = index;
    SelectIndex(combo11_, index);
}
int TSystemDialog::LinBusSpeed() const { return SelectedIndex(combo11_, loadedLinSpeed_); }
void TSystemDialog::SetLinOperationNode(int index)
{
    loadedNode_ = index;
    SelectIndex(combo12_, index);
}
int TSystemDialog::LinOperationNode() const { return SelectedIndex(combo12_, loadedNode_); }
void TSystemDialog::SetLinSendEnabled(bool on) { check4_->setChecked(on); }
bool TSystemDialog::LinSendEnabled() const { return check4_->isChecked(); }

void TSystemDialog::CheckBox2Click()
{
    const bool on = check2_->isChecked();
    for (QWidget* w : graphControls_)
        w->setVisible(on);
}

void TSystemDialog::ComboBox5CloseUp() { check1_->setEnabled(combo5_->currentIndex() == 0); }

void TSystemDialog::Load(const TSettings& s) { bindings_.LoadInto(s, Written::OnOk); }

void TSystemDialog::Values(TSettings& s) const { bindings_.StoreFrom(s, Written::OnOk); }

bool ExchangeSystemConfig(TSystemDialog& dialog, TSettings& settings, const std::function<int(TSystemDialog&)>& show)
{
    dialog.SetAdminPageVisible(settings.Administrator);
    dialog.Load(settings);
    if (show(dialog) != QDialog::Accepted)
        return false;
    dialog.Values(settings);
    return true;
}

bool RunSystemConfig(QWidget* owner, const TSettings& current, TIniFile& ini, TSystemDialog::DeviceCounter counter,
                     const TSettingsApply& apply, const std::function<void(const QString&)>& showError,
                     TSystemDialog::PortLister ports)
{
    QString failure;
    // Whatever goes wrong inside the exchange ends it quietly; the dialog goes with the scope.
    try {
        TSystemDialog dialog(std::move(counter), owner, std::move(ports));
        TSettings edited = current;
        if (!ExchangeSystemConfig(dialog, edited, [](TSystemDialog& d) { return d.exec(); }))
            return false;
        if (!SaveSystemConfig(apply ? apply(edited) : edited, ini))
            failure = QStringLiteral("Cannot write %1 : %2").arg(ini.FileName(), ini.WriteError());
    } catch (const std::exception&) {
        return false;
    }
    // Told after the dialog is gone, so the box does not sit on top of it.
    if (!failure.isEmpty()) {
        if (showError)
            showError(failure);
        else
            QMessageBox::warning(owner, QApplication::applicationDisplayName(), failure);
    }
    return true;
}

}  // namespace tarvik
