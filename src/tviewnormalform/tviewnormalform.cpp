#include "tviewnormalform/tviewnormalform.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QScreen>
#include <QScrollBar>
#include <QVBoxLayout>
#include <QWheelEvent>

#include "platform/fonts.h"
#include "platform/guicall.h"
#include "subfuncs/subfuncs.h"
#include "tviewnormalform/monitorscroll.h"
#include "tviewnormalform/monitortextarea.h"
#include "tviewnormalform/tnormallogthread.h"

namespace tarvik {

void PlaceUnderMainWindow(QWidget* w, QWidget* mainWindow)
{
    if (!mainWindow)
        return;
    const QRect main = mainWindow->frameGeometry();
    const QScreen* screen = mainWindow->screen();
    const QRect work = screen ? screen->availableGeometry() : QRect();
    const int frameExtra = w->frameGeometry().height() - w->height();
    const int height = work.height() - main.height() - frameExtra;
    w->move(main.left(), main.top() + main.height());
    if (height > 0)
        w->resize(main.width() - (w->frameGeometry().width() - w->width()), height);
}

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
    : QWidget(parent, Qt::Window), registrar_(std::move(registrar))
{
    setObjectName(QStringLiteral("ViewNormalForm"));
    setWindowTitle(QStringLiteral("Monitor Window (Realtime)"));
    setFont(WindowFont(12));
    resize(408, 640);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    PaintBox1 = new TBarGraph(this);
    layout->addWidget(PaintBox1);
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
    // The log thread's history is the line source; it exists before any redraw can happen.
    Bevel1 = new TMonitorTextArea([this](std::int32_t i) { return log_->GetLine(i); },
                                  [this] { return log_ ? log_->Count() : 0; }, ScrollBar1, this);
    row->addWidget(Bevel1, 1);
    row->addWidget(ScrollBar1);
    layout->addLayout(row, 1);
    connect(ScrollBar1, &QScrollBar::valueChanged, this, [this] { ScrollBar1Change(); });

    PaintBox1->SetMax(historyCapacity);
    log_ = std::make_unique<TNormalLogThread>([this] { RefreshMessage(); }, ticks_, ring_, 100, historyCapacity);
    if (registrar_)
        registrar_(&ring_);
}

TViewNormalForm::~TViewNormalForm()
{
    FormClose();
}

void TViewNormalForm::Unregister()
{
    if (registrar_)
        registrar_(nullptr);
    registrar_ = nullptr;
}

void TViewNormalForm::FormClose()
{
    // The receive thread lets go of the ring before the worker that drains it stops.
    Unregister();
    log_.reset();
}

bool TViewNormalForm::PauseMonitor()
{
    const bool running = host_.running ? host_.running() : true;
    if (!log_ || IsPaused() || !running)
        return false;
    log_->SetPaused(true);
    return true;
}

bool TViewNormalForm::ContinueMonitor()
{
    if (!IsPaused())
        return false;
    log_->SetPaused(false);
    return true;
}

bool TViewNormalForm::Drain(int timeoutMs)
{
    if (!log_)
        return false;
    return WaitServingGuiCalls([this] { return log_->Idle(); }, std::chrono::milliseconds(timeoutMs));
}

bool TViewNormalForm::IsPaused() const
{
    return log_ && log_->IsPaused();
}

bool TViewNormalForm::HasLines() const
{
    return log_ && log_->Count() > 0;
}

QString TViewNormalForm::GetMonitorText() const
{
    return log_ ? QString::fromLatin1(log_->GetAllText()) : QString();
}

void TViewNormalForm::ClearMonitor()
{
    ScrollBar1->setMaximum(0);
    if (log_)
        log_->RequestClear();
}

void TViewNormalForm::ScrollBar1Change()
{
    if (log_)
        Bevel1->Redraw();
}

void TViewNormalForm::UpdateLosses()
{
    TLossCounts c = host_.losses ? host_.losses() : TLossCounts{};
    c.overwritten = log_->History().Overwritten();
    PaintBox1->SetLosses(c);
}

void TViewNormalForm::RefreshMessage()
{
    if (!log_)
        return;
    const std::int32_t count = log_->Count();
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

void TViewNormalForm::wheelEvent(QWheelEvent* event)
{
    // One notch (120) moves one line; finer wheels add up to a notch.
    wheelRest_ += event->angleDelta().y();
    while (wheelRest_ >= 120 || wheelRest_ <= -120) {
        const int delta = wheelRest_ > 0 ? 120 : -120;
        wheelRest_ -= delta;
        ScrollBar1->setValue(WheelStep(ScrollBar1->value(), ScrollBar1->minimum(), ScrollBar1->maximum(),
                                       Bevel1->LinesPerPage(), delta));
    }
    event->accept();
}

void TViewNormalForm::showEvent(QShowEvent* event)
{
    PlaceUnderMainWindow(this, host_.mainWindow);
    QWidget::showEvent(event);
}

void TViewNormalForm::closeEvent(QCloseEvent* event)
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
