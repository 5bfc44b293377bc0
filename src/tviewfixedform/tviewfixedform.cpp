#include "tviewfixedform/tviewfixedform.h"

#include <QScrollBar>
#include <algorithm>

#include "monitorview/monitortextarea.h"
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
    // A position P shows the page ending before line P, so every position up to one page
    // shows the first page: the bar starts at one page (or at the count, when all fit), and
    // every step of it moves the rows.
    const std::int32_t lowest = std::min<std::int32_t>(std::max(Bevel1->LinesPerPage(), 0), count);
    if (count != ScrollBar1->maximum() || lowest != ScrollBar1->minimum()) {
        // A position outside the new range is pulled into it; a paused screen stays as it is.
        const QSignalBlocker block(ScrollBar1);
        ScrollBar1->setRange(lowest, count);
    }
    if (!paused)
        ScrollBar1Change();
}

}  // namespace tarvik
