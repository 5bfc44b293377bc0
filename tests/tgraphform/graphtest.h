#pragma once
// Label sets, surfaces and window events shared by the graph tests.
#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QWheelEvent>
#include <QWidget>
#include <cstdint>
#include <string>
#include <vector>

#include "tgraphctrl/tgraphctrl.h"

namespace graphtest {

// One label per name: a 16-bit big-endian unsigned at bit 0 of identifier id.
inline std::vector<std::string> WordLabels(const std::vector<std::string>& names, const char* id = "0x100")
{
    std::vector<std::string> lines;
    for (const auto& n : names)
        lines.push_back(n + ",\"unsigned short\",," + id + ",Big,0,16,1,0,0,65535,");
    return lines;
}

inline QRgb Pixel(const QImage& img, int x, int y) { return img.pixel(x, y) & 0xFFFFFF; }
inline QRgb Rgb(tarvik::TColor c) { return tarvik::ToQColor(c).rgb() & 0xFFFFFF; }

// Rows of column x holding colour c.
inline std::vector<int> RowsOf(const QImage& img, int x, tarvik::TColor c)
{
    std::vector<int> rows;
    for (int y = 0; y < img.height(); ++y)
        if (Pixel(img, x, y) == Rgb(c))
            rows.push_back(y);
    return rows;
}

// Mouse and wheel events as the window system delivers them, at a point of the window.
inline void Mouse(QWidget* w, QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons held)
{
    QMouseEvent e(type, QPointF(at), w->mapToGlobal(QPointF(at)), button, held, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}
inline void Wheel(QWidget* w, QPoint at, int notches)
{
    QWheelEvent e(QPointF(at), w->mapToGlobal(QPointF(at)), QPoint(), QPoint(0, 120 * notches), Qt::NoButton,
                  Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(w, &e);
}

}  // namespace graphtest
