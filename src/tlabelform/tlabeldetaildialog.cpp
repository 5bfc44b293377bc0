#include "tlabelform/tlabeldetaildialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QSpinBox>

#include "platform/apptitle.h"
#include "platform/fonts.h"
#include "ttlabelinfo/tlabelinfo.h"

namespace tarvik {

class TBitDisplay : public QWidget {
public:
    TBitDisplay(TLabelDetailDialog* owner, QWidget* parent) : QWidget(parent), owner_(owner) {}

protected:
    void paintEvent(QPaintEvent*) override { owner_->PaintBoxPaint(this); }

private:
    TLabelDetailDialog* owner_;
};

namespace {

constexpr int kLeft = 72;       // left edge of the byte columns
constexpr int kColumn = 64;     // pixels per data byte: 8 per bit
constexpr int kBitsWidth = 8 * kColumn;

QLabel* Caption(QWidget* parent, const QString& text, int x, int y)
{
    auto* l = new QLabel(text, parent);
    l->move(x, y);
    l->adjustSize();
    return l;
}

QLineEdit* Edit(QWidget* parent, const char* name, int x, int y, int w)
{
    auto* e = new QLineEdit(parent);
    e->setObjectName(QString::fromLatin1(name));
    e->setGeometry(x, y, w, 20);
    return e;
}

QSpinBox* NumberBox(QWidget* parent, const char* name, int max, int x, int y)
{
    auto* s = new QSpinBox(parent);
    s->setObjectName(QString::fromLatin1(name));
    // Typed values stay inside the range, so the written line always fits a label.
    s->setRange(0, max);
    s->setGeometry(x, y, 64, 20);
    return s;
}

QRadioButton* Radio(QWidget* parent, const char* text, const char* name, int x, int y)
{
    auto* r = new QRadioButton(QString::fromUtf8(text), parent);
    r->setObjectName(QString::fromLatin1(name));
    r->move(x, y);
    r->adjustSize();
    return r;
}

}  // namespace

TLabelDetailDialog::TLabelDetailDialog(QWidget* parent) : QDialog(parent)
{
    setObjectName("LabelDetailDialog");
    setWindowTitle("Label Detail");
    setFont(WindowFont(12));
    setFixedSize(kLeft + kBitsWidth + 16, 372);

    CreateIdentityRows();
    CreateBitRows();
    CreateDataRows();
    CreateValueRows();
    CreateButtons();
    ConnectControls();
    Show(TLabelDetail{});
}

// Name, type, identifier and byte order.
void TLabelDetailDialog::CreateIdentityRows()
{
    Caption(this, "Name", 8, 13);
    Edit1 = Edit(this, "Edit1", kLeft, 10, 240);
    Caption(this, "Type", 8, 41);
    ComboBox1 = new QComboBox(this);
    ComboBox1->setObjectName("ComboBox1");
    for (const auto& t : kLabelTypes)
        ComboBox1->addItem(QString::fromLatin1(t.name));
    ComboBox1->setCurrentIndex(-1);
    ComboBox1->setGeometry(kLeft, 38, 240, 22);
    CheckBox1 = new QCheckBox("Use Extended (29bit) Identifier", this);
    CheckBox1->setObjectName("CheckBox1");
    CheckBox1->move(kLeft, 66);
    CheckBox1->adjustSize();
    Caption(this, "CAN ID", 8, 95);
    Edit2 = Edit(this, "Edit2", kLeft, 92, 96);
    Edit2->setMaxLength(3);
    Edit2->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9A-Fa-f]*")), Edit2));
    RadioButton1 = Radio(this, "Big Endian", "RadioButton1", kLeft + 128, 93);
    RadioButton2 = Radio(this, "Little Endian", "RadioButton2", kLeft + 256, 93);
    endianGroup_ = new QButtonGroup(this);
    endianGroup_->addButton(RadioButton1);
    endianGroup_->addButton(RadioButton2);
}

// Start bit, width and the ruler's direction.
void TLabelDetailDialog::CreateBitRows()
{
    Caption(this, "Start", 8, 125);
    LabeledEdit1 = NumberBox(this, "LabeledEdit1", kDetailStartMax, kLeft, 122);
    Caption(this, "Width", kLeft + 96, 125);
    LabeledEdit2 = NumberBox(this, "LabeledEdit2", kDetailWidthMax, kLeft + 144, 122);
    RadioButton3 = Radio(this, "LSB First", "RadioButton3", kLeft + 256, 123);
    RadioButton4 = Radio(this, "MSB First", "RadioButton4", kLeft + 384, 123);
    rulerGroup_ = new QButtonGroup(this);
    rulerGroup_->addButton(RadioButton3);
    rulerGroup_->addButton(RadioButton4);
}

// The eight data bytes: the ruler, the bits the label covers and the mask of each byte.
void TLabelDetailDialog::CreateDataRows()
{
    Caption(this, "DATA", 8, 158);
    for (int k = 0; k < 8; ++k) {
        auto* l = new QLabel(QStringLiteral("Data%1").arg(k), this);
        l->setAlignment(Qt::AlignCenter);
        l->setGeometry(kLeft + k * kColumn, 156, kColumn, 16);
    }
    Label1 = new QLabel(RulerText(true), this);
    Label1->setObjectName("Label1");
    Label1->setGeometry(kLeft, 174, kBitsWidth + 16, 16);
    PaintBox1 = new TBitDisplay(this, this);
    PaintBox1->setObjectName("PaintBox1");
    PaintBox1->setGeometry(kLeft, 192, kBitsWidth, 24);
    Caption(this, "Mask (hex)", 8, 227);
    for (int k = 0; k < 8; ++k) {
        auto* p = new QLabel(QStringLiteral("XX"), this);
        p->setObjectName(QStringLiteral("DataPanel%1").arg(k));
        p->setAlignment(Qt::AlignCenter);
        p->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        p->setGeometry(kLeft + k * kColumn + 12, 224, kColumn - 24, 20);
        DataPanel[std::size_t(k)] = p;
    }
}

// Scale, offset, range and unit.
void TLabelDetailDialog::CreateValueRows()
{
    Caption(this, "LSB", 8, 261);
    Edit3 = Edit(this, "Edit3", kLeft + 32, 258, 160);
    Caption(this, "Offset", kLeft + 240, 261);
    Edit4 = Edit(this, "Edit4", kLeft + 320, 258, 160);
    Caption(this, "Min Value", 8, 289);
    Edit5 = Edit(this, "Edit5", kLeft + 32, 286, 160);
    Caption(this, "Max Value", kLeft + 240, 289);
    Edit6 = Edit(this, "Edit6", kLeft + 320, 286, 160);
    Caption(this, "Unit", 8, 317);
    Edit7 = Edit(this, "Edit7", kLeft + 32, 314, 160);
}

void TLabelDetailDialog::CreateButtons()
{
    OKBtn = new QPushButton("OK", this);
    OKBtn->setObjectName("OKBtn");
    OKBtn->setDefault(true);
    OKBtn->setGeometry(width() - 192, 336, 84, 26);
    CancelBtn = new QPushButton(tr("キャンセル"), this);
    CancelBtn->setObjectName("CancelBtn");
    CancelBtn->setGeometry(width() - 100, 336, 84, 26);
}

void TLabelDetailDialog::ConnectControls()
{
    for (QWidget* w : std::initializer_list<QWidget*>{
             Edit1, ComboBox1, CheckBox1, Edit2, RadioButton1, RadioButton2, LabeledEdit1, LabeledEdit2,
             RadioButton3, RadioButton4, Edit3, Edit4, Edit5, Edit6, Edit7})
        w->installEventFilter(this);

    // activated: only a pick by the user applies the type's defaults, not SetLabelText.
    connect(ComboBox1, &QComboBox::activated, this, &TLabelDetailDialog::ComboBoxClick);
    connect(CheckBox1, &QCheckBox::clicked, this, &TLabelDetailDialog::CheckBoxClick);
    connect(RadioButton3, &QRadioButton::toggled, this, &TLabelDetailDialog::RadioButtonClick);
    connect(LabeledEdit1, &QSpinBox::textChanged, this, &TLabelDetailDialog::NumbersChanged);
    connect(LabeledEdit2, &QSpinBox::textChanged, this, &TLabelDetailDialog::NumbersChanged);
    connect(OKBtn, &QPushButton::clicked, this, &TLabelDetailDialog::OKBtnClick);
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
}

void TLabelDetailDialog::Show(const TLabelDetail& d)
{
    Edit1->setText(d.name);
    ComboBox1->setCurrentIndex(ComboBox1->findText(d.type));
    CheckBox1->setChecked(d.extended);
    Edit2->setMaxLength(std::max<int>(IdTextLimit(d.extended), int(d.idText.size())));
    Edit2->setText(d.idText);
    endianGroup_->setExclusive(false);
    RadioButton1->setChecked(d.endian == TEndianChoice::Big);
    RadioButton2->setChecked(d.endian == TEndianChoice::Little);
    endianGroup_->setExclusive(true);
    RadioButton3->setChecked(d.lsbFirst);
    RadioButton4->setChecked(!d.lsbFirst);
    LabeledEdit1->setValue(d.start);
    LabeledEdit2->setValue(d.width);
    Edit3->setText(d.lsb);
    Edit4->setText(d.offset);
    Edit5->setText(d.min);
    Edit6->setText(d.max);
    Edit7->setText(d.unit);
    RadioButtonClick();
}

TLabelDetail TLabelDetailDialog::Detail() const
{
    TLabelDetail d;
    d.name = Edit1->text();
    d.type = ComboBox1->currentIndex() < 0 ? QString() : ComboBox1->currentText();
    d.extended = CheckBox1->isChecked();
    d.idText = Edit2->text();
    d.endian = RadioButton1->isChecked()   ? TEndianChoice::Big
               : RadioButton2->isChecked() ? TEndianChoice::Little
                                           : TEndianChoice::None;
    d.start = LabeledEdit1->value();
    d.width = LabeledEdit2->value();
    d.lsbFirst = !RadioButton4->isChecked();
    d.lsb = Edit3->text();
    d.offset = Edit4->text();
    d.min = Edit5->text();
    d.max = Edit6->text();
    d.unit = Edit7->text();
    return d;
}

void TLabelDetailDialog::SetLabelText(const QString& text)
{
    TLabelDetail d = Detail();
    ApplyLabelText(d, text);
    Show(d);
}

QString TLabelDetailDialog::GetLabelText() const { return FormatLabelText(Detail()); }

void TLabelDetailDialog::ComboBoxClick(int index)
{
    TLabelDetail d = Detail();
    if (!ApplyTypeDefaults(d, ComboBox1->itemText(index)))
        return;
    LabeledEdit2->setValue(d.width);
    Edit5->setText(d.min);
    Edit6->setText(d.max);
}

void TLabelDetailDialog::CheckBoxClick()
{
    const bool ext = CheckBox1->isChecked();
    const QString t = FormatIdText(ParseIdText(Edit2->text()), ext);
    // The limit must not cut a value that needs more digits than it allows.
    Edit2->setMaxLength(std::max<int>(IdTextLimit(ext), int(t.size())));
    Edit2->setText(t);
}

void TLabelDetailDialog::RadioButtonClick()
{
    Label1->setText(RulerText(!RadioButton4->isChecked()));
    NumbersChanged();
}

void TLabelDetailDialog::NumbersChanged()
{
    const bool lsbFirst = !RadioButton4->isChecked();
    const std::uint64_t mask = PositionRangeMask(DisplayedStart(LabeledEdit1->cleanText(), lsbFirst),
                                                 ReadBoxInt(LabeledEdit2->cleanText()));
    const auto bytes = MaskByteTexts(mask);
    for (std::size_t k = 0; k < 8; ++k)
        DataPanel[k]->setText(bytes[k]);
    PaintBox1->update();
}

void TLabelDetailDialog::PaintBoxPaint(QWidget* box)
{
    const bool lsbFirst = !RadioButton4->isChecked();
    const int a = DisplayedStart(LabeledEdit1->cleanText(), lsbFirst);
    const int n = ReadBoxInt(LabeledEdit2->cleanText());
    const int w = box->width();
    const int h = box->height();
    const QPalette& pal = box->palette();

    QPainter p(box);
    p.fillRect(box->rect(), pal.color(QPalette::Base));
    QPen solid(pal.color(QPalette::Text), 0, Qt::SolidLine);
    QPen dotted(pal.color(QPalette::Text), 0, Qt::DotLine);
    for (int i = 1; i < 64; ++i) {
        p.setPen(i % 4 == 0 ? solid : dotted);
        const int x = BoundaryX(i, w);
        p.drawLine(x, 0, x, h - 1);
    }
    const int x0 = BoundaryX(std::clamp(a, 0, 64), w) + 1;
    const int x1 = BoundaryX(std::clamp(a + n, 0, 64), w);
    if (n > 0 && x1 > x0) {
        // The range is mixed onto what is drawn (pen OR NOT background), so the column
        // lines stay visible through it.
        p.setCompositionMode(QPainter::RasterOp_SourceOrNotDestination);
        p.fillRect(QRect(x0, 0, x1 - x0, h), pal.color(QPalette::Highlight));
        p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    }
    p.setPen(solid);
    p.setBrush(Qt::NoBrush);
    p.drawRect(0, 0, w - 1, h - 1);
}

bool TLabelDetailDialog::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        auto* ke = static_cast<QKeyEvent*>(event);
        if (ke->key() == Qt::Key_Return || ke->key() == Qt::Key_Enter) {
            // Enter moves on like Tab; it never presses OK from an input control.
            focusNextChild();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TLabelDetailDialog::OKBtnClick()
{
    const TLabelDetail d = Detail();
    const TDetailProblem problem = CheckLabelDetail(d.name, d.type);
    if (problem == TDetailProblem::None) {
        accept();
        return;
    }
    QMessageBox::critical(this, ApplicationTitle(), DetailProblemText(problem), QMessageBox::Ok);
    if (problem == TDetailProblem::NoName)
        Edit1->setFocus();
    else
        ComboBox1->setFocus();
}

}  // namespace tarvik
