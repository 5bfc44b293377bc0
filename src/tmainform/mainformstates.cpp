#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>

#include "tmainform/lampshape.h"
#include "tmainform/mainform.h"
#include "tusbdev/tusbdev.h"

// Control states and input rules: the facts are gathered here, the rules that turn them into
// states live in controlstates.cpp.

namespace tarvik {

namespace {

void Apply(QAction* a, const ControlState& s)
{
    a->setEnabled(s.enabled);
    a->setVisible(s.visible);
}

}  // namespace

bool TMainForm::PortOpen() const { return session_ && session_->IsOpen(); }
bool TMainForm::OnBus() const { return session_ && session_->OnBus(); }
QColor TMainForm::LampColor() const { return LampColorFor(OnBus(), BusStatus()); }

MainFormFacts TMainForm::CurrentFacts() const
{
    MainFormFacts f;
    f.portOpen = PortOpen();
    f.onBus = OnBus();
    f.canMode = radioButtons_->checkedId() == 0;
    f.hasLines = viewNormal_ && viewNormal_->HasLines();
    f.paused = viewNormal_ && viewNormal_->IsPaused();
    f.monitorShown = (viewNormal_ && viewNormal_->isVisible()) || (viewFixed_ && viewFixed_->isVisible());
    f.canSendEnabled = settings_.CanSendEnabled;
    f.driverMode = settings_.DriverMode;
    f.graphEnabled = settings_.GraphEnabled;
    f.stdMaskChecked = stdMask_.use->isChecked();
    f.extMaskChecked = extMask_.use->isChecked();
    f.linUseSend = CheckBox4->isChecked();
    f.linMaster = CheckBox5->isChecked();
    f.busStatus = BusStatus();
    f.commandRunning = busy_ > 0 || settling_;
    return f;
}

void TMainForm::UpdateControls()
{
    if (closed_ || !session_) return;
    CheckReplayEnd();
    const MainFormStates s = ComputeControlStates(CurrentFacts());
    // This runs whenever the event loop runs dry, dozens of times a second on bus; the
    // widgets are only touched when a state changed.
    if (appliedStates_ && *appliedStates_ == s) {
        UpdateChildWindowActions(s.transmitEnabled);
        return;
    }
    appliedStates_ = s;

    RadioGroup1->setEnabled(s.monitorFunction);
    Apply(ActPortOpen, s.portOpen);
    Apply(ActPortClose, s.portClose);
    Apply(ActSystemConfig, s.systemConfig);
    Apply(ActOnBus, s.onBus);
    Apply(ActOffBus, s.offBus);
    Apply(ActCopyToClipbord, s.copy);
    Apply(ActSaveToFile, s.save);
    ActOpenLog->setEnabled(s.systemConfig.enabled);  // like the settings: only with the port closed
    Apply(ActClsWindow, s.clear);
    Apply(ActPauseMonitor, s.pause);
    Apply(ActContiMonitor, s.conti);
    Apply(ActSendWindow, s.sendWindow);
    Apply(ActGraphWindow, s.graphWindow);

    for (const MaskGroup* g : {&stdMask_, &extMask_}) {
        const bool fields = g == &stdMask_ ? s.stdMaskFields : s.extMaskFields;
        g->box->setEnabled(s.maskGroups);
        g->use->setEnabled(s.maskGroups);
        for (QLabel* l : g->labels) l->setEnabled(fields);
        g->mask->setEnabled(fields);
        g->code->setEnabled(fields);
    }

    GroupBox3->setEnabled(s.linGroup);
    CheckBox4->setEnabled(s.linUseSend);
    CheckBox5->setEnabled(s.linMaster);
    for (QLabel* l : linLabels_) l->setEnabled(s.linFields);
    for (int i = 5; i <= 14; ++i) Edit[i]->setEnabled(s.linFields);
    Apply(ActLinMasterSend, s.linMasterSend);
    Apply(ActLinSlaveStart, s.linSlaveStart);
    Apply(ActLinSlaveStop, s.linSlaveStop);

    Label1->setEnabled(s.busSpeed);
    ComboBox1->setEnabled(s.busSpeed);
    ComboBox2->setEnabled(s.busSpeed);

    Shape1->SetColor(s.lamp);
    UpdateChildWindowActions(s.transmitEnabled);

    ResolveMnemonics();  // which buttons can be pressed may just have changed
}

// The other windows' actions hang on their own state too (a list loaded, a label chosen).
void TMainForm::UpdateChildWindowActions(bool transmitEnabled)
{
    if (sendForm_) sendForm_->SetSendEnabled(transmitEnabled);
    if (graphForm_) graphForm_->EnableActions(OnBus());
    if (labelForm_) labelForm_->EnableActions();
}

void TMainForm::ScheduleIdle()
{
    if (idlePending_ || !idleTimer_) return;
    idlePending_ = true;
    idleTimer_->start();
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event)
{
    // Any event but the idle timer's own means the loop will soon run dry: recompute then.
    if (watched != idleTimer_ && event->type() != QEvent::Timer) ScheduleIdle();

    auto* edit = qobject_cast<QLineEdit*>(watched);
    auto* box = qobject_cast<QCheckBox*>(watched);
    const bool inputRules =
        (edit && edit->window() == this) ||
        (box && (box == stdMask_.use || box == extMask_.use || box == CheckBox4 || box == CheckBox5));
    if (!inputRules) return QMainWindow::eventFilter(watched, event);

    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        // Every edit here takes hex digits, the length edit too; its text is read as decimal.
        switch (FilterKey(key->key(), key->text(), FieldKind::Hex)) {
        case KeyVerdict::Discard: return true;
        case KeyVerdict::NextField: focusNextChild(); return true;
        case KeyVerdict::Pass: break;
        }
    } else if (event->type() == QEvent::FocusOut && edit) {
        if (edit == Edit[5]) EditLinIdExit();
        else EditLinDatExit(edit);
    }
    return QMainWindow::eventFilter(watched, event);
}

void TMainForm::EditLinDatExit(QLineEdit* edit)
{
    edit->setText(NormaliseHexField(edit->text(), edit->maxLength()));
}

void TMainForm::EditLinIdExit()
{
    const std::uint32_t id = ParseHexField(Edit[5]->text());
    Edit[5]->setText(FormatHexField(id, 2));
    Edit[6]->setText(QString::number(LinLengthForId(id)));
}

void TMainForm::RadioGroup1Click()
{
    const bool lin = radioButtons_->checkedId() == 1;
    Label1->setText(lin ? QStringLiteral("LIN Bus Speed : ") : QStringLiteral("CAN Bus Speed : "));
    ComboBox1->setVisible(!lin);
    ComboBox2->setVisible(lin);
    stdMask_.box->setVisible(!lin);
    extMask_.box->setVisible(!lin);
    GroupBox3->setVisible(lin);
    if (lin && sendForm_ && sendForm_->isVisible()) sendForm_->hide();
    if (lin && graphForm_ && graphForm_->isVisible()) graphForm_->hide();
}

}  // namespace tarvik
