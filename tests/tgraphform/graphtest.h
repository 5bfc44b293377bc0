#pragma once
// Records, label sets and surfaces shared by the graph tests.
#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QWheelEvent>
#include <QWidget>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "tgraphctrl/tgraphctrl.h"
#include "tusbdev/adapterprotocol.h"

namespace graphtest {

// A record as the adapter sends it; byte 19 copies byte 0 unless badCheck.
inline tarvik::AdapterRecord Record(std::uint8_t type, std::uint32_t id, bool ext, int length,
                                    std::array<std::uint8_t, 8> data, bool badCheck = false)
{
    tarvik::AdapterRecord r;
    r.bytes[0] = 0x5A;
    r.bytes[19] = badCheck ? 0x5B : 0x5A;
    r.bytes[1] = type;
    r.bytes[2] = std::uint8_t((ext ? 0x80 : 0) | (length & 0x0F));
    r.bytes[3] = std::uint8_t(id >> 24);
    r.bytes[4] = std::uint8_t(id >> 16);
    r.bytes[5] = std::uint8_t(id >> 8);
    r.bytes[6] = std::uint8_t(id);
    for (int i = 0; i < 8; ++i)
        r.bytes[std::size_t(7 + i)] = data[std::size_t(i)];
    return r;
}

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
