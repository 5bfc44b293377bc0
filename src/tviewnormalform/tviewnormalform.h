#pragma once
// "Monitor Window (Realtime)": every frame in arrival order, following the newest page
// while monitoring runs, with the fill of the 1,000,000-record history and the loss counts
// in a strip at the top.
#include <QFrame>
#include <QStringList>
#include <QWidget>
#include <functional>
#include <memory>

#include "tmainform/tmmtimer.h"
#include "tusbdev/tqueuebuffer.h"
#include "tviewnormalform/monitorhost.h"
#include "tviewnormalform/trecordhistory.h"

class QLabel;
class QScrollBar;

namespace tarvik {

class TMonitorTextArea;
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

class TViewNormalForm : public QWidget {
    Q_OBJECT
public:
    // Hands the window's ring to the receive thread (nullptr takes it back).
    using RingRegistrar = std::function<void(TQueueBuffer*)>;

    explicit TViewNormalForm(RingRegistrar registrar, QWidget* parent = nullptr,
                             std::int32_t historyCapacity = TRecordHistory::kCapacity);
    ~TViewNormalForm() override;

    void SetHost(TMonitorHost host) { host_ = std::move(host); }

    // False when already paused or not monitoring.
    bool PauseMonitor();
    // False when not paused.
    bool ContinueMonitor();
    bool IsPaused() const;
    bool HasLines() const;
    QString GetMonitorText() const;
    void ClearMonitor();
    // Until set, a close request only hides the window.
    void SetCloseAllowed(bool allowed) { closeAllowed_ = allowed; }

    TQueueBuffer& Ring() { return ring_; }
    // Waits (serving the repaints meanwhile) until what the ring holds now is stored; false
    // when that took longer than the time-out.
    bool Drain(int timeoutMs = 2000);
    TNormalLogThread& LogThread() { return *log_; }
    QScrollBar* ScrollBar() const { return ScrollBar1; }
    TMonitorTextArea* TextArea() const { return Bevel1; }
    TBarGraph* Gauge() const { return PaintBox1; }

    // Repaint request of the draw thread (GUI thread).
    void RefreshMessage();
    void ScrollBar1Change();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    void FormClose();
    void Unregister();
    void UpdateLosses();

    TMmTimer ticks_;
    TQueueBuffer ring_{20, TQueueBuffer::kDefaultCapacity};
    RingRegistrar registrar_;
    TMonitorHost host_;
    std::unique_ptr<TNormalLogThread> log_;
    TBarGraph* PaintBox1 = nullptr;
    QLabel* Panel1 = nullptr;
    TMonitorTextArea* Bevel1 = nullptr;
    QScrollBar* ScrollBar1 = nullptr;
    bool closeAllowed_ = false;
    int wheelRest_ = 0;
};

}  // namespace tarvik
