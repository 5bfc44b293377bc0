#include "tmainform/lampshape.h"

#include <QPainter>

namespace tarvik {

void TLampShape::SetColor(const QColor& c)
{
    if (c == color_) return;  // the poll sets it ten times a second
    color_ = c;
    update();
}

void TLampShape::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(color_);
    const QRectF r = QRectF(rect()).adjusted(3.5, 3.5, -3.5, -3.5);
    p.drawRoundedRect(r, 4, 4);
}

}  // namespace tarvik
