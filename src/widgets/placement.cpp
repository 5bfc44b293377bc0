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

// Moves (and unless keepSize sizes) a framed window by what its frame is off from `want`.
void CorrectFrame(QWidget* w, const QRect& want, bool keepSize)
{
    if (!Framed(w))
        return;
    const QRect got = w->frameGeometry();
    if (!keepSize && got.size() != want.size())
        w->resize((w->size() + want.size() - got.size()).expandedTo(QSize(1, 1)));
    if (got.topLeft() != want.topLeft())
        w->move(want.topLeft());  // a window's position is its frame's
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

void MoveFrameTo(QWidget* w, QPoint at)
{
    if (Framed(w) && w->frameGeometry().topLeft() != at)
        w->move(at);
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
    // gets a grip at the bottom), and a window manager may take a first position as the
    // client's: once framed, the frame is put where it was wanted, and checked once more.
    if (!framed)
        WhenFramed(w, [w, want = QRect(at, frameSize), keepSize] {
            CorrectFrame(w, want, keepSize);
            QTimer::singleShot(300, w, [w, want, keepSize] { CorrectFrame(w, want, keepSize); });
        });
}

}  // namespace tarvik
