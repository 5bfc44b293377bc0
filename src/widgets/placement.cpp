#include "widgets/placement.h"

#include <QApplication>
#include <QGuiApplication>
#include <QMargins>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <chrono>

#include "platform/screenplace.h"

namespace tarvik {

namespace {

QMargins g_learnt;  // the frame of the last window seen framed; every window gets the same

// A frame that is really there: around the window and larger (right after a show, before
// the window manager has answered, the frame Qt gives can be anything).
bool Framed(const QWidget* w)
{
    const QRect f = w->frameGeometry(), c = w->geometry();
    return w->isVisible() && f != c && f.contains(c);
}

QMargins MarginsOf(const QWidget* w)
{
    const QRect f = w->frameGeometry(), c = w->geometry();
    return QMargins(c.left() - f.left(), c.top() - f.top(), f.right() - c.right(), f.bottom() - c.bottom());
}

QMargins FrameMargins(const QWidget* w)
{
    if (Framed(w))
        return g_learnt = MarginsOf(w);
    for (const QWidget* other : QApplication::topLevelWidgets())
        if (other != w && Framed(other))
            return g_learnt = MarginsOf(other);
    return g_learnt;
}

}  // namespace

void WhenFramed(QWidget* w, std::function<void()> f)
{
    const QString platform = QGuiApplication::platformName();
    if (Framed(w) || platform == QLatin1String("offscreen") || platform == QLatin1String("minimal")) {
        f();
        return;
    }
    auto* poll = new QTimer(w);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, w, [w, poll, deadline, f = std::move(f)] {
        if (!Framed(w) && std::chrono::steady_clock::now() < deadline)
            return;
        poll->stop();
        poll->deleteLater();
        f();
    });
    poll->start();
}

QList<QRect> AvailableAreas()
{
    QList<QRect> areas;
    for (const QScreen* screen : QGuiApplication::screens())
        areas << screen->availableGeometry();
    return areas;
}

void PlaceFrame(QWidget* w, const QRect& frame, bool keepSize)
{
    const bool framed = Framed(w);
    const QMargins m = FrameMargins(w);
    const QSize extra(m.left() + m.right(), m.top() + m.bottom());
    const QSize frameSize = keepSize ? w->size() + extra : frame.size();
    const QPoint at = KeepTitleBarOnScreen(frame.topLeft(), frameSize, AvailableAreas());
    const QSize client = (frameSize - extra).expandedTo(QSize(1, 1));
    w->setGeometry(QRect(at + QPoint(m.left(), m.top()), client));
    // The window manager's frame may differ from the one that stood in (a resizable window
    // gets a grip at the bottom): placed again once it is known.
    if (!framed)
        WhenFramed(w, [w, frame = QRect(at, frameSize), keepSize, m] {
            if (Framed(w) && MarginsOf(w) != m)
                PlaceFrame(w, frame, keepSize);
        });
}

}  // namespace tarvik
