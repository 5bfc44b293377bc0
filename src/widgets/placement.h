#pragma once
// Windows placed by their frames: the rectangles the windows are set in are whole windows,
// title bar and borders included, as the user sees them. A window manager frames a window
// only once it is shown, so until then the frame of a window already framed stands in, and
// the placement is made again once the window manager has framed this one.
#include <QRect>
#include <functional>

class QWidget;

namespace tarvik {

// Moves (and, unless keepSize, sizes) w so that its frame covers `frame`, its title bar on an
// available screen area.
void PlaceFrame(QWidget* w, const QRect& frame, bool keepSize = false);

// Runs f once w is framed by the window manager (at once where no window manager frames
// windows, and after five seconds at the latest), so what is placed beside w is placed by its
// real frame.
void WhenFramed(QWidget* w, std::function<void()> f);

// Moves a framed window's frame to `at` when it is not there (a window's position is its frame's).
void MoveFrameTo(QWidget* w, QPoint at);

// The available areas of all screens.
QList<QRect> AvailableAreas();

}  // namespace tarvik
