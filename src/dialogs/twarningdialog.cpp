#include "dialogs/twarningdialog.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>

#include "platform/fonts.h"

namespace tarvik {

namespace {
QLabel* AddLabel(QWidget* parent, const char* name, const char* text, int x, int y, const QColor& colour,
                 int pixelHeight = 12)
{
    auto* l = new QLabel(QString::fromUtf8(text), parent);
    l->setObjectName(name);
    QFont f = WindowFont(pixelHeight);
    f.setBold(true);
    l->setFont(f);
    QPalette pal = l->palette();
    pal.setColor(QPalette::WindowText, colour);
    l->setPalette(pal);
    l->move(x, y);
    l->adjustSize();
    return l;
}
}  // namespace

TWarningDialog::TWarningDialog(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint)
{
    setObjectName("WarningDialog");
    setWindowTitle(QString::fromUtf8("重要な質問"));
    setFont(WindowFont(12));
    setFixedSize(425, 162);

    auto* bevel = new QFrame(this);
    bevel->setObjectName("Bevel1");
    bevel->setFrameStyle(QFrame::Box | QFrame::Sunken);
    bevel->setGeometry(8, 8, 409, 105);

    const QColor text = palette().color(QPalette::WindowText);
    const QColor red(255, 0, 0);
    AddLabel(this, "Label1", "本機能は、", 24, 16, text);
    AddLabel(this, "Label2", "偽のメッセージをCANバス上に送信", 88, 16, red);
    AddLabel(this, "Label3", "します。", 296, 16, text);
    AddLabel(this, "Label4", "よって、使用法を誤れば、本モニタを接続している設備や車両に", 24, 40, text);
    AddLabel(this, "Label5", "重大な災害や事故を引き起こす危険性", 24, 56, red, 16);
    AddLabel(this, "Label6", "があります。", 320, 60, Qt::black);
    AddLabel(this, "Label7", "上記の内容をご理解頂いた上で、本機能を使用しますか？", 24, 88, text);

    auto* yes = new QPushButton("Yes", this);
    yes->setObjectName("OKBtn");
    yes->setGeometry(127, 124, 75, 25);
    // Enter must never answer Yes by accident, not even with Yes focused.
    yes->setAutoDefault(false);
    connect(yes, &QPushButton::clicked, this, &QDialog::accept);

    auto* no = new QPushButton("No", this);
    no->setObjectName("CancelBtn");
    no->setGeometry(207, 124, 75, 25);
    no->setAutoDefault(false);
    no->setDefault(true);
    no->setFocus();
    connect(no, &QPushButton::clicked, this, &QDialog::reject);
}

bool TWarningDialog::Ask(QWidget* parent)
{
    TWarningDialog dlg(parent);
    return dlg.exec() == QDialog::Accepted;
}

}  // namespace tarvik
