#pragma once
// What both monitor windows share: the header strip and text area with its scroll bar, the
// ring handed to the receive thread, pausing, clearing, wheel scrolling, placement under the
// main window, and hiding rather than closing until the program ends.
#include <QWidget>
#include <functional>
#include <memory>

#include "platform/tmmtimer.h"
#include "tusbdev/tqueuebuffer.h"
#include "monitorview/monitorhost.h"
#include "monitorview/signalrows.h"

class QLabel;
class QScrollBar;
class QSplitter;
class QTableWidget;
class QVBoxLayout;

namespace tarvik {

class TMonitorTextArea;
class TMonitorLogThread;

class TMonitorForm : public QWidget {
    Q_OBJECT
public:
    // Hands the window's ring to the receive thread (nullptr takes it back).
    using RingRegistrar = std::function<void(TQueueBuffer*)>;

    ~TMonitorForm() override;

    void SetHost(TMonitorHost host) { host_ = std::move(host); }

    // False when already paused or not monitoring.
    bool PauseMonitor();
    // False when not paused.
    bool ContinueMonitor();
    bool IsPaused() const;
    bool HasLines() const;
    virtual QString GetMonitorText() const;
    void ClearMonitor();
    // Until set, a close request only hides the window.
    void SetCloseAllowed(bool allowed) { closeAllowed_ = allowed; }

    TQueueBuffer& Ring() { return ring_; }
    // Waits (serving the repaints meanwhile) until what the ring holds now is stored; false
    // when that took longer than the time-out.
    bool Drain(int timeoutMs = 2000);
    QScrollBar* ScrollBar() const { return ScrollBar1; }
    TMonitorTextArea* TextArea() const { return Bevel1; }

    // Repaint request of the draw thread (GUI thread).
    virtual void RefreshMessage() = 0;
    // What the text area shows: every stored line unless a window narrows it.
    virtual std::int32_t ShownLineCount() const;
    virtual std::string ShownLine(std::int32_t index) const;
    void ScrollBar1Change();

    // The signal panel lists the labels of the selected frame from this label file,
    // reread when it changes (ReloadLabels: at once, after the label window renewed it).
    void SetLabelFile(const QString& path);
    void ReloadLabels();
    QWidget* SignalPanel() const { return PanelSignals; }
    QTableWidget* SignalGrid() const { return GridSignals; }
    QString SignalHeading() const;

protected:
    // Builds the header strip and the text area; the derived constructor adds what else it
    // shows and then calls Start.
    TMonitorForm(RingRegistrar registrar, QWidget* parent, const QString& name, const QString& title);
    // Takes the worker that fills the lines and hands the ring to the receive thread.
    void Start(std::unique_ptr<TMonitorLogThread> log);
    // The derived destructor calls this too, so that no repaint reaches a half-destroyed window.
    void FormClose();

    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    // The wheel over the scroll bar moves one line a notch too, not the bar's own three.
    bool eventFilter(QObject* watched, QEvent* event) override;

    // A click on line index (step 0), or the line cursor moved by step lines.
    virtual void SelectLine(std::int32_t index, int step) = 0;
    // The frame the panel shows; false when none is selected.
    virtual bool SelectedRecord(AdapterRecord& record) const = 0;
    // Fills the panel from the selected frame, showing the panel when asked.
    void ShowSignals(bool show = false);
    // Scrolls the least that puts line index on the page.
    void ScrollToLine(std::int32_t index);

    const TMmTimer& ticks_ = ProgramTimer();
    TQueueBuffer ring_{20, TQueueBuffer::kDefaultCapacity};
    TMonitorHost host_;
    std::unique_ptr<TMonitorLogThread> log_;
    QVBoxLayout* layout_ = nullptr;
    QLabel* Panel1 = nullptr;
    TMonitorTextArea* Bevel1 = nullptr;
    QScrollBar* ScrollBar1 = nullptr;
    QSplitter* Splitter1 = nullptr;
    QWidget* PanelSignals = nullptr;
    QLabel* LabelSignals = nullptr;
    QTableWidget* GridSignals = nullptr;

private:
    void Unregister();
    void CreateSignalPanel();

    RingRegistrar registrar_;
    bool closeAllowed_ = false;
    int wheelRest_ = 0;
    TSignalRows signals_;
    std::vector<TSignalRow> shownRows_;
};

}  // namespace tarvik
