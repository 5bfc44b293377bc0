#pragma once
// Fixed-position monitor window: one line per identifier. This first version drains its
// ring on the user-interface thread; the operations the main window calls are final.
#include <QMap>
#include <QWidget>
#include <array>
#include <cstdint>
#include <functional>

#include "tusbdev/tqueuebuffer.h"

class QPlainTextEdit;
class QTimer;

namespace tarvik {

class TViewFixedForm : public QWidget {
    Q_OBJECT
public:
    using RingRegistrar = std::function<void(TQueueBuffer*)>;

    explicit TViewFixedForm(RingRegistrar registrar, QWidget* parent = nullptr);
    ~TViewFixedForm() override;

    void PauseMonitor();
    void ContinueMonitor();
    bool IsPaused() const { return paused_; }
    bool HasLines() const { return !lines_.isEmpty(); }
    QString GetMonitorText() const;
    void ClearMonitor();
    void SetCloseAllowed(bool allowed) { closeAllowed_ = allowed; }

    TQueueBuffer& Ring() { return ring_; }
    void Drain();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void Unregister();

    TQueueBuffer ring_{20, TQueueBuffer::kDefaultCapacity};
    RingRegistrar registrar_;
    QMap<quint32, std::array<std::uint8_t, 20>> lines_;  // frame key -> latest record
    QPlainTextEdit* view_ = nullptr;
    QTimer* drainTimer_ = nullptr;
    bool paused_ = false;
    bool closeAllowed_ = false;
    bool dirty_ = false;
};

}  // namespace tarvik
