#include <QComboBox>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QSignalBlocker>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "tsendform/messagelistcells.h"
#include "tsendform/tmessagelistpage.h"
#include "ttlabelinfo/labelline.h"

// The page's "Signals" half: a frame's labels as values, encoded into the bytes as typed.

namespace tarvik {

using namespace messagelist;

QGroupBox* TMessageListPage::BuildSignals()
{
    auto* box = new QGroupBox(QStringLiteral(" Signals "), this);
    box->setObjectName("SignalsBox");
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(6, 4, 6, 6);
    layout->setSpacing(4);
    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel(QStringLiteral("Frame : "), box));
    frameBox_ = new QComboBox(box);
    frameBox_->setObjectName("SignalFrame");
    frameBox_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    connect(frameBox_, &QComboBox::activated, this, [this] {
        BindTo(-1);
        FrameChosen();
    });
    top->addWidget(frameBox_, 1);
    layout->addLayout(top);
    signalTable_ = new QTableWidget(0, 4, box);
    signalTable_->setObjectName("SignalTable");
    signalTable_->setHorizontalHeaderLabels({"Label", "Value", "Unit", "Range"});
    signalTable_->verticalHeader()->setVisible(false);
    signalTable_->verticalHeader()->setDefaultSectionSize(20);
    signalTable_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    signalTable_->setSelectionMode(QAbstractItemView::NoSelection);
    signalTable_->setColumnWidth(0, 170);
    signalTable_->setColumnWidth(1, 120);
    signalTable_->setColumnWidth(2, 60);
    signalTable_->horizontalHeader()->setStretchLastSection(true);
    signalTable_->setMinimumHeight(110);
    layout->addWidget(signalTable_, 1);
    auto* bottom = new QHBoxLayout;
    dataLabel_ = new QLabel(box);
    dataLabel_->setObjectName("SignalData");
    dataLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    bottom->addWidget(dataLabel_, 1);
    bottom->addWidget(Button(ActSignalsSend, box));
    bottom->addWidget(Button(ActSignalsToList, box));
    layout->addLayout(bottom);
    boundLabel_ = new QLabel(box);
    boundLabel_->setObjectName("SignalBound");
    layout->addWidget(boundLabel_);
    FillSignalFrames();
    return box;
}

void TMessageListPage::ReloadLabels()
{
    const QString path = labelSource_ ? labelSource_() : QString();
    const QFileInfo info(path);
    const qint64 stamp = info.exists() ? info.lastModified().toMSecsSinceEpoch() ^ info.size() : -1;
    if (path == labelPath_ && stamp == labelStamp_) return;
    labelPath_ = path;
    labelStamp_ = stamp;
    std::vector<std::string> lines;
    if (!path.isEmpty() && info.exists()) ReadLabelLines(path.toStdString(), lines);
    labels_.LoadFromLines(lines, {}, TDaqOffLabels::Keep);  // labels not acquired are signals of their frames too
    BindTo(-1);
    FillSignalFrames();
    CurrentRowChanged();
}

void TMessageListPage::FillSignalFrames()
{
    const std::uint32_t was = frameBox_->currentIndex() >= 0 ? frameBox_->currentData().toUInt() : 0;
    frameBox_->clear();
    for (int g = 0; g < labels_.GroupCount(); ++g) {
        const TPlotData& group = labels_.Group(g);
        QStringList names;
        for (const TGraphInfo* l : group.Labels) names << QString::fromStdString(l->Name());
        const bool ext = (group.Key & kExtendedKeyFlag) != 0;
        frameBox_->addItem(IdText(group.Key & (ext ? kExtendedIdMask : kStandardIdMask), ext) + "  " +
                               names.join(", "),
                           QVariant::fromValue(group.Key));
    }
    const int keep = frameBox_->findData(QVariant::fromValue(was));
    frameBox_->setCurrentIndex(keep >= 0 ? keep : frameBox_->count() > 0 ? 0 : -1);
    for (QAction* a : {ActSignalsToList}) a->setEnabled(frameBox_->count() > 0);
    if (frameBox_->count() == 0)
        boundLabel_->setText(labelPath_.isEmpty() ? QStringLiteral("No label file")
                                                  : QStringLiteral("No labels in %1").arg(QFileInfo(labelPath_).fileName()));
    FrameChosen();
}

bool TMessageListPage::ChooseSignalFrame(std::uint32_t key)
{
    const int i = frameBox_->findData(QVariant::fromValue(key));
    if (i < 0) return false;
    BindTo(-1);
    frameBox_->setCurrentIndex(i);
    FrameChosen();
    return true;
}

// A frame chosen afresh: its labels with the values an empty frame holds.
void TMessageListPage::FrameChosen()
{
    signalData_ = 0;
    std::vector<double> values;
    if (const TPlotData* g = frameBox_->currentIndex() >= 0 ? labels_.FindGroup(frameBox_->currentData().toUInt())
                                                             : nullptr)
        for (const TGraphInfo* l : g->Labels) values.push_back(l->DecodeValue(0));
    ShowSignalValues(values);
}

void TMessageListPage::ShowSignalValues(const std::vector<double>& values)
{
    // Gone at once, not later: the edits are found by name.
    for (QLineEdit* e : valueEdits_) delete e;
    valueEdits_.clear();
    signalTable_->setRowCount(0);
    const TPlotData* g =
        frameBox_->currentIndex() >= 0 ? labels_.FindGroup(frameBox_->currentData().toUInt()) : nullptr;
    if (g) {
        signalTable_->setRowCount(int(g->Labels.size()));
        for (std::size_t i = 0; i < g->Labels.size(); ++i) {
            const TGraphInfo& l = *g->Labels[i];
            const int r = int(i);
            signalTable_->setItem(r, 0, new QTableWidgetItem(QString::fromStdString(l.Name())));
            auto* edit = new QLineEdit(NumberText(i < values.size() ? values[i] : NoValue()), signalTable_);
            edit->setObjectName(QStringLiteral("SignalValue%1").arg(r));
            edit->setFrame(false);
            connect(edit, &QLineEdit::textEdited, this, &TMessageListPage::SignalsEdited);
            signalTable_->setCellWidget(r, 1, edit);
            valueEdits_.push_back(edit);
            signalTable_->setItem(r, 2, new QTableWidgetItem(QString::fromStdString(l.Unit())));
            const QString range = l.Min() < l.Max() ? NumberText(l.Min()) + " .. " + NumberText(l.Max()) : QString();
            signalTable_->setItem(r, 3, new QTableWidgetItem(range));
        }
    }
    SignalsEdited();
}

void TMessageListPage::SetSignalValue(int label, const QString& text)
{
    if (label < 0 || label >= int(valueEdits_.size())) return;
    valueEdits_[std::size_t(label)]->setText(text);
    SignalsEdited();
}

TMessageRow TMessageListPage::SignalRow() const
{
    TMessageRow row;
    const TPlotData* g =
        frameBox_->currentIndex() >= 0 ? labels_.FindGroup(frameBox_->currentData().toUInt()) : nullptr;
    if (!g) return row;
    row.extended = (g->Key & kExtendedKeyFlag) != 0;
    row.id = g->Key & (row.extended ? kExtendedIdMask : kStandardIdMask);
    row.length = bound_ >= 0 ? rows_[std::size_t(bound_)].length : std::max(GroupLength(*g), 1);
    row.intervalMs = bound_ >= 0 ? rows_[std::size_t(bound_)].intervalMs : 100;
    std::vector<double> values;
    for (QLineEdit* e : valueEdits_) {
        bool ok = false;
        const double v = QLocale::c().toDouble(e->text().trimmed(), &ok);
        values.push_back(ok ? v : NoValue());
    }
    std::uint64_t data = bound_ >= 0 ? rows_[std::size_t(bound_)].Data64() : signalData_;
    labels_.EncodeFrame(g->Key, values, data);
    row.SetData64(data);
    for (std::size_t i = 0; i < values.size() && i < g->Labels.size(); ++i)
        if (!IsNoValue(values[i])) row.signalValues.push_back({g->Labels[i]->Name(), values[i]});
    return row;
}

// A value typed: the bytes follow at once, and so does the row that follows the values.
void TMessageListPage::SignalsEdited()
{
    const TPlotData* g =
        frameBox_->currentIndex() >= 0 ? labels_.FindGroup(frameBox_->currentData().toUInt()) : nullptr;
    if (!g) {
        dataLabel_->setText(QString());
        return;
    }
    std::vector<double> values;
    for (QLineEdit* e : valueEdits_) {
        bool ok = false;
        const double v = QLocale::c().toDouble(e->text().trimmed(), &ok);
        values.push_back(ok ? v : NoValue());
    }
    std::vector<TEncodeResult> results(values.size());
    std::uint64_t data = bound_ >= 0 ? rows_[std::size_t(bound_)].Data64() : signalData_;
    labels_.EncodeFrame(g->Key, values, data, results);
    for (std::size_t i = 0; i < valueEdits_.size(); ++i) {
        QLineEdit* e = valueEdits_[i];
        const bool text = !e->text().trimmed().isEmpty();
        const bool bad = text && IsNoValue(values[i]);
        const bool clamped = !bad && text && results[i].clamped;
        e->setStyleSheet(bad ? "background: #FFC8C8" : clamped ? "background: #FFE6A0" : "");
        e->setToolTip(bad ? QStringLiteral("Not a number: the label's bits stay as they are")
                          : clamped ? QStringLiteral("Does not fit the label: the frame holds %1").arg(NumberText(results[i].value))
                                    : QString());
    }
    const TMessageRow row = SignalRow();
    dataLabel_->setText(QStringLiteral("Data : %1#%2").arg(IdText(row.id, row.extended), BytesText(data, row.length)));
    if (bound_ >= 0) {
        TMessageRow& target = rows_[std::size_t(bound_)];
        target.SetData64(data);
        target.signalValues = row.signalValues;
        RowChanged(bound_, false);
    }
}

void TMessageListPage::BindTo(int r)
{
    bound_ = r;
    if (!boundLabel_) return;
    boundLabel_->setText(r < 0 ? QString()
                               : QStringLiteral("Row %1 follows these values: a change goes out from its next slot on")
                                     .arg(r + 1));
}

// Selecting a row built from signal values shows them, and edits then change that row.
void TMessageListPage::CurrentRowChanged()
{
    const int r = table_->currentRow();
    if (r < 0 || r >= RowCount() || rows_[std::size_t(r)].signalValues.empty()) {
        if (bound_ >= 0) BindTo(-1);
        return;
    }
    if (r == bound_) return;
    const TMessageRow& row = rows_[std::size_t(r)];
    const std::uint32_t key = MakeFrameKey(row.id, row.extended);
    const TPlotData* g = labels_.FindGroup(key);
    const int i = frameBox_->findData(QVariant::fromValue(key));
    if (!g || i < 0) {
        BindTo(-1);
        return;
    }
    frameBox_->setCurrentIndex(i);
    std::vector<double> values;
    for (const TGraphInfo* l : g->Labels) {
        double v = l->DecodeValue(row.Data64());
        for (const TSignalValue& s : row.signalValues)
            if (s.name == l->Name()) v = s.value;
        values.push_back(v);
    }
    // Bound before the values show, so that showing them re-encodes this row's own bytes.
    bound_ = -1;
    signalData_ = row.Data64();
    ShowSignalValues(values);
    BindTo(r);
}

}  // namespace tarvik
