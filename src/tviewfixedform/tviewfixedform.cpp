#include "tviewfixedform/tviewfixedform.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QScrollBar>
#include <QVBoxLayout>
#include <QWheelEvent>

#include "platform/fonts.h"
#include "platform/guicall.h"
#include "subfuncs/subfuncs.h"
#include "tviewfixedform/tfixedlogthread.h"
#include "tviewnormalform/monitorscroll.h"
#include "tviewnormalform/monitortextarea.h"

namespace tarvik {

TViewFixedForm::TViewFixedForm(RingRegistrar registrar, QWidget* parent)
    : QWidget(parent, Qt::Window), registrar_(std::move(registrar))
{
    setObjectName(QStringLiteral("ViewFixedForm"));
    setWindowTitle(QStringLiteral("Monitor Window (Fixed ID Position)"));
    setFont(WindowFont(12));
    resize(408, 640);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    Panel1 = new QLabel(QString::fromLatin1(kMonitorHeader), this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFixedHeight(18);
    Panel1->setFrameStyle(QFrame::Box | QFrame::Plain);
    Panel1->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    layout->addWidget(Panel1);
    auto* row = new QHBoxLayout;
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    ScrollBar1 = NewMonitorScrollBar(this);
    Bevel1 = new TMonitorTextArea([this](std::int32_t i) { return log_->GetLine(i); },
                                  [this] { return log_ ? log_->SlotCount() : 0; }, ScrollBar1, this);
    row->addWidget(Bevel1, 1);
    row->addWidget(ScrollBar1);
    layout->addLayout(row, 1);
    connect(ScrollBar1, &QScrollBar::valueChanged, this, [this] { ScrollBar1Change(); });

    log_ = std::make_unique<TFixedLogThread>([this] { RefreshMessage(); }, ticks_, ring_, 100);
    if (registrar_)
        registrar_(&ring_);
}

TViewFixedForm::~TViewFixedForm()
{
    FormClose();
}

void TViewFixedForm::Unregister()
{
    if (registrar_)
        registrar_(nullptr);
    registrar_ = nullptr;
}

void TViewFixedForm::FormClose()
{
    Unregister();
    log_.reset();
}

bool TViewFixedForm::PauseMonitor()
{
    const bool running = host_.running ? host_.running() : true;
    if (!log_ || IsPaused() || !running)
        return false;
    log_->SetPaused(true);
    return true;
}

bool TViewFixedForm::ContinueMonitor()
{
    if (!IsPaused())
        return false;
    log_->SetPaused(false);
    return true;
}

bool TViewFixedForm::Drain(int timeoutMs)
{
    if (!log_)
        return false;
    return WaitServingGuiCalls([this] { return log_->Idle(); }, std::chrono::milliseconds(timeoutMs));
}

bool TViewFixedForm::IsPaused() const
{
    return log_ && log_->IsPaused();
}

bool TViewFixedForm::HasLines() const
{
    return log_ && log_->SlotCount() > 0;
}

QString TViewFixedForm::GetMonitorText() const
{
    return log_ ? QString::fromLatin1(log_->GetAllText()) : QString();
}

void TViewFixedForm::ClearMonitor()
{
    ScrollBar1->setMaximum(0);
    if (log_)
        log_->ClearTable();
}

void TViewFixedForm::ScrollBar1Change()
{
    if (log_)
        Bevel1->Redraw();
}

void TViewFixedForm::RefreshMessage()
{
    if (!log_)
        return;
    const std::int32_t count = log_->SlotCount();
    const bool paused = IsPaused();
    if (count != ScrollBar1->maximum()) {
        // A position above the new maximum is pulled down to it; a paused screen stays as it is.
        const QSignalBlocker block(ScrollBar1);
        ScrollBar1->setMaximum(count);
    }
    if (!paused)
        ScrollBar1Change();
}

void TViewFixedForm::wheelEvent(QWheelEvent* event)
{
    wheelRest_ += event->angleDelta().y();
    while (wheelRest_ >= 120 || wheelRest_ <= -120) {
        const int delta = wheelRest_ > 0 ? 120 : -120;
        wheelRest_ -= delta;
        ScrollBar1->setValue(WheelStep(ScrollBar1->value(), ScrollBar1->minimum(), ScrollBar1->maximum(),
                                       Bevel1->LinesPerPage(), delta));
    }
    event->accept();
}

void TViewFixedForm::showEvent(QShowEvent* event)
{
    PlaceUnderMainWindow(this, host_.mainWindow);
    QWidget::showEvent(event);
}

void TViewFixedForm::closeEvent(QCloseEvent* event)
{
    if (!closeAllowed_) {
        hide();
        event->ignore();
        return;
    }
    FormClose();
    event->accept();
}

}  // namespace tarvik
