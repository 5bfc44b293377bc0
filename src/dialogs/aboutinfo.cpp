#include "dialogs/aboutinfo.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <cmath>


namespace tarvik {

namespace {

// A differential pair as it looks on a scope: recessive, then a few dominant bits.
void DrawBusTrace(QPainter& p, const QRectF& r)
{
    static const int bits[] = {1, 1, 0, 1, 0, 0, 1, 0, 1, 1, 0, 1, 0, 0, 0, 1, 1, 0, 1, 1, 1, 0, 1, 0, 1, 1};
    constexpr int n = sizeof(bits) / sizeof(bits[0]);
    const double w = r.width() / n;
    const double mid = r.center().y();
    const double swing = r.height() * 0.32;
    QPainterPath high, low;
    for (int i = 0; i < n; ++i) {
        const double dominant = bits[i] == 0 ? 1.0 : 0.0;
        const double yh = mid - 3 - swing * dominant;
        const double yl = mid + 3 + swing * dominant;
        const double x0 = r.left() + i * w;
        if (i == 0) {
            high.moveTo(x0, yh);
            low.moveTo(x0, yl);
        } else {
            high.lineTo(x0, yh);
            low.lineTo(x0, yl);
        }
        high.lineTo(x0 + w, yh);
        low.lineTo(x0 + w, yl);
    }
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(255, 210, 80), 1.6));
    p.drawPath(high);
    p.setPen(QPen(QColor(90, 200, 255), 1.6));
    p.drawPath(low);
}

}  // namespace

QImage DrawProductPicture(QSize size)
{
    QImage img(size, QImage::Format_RGB888);
    const double W = size.width();
    const double H = size.height();
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);

    QLinearGradient sky(0, 0, 0, H);
    sky.setColorAt(0.0, QColor(18, 38, 72));
    sky.setColorAt(0.65, QColor(40, 84, 140));
    sky.setColorAt(1.0, QColor(70, 120, 170));
    p.fillRect(QRectF(0, 0, W, H), sky);

    // Faint scope grid behind everything.
    p.setPen(QPen(QColor(255, 255, 255, 22), 1));
    for (double x = 0; x < W; x += W / 16)
        p.drawLine(QPointF(x, 0), QPointF(x, H * 0.72));
    for (double y = 0; y < H * 0.72; y += H / 12)
        p.drawLine(QPointF(0, y), QPointF(W, y));

    DrawBusTrace(p, QRectF(W * 0.04, H * 0.08, W * 0.92, H * 0.22));

    // The adapter: a small box with a USB lead on one side and a bus connector on the other.
    const QRectF body(W * 0.36, H * 0.38, W * 0.28, H * 0.22);
    QLinearGradient shell(body.topLeft(), body.bottomLeft());
    shell.setColorAt(0.0, QColor(236, 238, 242));
    shell.setColorAt(1.0, QColor(168, 174, 186));
    p.setPen(QPen(QColor(40, 44, 52), 1.2));
    p.setBrush(shell);
    p.drawRoundedRect(body, 6, 6);
    const QRectF usb(body.left() - W * 0.06, body.center().y() - H * 0.03, W * 0.06, H * 0.06);
    const QRectF dsub(body.right(), body.center().y() - H * 0.05, W * 0.05, H * 0.10);
    p.setBrush(QColor(120, 126, 138));
    p.drawRect(usb);
    p.drawRoundedRect(dsub, 2, 2);
    p.setPen(QPen(QColor(30, 30, 30), 3, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(usb.left(), usb.center().y()), QPointF(W * 0.05, usb.center().y() + H * 0.06));
    p.drawLine(QPointF(dsub.right(), dsub.center().y()), QPointF(W * 0.95, dsub.center().y() - H * 0.06));

    // Status lamps: power, bus, transmit.
    const QColor lamps[] = {QColor(40, 220, 60), QColor(255, 210, 40), QColor(240, 60, 50)};
    for (int i = 0; i < 3; ++i) {
        const QPointF c(body.left() + body.width() * (0.22 + 0.28 * i), body.top() + body.height() * 0.32);
        QRadialGradient g(c, 6);
        g.setColorAt(0.0, Qt::white);
        g.setColorAt(0.45, lamps[i]);
        g.setColorAt(1.0, lamps[i].darker(180));
        p.setPen(Qt::NoPen);
        p.setBrush(g);
        p.drawEllipse(c, 5, 5);
    }
    p.setPen(QColor(50, 56, 70));
    QFont f("DejaVu Sans");
    f.setPixelSize(int(H * 0.07));
    f.setBold(true);
    p.setFont(f);
    p.drawText(QRectF(body.left(), body.top() + body.height() * 0.52, body.width(), body.height() * 0.4),
               Qt::AlignCenter, "CAN / LIN");

    // A pale band at the foot carries the dark caption texts laid over the picture.
    const QRectF band(0, H * 0.72, W, H * 0.28);
    QLinearGradient foot(band.topLeft(), band.bottomLeft());
    foot.setColorAt(0.0, QColor(226, 232, 240));
    foot.setColorAt(1.0, QColor(250, 251, 253));
    p.fillRect(band, foot);
    p.setPen(QPen(QColor(255, 190, 60), 2));
    p.drawLine(QPointF(0, band.top()), QPointF(W, band.top()));
    p.end();
    return img;
}

}  // namespace tarvik
