#include "tgraphform/tgraphconfdialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "platform/fonts.h"
#include "tgraphform/graphconf.h"

namespace tarvik {

namespace {

template <std::size_t N>
QComboBox* NewList(QWidget* parent, const char* name, const std::array<const char*, N>& items, const char* initial)
{
    auto* box = new QComboBox(parent);
    box->setObjectName(QString::fromLatin1(name));
    for (const char* item : items)
        box->addItem(QString::fromLatin1(item));
    box->setCurrentText(QString::fromLatin1(initial));
    return box;
}

// Leaves the selection as it was when no item has the value's text.
void SelectValue(QComboBox* box, int v)
{
    const int i = box->findText(QString::number(v), Qt::MatchExactly);
    if (i >= 0)
        box->setCurrentIndex(i);
}

int EditValue(const QLineEdit* edit, int def) { return StrToIntDef(edit->text().toStdString(), def); }
int ListValue(const QComboBox* box) { return StrToIntDef(box->currentText().toStdString(), 0); }

}  // namespace

TGraphConfDialog::TGraphConfDialog(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("TGraphConfDialog"));
    setWindowTitle(QStringLiteral("Graph Config"));
    setFont(WindowFont(12));
    setFixedSize(313, 255);

    OKBtn = new QPushButton(QStringLiteral("OK"), this);
    OKBtn->setObjectName(QStringLiteral("OKBtn"));
    OKBtn->setDefault(true);
    OKBtn->setGeometry(64, 218, 80, 25);
    CancelBtn = new QPushButton(tr("キャンセル"), this);
    CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
    CancelBtn->setGeometry(168, 218, 80, 25);
    connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);

    auto* bevel = new QFrame(this);
    bevel->setFrameStyle(QFrame::Box | QFrame::Sunken);
    bevel->setGeometry(8, 8, 297, 198);

    const int captionRight = 150;
    auto caption = [this](const char* text, int y) {
        auto* l = new QLabel(QString::fromUtf8(text), this);
        l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        l->setGeometry(12, y, captionRight - 16, 22);
    };
    auto unit = [this](const QString& text, int x, int y) {
        auto* l = new QLabel(text, this);
        l->setGeometry(x, y, 30, 22);
    };
    caption("Graph Y Scale:", 20);
    Edit1 = new QLineEdit(QStringLiteral("-100"), this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setGeometry(captionRight, 20, 64, 22);
    //: the range sign between the lower and the upper bound
    unit(tr("～"), captionRight + 68, 20);
    Edit2 = new QLineEdit(QStringLiteral("1000"), this);
    Edit2->setObjectName(QStringLiteral("Edit2"));
    Edit2->setGeometry(captionRight + 86, 20, 64, 22);
    caption("Graph Y Pitch:", 50);
    Edit3 = new QLineEdit(QStringLiteral("100"), this);
    Edit3->setObjectName(QStringLiteral("Edit3"));
    Edit3->setGeometry(captionRight, 50, 64, 22);
    caption("Graph X Width:", 80);
    ComboBox1 = NewList(this, "ComboBox1", kTimeWidthItems, "20");
    ComboBox1->setGeometry(captionRight, 80, 64, 22);
    unit("sec", captionRight + 70, 80);
    caption("Log Sampling Rate:", 110);
    ComboBox2 = NewList(this, "ComboBox2", kSampleRateItems, "10");
    ComboBox2->setGeometry(captionRight, 110, 64, 22);
    unit("ms", captionRight + 70, 110);
    caption("Graph Draw Rate:", 140);
    ComboBox3 = NewList(this, "ComboBox3", kPlotRateItems, "50");
    ComboBox3->setGeometry(captionRight, 140, 64, 22);
    unit("ms", captionRight + 70, 140);

    CheckBox1 = new QCheckBox(QStringLiteral("Each label on its own range"), this);
    CheckBox1->setObjectName(QStringLiteral("CheckBox1"));
    CheckBox1->setGeometry(20, 172, 270, 22);

    QWidget::setTabOrder(OKBtn, CancelBtn);
    QWidget::setTabOrder(CancelBtn, Edit1);
    QWidget::setTabOrder(Edit1, Edit2);
    QWidget::setTabOrder(Edit2, Edit3);
    QWidget::setTabOrder(Edit3, ComboBox1);
    QWidget::setTabOrder(ComboBox1, ComboBox2);
    QWidget::setTabOrder(ComboBox2, ComboBox3);
    QWidget::setTabOrder(ComboBox3, CheckBox1);
}

void TGraphConfDialog::SetMinYScale(int v) { Edit1->setText(QString::number(v)); }
void TGraphConfDialog::SetMaxYScale(int v) { Edit2->setText(QString::number(v)); }
void TGraphConfDialog::SetYPitch(int v) { Edit3->setText(QString::number(v)); }
void TGraphConfDialog::SetTimeWidth(int s) { SelectValue(ComboBox1, s); }
void TGraphConfDialog::SetSampleRate(int ms) { SelectValue(ComboBox2, ms); }
void TGraphConfDialog::SetPlotRate(int ms) { SelectValue(ComboBox3, ms); }
int TGraphConfDialog::GetMinYScale() const { return EditValue(Edit1, -100); }
int TGraphConfDialog::GetMaxYScale() const { return EditValue(Edit2, 1000); }
int TGraphConfDialog::GetYPitch() const { return EditValue(Edit3, 100); }
int TGraphConfDialog::GetTimeWidth() const { return ListValue(ComboBox1); }
int TGraphConfDialog::GetSampleRate() const { return ListValue(ComboBox2); }
int TGraphConfDialog::GetPlotRate() const { return ListValue(ComboBox3); }
void TGraphConfDialog::SetOwnRanges(bool on) { CheckBox1->setChecked(on); }
bool TGraphConfDialog::GetOwnRanges() const { return CheckBox1->isChecked(); }

}  // namespace tarvik
