#include "tviewfixedform/tviewfixedform.h"

#include <QScrollBar>

#include "tviewfixedform/tfixedlogthread.h"

namespace tarvik {

TViewFixedForm::TViewFixedForm(RingRegistrar registrar, QWidget* parent)
    : TMonitorForm(std::move(registrar), parent, QStringLiteral("ViewFixedForm"),
                   QStringLiteral("Monitor Window (Fixed ID Position)"))
{
    Start(std::make_unique<TFixedLogThread>([this] { RefreshMessage(); }, ticks_, ring_, 100));
}

TViewFixedForm::~TViewFixedForm()
{
    FormClose();
}

TFixedLogThread& TViewFixedForm::LogThread()
{
    return static_cast<TFixedLogThread&>(*log_);
}

void TViewFixedForm::RefreshMessage()
{
    if (!log_)
        return;
    const std::int32_t count = log_->LineCount();
    const bool paused = IsPaused();
    if (count != ScrollBar1->maximum()) {
        // A position above the new maximum is pulled down to it; a paused screen stays as it is.
        const QSignalBlocker block(ScrollBar1);
        ScrollBar1->setMaximum(count);
    }
    if (!paused)
        ScrollBar1Change();
}

}  // namespace tarvik
