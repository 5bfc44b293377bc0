#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QLineEdit>
#include <QClipboard>
#include <QFileDialog>
#include <QFileInfo>
#include <QDateTime>
#include <QMenuBar>
#include <QMessageBox>
#include <QTimer>

#include "dialogs/taboutbox.h"
#include "dialogs/tsystemdialog.h"
#include "logformats/tracefile.h"
#include "platform/apptitle.h"
#include "tviewnormalform/tnormallogthread.h"
#include "platform/fonts.h"
#include "tmainform/mainform.h"
#include "tmainform/lampshape.h"
#include "bus/tmonthread.h"
#include "tusbdev/tusbdev.h"
#include "widgets/actions.h"

// Every command of the main window is one QAction made here, shared by its menu entry and its
// button. A new command: a member pointer in mainform.h, one NewAction line, a menu entry.

namespace tarvik {

QAction* TMainForm::NewAction(const char* name, const QString& text, const QString& buttonText,
                              void (TMainForm::*handler)())
{
    QAction* a = tarvik::NewAction(this, name, text);
    // A button shows the icon text; without it Qt would strip the mnemonic.
    a->setIconText(buttonText.isEmpty() ? text : buttonText);
    if (handler) connect(a, &QAction::triggered, this, [this, handler] { Guard([this, handler] { (this->*handler)(); }); });
    return a;
}

void TMainForm::CreateActions()
{
    ActPortOpen = NewAction("ActPortOpen", "Open(&O)", {}, &TMainForm::ActPortOpenExecute);
    ActPortClose = NewAction("ActPortClose", "Close(&C)", {}, &TMainForm::ActPortCloseExecute);
    ActSystemConfig = NewAction("ActSystemConfig", "System Config(&S)...", {}, &TMainForm::ActSystemConfigExecute);
    ActFileExit = NewAction("ActFileExit", "Exit(&X)", {}, nullptr);
    connect(ActFileExit, &QAction::triggered, this, &QWidget::close);
    ActOnBus = NewAction("ActOnBus", "Go On Bus(&G)", {}, &TMainForm::ActOnBusExecute);
    ActOffBus = NewAction("ActOffBus", "Go Off Bus(&F)", {}, &TMainForm::ActOffBusExecute);
    ActCopyToClipbord =
        NewAction("ActCopyToClipbord", "Copy to Clipbord(&C)", "Copy to Clip(&C)", &TMainForm::ActCopyToClipbordExecute);
    ActSaveToFile = NewAction("ActSaveToFile", "Save to File(&A)...", "Save to File(&A)", &TMainForm::ActSaveToFileExecute);
    ActOpenLog = NewAction("ActOpenLog", "Open Log...", {}, &TMainForm::ActOpenLogExecute);
    ActClsWindow = NewAction("ActClsWindow", "Clear(&E)", {}, &TMainForm::ActClsWindowExecute);
    ActPauseMonitor = NewAction("ActPauseMonitor", "Pause(&P)", {}, &TMainForm::ActPauseMonitorExecute);
    ActContiMonitor = NewAction("ActContiMonitor", "Continue(&N)", {}, &TMainForm::ActContiMonitorExecute);
    ActFixedStats = NewAction("ActFixedStats", "Count and Cycle Columns(&O)", {}, nullptr);
    ActFixedStats->setCheckable(true);
    connect(ActFixedStats, &QAction::toggled, this, [this](bool on) {
        if (viewFixed_) viewFixed_->SetStatsColumns(on);
        settings_.FixedStatsColumns = on;
        settings_.SaveChanged(*ini_);  // like the window position, a failed write stays quiet
    });
    ActMonitor = NewAction("ActMonitor", "Monitor Window(&M)", {}, &TMainForm::ActMonitorExecute);
    ActSendWindow = NewAction("ActSendWindow", "Send Window(&S)", {}, &TMainForm::ActSendWindowExecute);
    ActGraphWindow = NewAction("ActGraphWindow", "Graph Window(&G)", {}, &TMainForm::ActGraphWindowExecute);
    ActAbout = NewAction("ActAbout", "About(&A)...", {}, &TMainForm::ActAboutExecute);
    ActLinSlaveStart = NewAction("ActLinSlaveStart", "Start(&S)", {}, &TMainForm::ActLinSlaveStartExecute);
    ActLinSlaveStop = NewAction("ActLinSlaveStop", "Stop(&D)", {}, &TMainForm::ActLinSlaveStopExecute);
    ActLinMasterSend = NewAction("ActLinMasterSend", "Send(&S)", {}, &TMainForm::ActLinMasterSendExecute);
}

void TMainForm::CreateMenus()
{
    QMenuBar* bar = menuBar();
    QMenu* file = bar->addMenu(QStringLiteral("File(&F)"));
    file->addAction(ActPortOpen);
    file->addAction(ActPortClose);
    file->addAction(ActOpenLog);
    file->addSeparator();
    file->addAction(ActSystemConfig);
    file->addSeparator();
    file->addAction(ActFileExit);
    QMenu* edit = bar->addMenu(QStringLiteral("Edit(&E)"));
    edit->addAction(ActCopyToClipbord);
    edit->addAction(ActSaveToFile);
    QMenu* view = bar->addMenu(QStringLiteral("View(&V)"));
    view->addAction(ActPauseMonitor);
    view->addAction(ActContiMonitor);
    view->addSeparator();
    view->addAction(ActClsWindow);
    view->addSeparator();
    view->addAction(ActFixedStats);
    QMenu* run = bar->addMenu(QStringLiteral("Run(&R)"));
    run->addAction(ActOnBus);
    run->addAction(ActOffBus);
    QMenu* window = bar->addMenu(QStringLiteral("Window(&W)"));
    window->addAction(ActMonitor);
    window->addAction(ActSendWindow);
    QMenu* help = bar->addMenu(QStringLiteral("Help(&H)"));
    help->addAction(ActAbout);
    for (QMenu* m : {file, edit, view, run, window, help}) m->setFont(WindowFont());
    bar->setFont(WindowFont());
}

// ---------------------------------------------------------------------------------------
// Port and bus

bool TMainForm::GoOnBus() { return session_->GoOnBus(CurrentOnBusConfig()); }
bool TMainForm::GoOffBus() { return session_->GoOffBus(); }
bool TMainForm::ClearAdapter() { return session_->Clear(); }

OnBusConfig TMainForm::CurrentOnBusConfig() const
{
    OnBusConfig c;
    c.monitorFunction = radioButtons_->checkedId() == 1 ? 1 : 0;
    c.canSpeed = CanBusSpeed();
    c.samplingPoint = settings_.SamplingPoint;
    c.driverMode = settings_.DriverMode;
    c.terminator = settings_.Terminator;
    if (stdMask_.use->isChecked()) {
        c.stdMask = ParseHexField(stdMask_.mask->text());
        c.stdCode = ParseHexField(stdMask_.code->text());
    }
    if (extMask_.use->isChecked()) {
        c.extMask = ParseHexField(extMask_.mask->text());
        c.extCode = ParseHexField(extMask_.code->text());
    }
    c.linSpeed = LinBusSpeed();
    c.linNode = LinOperationNode();
    return c;
}

LinFrame TMainForm::CurrentLinFrame() const
{
    LinFrame f;
    f.length = int(ParseDecField(Edit[6]->text()));
    f.id = ParseHexField(Edit[5]->text());
    for (int i = 0; i < 8; ++i) f.data[i] = std::uint8_t(ParseHexField(Edit[7 + i]->text()));
    return f;
}

void TMainForm::ActPortOpenExecute()
{
    if (session_->Open()) ContinueBothMonitors();
}

void TMainForm::ActPortCloseExecute()
{
    if (OnBus()) GoOffBus();
    if (session_->Close()) ContinueBothMonitors();
}

void TMainForm::ActSystemConfigExecute()
{
    RunSystemConfig(
        this, CurrentSettings(), *ini_, [this](std::uint32_t* n) { return session_->Device().DeviceCount(n); },
        [this](const TSettings& s) { return ApplyDialogSettings(s); }, [this](const QString& m) { ShowError(m); });
    UpdateControls();
}

void TMainForm::ActOnBusExecute()
{
    if (!session_->IsOpen() && !session_->Open()) return;
    ClearBothMonitors();
    const std::int64_t opened = QDateTime::currentMSecsSinceEpoch() * 1000;
    if (!GoOnBus()) return;  // refused: the port stays open, nothing is shown
    // A replayed candump log keeps its own clock, so saving it again gives the same times.
    busOpenedMicros_ = replay_.device && replay_.absoluteTimes ? replay_.firstMicros : opened;
    if (replay_.device) {  // the log plays from its start again
        replayEnded_ = false;
        ShowReplayNote();
    }
    ContinueBothMonitors();
    QWidget* monitor = ActiveMonitor();
    if (monitor && !monitor->isVisible()) {
        PlaceMonitor(monitor);
        monitor->show();
    }
}

void TMainForm::ActOffBusExecute()
{
    GoOffBus();
    if (graphForm_) graphForm_->StopDaq();
    ContinueBothMonitors();
    session_->Close();
}

void TMainForm::UsbFailure()
{
    // The receive thread shows the error itself; the off-bus steps must not add a second box.
    try {
        ActOffBusExecute();
    } catch (const std::exception&) {
        ContinueBothMonitors();
        try {
            session_->Close();
        } catch (const std::exception&) {
        }
    }
}

void TMainForm::ActClsWindowExecute()
{
    if (!session_->IsOpen() && !session_->Open()) return;
    ClearAdapter();
    ClearBothMonitors();
    ContinueBothMonitors();
}

void TMainForm::ActLinMasterSendExecute() { session_->SendLinFrame(CurrentLinFrame()); }
void TMainForm::ActLinSlaveStartExecute() { session_->SendLinFrame(CurrentLinFrame()); }
void TMainForm::ActLinSlaveStopExecute() { session_->StopLinSlave(); }

// ---------------------------------------------------------------------------------------
// Monitor text

static QString MonitorText(const TMonitorForm* w) { return w ? w->GetMonitorText() : QString(); }

void TMainForm::ActCopyToClipbordExecute() { QGuiApplication::clipboard()->setText(MonitorText(ActiveMonitor())); }

void TMainForm::ActSaveToFileExecute()
{
    const QString proposed = ActSaveToFileBeforeExecute();
    QString path;
    if (options_.askSaveFileName) {
        path = options_.askSaveFileName(proposed);
    } else {
        static const QStringList filters{QStringLiteral("Text file (txt) (*.txt)"), QStringLiteral("candump log (*.log)"),
                                         QStringLiteral("ASC log (*.asc)"), QStringLiteral("TRC log (*.trc)"),
                                         QStringLiteral("BLF log (*.blf)"), QStringLiteral("All files (*.*) (*)")};
        static const QStringList suffixes{QStringLiteral("txt"), QStringLiteral("log"), QStringLiteral("asc"),
                                          QStringLiteral("trc"), QStringLiteral("blf"), QStringLiteral("txt")};
        QFileDialog dlg(this, QString(), proposed, filters.join(QStringLiteral(";;")));
        dlg.setAcceptMode(QFileDialog::AcceptSave);
        dlg.setDefaultSuffix(QStringLiteral("txt"));
        // The chosen form gives a bare name its ending, which then chooses how it is written.
        connect(&dlg, &QFileDialog::filterSelected, &dlg,
                [&dlg](const QString& f) { dlg.setDefaultSuffix(suffixes.value(filters.indexOf(f), QStringLiteral("txt"))); });
        dlg.selectFile(proposed);
        if (dlg.exec() == QDialog::Accepted && !dlg.selectedFiles().isEmpty()) path = dlg.selectedFiles().first();
    }
    if (!path.isEmpty()) ActSaveToFileAccept(path);
}

QString TMainForm::ActSaveToFileBeforeExecute() const
{
    return ProposeLogFileName(settings_.LogfilePrefix, QDate::currentDate(),
                              [](const QString& name) { return QFileInfo::exists(name); });
}

bool TMainForm::ActSaveToFileAccept(const QString& path)
{
    QString error;
    TTraceFormat format;
    if (!TraceFormatOfName(path, &format)) {
        if (WriteLinesCrLf(path, MonitorText(ActiveMonitor()), &error)) return true;
        ShowError(QStringLiteral("Cannot write %1 : %2").arg(path, error));
        return false;
    }
    // Traces come from the scrolling monitor's history, whichever monitor is shown.
    if (!viewNormal_) return false;
    std::vector<AdapterRecord> records;
    viewNormal_->RecordsToSave(records);  // the shown lines only when the user chose so
    TTraceCounts counts;
    if (!SaveTrace(path, format, records, busOpenedMicros_, &counts, &error)) {
        ShowError(QStringLiteral("Cannot write %1 : %2").arg(path, error));
        return false;
    }
    const QString done = TraceSavedText(path, counts.written, counts.linLeftOut);
    if (options_.showInfo)
        options_.showInfo(done);
    else
        QMessageBox::information(this, ApplicationTitle(), done);
    return true;
}

void TMainForm::ActOpenLogExecute()
{
    if (PortOpen()) return;  // the channel changes only while the port is closed
    QString path;
    if (options_.askOpenLogName) {
        path = options_.askOpenLogName();
    } else {
        path = QFileDialog::getOpenFileName(this, QStringLiteral("Open Log"), QString(),
                                            QStringLiteral("Trace logs (*.log *.asc *.trc *.blf);;All files (*)"));
    }
    if (path.isEmpty()) return;
    QString error;
    const TReplaySource source = MakeReplaySource(path, false, 1.0, &error, /*keepLeftOut*/ true);
    if (!source.device) {
        ShowError(error);
        return;
    }
    PlayLog(source);
}

void TMainForm::PlayLog(const TReplaySource& source)
{
    UseDevice(source.device);
    replay_ = source;
    session_->SetHoldWhenFull(source.fast);
    caption_ = baseCaption_ + QStringLiteral(" - replay ") + QFileInfo(source.file).fileName();
    if (!source.skipped.isEmpty()) caption_ += QStringLiteral(" (left out: %1)").arg(source.skipped);
    setWindowTitle(caption_);
    replayEnded_ = false;
    ShowReplayNote();
}

void TMainForm::ShowReplayNote()
{
    QString note;
    if (replayEnded_)
        note = QStringLiteral("replay of %1 finished: %2 frames").arg(replay_.file).arg(replay_.frames);
    if (!replay_.skipped.isEmpty())
        note += (note.isEmpty() ? QString() : QStringLiteral("; ")) + QStringLiteral("left out: ") + replay_.skipped;
    // The caption is cut off by narrow windows; the monitor's status line has the room.
    if (viewNormal_) viewNormal_->SetStatusNote(note);
    if (Shape1 && replayEnded_) Shape1->setToolTip(note);
}

void TMainForm::CheckReplayEnd()
{
    // Every frame of the log has come in: the adapter stays on bus, quiet, until the user acts.
    if (!replay_.device || replayEnded_ || !OnBus() || session_->FramesRead() < replay_.frames) return;
    replayEnded_ = true;
    ShowReplayNote();
}

void TMainForm::PlayAndSave(const QString& path, std::function<void(bool saved)> done)
{
    ActOnBus->trigger();
    if (!OnBus() || !viewNormal_) {
        done(false);  // the reason was shown
        return;
    }
    const std::uint64_t frames = replay_.frames;
    auto* poll = new QTimer(this);
    connect(poll, &QTimer::timeout, this, [this, poll, path, frames, done = std::move(done)] {
        // Frames pushed out of a full history were received too.
        const TRecordHistory& h = viewNormal_->LogThread().History();
        const bool all = std::uint64_t(h.Count()) + h.Overwritten() >= frames;
        if (!all && OnBus()) return;
        poll->deleteLater();
        if (!all) {
            // Off bus before the end: a failure shows its own error; say what is missing.
            ShowError(QStringLiteral("The replay of %1 stopped after %2 of %3 frames; nothing was saved")
                          .arg(replay_.file)
                          .arg(std::uint64_t(h.Count()) + h.Overwritten())
                          .arg(frames));
            done(false);
            return;
        }
        ActOffBus->trigger();
        // The history keeps the newest frames only: a longer log would be saved cut short.
        if (h.Overwritten() > 0) {
            ShowError(QStringLiteral("The replay of %1 brought %2 frames, %3 more than the history keeps; "
                                     "nothing was saved")
                          .arg(replay_.file)
                          .arg(frames)
                          .arg(h.Overwritten()));
            done(false);
            return;
        }
        done(ActSaveToFileAccept(path));
    });
    poll->start(10);
}

void TMainForm::ActAboutExecute()
{
    TAboutBox box(this);
    box.FillDefaults(ApplicationTitle());
    box.exec();
}

}  // namespace tarvik
