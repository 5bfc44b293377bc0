#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QRadioButton>
#include <QToolButton>
#include <algorithm>

#include "settings/options.h"
#include "tmainform/lampshape.h"
#include "tmainform/mainform.h"
#include "widgets/actions.h"

// The main window's controls at their fixed places; object names are what tests find them by.

namespace tarvik {

namespace {

constexpr int kClientWidth = 402;
constexpr int kClientHeight = 249;

}  // namespace

void TMainForm::BindButton(QAbstractButton* button, QAction* action)
{
    tarvik::BindButton(button, action);
    boundButtons_.push_back(button);
}

void TMainForm::ResolveMnemonics()
{
    QList<QAbstractButton*> buttons(boundButtons_.begin(), boundButtons_.end());
    tarvik::ResolveMnemonics(this, menuBar(), buttons);
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

TMainForm::MaskGroup TMainForm::NewMaskGroup(int number, const QString& title, int x, int digits, int editWidth,
                                             QWidget* parent)
{
    MaskGroup g;
    g.box = new QGroupBox(title, parent);
    g.box->setObjectName(QStringLiteral("GroupBox%1").arg(number));
    g.box->setGeometry(x, 74, 192, 84);
    g.use = new QCheckBox(QStringLiteral("Use Mask and Code"), g.box);
    g.use->setObjectName(QStringLiteral("CheckBox%1").arg(number));
    g.use->setGeometry(8, 18, 176, 20);
    g.use->installEventFilter(this);
    const QString zeros(digits, QLatin1Char('0'));
    const QByteArray maskName = "Edit" + QByteArray::number(2 * number - 1);
    const QByteArray codeName = "Edit" + QByteArray::number(2 * number);
    g.labels[0] = NewLabel(QStringLiteral("Mask : "), g.box, 14, 40);
    g.mask = NewEdit(maskName.constData(), zeros, digits, g.box, 62, 40, editWidth);
    g.labels[1] = NewLabel(QStringLiteral("Code : "), g.box, 14, 60);
    g.code = NewEdit(codeName.constData(), zeros, digits, g.box, 62, 60, editWidth);
    const QString rule = QStringLiteral("A frame is received when its identifier equals the code in every bit where the mask has a 1; "
                                        "bits where the mask has a 0 may be anything. Mask 0 receives every frame.");
    g.mask->setToolTip(QStringLiteral("Mask (hex): 1 = this identifier bit must match the code.\n") + rule);
    g.code->setToolTip(QStringLiteral("Code (hex): the identifier bits wanted where the mask has a 1.\n") + rule);
    return g;
}

namespace {

QToolButton* NewToolButton(const char* name, QWidget* parent, int x, int y, int w, int h)
{
    auto* b = new QToolButton(parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setGeometry(x, y, w, h);
    b->setToolButtonStyle(Qt::ToolButtonTextOnly);
    return b;
}

QCheckBox* NewCheckBox(const QString& text, const char* name, QWidget* parent, const QRect& place)
{
    auto* c = new QCheckBox(text, parent);
    c->setObjectName(QString::fromLatin1(name));
    c->setGeometry(place);
    return c;
}

// The monitor function: CAN (id 0, checked) or LIN (id 1) in `choice`.
QGroupBox* NewFunctionGroup(QWidget* client, QButtonGroup* choice)
{
    auto* box = new QGroupBox(QStringLiteral(" Monitor Function "), client);
    box->setObjectName(QStringLiteral("RadioGroup1"));
    box->setGeometry(6, 2, 266, 42);
    auto* canRadio = new QRadioButton(QStringLiteral("CAN Bus Monitor"), box);
    canRadio->setObjectName(QStringLiteral("RadioButtonCan"));
    canRadio->setGeometry(10, 18, 124, 20);
    auto* linRadio = new QRadioButton(QStringLiteral("LIN Bus Monitor"), box);
    linRadio->setObjectName(QStringLiteral("RadioButtonLin"));
    linRadio->setGeometry(138, 18, 124, 20);
    choice->addButton(canRadio, 0);
    choice->addButton(linRadio, 1);
    canRadio->setChecked(true);
    return box;
}

// The bus lamp in its sunken panel beside the on/off buttons.
TLampShape* NewLamp(QWidget* client)
{
    auto* lampPanel = new QFrame(client);
    lampPanel->setObjectName(QStringLiteral("Panel1"));
    lampPanel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    lampPanel->setGeometry(370, 8, 28, 34);
    auto* lamp = new TLampShape(lampPanel);
    lamp->setObjectName(QStringLiteral("Shape1"));
    lamp->setGeometry(3, 6, 22, 22);
    return lamp;
}

template <class Names>
QComboBox* NewSpeedBox(const char* name, const Names& names, QWidget* client)
{
    auto* box = new QComboBox(client);
    box->setObjectName(QString::fromLatin1(name));
    for (const char* s : names) box->addItem(QString::fromLatin1(s));
    box->setGeometry(112, 49, 104, 22);
    return box;
}

}  // namespace

void TMainForm::CreateControls()
{
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("Client"));
    client->setFixedSize(kClientWidth, kClientHeight);
    setCentralWidget(client);

    radioButtons_ = new QButtonGroup(this);
    RadioGroup1 = NewFunctionGroup(client, radioButtons_);
    connect(radioButtons_, &QButtonGroup::idClicked, this, [this] { RadioGroup1Click(); });
    BindButton(NewToolButton("BitBtn1", client, 278, 8, 88, 34), ActOnBus);
    BindButton(NewToolButton("BitBtn2", client, 278, 8, 88, 34), ActOffBus);
    Shape1 = NewLamp(client);

    Label1 = NewLabel(QStringLiteral("CAN Bus Speed : "), client, 8, 50);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setFixedWidth(104);
    ComboBox1 = NewSpeedBox("ComboBox1", kCanSpeedNames, client);
    ComboBox2 = NewSpeedBox("ComboBox2", kLinSpeedNames, client);
    ComboBox2->hide();
    CheckBox3 = NewCheckBox(QStringLiteral("Fixed ID Position"), "CheckBox3", client, QRect(254, 50, 142, 20));
    connect(CheckBox3, &QCheckBox::clicked, this, [this] { Guard([this] { CheckBoxClick(); }); });

    stdMask_ = NewMaskGroup(1, QStringLiteral(" Standard (11bit) Messages "), 6, 3, 40, client);
    extMask_ = NewMaskGroup(2, QStringLiteral(" Extended (29bit) Messages "), 204, 8, 70, client);

    // LIN send group, in the place of the mask groups.
    GroupBox3 = new QGroupBox(QStringLiteral(" LIN Send Messages "), client);
    GroupBox3->setObjectName(QStringLiteral("GroupBox3"));
    GroupBox3->setGeometry(6, 74, 390, 84);
    CheckBox4 = NewCheckBox(QStringLiteral("Use Send Message"), "CheckBox4", GroupBox3, QRect(8, 16, 140, 20));
    CheckBox4->setChecked(true);
    CheckBox4->installEventFilter(this);
    CheckBox5 = NewCheckBox(QStringLiteral("Master-Node"), "CheckBox5", GroupBox3, QRect(152, 16, 104, 20));
    CheckBox5->installEventFilter(this);
    BindButton(NewToolButton("BitBtn14", GroupBox3, 262, 14, 60, 22), ActLinMasterSend);
    BindButton(NewToolButton("BitBtn12", GroupBox3, 262, 14, 60, 22), ActLinSlaveStart);
    BindButton(NewToolButton("BitBtn13", GroupBox3, 326, 14, 58, 22), ActLinSlaveStop);
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
    BindButton(NewToolButton("BitBtn4", client, 6, 164, 128, 26), ActMonitor);
    BindButton(NewToolButton("BitBtn11", client, 137, 164, 128, 26), ActGraphWindow);
    BindButton(NewToolButton("BitBtn10", client, 268, 164, 128, 26), ActSendWindow);
    BindButton(NewToolButton("BitBtn5", client, 6, 193, 128, 26), ActCopyToClipbord);
    BindButton(NewToolButton("BitBtn6", client, 137, 193, 128, 26), ActClsWindow);
    BindButton(NewToolButton("BitBtn7", client, 268, 193, 128, 26), ActPauseMonitor);
    BindButton(NewToolButton("BitBtn8", client, 268, 193, 128, 26), ActContiMonitor);
    BindButton(NewToolButton("BitBtn9", client, 6, 222, 128, 26), ActSaveToFile);

    // Tab order follows the form from top to bottom.
    QWidget* order[] = {radioButtons_->button(0), radioButtons_->button(1), ComboBox1, ComboBox2, CheckBox3,
                        stdMask_.use,  stdMask_.mask, stdMask_.code, extMask_.use, extMask_.mask,
                        extMask_.code, CheckBox4,     CheckBox5, Edit[5],   Edit[6]};
    for (size_t i = 0; i + 1 < std::size(order); ++i) setTabOrder(order[i], order[i + 1]);
    for (int i = 7; i <= 14; ++i) setTabOrder(Edit[i - 1], Edit[i]);
}

}  // namespace tarvik
