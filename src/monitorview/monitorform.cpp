#include "monitorview/monitorform.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QScreen>
#include <QScrollBar>
#include <QVBoxLayout>
#include <QWheelEvent>

#include "platform/fonts.h"
#include "platform/guicall.h"
#include "subfuncs/subfuncs.h"
#include "monitorview/monitorscroll.h"
#include "monitorview/monitortextarea.h"
#include "monitorview/tmonitorlogthread.h"
#include "widgets/placement.h"

namespace tarvik {

void PlaceUnderMainWindow(QWidget* w, QWidget* mainWindow)
{
    if (!mainWindow)
        return;
    const QRect main = mainWindow->frameGeometry();
    const QScreen* screen = mainWindow->screen();
    const QRect work = screen ? screen->availableGeometry() : QRect();
    const int height = work.height() - main.height();
    if (height > 0)
        PlaceFrame(w, QRect(main.left(), main.top() + main.height(), main.width(), height));
    else
        PlaceFrame(w, QRect(main.left(), main.top() + main.height(), 0, 0), /*keepSize*/ true);
}

TMonitorForm::TMonitorForm(RingRegistrar registrar, QWidget* parent, const QString& name, const QString& title)
    : QWidget(parent, Qt::Window), registrar_(std::move(registrar))
{
    setObjectName(name);
    setWindowTitle(title);
    setFont(WindowFont(12));
    resize(408, 640);

    layout_ = new QVBoxLayout(this);
    layout_->setContentsMargins(0, 0, 0, 0);
    layout_->setSpacing(0);
    Panel1 = new QLabel(QString::fromLatin1(kMonitorHeader), this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFixedHeight(18);
    Panel1->setFrameStyle(QFrame::Box | QFrame::Plain);
    Panel1->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    layout_->addWidget(Panel1);
    auto* row = new QHBoxLayout;
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    ScrollBar1 = NewMonitorScrollBar(this);
    // The log thread's store is the line source; it exists before any redraw can happen.
    Bevel1 = new TMonitorTextArea([this](std::int32_t i) { return ShownLine(i); },
                                  [this] { return ShownLineCount(); }, ScrollBar1, this);
    row->addWidget(Bevel1, 1);
    row->addWidget(ScrollBar1);
    layout_->addLayout(row, 1);
    connect(ScrollBar1, &QScrollBar::valueChanged, this, [this] { ScrollBar1Change(); });
    ScrollBar1->installEventFilter(this);
}

TMonitorForm::~TMonitorForm()
{
    FormClose();
}

void TMonitorForm::Start(std::unique_ptr<TMonitorLogThread> log)
{
    log_ = std::move(log);
    if (registrar_)
        registrar_(&ring_);
}

void TMonitorForm::Unregister()
{
    if (registrar_)
        registrar_(nullptr);
    registrar_ = nullptr;
}

void TMonitorForm::FormClose()
{
    // The receive thread lets go of the ring before the worker that drains it stops.
    Unregister();
    log_.reset();
}

bool TMonitorForm::PauseMonitor()
{
    const bool running = host_.running ? host_.running() : true;
    if (!log_ || IsPaused() || !running)
        return false;
    log_->SetPaused(true);
    return true;
}

bool TMonitorForm::ContinueMonitor()
{
    if (!IsPaused())
        return false;
    log_->SetPaused(false);
    return true;
}

bool TMonitorForm::Drain(int timeoutMs)
{
    if (!log_)
        return false;
    return WaitServingGuiCalls([this] { return log_->Idle(); }, std::chrono::milliseconds(timeoutMs));
}

bool TMonitorForm::IsPaused() const
{
    return log_ && log_->IsPaused();
}

bool TMonitorForm::HasLines() const
{
    return log_ && log_->LineCount() > 0;
}

QString TMonitorForm::GetMonitorText() const
{
    return log_ ? QString::fromLatin1(log_->GetAllText()) : QString();
}

std::int32_t TMonitorForm::ShownLineCount() const
{
    return log_ ? log_->LineCount() : 0;
}

std::string TMonitorForm::ShownLine(std::int32_t index) const
{
    return log_->GetLine(index);
}

void TMonitorForm::ClearMonitor()
{
    ScrollBar1->setMaximum(0);
    if (log_)
        log_->ClearLines();
}

void TMonitorForm::ScrollBar1Change()
{
    // A hidden window keeps its scroll state but draws nothing; showing it draws.
    if (log_ && isVisible())
        Bevel1->Redraw();
}

void TMonitorForm::wheelEvent(QWheelEvent* event)
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

bool TMonitorForm::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == ScrollBar1 && event->type() == QEvent::Wheel) {
        wheelEvent(static_cast<QWheelEvent*>(event));
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void TMonitorForm::showEvent(QShowEvent* event)
{
    PlaceUnderMainWindow(this, host_.mainWindow);
    QWidget::showEvent(event);
    ScrollBar1Change();  // what arrived while hidden
}

void TMonitorForm::closeEvent(QCloseEvent* event)
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
