#include "monitorview/monitorform.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QScreen>
#include <QScrollBar>
#include <QSplitter>
#include <QTableWidget>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <QStringDecoder>

#include "platform/fonts.h"
#include "platform/textdecode.h"
#include "platform/guicall.h"
#include "subfuncs/subfuncs.h"
#include "monitorview/monitorscroll.h"
#include "monitorview/monitortextarea.h"
#include "monitorview/tmonitorlogthread.h"
#include "widgets/placement.h"

namespace tarvik {

namespace {

// Names and units in the label file's encoding, as the label window reads them.
QString LabelText(const std::string& bytes)
{
    const QByteArrayView v(bytes.data(), qsizetype(bytes.size()));
    switch (DetectTextEncoding(bytes)) {
    case TTextEncoding::Utf8: return QString::fromUtf8(v);
    case TTextEncoding::ShiftJis: return QStringDecoder("Shift_JIS").decode(v);
    case TTextEncoding::Latin1: break;
    }
    return QString::fromLatin1(v);
}

}  // namespace

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
    Splitter1 = new QSplitter(Qt::Vertical, this);
    Splitter1->setObjectName(QStringLiteral("Splitter1"));
    Splitter1->setChildrenCollapsible(false);
    auto* lines = new QWidget(Splitter1);
    auto* row = new QHBoxLayout(lines);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    ScrollBar1 = NewMonitorScrollBar(this);
    // The log thread's store is the line source; it exists before any redraw can happen.
    Bevel1 = new TMonitorTextArea([this](std::int32_t i) { return ShownLine(i); },
                                  [this] { return ShownLineCount(); }, ScrollBar1, this);
    row->addWidget(Bevel1, 1);
    row->addWidget(ScrollBar1);
    Splitter1->addWidget(lines);
    CreateSignalPanel();
    layout_->addWidget(Splitter1, 1);
    Bevel1->SetSelectHandler([this](std::int32_t index, int step) { SelectLine(index, step); });
    connect(ScrollBar1, &QScrollBar::valueChanged, this, [this] { ScrollBar1Change(); });
    ScrollBar1->installEventFilter(this);
}

void TMonitorForm::CreateSignalPanel()
{
    PanelSignals = new QWidget(Splitter1);
    PanelSignals->setObjectName(QStringLiteral("PanelSignals"));
    auto* column = new QVBoxLayout(PanelSignals);
    column->setContentsMargins(0, 2, 0, 0);
    column->setSpacing(2);
    LabelSignals = new QLabel(PanelSignals);
    LabelSignals->setObjectName(QStringLiteral("LabelSignals"));
    GridSignals = new QTableWidget(0, 4, PanelSignals);
    GridSignals->setObjectName(QStringLiteral("GridSignals"));
    GridSignals->setHorizontalHeaderLabels(
        {QStringLiteral("Name"), QStringLiteral("Value"), QStringLiteral("Raw"), QStringLiteral("Acquired")});
    GridSignals->verticalHeader()->hide();
    GridSignals->horizontalHeader()->setStretchLastSection(true);
    GridSignals->setEditTriggers(QAbstractItemView::NoEditTriggers);
    GridSignals->setFocusPolicy(Qt::NoFocus);  // the arrow keys stay with the lines
    column->addWidget(LabelSignals);
    column->addWidget(GridSignals, 1);
    Splitter1->addWidget(PanelSignals);
    Splitter1->setStretchFactor(0, 3);
    Splitter1->setStretchFactor(1, 1);
    PanelSignals->hide();  // until a line is selected
}

void TMonitorForm::SetLabelFile(const QString& path)
{
    signals_.SetLabelFile(path.toStdString());
    ShowSignals();
}

void TMonitorForm::ReloadLabels()
{
    signals_.Reload(true);
    ShowSignals();
}

QString TMonitorForm::SignalHeading() const
{
    return LabelSignals->text();
}

void TMonitorForm::ShowSignals(bool show)
{
    if (show)
        PanelSignals->show();
    if (!PanelSignals->isVisible())
        return;
    AdapterRecord record;
    std::vector<TSignalRow> rows;
    const std::string heading =
        SelectedRecord(record) ? signals_.Rows(record, rows) : std::string("no frame selected");
    LabelSignals->setText(QString::fromStdString(heading));
    if (rows == shownRows_)
        return;  // a live panel rewrites only what changed
    GridSignals->setRowCount(int(rows.size()));
    for (int i = 0; i < int(rows.size()); ++i) {
        const TSignalRow& r = rows[std::size_t(i)];
        const QString cells[] = {LabelText(r.name), LabelText(r.value),
                                 QString::fromLatin1(r.raw), r.acquired ? QStringLiteral("yes") : QStringLiteral("no")};
        for (int c = 0; c < 4; ++c) {
            QTableWidgetItem* item = GridSignals->item(i, c);
            if (!item)
                GridSignals->setItem(i, c, item = new QTableWidgetItem);
            item->setText(cells[c]);
            if (c == 1 || c == 2)
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        }
    }
    shownRows_ = std::move(rows);
}

void TMonitorForm::ScrollToLine(std::int32_t index)
{
    // Position P shows lines P-L .. P-1.
    const int lines = std::max(1, Bevel1->LinesPerPage());
    const int position = ScrollBar1->value();
    int wanted = position;
    if (index < position - lines)
        wanted = index + lines;
    else if (index >= position)
        wanted = index + 1;
    if (wanted != position)
        ScrollBar1->setValue(wanted);  // redraws
    else
        ScrollBar1Change();
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
