#include "tviewnormalform/tviewnormalform.h"

#include <QPainter>
#include <QScrollBar>
#include <QVBoxLayout>

#include "tviewnormalform/tnormallogthread.h"

namespace tarvik {

TBarGraph::TBarGraph(QWidget* parent) : QFrame(parent)
{
    setObjectName(QStringLiteral("PaintBox1"));
    setFrameStyle(QFrame::Box | QFrame::Plain);
    setFixedHeight(18);
}

void TBarGraph::SetPosition(std::int64_t position)
{
    if (value_.SetPosition(position))
        update();
}

void TBarGraph::SetLosses(const TLossCounts& losses)
{
    const bool changed = losses.ringDropped != losses_.ringDropped || losses.badRecords != losses_.badRecords ||
                         losses.partialBytes != losses_.partialBytes || losses.overwritten != losses_.overwritten;
    losses_ = losses;
    if (changed) {
        setToolTip(LossDetails(losses_));
        update();
    }
}

void TBarGraph::paintEvent(QPaintEvent* event)
{
    QFrame::paintEvent(event);
    QPainter p(this);
    const QRect r = contentsRect();
    p.fillRect(r, palette().color(QPalette::Base));
    p.setPen(palette().color(QPalette::Text));
    p.drawText(r, Qt::AlignCenter, QString::fromStdString(value_.Text()));
    // Loss counts beside the percentage; lost frames stand out in red.
    const QRect side = r.adjusted(4, 0, -4, 0);
    if (LostFrames(losses_) != 0 || losses_.partialBytes != 0)
        p.setPen(Qt::red);
    p.drawText(side, Qt::AlignLeft | Qt::AlignVCenter, LossText(losses_));
    p.setPen(palette().color(QPalette::Text));
    p.drawText(side, Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("overwritten %1").arg(losses_.overwritten));
    // The bar shows the text under it inverted.
    const int w = int(std::int64_t(value_.PerMille()) * r.width() / 1000);
    if (w > 0) {
        p.setCompositionMode(QPainter::RasterOp_SourceOrNotDestination);
        p.fillRect(QRect(r.left(), r.top(), w, r.height()), palette().color(QPalette::Highlight));
    }
}

TViewNormalForm::TViewNormalForm(RingRegistrar registrar, QWidget* parent, std::int32_t historyCapacity)
    : TMonitorForm(std::move(registrar), parent, QStringLiteral("ViewNormalForm"),
                   QStringLiteral("Monitor Window (Realtime)"))
{
    PaintBox1 = new TBarGraph(this);
    layout_->insertWidget(0, PaintBox1);
    PaintBox1->SetMax(historyCapacity);
    Start(std::make_unique<TNormalLogThread>([this] { RefreshMessage(); }, ticks_, ring_, 100, historyCapacity));
}

TViewNormalForm::~TViewNormalForm()
{
    FormClose();
}

TNormalLogThread& TViewNormalForm::LogThread()
{
    return static_cast<TNormalLogThread&>(*log_);
}

void TViewNormalForm::UpdateLosses()
{
    TLossCounts c = host_.losses ? host_.losses() : TLossCounts{};
    c.overwritten = LogThread().History().Overwritten();
    PaintBox1->SetLosses(c);
}

void TViewNormalForm::RefreshMessage()
{
    if (!log_)
        return;
    const std::int32_t count = log_->LineCount();
    if (!IsPaused()) {
        if (count == 0 || count == ScrollBar1->value()) {
            ScrollBar1Change();
        } else {
            // Range and position in one step, then one redraw of the newest page.
            const QSignalBlocker block(ScrollBar1);
            ScrollBar1->setRange(0, count);
            ScrollBar1->setValue(count);
            ScrollBar1Change();
        }
    }
    PaintBox1->SetPosition(count);
    UpdateLosses();
}

}  // namespace tarvik
