#include <QCheckBox>
#include <QCoreApplication>

#include "dialogs/twarningdialog.h"
#include "monitorview/monitortextarea.h"
#include "tmainform/mainform.h"
#include "bus/tmonthread.h"
#include "tsendform/tmessagelistpage.h"

// The secondary windows: created, shown, hidden and closed here, so a new window is wired in
// one file (create it in CreateWindows, close it in CloseWindows, delete it in DeleteWindows).

namespace tarvik {

namespace {

// The transmit window's frames go to whichever device the session drives now.
TFrameSender SessionSender(TBusSession& session)
{
    return {[&session](const TBusFrame& f) { session.Transmit(f); },
            [&session](const TBusFrame& f, std::uint32_t ms) { session.StartPeriodic(f, ms); },
            [&session] { session.StopPeriodic(); }};
}

}  // namespace

void TMainForm::CreateWindows()
{
    viewNormal_ = new TViewNormalForm([this](TQueueBuffer* r) { SetConsumerBuffer(1, r); });
    viewFixed_ = new TViewFixedForm([this](TQueueBuffer* r) { SetConsumerBuffer(2, r); });
    // Pausing is refused off bus; the realtime view shows what was lost on the way to it.
    viewNormal_->SetHost({[this] { return OnBus(); },
                          [this] {
                              const TSessionLosses l = session_->Losses(1);
                              TLossCounts c;
                              // Records the device itself could not hold are lost on the way
                              // to the view as surely as those its ring did not take.
                              c.ringDropped = l.dropped + l.deviceLost;
                              c.badRecords = l.badRecords;
                              c.partialBytes = l.partialBytes;
                              return c;
                          },
                          this});
    viewFixed_->SetHost({[this] { return OnBus(); }, nullptr, this});
    sendForm_ = new TSendForm(SessionSender(*session_), [this] { return OnBus(); });
    sendForm_->SetAnchor(this);
    sendForm_->SetErrorPresenter([this](const QString& m) { ShowError(m); });
    sendForm_->SetListTimer(&session_->List());
    sendForm_->SetLabelFileSource([this] { return LabelFilePath(); });
    sendForm_->MessageListPage()->onFileChanged = [this](const QString& path) {
        settings_.MessageListFile = path;
        settings_.SaveChanged(*ini_);  // like the window position, a failed write stays quiet
    };
    graphForm_ = new TGraphForm;
    graphForm_->SetRingRegistrar([this](TQueueBuffer* r) { SetConsumerBuffer(3, r); });
    graphForm_->SetMainWindow(this);
    labelForm_ = new TLabelForm;
    labelForm_->SetAnchor(this);
    labelForm_->SetProgramDir(QCoreApplication::applicationDirPath());
    labelForm_->SetErrorPresenter([this](const QString& m) { ShowError(m); });
    graphForm_->onOwnRangesChanged = [this](bool on) {
        settings_.LabelRanges = on;
        settings_.SaveChanged(*ini_);  // like the window position, a failed write stays quiet
    };
    labelForm_->onDbcLittleEndianChanged = [this](bool on) {
        settings_.DbcLittleEndian = on;
        settings_.SaveChanged(*ini_);  // like the window position, a failed write stays quiet
    };
    // The windows reach each other only through the hooks filled here: Renew reloads the
    // graph's and the monitors' labels, the graph's "Label Window" entry shows and hides the table.
    labelForm_->onRenewed = [g = graphForm_, n = viewNormal_, f = viewFixed_] {
        if (g) g->ReloadLabels();
        if (n) n->ReloadLabels();
        if (f) f->ReloadLabels();
    };
    graphForm_->SetLabelWindowHooks(
        [l = labelForm_] {
            if (l) l->setVisible(!l->isVisible());
        },
        [l = labelForm_] {
            if (l) l->hide();
        });
}

void TMainForm::CloseWindows()
{
    if (sendForm_) {
        sendForm_->SetCloseAllowed(true);
        sendForm_->close();
    }
    if (labelForm_) {
        labelForm_->SetCloseAllowed(true);
        labelForm_->close();
    }
    for (TMonitorForm* w : std::initializer_list<TMonitorForm*>{viewNormal_, viewFixed_}) {
        if (!w) continue;
        w->SetCloseAllowed(true);
        w->close();
    }
    if (graphForm_) {
        graphForm_->SetCloseAllowed(true);
        graphForm_->close();
    }
}

void TMainForm::DeleteWindows()
{
    delete viewNormal_.data();
    delete viewFixed_.data();
    delete sendForm_.data();
    delete graphForm_.data();
    delete labelForm_.data();
}

void TMainForm::PlaceMonitor(QWidget* w)
{
    PlaceUnderMainWindow(w, this);
}

TMonitorForm* TMainForm::ActiveMonitor() const
{
    if (CheckBox3->isChecked()) return viewFixed_;
    return viewNormal_;
}

void TMainForm::ContinueBothMonitors()
{
    if (viewNormal_) viewNormal_->ContinueMonitor();
    if (viewFixed_) viewFixed_->ContinueMonitor();
}

void TMainForm::ClearBothMonitors()
{
    if (viewNormal_) viewNormal_->ClearMonitor();
    if (viewFixed_) viewFixed_->ClearMonitor();
}

void TMainForm::ToggleWindow(QWidget* w)
{
    if (!w) return;
    if (w->isVisible()) {
        w->hide();
    } else {
        if (w == viewNormal_ || w == viewFixed_) PlaceMonitor(w);
        w->show();
    }
}

void TMainForm::CheckBoxClick()
{
    QWidget* show = CheckBox3->isChecked() ? static_cast<QWidget*>(viewFixed_) : viewNormal_;
    QWidget* hide = CheckBox3->isChecked() ? static_cast<QWidget*>(viewNormal_) : viewFixed_;
    if (show && !show->isVisible()) {
        PlaceMonitor(show);
        show->show();
    }
    if (hide && hide->isVisible()) hide->hide();
}

void TMainForm::ActMonitorExecute() { ToggleWindow(ActiveMonitor()); }

void TMainForm::ActSendWindowExecute()
{
    if (sendForm_) ToggleSendWindow(*sendForm_, [this] { return TWarningDialog::Ask(this); });
}

void TMainForm::ActGraphWindowExecute() { ToggleWindow(graphForm_); }

void TMainForm::ActPauseMonitorExecute()
{
    if (viewNormal_) viewNormal_->PauseMonitor();
    if (viewFixed_) viewFixed_->PauseMonitor();
}

void TMainForm::ActContiMonitorExecute() { ContinueBothMonitors(); }

}  // namespace tarvik
