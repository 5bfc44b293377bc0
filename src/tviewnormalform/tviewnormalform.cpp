#include "tviewnormalform/tviewnormalform.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QScrollBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

#include "monitorview/monitortextarea.h"
#include "subfuncs/subfuncs.h"
#include "tviewnormalform/tnormallogthread.h"
#include "widgets/actions.h"

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
    CreateFindBar();
    LabelStatusNote = new QLabel(this);
    LabelStatusNote->setObjectName(QStringLiteral("LabelStatusNote"));
    LabelStatusNote->setWordWrap(true);
    LabelStatusNote->hide();
    layout_->addWidget(LabelStatusNote);
    Bevel1->SetMarkSource([this](std::int32_t i) {
        const std::int64_t mark = MarkedRecord();
        return TLineMarks{0, mark >= 0 && NumberOfLine(i) == std::uint64_t(mark)};
    });
}

void TViewNormalForm::CreateFindBar()
{
    FindBar = new QWidget(this);
    FindBar->setObjectName(QStringLiteral("FindBar"));
    auto* grid = new QGridLayout(FindBar);
    grid->setContentsMargins(4, 3, 4, 3);
    grid->setHorizontalSpacing(4);
    grid->setVerticalSpacing(2);
    const auto label = [this](const QString& text, QWidget* buddy) {
        auto* l = new QLabel(text, FindBar);
        l->setBuddy(buddy);
        return l;
    };
    EditFindId = new QLineEdit(FindBar);
    EditFindId->setObjectName(QStringLiteral("EditFindId"));
    EditFindId->setPlaceholderText(QStringLiteral("123, 100-1FF, 120/7F0"));
    EditFindData = new QLineEdit(FindBar);
    EditFindData->setObjectName(QStringLiteral("EditFindData"));
    EditFindData->setPlaceholderText(QStringLiteral("11 ?? 3F"));
    ComboFindDirection = new QComboBox(FindBar);
    ComboFindDirection->setObjectName(QStringLiteral("ComboFindDirection"));
    ComboFindDirection->addItems({QStringLiteral("Both"), QStringLiteral("Received"), QStringLiteral("Transmitted")});
    grid->addWidget(label(QStringLiteral("&ID"), EditFindId), 0, 0);
    grid->addWidget(EditFindId, 0, 1);
    grid->addWidget(label(QStringLiteral("&Data"), EditFindData), 0, 2);
    grid->addWidget(EditFindData, 0, 3);
    grid->addWidget(ComboFindDirection, 0, 4);

    ActFind = NewAction(this, "ActFind", "Find(&F)");
    ActFind->setShortcut(QKeySequence::Find);
    ActFindNext = NewAction(this, "ActFindNext", "&Next");
    ActFindNext->setShortcut(Qt::Key_F3);
    ActFindPrevious = NewAction(this, "ActFindPrevious", "&Previous");
    ActFindPrevious->setShortcut(Qt::SHIFT | Qt::Key_F3);
    ActFindClose = NewAction(this, "ActFindClose", "Close");
    ActFindClose->setShortcut(Qt::Key_Escape);
    for (QAction* a : {ActFind, ActFindNext, ActFindPrevious, ActFindClose}) {
        // A button shows the icon text, which keeps its Alt+letter only when given one.
        a->setIconText(a->text());
        a->setShortcutContext(Qt::WindowShortcut);
        addAction(a);
    }
    connect(ActFind, &QAction::triggered, this, [this] { ActFindExecute(); });
    connect(ActFindNext, &QAction::triggered, this, [this] { FindNext(true); });
    connect(ActFindPrevious, &QAction::triggered, this, [this] { FindNext(false); });
    connect(ActFindClose, &QAction::triggered, this, [this] {
        // Closing the bar ends the filter with it: what the bar does not show does not hold.
        CheckFilter->setChecked(false);
        FindBar->hide();
        Bevel1->setFocus();
    });
    auto* next = new QToolButton(FindBar);
    next->setObjectName(QStringLiteral("ButtonFindNext"));
    BindButton(next, ActFindNext);
    auto* previous = new QToolButton(FindBar);
    previous->setObjectName(QStringLiteral("ButtonFindPrevious"));
    BindButton(previous, ActFindPrevious);
    auto* close = new QToolButton(FindBar);
    close->setObjectName(QStringLiteral("ButtonFindClose"));
    BindButton(close, ActFindClose);
    CheckFilter = new QCheckBox(QStringLiteral("&Show only matching"), FindBar);
    CheckFilter->setObjectName(QStringLiteral("CheckFilter"));
    CheckSaveShown = new QCheckBox(QStringLiteral("Copy/save &what is shown"), FindBar);
    CheckSaveShown->setObjectName(QStringLiteral("CheckSaveShown"));
    CheckSaveShown->setEnabled(false);
    LabelFindStatus = new QLabel(FindBar);
    LabelFindStatus->setObjectName(QStringLiteral("LabelFindStatus"));
    auto* row = new QHBoxLayout;
    row->setSpacing(4);
    row->addWidget(next);
    row->addWidget(previous);
    row->addWidget(CheckFilter);
    row->addWidget(CheckSaveShown);
    row->addStretch(1);
    row->addWidget(close);
    grid->addLayout(row, 1, 0, 1, 5);
    grid->addWidget(LabelFindStatus, 2, 0, 1, 5);
    grid->setColumnStretch(3, 1);
    layout_->addWidget(FindBar);
    FindBar->hide();

    for (QLineEdit* e : {EditFindId, EditFindData}) {
        connect(e, &QLineEdit::returnPressed, this, [this] { FindNext(true); });
        connect(e, &QLineEdit::textChanged, this, [this] { if (filtering_) ApplyFilter(); });
    }
    connect(ComboFindDirection, &QComboBox::currentIndexChanged, this, [this] { if (filtering_) ApplyFilter(); });
    connect(CheckFilter, &QCheckBox::toggled, this, [this](bool on) {
        filtering_ = on;
        CheckSaveShown->setEnabled(on);
        if (on) {
            ApplyFilter();
        } else {
            LabelFindStatus->clear();
            RefreshMessage();
        }
    });
}

void TViewNormalForm::ActFindExecute()
{
    FindBar->show();
    EditFindId->setFocus();
    EditFindId->selectAll();
}

bool TViewNormalForm::ReadFields(TFrameMatch& match)
{
    std::string error;
    const auto direction = TMatchDirection(std::clamp(ComboFindDirection->currentIndex(), 0, 2));
    if (ParseFrameMatch(EditFindId->text().toStdString(), EditFindData->text().toStdString(), direction, match,
                        &error))
        return true;
    LabelFindStatus->setText(QString::fromStdString(error));
    return false;
}

const TRecordHistory& TViewNormalForm::History() const
{
    return static_cast<const TNormalLogThread&>(*log_).History();
}

std::uint64_t TViewNormalForm::NumberOfLine(std::int32_t index) const
{
    return filtering_ ? filtered_.NumberAt(index) : History().Overwritten() + std::uint64_t(index);
}

bool TViewNormalForm::FindNext(bool forward)
{
    if (!log_ || !FindBar->isVisible())
        return false;
    TFrameMatch match;
    if (!ReadFields(match))
        return false;
    const TRecordHistory& h = History();
    const std::int64_t mark = MarkedRecord();
    // Without a mark the search starts at the oldest record, or backwards at the newest.
    const std::int64_t from = mark < 0 ? (forward ? 0 : INT64_MAX) : (forward ? mark + 1 : mark - 1);
    const std::int64_t found = from < 0 ? -1 : h.Find(match, from, forward);
    if (found < 0) {
        LabelFindStatus->setText(QStringLiteral("not found"));
        return false;
    }
    // A monitor that runs would take the page back to the newest lines.
    PauseMonitor();
    mark_ = found;
    markClears_ = h.Clears();
    LabelFindStatus->setText(QStringLiteral("record %1 of %2")
                                 .arg(std::uint64_t(found) - h.Overwritten() + 1)
                                 .arg(h.Count()));
    if (filtering_ && filtered_.LineOf(std::uint64_t(found)) < 0)
        filtered_.Update(h);
    JumpTo(std::uint64_t(found));
    return true;
}

void TViewNormalForm::JumpTo(std::uint64_t number)
{
    const std::int32_t count = ShownLineCount();
    const std::int64_t index =
        filtering_ ? filtered_.LineOf(number) : std::int64_t(number) - std::int64_t(History().Overwritten());
    const int lines = Bevel1->LinesPerPage();
    const QSignalBlocker block(ScrollBar1);
    ScrollBar1->setRange(0, count);
    if (index >= 0)
        ScrollBar1->setValue(int(std::min<std::int64_t>(count, index + 1 + lines / 2)));
    ScrollBar1Change();
}

void TViewNormalForm::ApplyFilter()
{
    TFrameMatch match;
    if (!ReadFields(match))
        return;
    filtered_.SetMatch(match);
    filtered_.Update(History());
    ShowCount();
    const QSignalBlocker block(ScrollBar1);
    ScrollBar1->setRange(0, ShownLineCount());
    const std::int64_t mark = MarkedRecord();
    if (mark >= 0 && filtered_.LineOf(std::uint64_t(mark)) >= 0)
        JumpTo(std::uint64_t(mark));
    else
        ScrollBar1->setValue(ShownLineCount());
    ScrollBar1Change();
}

void TViewNormalForm::SetStatusNote(const QString& note)
{
    LabelStatusNote->setText(note);
    LabelStatusNote->setVisible(!note.isEmpty());
}

QString TViewNormalForm::StatusNote() const { return LabelStatusNote->text(); }

void TViewNormalForm::ShowCount()
{
    LabelFindStatus->setText(
        QStringLiteral("%1 shown, %2 hidden").arg(filtered_.Count()).arg(filtered_.Hidden(History())));
}

QString TViewNormalForm::FindMessage() const
{
    return LabelFindStatus->text();
}

std::int32_t TViewNormalForm::ShownLineCount() const
{
    return filtering_ ? filtered_.Count() : TMonitorForm::ShownLineCount();
}

std::string TViewNormalForm::ShownLine(std::int32_t index) const
{
    if (!filtering_)
        return TMonitorForm::ShownLine(index);
    AdapterRecord r;
    if (index < 0 || index >= filtered_.Count() || !History().GetRecordNumbered(filtered_.NumberAt(index), r))
        return {};
    return FrameToText(r);
}

QString TViewNormalForm::GetMonitorText() const
{
    if (!filtering_ || !CheckSaveShown->isChecked())
        return TMonitorForm::GetMonitorText();
    std::vector<AdapterRecord> records;
    RecordsToSave(records);
    std::string text;
    char line[kMaxFrameTextLength + 2];
    for (const AdapterRecord& r : records) {
        std::size_t n = FormatFrame(r, line);
        line[n++] = '\r';
        line[n++] = '\n';
        text.append(line, n);
    }
    return QString::fromLatin1(text);
}

void TViewNormalForm::RecordsToSave(std::vector<AdapterRecord>& out) const
{
    out.clear();
    if (!log_)
        return;
    if (!filtering_ || !CheckSaveShown->isChecked()) {
        History().CopyAll(out);
        return;
    }
    AdapterRecord r;
    for (std::int32_t i = 0; i < filtered_.Count(); ++i)
        if (History().GetRecordNumbered(filtered_.NumberAt(i), r))
            out.push_back(r);
}

void TViewNormalForm::SelectLine(std::int32_t index, int step)
{
    if (!log_)
        return;
    const std::int32_t count = ShownLineCount();
    if (step != 0) {
        const std::int64_t mark = MarkedRecord();
        const std::int64_t at = mark < 0 ? -1
                                : filtering_ ? filtered_.LineOf(std::uint64_t(mark))
                                             : mark - std::int64_t(History().Overwritten());
        index = at < 0 || at >= count ? Bevel1->FirstLine() : std::int32_t(std::clamp<std::int64_t>(at + step, 0, count - 1));
        // A running monitor would take the page back to the newest lines.
        PauseMonitor();
    }
    if (index < 0 || index >= count)
        return;
    mark_ = std::int64_t(NumberOfLine(index));
    markClears_ = History().Clears();
    ScrollToLine(index);
    ShowSignals(true);
}

bool TViewNormalForm::SelectedRecord(AdapterRecord& record) const
{
    const std::int64_t mark = MarkedRecord();
    return log_ && mark >= 0 && History().GetRecordNumbered(std::uint64_t(mark), record);
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
    if (filtering_) {
        filtered_.Update(History());
        ShowCount();
    }
    const std::int32_t count = ShownLineCount();
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
    PaintBox1->SetPosition(log_->LineCount());
    UpdateLosses();
}

}  // namespace tarvik
