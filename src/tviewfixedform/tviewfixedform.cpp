#include "tviewfixedform/tviewfixedform.h"

#include <QCloseEvent>
#include <QStringList>
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
    resize(480, 260);

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
    AdapterRecord r;
    for (std::uint32_t n = ring_.Count(); n > 0 && ring_.Pop(r.bytes.data()); --n) {
        if (paused_) continue;
        quint32 key = r.IsLin() ? (0x40000000u | r.LinIdentifier())
                                : (r.Extended() ? (0x80000000u | (r.Identifier() & 0x1FFFFFFF))
                                                : (r.Identifier() & 0x7FF));
        lines_.insert(key, r.bytes);
        dirty_ = true;
    }
    if (dirty_ && isVisible()) {
        QStringList shown;
        for (const auto& rec : lines_) shown << PlainRecordLine(rec.data());
        view_->setPlainText(shown.join(QLatin1Char('\n')));
        dirty_ = false;
    }
}

void TViewFixedForm::PauseMonitor() { paused_ = true; }
void TViewFixedForm::ContinueMonitor() { paused_ = false; }

QString TViewFixedForm::GetMonitorText() const
{
    QString text;
    for (const auto& rec : lines_) text += PlainRecordLine(rec.data()) + QStringLiteral("\r\n");
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
