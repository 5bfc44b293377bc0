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

namespace {

bool HasMenuEntry(const QAbstractButton* button)
{
    const auto* tool = qobject_cast<const QToolButton*>(button);
    const QAction* action = tool ? tool->defaultAction() : nullptr;
    if (!action) return false;
    const QList<QObject*> users = action->associatedObjects();
    return std::any_of(users.begin(), users.end(), [](QObject* o) { return qobject_cast<QMenu*>(o) != nullptr; });
}

}  // namespace

// Qt only moves the focus when two controls claim the same Alt+letter, so each letter must
// have one owner among the controls that can be pressed now. The menu bar's titles win (as
// in any desktop program); then a button whose command has no menu entry, since the others
// stay reachable through their menu. A button gives up its letter only while outranked.
void TMainForm::ResolveMnemonics()
{
    QList<QKeySequence> menuTitles;
    for (const QAction* a : menuBar()->actions()) menuTitles << QKeySequence::mnemonic(a->text());
    auto pressable = [this](const QAbstractButton* b) { return b->isVisibleTo(this) && b->isEnabled(); };
    QList<QKeySequence> offMenuButtons;
    for (const QAbstractButton* b : boundButtons_)
        if (pressable(b) && !HasMenuEntry(b)) offMenuButtons << QKeySequence::mnemonic(b->text());

    for (QAbstractButton* b : boundButtons_) {
        const QKeySequence own = QKeySequence::mnemonic(b->text());
        const bool outranked = menuTitles.contains(own) || (HasMenuEntry(b) && offMenuButtons.contains(own));
        const QKeySequence wanted = outranked ? QKeySequence() : own;
        if (b->shortcut() != wanted) b->setShortcut(wanted);
    }
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
    return g;
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
    for (const char* s : kCanSpeedNames) ComboBox1->addItem(QString::fromLatin1(s));
    ComboBox1->setGeometry(112, 49, 104, 22);
    ComboBox2 = new QComboBox(client);
    ComboBox2->setObjectName(QStringLiteral("ComboBox2"));
    for (const char* s : kLinSpeedNames) ComboBox2->addItem(QString::fromLatin1(s));
    ComboBox2->setGeometry(112, 49, 104, 22);
    ComboBox2->hide();

    CheckBox3 = new QCheckBox(QStringLiteral("Fixed ID Position"), client);
    CheckBox3->setObjectName(QStringLiteral("CheckBox3"));
    CheckBox3->setGeometry(254, 50, 142, 20);
    connect(CheckBox3, &QCheckBox::clicked, this, [this] { Guard([this] { CheckBoxClick(); }); });

    stdMask_ = NewMaskGroup(1, QStringLiteral(" Standard (11bit) Messages "), 6, 3, 40, client);
    extMask_ = NewMaskGroup(2, QStringLiteral(" Extended (29bit) Messages "), 204, 8, 70, client);

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
    QWidget* order[] = {canRadio,      linRadio,      ComboBox1, ComboBox2, CheckBox3,
                        stdMask_.use,  stdMask_.mask, stdMask_.code, extMask_.use, extMask_.mask,
                        extMask_.code, CheckBox4,     CheckBox5, Edit[5],   Edit[6]};
    for (size_t i = 0; i + 1 < std::size(order); ++i) setTabOrder(order[i], order[i + 1]);
    for (int i = 7; i <= 14; ++i) setTabOrder(Edit[i - 1], Edit[i]);
}

}  // namespace tarvik
