#pragma once
// Scrolling monitor window: every record in arrival order. This first version drains its
// ring on the user-interface thread; the operations the main window calls are final.
#include <QWidget>
#include <array>
#include <cstdint>
#include <deque>
#include <functional>

#include "tusbdev/tqueuebuffer.h"

class QPlainTextEdit;
class QTimer;

namespace tarvik {

class TViewNormalForm : public QWidget {
    Q_OBJECT
public:
    // Hands the window's ring to the receive thread (nullptr takes it back).
    using RingRegistrar = std::function<void(TQueueBuffer*)>;

    explicit TViewNormalForm(RingRegistrar registrar, QWidget* parent = nullptr);
    ~TViewNormalForm() override;

    void PauseMonitor();
    void ContinueMonitor();
    bool IsPaused() const { return paused_; }
    bool HasLines() const { return !records_.empty(); }
    QString GetMonitorText() const;
    void ClearMonitor();
    // Until set, a close request only hides the window.
    void SetCloseAllowed(bool allowed) { closeAllowed_ = allowed; }

    TQueueBuffer& Ring() { return ring_; }
    // Moves everything waiting in the ring into the window now.
    void Drain();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void Unregister();

    TQueueBuffer ring_{20, TQueueBuffer::kDefaultCapacity};
    RingRegistrar registrar_;
    // Raw records, formatted only when shown or copied.
    std::deque<std::array<std::uint8_t, 20>> records_;
    QPlainTextEdit* view_ = nullptr;
    QTimer* drainTimer_ = nullptr;
    bool paused_ = false;
    bool closeAllowed_ = false;
    bool dirty_ = false;
};

// One record as a line of the first monitor windows.
QString PlainRecordLine(const std::uint8_t* record);

}  // namespace tarvik
