#include "tviewfixedform/tviewfixedform.h"

#include <QLabel>
#include <QScrollBar>
#include <QTimer>
#include <algorithm>
#include <string_view>

#include "subfuncs/subfuncs.h"

#include "monitorview/monitortextarea.h"
#include "tviewfixedform/tfixedlogthread.h"

namespace tarvik {

TViewFixedForm::TViewFixedForm(RingRegistrar registrar, QWidget* parent)
    : TMonitorForm(std::move(registrar), parent, QStringLiteral("ViewFixedForm"),
                   QStringLiteral("Monitor Window (Fixed ID Position)"))
{
    Start(std::make_unique<TFixedLogThread>([this] { RefreshMessage(); }, ticks_, ring_, 100));
    fade_ = new QTimer(this);
    fade_->setSingleShot(true);
    fade_->setInterval(250);
    Bevel1->SetMarkSource([this](std::int32_t i) {
        TFixedLogThread& log = LogThread();
        const std::uint8_t changed = log.StatsColumns() ? log.Table().ChangedBytes(i, log.Now()) : 0;
        return TLineMarks{changed, selected_ && log.Table().KeyAt(i) == *selected_};
    });
    connect(fade_, &QTimer::timeout, this, [this] {
        if (!IsPaused())
            ScrollBar1Change();
        FadeChanges();
    });
}

void TViewFixedForm::SetStatsColumns(bool shown)
{
    if (!log_)
        return;
    LogThread().SetStatsColumns(shown);
    const QString header = QString::fromLatin1(kMonitorHeader);
    Panel1->setText(shown ? header.leftJustified(int(kFrameTextWidth)) + QString::fromLatin1(kSlotStatsHeader)
                          : header);
    FitColumns();
    ScrollBar1Change();
    FadeChanges();
}

void TViewFixedForm::showEvent(QShowEvent* event)
{
    TMonitorForm::showEvent(event);
    FitColumns();
}

void TViewFixedForm::FitColumns()
{
    if (!StatsColumns())
        return;
    const int cells = int(kFrameTextWidth + std::string_view(kSlotStatsHeader).size()) + 1;
    const int need = cells * Bevel1->Surface().CellWidth() + width() - Bevel1->width() + 6;
    if (width() < need)
        resize(need, height());
}

bool TViewFixedForm::StatsColumns() const
{
    return log_ && static_cast<const TFixedLogThread&>(*log_).StatsColumns();
}

void TViewFixedForm::FadeChanges()
{
    // A hidden window draws nothing, so there is nothing to fade until it shows again.
    if (isVisible() && Bevel1->ShowsChanges() && !fade_->isActive())
        fade_->start();
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
    if (!paused) {
        ScrollBar1Change();
        ShowSignals();  // the selected identifier's latest frame
    }
    FadeChanges();
}

void TViewFixedForm::SelectLine(std::int32_t index, int step)
{
    if (!log_)
        return;
    const TFixedTable& table = LogThread().Table();
    const std::int32_t count = table.SlotCount();
    if (step != 0) {
        // From the selected line, or onto the first line shown when there is none.
        const std::int32_t at = selected_ ? table.IndexOf(*selected_) : -1;
        index = at < 0 ? Bevel1->FirstLine() : std::clamp(at + step, 0, std::max(count - 1, 0));
    }
    if (index < 0 || index >= count)
        return;
    selected_ = table.KeyAt(index);
    ScrollToLine(index);
    ShowSignals(true);
}

bool TViewFixedForm::SelectedRecord(AdapterRecord& record) const
{
    return log_ && selected_ &&
           static_cast<const TFixedLogThread&>(*log_).Table().IndexOf(*selected_, &record) >= 0;
}

}  // namespace tarvik
