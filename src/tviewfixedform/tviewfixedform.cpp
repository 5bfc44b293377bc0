#include "tviewfixedform/tviewfixedform.h"

#include <QCloseEvent>
#include <QPlainTextEdit>
#include <QTimer>
#include <QVBoxLayout>

#include "platform/fonts.h"
#include "tusbdev/adapterprotocol.h"
#include "tviewnormalform/tviewnormalform.h"

namespace tarvik {

TViewFixedForm::TViewFixedForm(RingRegistrar registrar, QWidget* parent)
    : QWidget(parent, Qt::Window), registrar_(std::move(registrar))
{
    setObjectName(QStringLiteral("ViewFixedForm"));
    setWindowTitle(QStringLiteral("Monitor Window (Fixed ID Position)"));
    setFont(WindowFont());
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    view_ = new QPlainTextEdit(this);
    view_->setReadOnly(true);
    view_->setLineWrapMode(QPlainTextEdit::NoWrap);
    layout->addWidget(view_);
    resize(560, 320);

    drainTimer_ = new QTimer(this);
    drainTimer_->setInterval(100);
    connect(drainTimer_, &QTimer::timeout, this, &TViewFixedForm::Drain);
    drainTimer_->start();
    if (registrar_) registrar_(&ring_);
}

TViewFixedForm::~TViewFixedForm() { Unregister(); }

void TViewFixedForm::Unregister()
{
    if (registrar_) registrar_(nullptr);
    registrar_ = nullptr;
}

void TViewFixedForm::Drain()
{
    std::uint8_t rec[kRecordSize];
    for (std::uint32_t n = ring_.Count(); n > 0 && ring_.Pop(rec); --n) {
        if (paused_) continue;
        AdapterRecord r;
        std::copy(rec, rec + kRecordSize, r.bytes.begin());
        quint32 key = r.IsLin() ? (0x40000000u | r.LinIdentifier())
                                : (r.Extended() ? (0x80000000u | (r.Identifier() & 0x1FFFFFFF))
                                                : (r.Identifier() & 0x7FF));
        lines_.insert(key, PlainRecordLine(rec));
        dirty_ = true;
    }
    if (dirty_ && isVisible()) {
        view_->setPlainText(QStringList(lines_.values()).join(QLatin1Char('\n')));
        dirty_ = false;
    }
}

void TViewFixedForm::PauseMonitor() { paused_ = true; }
void TViewFixedForm::ContinueMonitor() { paused_ = false; }

QString TViewFixedForm::GetMonitorText() const
{
    QString text;
    for (const QString& l : lines_) text += l + QStringLiteral("\r\n");
    return text;
}

void TViewFixedForm::ClearMonitor()
{
    ring_.Clear();
    lines_.clear();
    view_->clear();
    dirty_ = false;
}

void TViewFixedForm::closeEvent(QCloseEvent* event)
{
    if (!closeAllowed_) {
        hide();
        event->ignore();
        return;
    }
    drainTimer_->stop();
    Unregister();
    event->accept();
}

}  // namespace tarvik
