#pragma once
// "Send Message Window": puts CAN frames on the bus once, or has the adapter repeat one
// at an interval until stopped; those two pages keep no sending state of their own. A third
// page, "Message List" (tmessagelistpage.h), sends a list of frames through the bus session's
// list timer; the window grows to fit it while it is shown.
#include <QLineEdit>
#include <QWidget>
#include <array>
#include <functional>

#include "tsendform/sendfields.h"
#include "tusbdev/native/nativedevice.h"

class QAction;
class QCheckBox;
class QPushButton;
class QTabWidget;

class QLabel;

namespace tarvik {

class TListSendThread;
class TMessageListPage;

// A number field whose length limit can shrink without cutting the text it already holds:
// the limit applies to typing, and a longer value stays until the user shortens it.
class TFieldEdit : public QLineEdit {
    Q_OBJECT
public:
    TFieldEdit(const QString& name, int limit, const QString& initial, FieldKind kind, QWidget* parent);
    int Limit() const { return limit_; }
    void SetLimit(int limit);
    FieldKind Kind() const { return kind_; }
    // Rewrites the text in its canonical form (upper-case hex padded to the limit, or plain decimal).
    void Normalise();

private:
    void Refit();
    int limit_;
    FieldKind kind_;
};

// Where the window's frames go; device errors are thrown as exceptions.
struct TFrameSender {
    std::function<void(const TBusFrame&)> transmit;
    std::function<void(const TBusFrame&, std::uint32_t intervalMs)> startPeriodic;
    std::function<void()> stopPeriodic;
};

class TSendForm : public QWidget {
    Q_OBJECT
public:
    // Writes one composed native command to the adapter; errors are thrown as exceptions.
    using CommandWriter = std::function<void(const Command&)>;
    // Whether monitoring (the receive thread) is running.
    using RunningQuery = std::function<bool()>;
    using ErrorPresenter = std::function<void(const QString&)>;

    TSendForm(TFrameSender sender, RunningQuery running, QWidget* parent = nullptr);
    // The native adapter's T, I and S commands through a writer.
    TSendForm(CommandWriter writer, RunningQuery running, QWidget* parent = nullptr)
        : TSendForm(NativeSender(std::move(writer)), std::move(running), parent)
    {
    }
    TSendForm(TUsbDev& usb, RunningQuery running, QWidget* parent = nullptr)
        : TSendForm(UsbWriter(usb), std::move(running), parent)
    {
    }

    static TFrameSender NativeSender(CommandWriter writer)
    {
        return {[writer](const TBusFrame& f) { writer(NativeTransmit(f)); },
                [writer](const TBusFrame& f, std::uint32_t ms) { writer(NativePeriodic(f, ms)); },
                [writer] { writer(cmd::StopPeriodic()); }};
    }
    // No reply is awaited: the adapter answers transmit commands with records, not an ACK.
    static CommandWriter UsbWriter(TUsbDev& usb)
    {
        return [&usb](const Command& c) {
            usb.SendAndWait(c.data(), static_cast<std::uint32_t>(c.size()), 5000, 0, nullptr);
        };
    }

    void SetSendEnabled(bool enabled);
    void SetCloseAllowed(bool allowed) { closeAllowed_ = allowed; }
    bool CloseAllowed() const { return closeAllowed_; }
    // Set once the user has accepted the warning in this run; never stored.
    bool WarningAccepted() const { return warningAccepted_; }
    void SetWarningAccepted(bool accepted) { warningAccepted_ = accepted; }
    // The window opens to the right of this one (the main window).
    void SetAnchor(QWidget* anchor) { anchor_ = anchor; }
    // Shows errors thrown by the writer; a message box unless replaced.
    void SetErrorPresenter(ErrorPresenter p) { presenter_ = std::move(p); }

    // The "Message List" page; its rows run on the list timer given (the session's).
    TMessageListPage* MessageListPage() const { return listPage_; }
    void SetListTimer(TListSendThread* list);
    // The list file opened at start and remembered in the settings; the labels for "Signals".
    void SetMessageListFile(const QString& path);
    QString MessageListFile() const;
    void SetLabelFileSource(std::function<QString()> source);

    QAction* ActSingleShot() const { return actSingleShot_; }
    QAction* ActSendStart() const { return actSendStart_; }
    QAction* ActSendStop() const { return actSendStop_; }

    void ActSingleShotExecute();
    void ActSendStartExecute();
    void ActSendStopExecute();

    // The interval now being sent, 0 when no periodic send runs.
    std::uint32_t SendingEveryMs() const { return sendingEveryMs_; }

    // The frame fields of page 0 (single shot) or page 1 (interval).
    TFrameFields Fields(int page) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    struct FramePage {
        QCheckBox* extended = nullptr;
        TFieldEdit* id = nullptr;
        TFieldEdit* length = nullptr;
        std::array<TFieldEdit*, 8> data{};
    };

    QWidget* BuildPage(FramePage& page, int firstEdit, int checkBoxNo);
    void CheckBox1Click(QCheckBox* box);
    bool Send(const std::function<void()>& step);
    void SetSendingEvery(std::uint32_t ms);

    TFrameSender sender_;
    RunningQuery running_;
    ErrorPresenter presenter_;
    QWidget* anchor_ = nullptr;
    bool closeAllowed_ = false;
    bool warningAccepted_ = false;

    QTabWidget* pages_ = nullptr;
    FramePage single_;
    FramePage interval_;
    TFieldEdit* edit21_ = nullptr;
    QLabel* intervalState_ = nullptr;
    std::uint32_t sendingEveryMs_ = 0;
    bool sendEnabled_ = true;
    QAction* actSingleShot_ = nullptr;
    QAction* actSendStart_ = nullptr;
    QAction* actSendStop_ = nullptr;
    TMessageListPage* listPage_ = nullptr;
};

// "Send Window(&S)": the first time in a run ask() must answer Yes (otherwise the window
// is hidden and the next use asks again); then the window is shown when hidden and hidden
// when shown.
void ToggleSendWindow(TSendForm& form, const std::function<bool()>& ask);

}  // namespace tarvik
