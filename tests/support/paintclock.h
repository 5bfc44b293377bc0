#pragma once
// Notes, on a clock the caller starts, when a widget first receives a paint event.
#include <QElapsedTimer>
#include <QEvent>
#include <QObject>

namespace testsupport {

class PaintClock : public QObject {
public:
    explicit PaintClock(const QElapsedTimer& t) : t_(t) {}
    qint64 first = -1;  // milliseconds on the clock; -1 until the first paint

protected:
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() == QEvent::Paint && first < 0)
            first = t_.elapsed();
        return false;
    }

private:
    const QElapsedTimer& t_;
};

}  // namespace testsupport
