#include "tsendform/tmessagelistpage.h"
#include "tsendform/messagelistcells.h"

#include <QAction>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <exception>

#include "bus/tlistsendthread.h"
#include "platform/hexdigit.h"
#include "ttlabelinfo/labelline.h"
#include "widgets/actions.h"

namespace tarvik {

using namespace messagelist;

namespace {

const QColor kRunning(0xC8, 0xF0, 0xC8);
const QColor kBad(0xFF, 0xC8, 0xC8);

// Hex digits with blanks between them allowed; false for anything else or too many digits.
bool HexText(const QString& text, int maxDigits, std::uint64_t& value, int* digits = nullptr)
{
    value = 0;
    int n = 0;
    for (QChar c : text) {
        if (c.isSpace()) continue;
        const int d = HexDigit(c.unicode());
        if (d < 0 || ++n > maxDigits) return false;
        value = value * 16 + std::uint64_t(d);
    }
    if (digits) *digits = n;
    return n > 0;
}

bool DecimalText(const QString& text, std::uint64_t max, std::uint64_t& value)
{
    bool ok = false;
    value = text.trimmed().toULongLong(&ok);
    return ok && value <= max;
}

}  // namespace

TMessageListPage::TMessageListPage(Hooks hooks, QWidget* parent) : QWidget(parent), hooks_(std::move(hooks))
{
    setObjectName("MessageListPage");
    auto act = [this](const char* name, const char* text, void (TMessageListPage::*slot)()) {
        QAction* a = NewAction(this, name, text);
        connect(a, &QAction::triggered, this, slot);
        return a;
    };
    ActOpen = NewAction(this, "ActListOpen", "Open...");
    connect(ActOpen, &QAction::triggered, this, [this] {
        const QString path = QFileDialog::getOpenFileName(this, "Open Message List", fileName_,
                                                          "Message lists (*.txt);;All files (*)");
        if (!path.isEmpty() && OpenFile(path) && onFileChanged) onFileChanged(fileName_);
    });
    ActSaveAs = NewAction(this, "ActListSaveAs", "Save As...");
    connect(ActSaveAs, &QAction::triggered, this, [this] {
        const QString path = QFileDialog::getSaveFileName(this, "Save Message List", fileName_,
                                                          "Message lists (*.txt);;All files (*)");
        if (!path.isEmpty() && SaveFile(path) && onFileChanged) onFileChanged(fileName_);
    });
    ActSave = NewAction(this, "ActListSave", "Save");
    connect(ActSave, &QAction::triggered, this, [this] {
        if (fileName_.isEmpty())
            ActSaveAs->trigger();
        else
            SaveFile(fileName_);
    });
    ActAdd = NewAction(this, "ActListAdd", "Add");
    connect(ActAdd, &QAction::triggered, this, [this] {
        const int r = table_->currentRow();
        TMessageRow row = r >= 0 ? rows_[std::size_t(r)] : TMessageRow{};
        if (r < 0) row.intervalMs = 100;
        row.signalValues.clear();
        AddRow(row);
    });
    ActDelete = NewAction(this, "ActListDelete", "Delete");
    connect(ActDelete, &QAction::triggered, this, [this] {
        const std::vector<int> sel = Selected();
        for (auto it = sel.rbegin(); it != sel.rend(); ++it) {
            const int r = *it;
            if (hooks_.list) hooks_.list->Forget(meta_[std::size_t(r)].id);
            if (bound_ == r) bound_ = -1;
            if (bound_ > r) --bound_;
            rows_.erase(rows_.begin() + r);
            meta_.erase(meta_.begin() + r);
            table_->removeRow(r);
        }
        CurrentRowChanged();
    });
    ActUp = NewAction(this, "ActListUp", "Up");
    connect(ActUp, &QAction::triggered, this, [this] { Move(-1); });
    ActDown = NewAction(this, "ActListDown", "Down");
    connect(ActDown, &QAction::triggered, this, [this] { Move(1); });
    ActSendOnce = act("ActListSendOnce", "Send once", &TMessageListPage::SendOnce);
    ActStart = NewAction(this, "ActListStart", "Start");
    connect(ActStart, &QAction::triggered, this, [this] {
        for (int r : Selected()) StartRow(r);
        RefreshCounts();
    });
    ActStop = NewAction(this, "ActListStop", "Stop");
    connect(ActStop, &QAction::triggered, this, [this] {
        for (int r : Selected()) StopRow(r);
        RefreshCounts();
    });
    ActStartAll = NewAction(this, "ActListStartAll", "Start all");
    connect(ActStartAll, &QAction::triggered, this, [this] {
        for (int r = 0; r < RowCount(); ++r)
            if (rows_[std::size_t(r)].enabled) StartRow(r);
        RefreshCounts();
    });
    ActStopAll = NewAction(this, "ActListStopAll", "Stop all");
    connect(ActStopAll, &QAction::triggered, this, [this] {
        for (int r = 0; r < RowCount(); ++r) StopRow(r);
        RefreshCounts();
    });
    ActSignalsSend = NewAction(this, "ActSignalsSend", "Send once");
    connect(ActSignalsSend, &QAction::triggered, this, [this] {
        if (frameBox_->currentIndex() < 0 || !hooks_.running || !hooks_.running() || !hooks_.transmit) return;
        try {
            hooks_.transmit(SignalRow().Frame());
        } catch (const std::exception& e) {
            if (hooks_.showError) hooks_.showError(QString::fromStdString(e.what()));
        }
    });
    ActSignalsToList = NewAction(this, "ActSignalsToList", "Put into list");
    connect(ActSignalsToList, &QAction::triggered, this, [this] {
        if (frameBox_->currentIndex() >= 0) AddRow(SignalRow());
    });

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->setSpacing(4);
    auto* bar = new QHBoxLayout;
    bar->setSpacing(3);
    for (QAction* a : {ActOpen, ActSave, ActSaveAs}) bar->addWidget(Button(a, this));
    bar->addSpacing(10);
    for (QAction* a : {ActAdd, ActDelete, ActUp, ActDown}) bar->addWidget(Button(a, this));
    bar->addStretch();
    layout->addLayout(bar);
    BuildRows();
    layout->addWidget(table_, 1);
    auto* run = new QHBoxLayout;
    run->setSpacing(3);
    for (QAction* a : {ActSendOnce, ActStart, ActStop, ActStartAll, ActStopAll}) run->addWidget(Button(a, this));
    run->addStretch();
    layout->addLayout(run);
    statusLabel_ = new QLabel(this);
    statusLabel_->setObjectName("ListStatus");
    statusLabel_->setWordWrap(true);
    layout->addWidget(statusLabel_);
    layout->addWidget(BuildSignals());

    refresh_ = new QTimer(this);
    refresh_->setInterval(200);
    connect(refresh_, &QTimer::timeout, this, &TMessageListPage::RefreshCounts);
    SetSendEnabled(false);
}

TMessageListPage::~TMessageListPage()
{
    // The list timer belongs to the session and outlives the window: its rows stop with it.
    if (hooks_.list)
        for (const Meta& m : meta_) hooks_.list->Forget(m.id);
}

void TMessageListPage::SetListTimer(TListSendThread* list)
{
    if (hooks_.list)
        for (const Meta& m : meta_) hooks_.list->Forget(m.id);
    hooks_.list = list;
    for (QAction* a : {ActStop, ActStopAll}) a->setEnabled(list != nullptr);
    RefreshCounts();
}

// ---- rows ----

void TMessageListPage::BuildRows()
{
    table_ = new QTableWidget(0, ColCount, this);
    table_->setObjectName("ListTable");
    table_->setHorizontalHeaderLabels({"On", "ID", "Ext", "Len", "Data", "ms", "Sent", "Comment"});
    table_->verticalHeader()->setDefaultSectionSize(20);
    table_->verticalHeader()->setMinimumWidth(24);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                            QAbstractItemView::AnyKeyPressed);
    const int widths[ColCount] = {30, 76, 30, 30, 176, 64, 64, 100};
    for (int c = 0; c < ColCount; ++c) table_->setColumnWidth(c, widths[c]);
    table_->horizontalHeader()->setStretchLastSection(true);
    connect(table_, &QTableWidget::itemChanged, this, &TMessageListPage::CellEdited);
    connect(table_, &QTableWidget::currentCellChanged, this, [this] { CurrentRowChanged(); });
}

void TMessageListPage::Fill(int r)
{
    const TMessageRow& row = rows_[std::size_t(r)];
    filling_ = true;
    auto cell = [&](int c) {
        QTableWidgetItem* it = table_->item(r, c);
        if (!it) {
            it = new QTableWidgetItem;
            table_->setItem(r, c, it);
        }
        return it;
    };
    const Qt::ItemFlags base = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    QTableWidgetItem* on = cell(ColOn);
    on->setFlags(base | Qt::ItemIsUserCheckable);
    on->setCheckState(row.enabled ? Qt::Checked : Qt::Unchecked);
    QTableWidgetItem* ext = cell(ColExt);
    ext->setFlags(base | Qt::ItemIsUserCheckable);
    ext->setCheckState(row.extended ? Qt::Checked : Qt::Unchecked);
    std::string why;
    const bool ok = CheckMessageRow(row, &why);
    QTableWidgetItem* id = cell(ColId);
    id->setFlags(base | Qt::ItemIsEditable);
    id->setText(IdText(row.id, row.extended));
    id->setBackground(ok ? QBrush() : QBrush(kBad));
    id->setToolTip(ok ? QString() : QString::fromStdString(why));
    QTableWidgetItem* len = cell(ColLen);
    len->setFlags(base | Qt::ItemIsEditable);
    len->setText(QString::number(row.length));
    QTableWidgetItem* data = cell(ColData);
    data->setFlags(base | Qt::ItemIsEditable);
    data->setText(BytesText(row.Data64(), 8));
    data->setToolTip(row.signalValues.empty() ? QString() : QStringLiteral("Built from signal values"));
    QTableWidgetItem* ms = cell(ColMs);
    ms->setFlags(base | Qt::ItemIsEditable);
    ms->setText(QString::number(row.intervalMs));
    ms->setToolTip(row.intervalMs == 0 ? QStringLiteral("0: sent only with \"Send once\"") : QString());
    cell(ColSent)->setFlags(base);
    QTableWidgetItem* comment = cell(ColComment);
    comment->setFlags(base | Qt::ItemIsEditable);
    comment->setText(QString::fromStdString(row.comment));
    filling_ = false;
}

void TMessageListPage::CellEdited(QTableWidgetItem* item)
{
    if (filling_) return;
    const int r = item->row();
    TMessageRow& row = rows_[std::size_t(r)];
    const QString text = item->text();
    std::uint64_t v = 0;
    int digits = 0;
    bool bytes = false;
    switch (item->column()) {
    case ColOn:
        row.enabled = item->checkState() == Qt::Checked;
        break;
    case ColExt:
        row.extended = item->checkState() == Qt::Checked;
        break;
    case ColId:
        if (HexText(text, 8, v)) row.id = std::uint32_t(v);
        break;
    case ColLen:
        if (DecimalText(text, 8, v)) row.length = int(v);
        break;
    case ColData:
        // The bytes from D0 on; fewer digits than 16 leave the rest 00.
        if (HexText(text, 16, v, &digits) && digits % 2 == 0) {
            row.SetData64(v << (4 * (16 - digits)));
            bytes = true;
        }
        break;
    case ColMs:
        if (DecimalText(text, TMessageRow::kMaxIntervalMs, v)) row.intervalMs = std::uint32_t(v);
        break;
    case ColComment:
        row.comment = text.toStdString();
        break;
    default:
        return;
    }
    RowChanged(r, bytes);
}

// A row edited (or re-encoded from its signal values): the table shows it, a running row sends
// what it is now from its next slot on, or stops when it no longer can.
void TMessageListPage::RowChanged(int r, bool bytesByHand)
{
    TMessageRow& row = rows_[std::size_t(r)];
    if (bytesByHand && !row.signalValues.empty()) {
        row.signalValues.clear();  // the values no longer say what the bytes are
        if (bound_ == r) BindTo(-1);
    }
    Fill(r);
    const Meta& m = meta_[std::size_t(r)];
    if (hooks_.list && hooks_.list->Running(m.id)) {
        if (!Usable(r, nullptr))
            StopRow(r);
        else if (row.intervalMs != m.runningMs)
            StartRow(r);
        else
            hooks_.list->Update(m.id, row.Frame());
    }
    RefreshCounts();
}

std::vector<int> TMessageListPage::Selected() const
{
    std::vector<int> rows;
    for (const QModelIndex& i : table_->selectionModel()->selectedRows()) rows.push_back(i.row());
    if (rows.empty() && table_->currentRow() >= 0) rows.push_back(table_->currentRow());
    std::sort(rows.begin(), rows.end());
    return rows;
}

bool TMessageListPage::Usable(int r, QString* why) const
{
    const TMessageRow& row = rows_[std::size_t(r)];
    std::string reason;
    if (!CheckMessageRow(row, &reason)) {
        if (why) *why = QString::fromStdString(reason);
        return false;
    }
    if (!row.enabled || row.intervalMs == 0) {
        if (why) *why = row.intervalMs == 0 ? "0 ms: sent only with \"Send once\"" : "not enabled";
        return false;
    }
    return true;
}

void TMessageListPage::StartRow(int r)
{
    if (!hooks_.list || !hooks_.running || !hooks_.running()) return;
    TMessageRow& row = rows_[std::size_t(r)];
    if (row.intervalMs > 0 && !row.enabled) {  // Start on a row is asking for it
        row.enabled = true;
        Fill(r);
    }
    QString why;
    if (!Usable(r, &why)) {
        SetStatus(QStringLiteral("Row %1 does not start: %2").arg(r + 1).arg(why));
        return;
    }
    Meta& m = meta_[std::size_t(r)];
    if (hooks_.list->Start(m.id, row.Frame(), row.intervalMs)) {
        m.runningMs = row.intervalMs;
        m.sentOnce = 0;
    }
}

void TMessageListPage::StopRow(int r)
{
    if (hooks_.list) hooks_.list->Stop(meta_[std::size_t(r)].id);
}

void TMessageListPage::Move(int by)
{
    const int r = table_->currentRow();
    const int to = r + by;
    if (r < 0 || to < 0 || to >= RowCount()) return;
    std::swap(rows_[std::size_t(r)], rows_[std::size_t(to)]);
    std::swap(meta_[std::size_t(r)], meta_[std::size_t(to)]);
    if (bound_ == r)
        bound_ = to;
    else if (bound_ == to)
        bound_ = r;
    Fill(r);
    Fill(to);
    table_->setCurrentCell(to, table_->currentColumn() < 0 ? ColId : table_->currentColumn());
    RefreshCounts();
}

void TMessageListPage::SendOnce()
{
    if (!hooks_.running || !hooks_.running() || !hooks_.transmit) return;
    try {
        for (int r : Selected()) {
            std::string why;
            if (!CheckMessageRow(rows_[std::size_t(r)], &why)) {
                SetStatus(QStringLiteral("Row %1 is not sent: %2").arg(r + 1).arg(QString::fromStdString(why)));
                continue;
            }
            hooks_.transmit(rows_[std::size_t(r)].Frame());
            ++meta_[std::size_t(r)].sentOnce;
        }
    } catch (const std::exception& e) {
        if (hooks_.showError) hooks_.showError(QString::fromStdString(e.what()));
    }
    RefreshCounts();
}

void TMessageListPage::AddRow(const TMessageRow& row)
{
    const int at = table_->currentRow() < 0 ? RowCount() : table_->currentRow() + 1;
    rows_.insert(rows_.begin() + at, row);
    meta_.insert(meta_.begin() + at, Meta{nextId_++, 0, 0});
    if (bound_ >= at) ++bound_;
    table_->insertRow(at);
    Fill(at);
    RefreshCounts();
    SelectRow(at);
}

void TMessageListPage::SelectRow(int r)
{
    table_->setCurrentCell(r, ColId);
    table_->selectRow(r);
}

TMessageList TMessageListPage::List() const
{
    TMessageList list;
    list.rows = rows_;
    list.kept = kept_;
    return list;
}

void TMessageListPage::SetList(const TMessageList& list)
{
    if (hooks_.list)
        for (const Meta& m : meta_) hooks_.list->Forget(m.id);
    BindTo(-1);
    const QSignalBlocker quiet(table_);  // no current-row change while rows and table differ
    table_->setRowCount(0);
    rows_ = list.rows;
    kept_ = list.kept;
    meta_.clear();
    table_->setRowCount(RowCount());
    for (int r = 0; r < RowCount(); ++r) {
        meta_.push_back(Meta{nextId_++, 0, 0});
        Fill(r);
    }
    RefreshCounts();
}

void TMessageListPage::RefreshCounts()
{
    int running = 0;
    filling_ = true;
    for (int r = 0; r < RowCount(); ++r) {
        const Meta& m = meta_[std::size_t(r)];
        TListSendThread::Counts c;
        bool on = false;
        if (hooks_.list) {
            c = hooks_.list->CountsOf(m.id);
            on = hooks_.list->Running(m.id);
        }
        running += on;
        QString text = QString::number(c.sent + m.sentOnce);
        if (c.failed > 0) text += QStringLiteral(" (%1 refused)").arg(c.failed);
        if (QTableWidgetItem* it = table_->item(r, ColSent)) {
            if (it->text() != text) it->setText(text);
            it->setBackground(on ? QBrush(kRunning) : QBrush());
            it->setToolTip(on ? QStringLiteral("running every %1 ms").arg(m.runningMs) : QString());
        }
    }
    filling_ = false;
    const QString runningText =
        running == 0 ? QString() : QStringLiteral("%1 row%2 running").arg(running).arg(running == 1 ? "" : "s");
    statusLabel_->setText(runningText.isEmpty() ? status_ : status_.isEmpty() ? runningText
                                                                               : runningText + "; " + status_);
}

void TMessageListPage::SetStatus(const QString& text)
{
    status_ = text;
    RefreshCounts();
}

QString TMessageListPage::StatusText() const { return statusLabel_->text(); }

void TMessageListPage::SetSendEnabled(bool enabled)
{
    for (QAction* a : {ActSendOnce, ActStart, ActStartAll, ActSignalsSend}) a->setEnabled(enabled);
    // Stopping is always possible; rows stop by themselves off bus.
    for (QAction* a : {ActStop, ActStopAll}) a->setEnabled(hooks_.list != nullptr);
}

bool TMessageListPage::OpenFile(const QString& path)
{
    TMessageList list;
    std::string error;
    if (!ReadMessageList(path.toStdString(), list, &error)) {
        SetStatus(QString::fromStdString(error));
        return false;
    }
    SetList(list);
    fileName_ = path;
    QString text = QStringLiteral("%1: %2 rows").arg(QFileInfo(path).fileName()).arg(RowCount());
    const std::vector<std::string> problems = list.Problems();
    if (!problems.empty()) {
        QStringList lines;
        for (const std::string& p : problems) lines << QString::fromStdString(p);
        text += QStringLiteral("; %1 line%2 kept as they were (%3)")
                    .arg(problems.size())
                    .arg(problems.size() == 1 ? "" : "s")
                    .arg(lines.join("; "));
    }
    SetStatus(text);
    return true;
}

bool TMessageListPage::SaveFile(const QString& path)
{
    std::string error;
    if (!WriteMessageList(path.toStdString(), List(), &error)) {
        SetStatus(QString::fromStdString(error));
        if (hooks_.showError) hooks_.showError(QString::fromStdString(error));
        return false;
    }
    fileName_ = path;
    SetStatus(QStringLiteral("Saved %1 rows to %2").arg(RowCount()).arg(QFileInfo(path).fileName()));
    return true;
}

void TMessageListPage::showEvent(QShowEvent* event)
{
    ReloadLabels();
    RefreshCounts();
    refresh_->start();
    QWidget::showEvent(event);
}

void TMessageListPage::hideEvent(QHideEvent* event)
{
    refresh_->stop();
    QWidget::hideEvent(event);
}

}  // namespace tarvik
