#include "dialogs/twarningdialog.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <algorithm>

#include "platform/fonts.h"

namespace tarvik {

namespace {
// The question's place inside the bevel.
constexpr int kTextLeft = 24, kTextTop = 16, kTextWidth = 377;
constexpr int kBevelTop = 8, kMinBevelHeight = 105, kMinHeight = 162;
}  // namespace

TWarningDialog::TWarningDialog(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint)
{
    setObjectName("WarningDialog");
    setWindowTitle(tr("重要な質問"));
    setFont(WindowFont(12));

    // One text, so a translation can order its words freely; the warnings stand out in red.
    auto* question = new QLabel(this);
    question->setObjectName("Question");
    question->setTextFormat(Qt::RichText);
    question->setWordWrap(true);
    QFont bold = WindowFont(12);
    bold.setBold(true);
    question->setFont(bold);
    question->setText(
        tr("<p style=\"margin:0\">本機能は、<span style=\"color:#ff0000\">偽のメッセージをCANバス上に送信</span>します。</p>"
           "<p style=\"margin-top:12px; margin-bottom:0\">よって、使用法を誤れば、本モニタを接続している設備や車両に<br>"
           "<span style=\"color:#ff0000; font-size:16px\">重大な災害や事故を引き起こす危険性</span>があります。</p>"
           "<p style=\"margin-top:12px; margin-bottom:0\">上記の内容をご理解頂いた上で、本機能を使用しますか？</p>"));
    const int textHeight = question->heightForWidth(kTextWidth);
    question->setGeometry(kTextLeft, kTextTop, kTextWidth, textHeight);

    // A longer translation makes the dialog taller rather than cutting the question off.
    const int bevelHeight = std::max(kMinBevelHeight, kTextTop - kBevelTop + textHeight + 8);
    const int grow = bevelHeight - kMinBevelHeight;
    setFixedSize(425, kMinHeight + grow);

    auto* bevel = new QFrame(this);
    bevel->setObjectName("Bevel1");
    bevel->setFrameStyle(QFrame::Box | QFrame::Sunken);
    bevel->setGeometry(8, kBevelTop, 409, bevelHeight);
    bevel->lower();

    auto* yes = new QPushButton("Yes", this);
    yes->setObjectName("OKBtn");
    yes->setGeometry(127, 124 + grow, 75, 25);
    // Enter must never answer Yes by accident, not even with Yes focused.
    yes->setAutoDefault(false);
    connect(yes, &QPushButton::clicked, this, &QDialog::accept);

    auto* no = new QPushButton("No", this);
    no->setObjectName("CancelBtn");
    no->setGeometry(207, 124 + grow, 75, 25);
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
