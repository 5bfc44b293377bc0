#include "tgraphctrl/tgraphctrl.h"

#include <cstring>

#include <QFontMetrics>
#include <QGlyphRun>
#include <algorithm>
#include <cmath>
#include <limits>

namespace tarvik {

QColor ToQColor(TColor c)
{
    return QColor(int(c & 0xFF), int(c >> 8 & 0xFF), int(c >> 16 & 0xFF));
}

namespace {

// Truncates toward zero, keeping values the canvas cannot hold (NaN, infinities, beyond int)
// inside [lo, hi] instead of letting the conversion overflow.
int TruncClamped(double v, int lo, int hi)
{
    if (std::isnan(v))
        return lo;
    v = std::trunc(v);
    v = std::max(v, double(lo));
    v = std::min(v, double(hi));
    return int(v);
}

}  // namespace

TGraphCtrl::TGraphCtrl()
{
    SetFont(QFont());
    SetScaleFont(QFont());
}

TGraphCtrl::~TGraphCtrl()
{
    EndPaint();
}

QPainter* TGraphCtrl::Painter()
{
    if (image_.isNull())
        return nullptr;
    if (!painter_) {
        painter_ = std::make_unique<QPainter>(&image_);
        painter_->setRenderHint(QPainter::Antialiasing, false);
    }
    return painter_.get();
}

void TGraphCtrl::EndPaint()
{
    if (painter_) {
        painter_->end();
        painter_.reset();
    }
}

void TGraphCtrl::SetFont(const QFont& font)
{
    textFont_ = font;
    glyphs_[0] = GlyphsFor(font);
    const QFontMetrics fm(textFont_);
    cellW_ = fm.horizontalAdvance(u'W');
    cellH_ = fm.height();
}

void TGraphCtrl::SetScaleFont(const QFont& font)
{
    scaleFont_ = font;
    glyphs_[1] = GlyphsFor(font);
    const QFontMetrics fm(scaleFont_);
    scaleW_ = fm.horizontalAdvance(u'W');
    scaleH_ = fm.height();
}

void TGraphCtrl::SetSize(const TRect& r)
{
    EndPaint();
    const int w = std::max(r.Width(), 0);
    const int h = std::max(r.Height(), 0);
    // An empty rectangle leaves no image; every drawing call then does nothing.
    image_ = (w > 0 && h > 0) ? QImage(w, h, QImage::Format_ARGB32_Premultiplied) : QImage();
    if (!image_.isNull())
        image_.fill(brush_);
    textX_ = textY_ = 0;
    vpLeft_ = vpTop_ = 0;
    vpRight_ = w;
    vpBottom_ = h;
    x1_ = y1_ = 0;
    x2_ = w;
    y2_ = h;
    RecomputeScales();
    align_ = kAlignLeft | kAlignTop;
}

void TGraphCtrl::GetCellExtent(TCellExtent& e) const
{
    e.width = std::int16_t(image_.width());
    e.height = std::int16_t(image_.height());
    e.cols = std::int16_t(cellW_ > 0 ? image_.width() / cellW_ : 0);
    e.rows = std::int16_t(cellH_ > 0 ? image_.height() / cellH_ : 0);
}

void TGraphCtrl::SetColor(TColor c)
{
    brush_ = pen_ = ToQColor(c);
}

void TGraphCtrl::SetTextColor(TColor text, TColor background)
{
    fontColor_ = ToQColor(text);
    brush_ = ToQColor(background);
}

int TGraphCtrl::ColToX(int col) const
{
    return (col > 0 ? col - 1 : col) * cellW_;
}

int TGraphCtrl::RowToY(int row) const
{
    return (row > 0 ? row - 1 : row) * cellH_;
}

void TGraphCtrl::Locate(int row, int col)
{
    textY_ = RowToY(row);
    textX_ = ColToX(col);
}

double TGraphCtrl::CellsToX(double n) const
{
    return std::trunc(cellW_ * n);
}

int TGraphCtrl::CellsToY(double n) const
{
    return TruncClamped(cellH_ * n, std::numeric_limits<int>::min(), std::numeric_limits<int>::max());
}

TGraphCtrl::GlyphFont TGraphCtrl::GlyphsFor(const QFont& font)
{
    GlyphFont g;
    g.raw = QRawFont::fromFont(font);
    const QFontMetricsF fm(font);
    g.height = QFontMetrics(font).height();
    g.ascent = QFontMetrics(font).ascent();
    g.advance = fm.horizontalAdvance(QLatin1Char('0'));
    // Only where every printable ASCII glyph is there and as wide as the others, so the
    // glyph run draws what drawText would.
    g.usable = g.raw.isValid();
    for (char16_t c = 0x20; g.usable && c < 0x7F; ++c)
        g.usable = g.raw.supportsCharacter(QChar(c)) && fm.horizontalAdvance(QChar(c)) == g.advance;
    return g;
}

void TGraphCtrl::DrawText(const QString& text, bool scale, int x, int y)
{
    QPainter* p = Painter();
    if (!p || text.isEmpty())
        return;
    const QFont& font = scale ? scaleFont_ : textFont_;
    const GlyphFont& g = glyphs_[scale ? 1 : 0];
    const bool plain = g.usable && std::all_of(text.begin(), text.end(), [](QChar c) {
        return c.unicode() >= 0x20 && c.unicode() < 0x7F;
    });
    if (!plain) {
        const QFontMetrics fm(font);
        p->fillRect(QRect(x, y, fm.horizontalAdvance(text), fm.height()), brush_);
        p->setFont(font);
        p->setPen(fontColor_);
        p->drawText(x, y + fm.ascent(), text);
        return;
    }
    const QList<quint32> indexes = g.raw.glyphIndexesForString(text);
    QList<QPointF> positions(indexes.size());
    for (qsizetype i = 0; i < positions.size(); ++i) positions[i] = QPointF(qreal(i) * g.advance, 0);
    p->fillRect(QRectF(x, y, std::ceil(qreal(text.size()) * g.advance), g.height), brush_);
    QGlyphRun run;
    run.setRawFont(g.raw);
    run.setGlyphIndexes(indexes);
    run.setPositions(positions);
    p->setPen(fontColor_);
    p->drawGlyphRun(QPointF(x, y + g.ascent), run);
}

void TGraphCtrl::Print(const QString& text)
{
    DrawText(text, false, textX_, textY_);
}

void TGraphCtrl::RecomputeScales()
{
    // A world window or viewport without extent has no scale; mapping then puts every point
    // on the viewport's top-left corner rather than dividing by zero.
    scaleX_ = (x2_ != x1_) ? double(vpRight_ - vpLeft_) / (x2_ - x1_) : 0.0;
    scaleY_ = (y2_ != y1_) ? double(vpBottom_ - vpTop_) / (y2_ - y1_) : 0.0;
    if (!std::isfinite(scaleX_))
        scaleX_ = 0.0;
    if (!std::isfinite(scaleY_))
        scaleY_ = 0.0;
}

void TGraphCtrl::SetViewport(int left, int top, int right, int bottom)
{
    vpLeft_ = left;
    vpTop_ = top;
    vpRight_ = right;
    vpBottom_ = bottom;
    RecomputeScales();
}

void TGraphCtrl::SetWindow(double x1, double y1, double x2, double y2)
{
    x1_ = x1;
    y1_ = y1;
    x2_ = x2;
    y2_ = y2;
    RecomputeScales();
}

int TGraphCtrl::WorldToX(double x) const
{
    // Offset from the viewport edge, clamped first so that the sum cannot overflow, then
    // limited to the viewport (not below its left, then not past its right edge).
    const long long off = TruncClamped((x - x1_) * scaleX_, -(1 << 30), 1 << 30);
    long long v = off + vpLeft_;
    v = std::max<long long>(v, vpLeft_);
    v = std::min<long long>(v, vpRight_);
    return int(v);
}

int TGraphCtrl::WorldToY(double y) const
{
    const long long off = TruncClamped((y - y1_) * scaleY_, -(1 << 30), 1 << 30);
    long long v = off + vpTop_;
    v = std::max<long long>(v, vpTop_);
    v = std::min<long long>(v, vpBottom_);
    return int(v);
}

void TGraphCtrl::MoveTo(int x, int y)
{
    penX_ = x;
    penY_ = y;
}

void TGraphCtrl::LineTo(int x, int y)
{
    if (QPainter* p = Painter()) {
        p->setPen(QPen(pen_, 0));
        p->drawLine(penX_, penY_, x, y);
    }
    penX_ = x;
    penY_ = y;
}

void TGraphCtrl::LineToPattern(int x, int y, std::uint16_t pattern, int left, int right)
{
    const int x0 = penX_, y0 = penY_;
    penX_ = x;
    penY_ = y;
    if (pattern == 0xFFFF && x0 >= left && x0 <= right && x >= left && x <= right) {
        if (QPainter* p = Painter()) {
            p->setPen(QPen(pen_, 0));
            p->drawLine(x0, y0, x, y);
        }
        return;
    }
    QPainter* p = Painter();
    if (!p)
        return;
    p->setPen(QPen(pen_, 0));
    const auto on = [pattern](long long c) { return (pattern >> (c & 15) & 1) != 0; };
    if (x0 == x) {
        if (x >= left && x <= right && on(x))
            p->drawLine(x0, y0, x, y);
        return;
    }
    // Left to right; y of column c on the line, rounded to the nearest pixel.
    const long long xa = std::min(x0, x), xb = std::max(x0, x);
    const long long ya = x0 < x ? y0 : y, yb = x0 < x ? y : y0;
    const auto yAt = [&](long long c) { return int(ya + std::llround(double(yb - ya) * double(c - xa) / double(xb - xa))); };
    const long long from = std::max<long long>(xa, left), to = std::min<long long>(xb, right);
    for (long long c = from; c <= to;) {
        if (!on(c)) {
            ++c;
            continue;
        }
        long long end = c;
        while (end + 1 <= to && on(end + 1))
            ++end;
        // A run of one column still gets the line's full height there.
        const int ys = c == xa ? int(ya) : yAt(c), ye = end == xb ? int(yb) : yAt(end);
        p->drawLine(int(c), ys, int(end), ye);
        c = end + 1;
    }
}

void TGraphCtrl::FillColumns(std::span<const TColumnSpan> spans, TColor c, std::uint16_t pattern)
{
    if (image_.isNull() || spans.empty())
        return;
    EndPaint();
    const QRgb rgb = ToQColor(c).rgb() | 0xFF000000u;
    const int left = std::max(vpLeft_, 0), right = std::min(vpRight_, image_.width() - 1);
    const int top = std::max(vpTop_, 0), bottom = std::min(vpBottom_, image_.height() - 1);
    uchar* bits = image_.bits();
    const qsizetype line = image_.bytesPerLine();
    for (const TColumnSpan& s : spans) {
        if (s.x < left || s.x > right || !(pattern >> (s.x & 15) & 1))
            continue;
        const int y0 = std::max(std::min(s.y0, s.y1), top), y1 = std::min(std::max(s.y0, s.y1), bottom);
        uchar* at = bits + qsizetype(y0) * line + qsizetype(s.x) * 4;
        for (int y = y0; y <= y1; ++y, at += line)
            *reinterpret_cast<QRgb*>(at) = rgb;
    }
}

int TGraphCtrl::ScaleTextWidth(const QString& text) const
{
    return QFontMetrics(scaleFont_).horizontalAdvance(text);
}

void TGraphCtrl::TextOutAt(const QString& text, int px, int py)
{
    const QFontMetrics fm(scaleFont_);
    const int w = fm.horizontalAdvance(text);
    const int h = fm.height();
    if ((align_ & kAlignCenterH) == kAlignCenterH)
        px -= w / 2;
    else if (align_ & kAlignRight)
        px -= w;
    if ((align_ & kAlignCenterV) == kAlignCenterV)
        py -= h / 2;
    else if (align_ & kAlignBottom)
        py -= h;
    DrawText(text, true, px, py);
}

void TGraphCtrl::TextOutW(const QString& text, double x, double y) { TextOutAt(text, WorldToX(x), WorldToY(y)); }

void TGraphCtrl::DrawImage(int x, int y, const QImage& image)
{
    if (QPainter* p = Painter())
        p->drawImage(x, y, image);
}

void TGraphCtrl::DrawBox(int kind, int left, int top, int right, int bottom)
{
    if (kind < 2 || kind > 4 || right <= left || bottom <= top)
        return;
    QPainter* p = Painter();
    if (!p)
        return;
    const QRect r(left, top, right - left, bottom - top);
    auto frame = [&](const QColor& c) {
        p->fillRect(QRect(left, top, r.width(), 1), c);
        p->fillRect(QRect(left, bottom - 1, r.width(), 1), c);
        p->fillRect(QRect(left, top, 1, r.height()), c);
        p->fillRect(QRect(right - 1, top, 1, r.height()), c);
    };
    switch (kind) {
    case 2:
        frame(brush_);
        break;
    case 3:
        p->fillRect(r, brush_);
        frame(pen_);
        break;
    case 4:
        p->fillRect(r, brush_);
        break;
    }
}

void TGraphCtrl::Clear()
{
    if (QPainter* p = Painter())
        p->fillRect(image_.rect(), brush_);
}

void TGraphCtrl::ClearRect(int left, int top, int right, int bottom)
{
    if (QPainter* p = Painter(); p && right > left && bottom > top)
        p->fillRect(QRect(left, top, right - left, bottom - top), brush_);
}

void TGraphCtrl::ScrollUp(int pixels)
{
    EndPaint();
    if (image_.isNull() || pixels <= 0 || pixels >= image_.height())
        return;
    const qsizetype line = image_.bytesPerLine();
    std::memmove(image_.bits(), image_.constBits() + pixels * line, std::size_t((image_.height() - pixels) * line));
}

const QImage& TGraphCtrl::Canvas()
{
    EndPaint();
    return image_;
}

void TGraphCtrl::GetClipRect(TRect& r) const
{
    r = TRect{0, 0, image_.width(), image_.height()};
}

}  // namespace tarvik
