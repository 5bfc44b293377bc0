#pragma once
// How fast a table reaches the screen: its first paint, and what a scrolled page costs.
#include <QAbstractItemView>
#include <QElapsedTimer>
#include <QEvent>
#include <QObject>
#include <QScrollBar>
#include <algorithm>

namespace testsupport {

// Notes, on a clock the caller starts, when a widget first receives a paint event.
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

// Scrolls view a page at a time, repainting each, and returns the milliseconds per page.
inline double MsPerScrolledPage(QAbstractItemView& view, int pages = 200)
{
    QScrollBar* bar = view.verticalScrollBar();
    QElapsedTimer scroll;
    scroll.start();
    for (int i = 0; i < pages; ++i) {
        bar->setValue((i * bar->pageStep()) % std::max(1, bar->maximum()));
        view.viewport()->repaint();
    }
    return double(scroll.nsecsElapsed()) / 1e6 / pages;
}

}  // namespace testsupport
