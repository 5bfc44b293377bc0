#pragma once
// "Monitor Window (Fixed ID Position)": one line per identifier with its latest frame, in
// ascending identifier order; the scroll position stays where the user left it.
#include <QWidget>
#include <functional>
#include <memory>

#include "tmainform/tmmtimer.h"
#include "tusbdev/tqueuebuffer.h"
#include "tviewnormalform/monitorhost.h"

class QLabel;
class QScrollBar;

namespace tarvik {

class TMonitorTextArea;
class TFixedLogThread;

class TViewFixedForm : public QWidget {
    Q_OBJECT
public:
    using RingRegistrar = std::function<void(TQueueBuffer*)>;

    explicit TViewFixedForm(RingRegistrar registrar, QWidget* parent = nullptr);
    ~TViewFixedForm() override;

    void SetHost(TMonitorHost host) { host_ = std::move(host); }

    bool PauseMonitor();
    bool ContinueMonitor();
    bool IsPaused() const;
    bool HasLines() const;
    QString GetMonitorText() const;
    void ClearMonitor();
    void SetCloseAllowed(bool allowed) { closeAllowed_ = allowed; }

    TQueueBuffer& Ring() { return ring_; }
    // Waits (serving the repaints meanwhile) until what the ring holds now is stored; false
    // when that took longer than the time-out.
    bool Drain(int timeoutMs = 2000);
    TFixedLogThread& LogThread() { return *log_; }
    QScrollBar* ScrollBar() const { return ScrollBar1; }
    TMonitorTextArea* TextArea() const { return Bevel1; }

    void RefreshMessage();
    void ScrollBar1Change();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    void FormClose();
    void Unregister();

    TMmTimer ticks_;
    TQueueBuffer ring_{20, TQueueBuffer::kDefaultCapacity};
    RingRegistrar registrar_;
    TMonitorHost host_;
    std::unique_ptr<TFixedLogThread> log_;
    QLabel* Panel1 = nullptr;
    TMonitorTextArea* Bevel1 = nullptr;
    QScrollBar* ScrollBar1 = nullptr;
    bool closeAllowed_ = false;
    int wheelRest_ = 0;
};

}  // namespace tarvik
