#pragma once
// "Monitor Window (Realtime)": every frame in arrival order, following the newest page
// while monitoring runs, with the fill of the 1,000,000-record history and the loss counts
// in a strip at the top.
#include <QFrame>
#include <cstdint>
#include <vector>

#include "monitorview/framematch.h"
#include "monitorview/monitorform.h"
#include "monitorview/monitorhost.h"
#include "tviewnormalform/tfilteredlines.h"
#include "tviewnormalform/trecordhistory.h"

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;

namespace tarvik {

class TNormalLogThread;

// The fill gauge on the strip: percentage centred, the bar inverting what lies under it,
// the loss counts at the sides.
class TBarGraph : public QFrame {
    Q_OBJECT
public:
    explicit TBarGraph(QWidget* parent = nullptr);
    void SetMax(std::int64_t max) { value_.SetMax(max); }
    void SetPosition(std::int64_t position);
    void SetLosses(const TLossCounts& losses);
    const TGaugeValue& Value() const { return value_; }
    const TLossCounts& Losses() const { return losses_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    TGaugeValue value_;
    TLossCounts losses_;
};

class TViewNormalForm : public TMonitorForm {
    Q_OBJECT
public:
    explicit TViewNormalForm(RingRegistrar registrar, QWidget* parent = nullptr,
                             std::int32_t historyCapacity = TRecordHistory::kCapacity);
    ~TViewNormalForm() override;

    TNormalLogThread& LogThread();
    TBarGraph* Gauge() const { return PaintBox1; }

    void RefreshMessage() override;
    // A line under the lines for what the user should know of the source (a replay's end,
    // what it left out); hidden while empty.
    void SetStatusNote(const QString& note);
    QString StatusNote() const;
    std::int32_t ShownLineCount() const override;
    std::string ShownLine(std::int32_t index) const override;
    // The whole history, or the lines shown when the filter is on and the user chose to
    // save what is shown.
    QString GetMonitorText() const override;
    void RecordsToSave(std::vector<AdapterRecord>& out) const;

    // The find bar: Ctrl+F opens it, Next and Previous search the whole history from the
    // marked line, and the filter shows only the lines its fields pick.
    void ActFindExecute();
    // False when nothing was found (the bar says so) or a field does not read.
    bool FindNext(bool forward);
    bool Filtering() const { return filtering_; }
    // The record number of the marked line, -1 when none.
    std::int64_t MarkedRecord() const { return markClears_ == History().Clears() ? mark_ : -1; }
    QString FindMessage() const;

protected:
    // The selected frame is the marked line, so Find goes on from a clicked line.
    void SelectLine(std::int32_t index, int step) override;
    bool SelectedRecord(AdapterRecord& record) const override;

private:
    void UpdateLosses();
    void CreateFindBar();
    bool ReadFields(TFrameMatch& match);
    void ApplyFilter();
    void ShowCount();
    const TRecordHistory& History() const;
    std::uint64_t NumberOfLine(std::int32_t index) const;
    // Scrolls so that the record is on the page (near its middle).
    void JumpTo(std::uint64_t number);

    TBarGraph* PaintBox1 = nullptr;
    QWidget* FindBar = nullptr;
    QLineEdit* EditFindId = nullptr;
    QLineEdit* EditFindData = nullptr;
    QComboBox* ComboFindDirection = nullptr;
    QCheckBox* CheckFilter = nullptr;
    QCheckBox* CheckSaveShown = nullptr;
    QLabel* LabelFindStatus = nullptr;
    QLabel* LabelStatusNote = nullptr;
    QAction* ActFind = nullptr;
    QAction* ActFindNext = nullptr;
    QAction* ActFindPrevious = nullptr;
    QAction* ActFindClose = nullptr;
    TFilteredLines filtered_;
    bool filtering_ = false;
    std::int64_t mark_ = -1;
    std::uint64_t markClears_ = 0;
};

}  // namespace tarvik
