#pragma once
// Where a window may open: a position read from the settings file can lie anywhere (a
// screen since unplugged, a hand-edited 2147483647), and a window opened there is lost,
// and saved there again at close. The title bar is what the user needs to reach it.
#include <QList>
#include <QPoint>
#include <QRect>
#include <QSize>

namespace tarvik {

// Height of the strip at the top of a frame that counts as its title bar.
inline constexpr int kTitleBarHeight = 24;

// The top-left corner at which a frame of frameSize, wanted at wanted, shows its title bar
// on one of the available areas (work areas of the screens). A title bar with at least
// kTitleBarHeight pixels square of it on an area stays where it is; otherwise the frame
// moves onto the area nearest to the wanted corner, as far inside it as it fits. With no
// areas at all the wanted corner is returned.
QPoint KeepTitleBarOnScreen(QPoint wanted, QSize frameSize, const QList<QRect>& available);

}  // namespace tarvik
