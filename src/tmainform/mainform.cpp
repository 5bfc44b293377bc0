#include "tmainform/mainform.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLayout>
#include <QMessageBox>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <thread>

#include "platform/apptitle.h"
#include "platform/fonts.h"
#include "subfuncs/subfuncs.h"
#include "tmainform/lampshape.h"
#include "tusbdev/tusbdev.h"
#include "widgets/placement.h"

// Creation, closing and shutdown of the main window. The other concerns live beside it:
// mainformactions.cpp (every command), mainformlayout.cpp (the controls), mainformwindows.cpp
// (the secondary windows), mainformsettings.cpp (settings into controls), mainformstates.cpp
// (enabled and shown states).

namespace tarvik {

TMainForm::TMainForm(TMainFormOptions options, QWidget* parent)
    : QMainWindow(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      options_(std::move(options))
{
    setObjectName(QStringLiteral("MainForm"));
    setFont(WindowFont());
    CreateActions();
    CreateMenus();
    CreateControls();
    layout()->setSizeConstraint(QLayout::SetFixedSize);  // a fixed-size window, like a dialog
    FormCreate();
}

TMainForm::~TMainForm()
{
    if (!closed_) FormClose();
    FormDestroy();
}

void TMainForm::FormCreate()
{
    baseCaption_ = QStringLiteral("Halvorn Tarvik for PC  Ver. ") + GetVersionLabel(QCoreApplication::applicationFilePath());
    caption_ = baseCaption_;
    setWindowTitle(caption_);
    const QString exePath = QCoreApplication::applicationFilePath();
    ini_ = std::make_unique<TIniFile>(options_.settingsPath.isEmpty() ? SettingsFilePath(exePath)
                                                                      : options_.settingsPath);
    // Before any window exists: a settings file that cannot be used is said on stderr.
    if (!ini_->LoadError().isEmpty()) std::fprintf(stderr, "tarvik: %s\n", qPrintable(ini_->LoadError()));

    CreateSession();
    CreateWindows();

    BindSettings();
    settings_.Load(*ini_, exePath);
    ApplyLoadedSettings();

    // Control states follow the facts whenever the event loop runs dry; the slow poll picks up
    // what the receive thread changes (bus status) while nothing else happens.
    idleTimer_ = new QTimer(this);
    idleTimer_->setSingleShot(true);
    idleTimer_->setInterval(0);
    connect(idleTimer_, &QTimer::timeout, this, [this] {
        idlePending_ = false;
        UpdateControls();
    });
    pollTimer_ = new QTimer(this);
    pollTimer_->setInterval(100);
    connect(pollTimer_, &QTimer::timeout, this, &TMainForm::UpdateControls);
    pollTimer_->start();
    qApp->installEventFilter(this);
    UpdateControls();

    show();
    QCoreApplication::processEvents();
    // A window manager may take the position given before the show as the client's, which
    // puts the title bar above the screen: once framed, the frame goes where it belongs, and
    // only then is the monitor placed under it.
    WhenFramed(this, [this] {
        MoveFrameTo(this, QPoint(settings_.Left, settings_.Top));
        if (settings_.ViewState) {
            PlaceMonitor(ActiveMonitor());
            ActiveMonitor()->show();
        }
    });
    activateWindow();
    setFocus();
}

void TMainForm::FormCloseQuery()
{
    TSettings pos = settings_;
    pos.Left = x();
    pos.Top = y();
    pos.ViewState = (viewNormal_ && viewNormal_->isVisible()) || (viewFixed_ && viewFixed_->isVisible());
    pos.SaveWindow(*ini_);  // a failed write never keeps the program from closing
}

void TMainForm::FormClose()
{
    closed_ = true;
    try {
        if (OnBus()) {
            GoOffBus();
            // Lets the adapter finish the off-bus reply before the port goes.
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    } catch (const std::exception&) {
        // The link failed while going off bus; closing goes on regardless.
    }
    try {
        if (session_->IsOpen()) session_->Close();
    } catch (const std::exception&) {
    }
    CloseWindows();
    session_->Shutdown();
}

void TMainForm::FormDestroy()
{
    qApp->removeEventFilter(this);
    if (idleTimer_) idleTimer_->stop();
    if (pollTimer_) pollTimer_->stop();
    DeleteWindows();
    session_.reset();
    ini_.reset();
}

void TMainForm::closeEvent(QCloseEvent* event)
{
    if (closed_) {
        event->accept();
        return;
    }
    if (busy_ > 0) {
        // A command is still waiting for its reply (the wait keeps the window alive):
        // close right after it instead of pulling the port from under it.
        event->ignore();
        QTimer::singleShot(10, this, &QWidget::close);
        return;
    }
    FormCloseQuery();
    FormClose();
    event->accept();
}

// ---------------------------------------------------------------------------------------
// The receive thread as the window sees it

void TMainForm::CreateSession()
{
    TMonThread::Host host;
    host.UsbFailure = [this] { UsbFailure(); };
    host.ShowError = [this](const std::string& m) { ShowError(QString::fromStdString(m)); };
    startDevice_ = options_.device ? options_.device : MakeNativeDevice(options_.backend);
    session_ = std::make_unique<TBusSession>(startDevice_, std::move(host));
    UseDevice(nullptr);
}

void TMainForm::UseDevice(std::shared_ptr<TBusDevice> device)
{
    if (device) {
        // The port settings carry over to the new device.
        device->SetDeviceNumber(session_->Device().DeviceNumber());
        device->SetBaudRate(session_->Device().BaudRate());
        session_->SetDevice(std::move(device));
    }
    // Open failures are shown as the user's action's error; a reply wait keeps the window alive.
    session_->Device().SetErrorPresenter([this](const std::string& m) { ShowError(QString::fromStdString(m)); });
    session_->Device().SetMessagePump([] { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents); });
    // An adapter that keeps settings of its own (a CAN interface's bit rate) may still be
    // what the user wants on the bus: the message says what it runs at and how to change it.
    session_->Device().SetSettingsQuestion([this](const std::string& m) {
        const QString q = QString::fromStdString(m) + QStringLiteral("\n\nGo on bus at the adapter's own settings?");
        if (options_.askYesNo) return options_.askYesNo(q);
        return QMessageBox::question(this, ApplicationTitle(), q) == QMessageBox::Yes;
    });
}

int TMainForm::BusStatus() const { return session_ ? session_->BusStatus() : 2; }

void TMainForm::SetConsumerBuffer(int slot, TQueueBuffer* ring)
{
    if (session_) session_->SetSlot(slot, ring);
}

// ---------------------------------------------------------------------------------------
// Errors

void TMainForm::ShowError(const QString& message)
{
    if (options_.showError) {
        options_.showError(message);
        return;
    }
    QMessageBox::critical(this, ApplicationTitle(), message);
}

void TMainForm::ShowNotice(const QString& notice)
{
    if (Shape1) Shape1->setToolTip(notice);
    setWindowTitle(notice.isEmpty() ? caption_ : caption_ + QStringLiteral("  - ") + notice);
}

void TMainForm::Guard(const std::function<void()>& body)
{
    if (++busy_ == 1) UpdateControls();  // the bus actions go off while this runs
    const auto started = std::chrono::steady_clock::now();
    try {
        body();
    } catch (const std::exception& e) {
        ShowError(QString::fromStdString(e.what()));
    }
    // Long enough for a user to have clicked again: a reply that timed out, a slow adapter.
    const bool waited = std::chrono::steady_clock::now() - started > std::chrono::seconds(1);
    if (busy_ == 1) {
        // Clicks made during a reply wait were held back by its event pump. Delivered now,
        // while the bus actions are still disabled, they are dropped instead of repeating
        // the sequence.
        QCoreApplication::processEvents();
        if (session_) ShowNotice(QString::fromStdString(session_->Problem()));
    }
    if (--busy_ > 0) return;
    if (!waited) {
        UpdateControls();
        return;
    }
    // An X server's clicks that came during a long wait reach the window only once this
    // click's own handling has returned to the event loop: the controls stay off until then.
    settling_ = true;
    UpdateControls();
    QTimer::singleShot(100, this, [this] {
        settling_ = false;
        UpdateControls();
    });
}

}  // namespace tarvik
