#pragma once
// Off-screen drawing surface: an image with two fonts, a text position on a grid of
// character cells, and a world-to-pixel mapping. Owners draw into it and copy Canvas() onto
// their window when it must be painted. Used from the user-interface thread only.
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QRawFont>
#include <QString>
#include <cstdint>
#include <memory>
#include <span>

namespace tarvik {

// Colours are 24-bit values 0x00BBGGRR.
using TColor = std::uint32_t;
inline constexpr TColor RGBColor(int r, int g, int b)
{
    return TColor(r & 0xFF) | TColor(g & 0xFF) << 8 | TColor(b & 0xFF) << 16;
}
QColor ToQColor(TColor c);

// A rectangle with exclusive right and bottom edges.
struct TRect {
    int left = 0, top = 0, right = 0, bottom = 0;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    bool operator==(const TRect&) const = default;
};

// One pixel column's vertical run, y0 to y1 inclusive.
struct TColumnSpan {
    int x = 0, y0 = 0, y1 = 0;
};

struct TCellExtent {
    std::int16_t width = 0, height = 0;  // pixels
    std::int16_t cols = 0, rows = 0;     // whole character cells
};

// Text alignment flags for TextOutW.
enum : int {
    kAlignLeft = 1,
    kAlignRight = 2,
    kAlignCenterH = 3,
    kAlignTop = 4,
    kAlignBottom = 8,
    kAlignCenterV = 12,
};

class TGraphCtrl {
public:
    TGraphCtrl();
    ~TGraphCtrl();
    TGraphCtrl(const TGraphCtrl&) = delete;
    TGraphCtrl& operator=(const TGraphCtrl&) = delete;

    void SetFont(const QFont& font);
    void SetScaleFont(const QFont& font);
    // Resizes the surface (clearing it) and resets text position, viewport, window and alignment.
    void SetSize(const TRect& r);
    void GetCellExtent(TCellExtent& extent) const;

    void SetColor(TColor c);                       // brush and pen
    void SetTextColor(TColor text, TColor background);  // fonts' colour, and the brush

    void Locate(int row, int col);  // 1-based cell
    void Print(const QString& text);
    int ColToX(int col) const;
    int RowToY(int row) const;
    double CellsToX(double n) const;
    int CellsToY(double n) const;

    void SetViewport(int left, int top, int right, int bottom);
    void SetWindow(double x1, double y1, double x2, double y2);
    int WorldToX(double x) const;
    int WorldToY(double y) const;

    void MoveTo(int x, int y);
    void LineTo(int x, int y);
    void MoveToW(double x, double y) { MoveTo(WorldToX(x), WorldToY(y)); }
    void LineToW(double x, double y) { LineTo(WorldToX(x), WorldToY(y)); }

    // Line from the pen to (x, y), drawn only on the columns from left to right (inclusive)
    // whose bit (column mod 16) is set in pattern, so a dashed curve drawn in pieces keeps
    // one pattern along x. The pen moves to (x, y).
    void LineToPattern(int x, int y, std::uint16_t pattern, int left, int right);
    // Vertical runs in colour c on the columns whose pattern bit is set, written straight
    // into the image (a whole log's plot is tens of thousands of them); clipped to the
    // viewport, its right and bottom edges included as WorldToX and WorldToY give them.
    void FillColumns(std::span<const TColumnSpan> spans, TColor c, std::uint16_t pattern = 0xFFFF);
    TRect Viewport() const { return {vpLeft_, vpTop_, vpRight_, vpBottom_}; }
    int ScaleTextWidth(const QString& text) const;
    // Text in the scale font at a pixel position, aligned by the alignment flags.
    void TextOutAt(const QString& text, int x, int y);

    void SetTextAlign(int horizontal, int vertical) { align_ = horizontal | vertical; }
    int TextAlign() const { return align_; }
    void TextOutW(const QString& text, double x, double y);

    // kind 2 frame in the brush colour, 3 pen outline with brush fill, 4 brush fill; others nothing.
    void DrawBox(int kind, int left, int top, int right, int bottom);
    void Clear();
    // Fills the rectangle with the background colour.
    void ClearRect(int left, int top, int right, int bottom);
    // Moves the whole image up by pixels; the rows that come free keep their old contents
    // until drawn over.
    void ScrollUp(int pixels);
    // Copies an image onto the surface with its top-left corner at (x, y).
    void DrawImage(int x, int y, const QImage& image);

    // The finished image, for copying onto a window.
    const QImage& Canvas();
    void GetClipRect(TRect& r) const;

    int CellWidth() const { return cellW_; }
    int CellHeight() const { return cellH_; }
    int ScaleCellWidth() const { return scaleW_; }
    int ScaleCellHeight() const { return scaleH_; }
    int TextX() const { return textX_; }
    int TextY() const { return textY_; }
    double ScaleX() const { return scaleX_; }
    double ScaleY() const { return scaleY_; }

private:
    QPainter* Painter();  // opened on demand, null while the image is empty
    void EndPaint();
    void RecomputeScales();
    void DrawText(const QString& text, bool scale, int x, int y);
    // A fixed-pitch font's glyphs for plain ASCII text, laid out once per font: the monitors
    // draw hundreds of such lines a second, and shaping each anew is most of their cost.
    struct GlyphFont {
        QRawFont raw;
        bool usable = false;
        qreal advance = 0, ascent = 0;
        int height = 0;
    };
    static GlyphFont GlyphsFor(const QFont& font);

    QImage image_;
    std::unique_ptr<QPainter> painter_;
    QFont textFont_, scaleFont_;
    GlyphFont glyphs_[2];  // the text and the scale font
    QColor brush_{Qt::white}, pen_{Qt::black}, fontColor_{Qt::black};
    int textX_ = 0, textY_ = 0;
    int cellW_ = 0, cellH_ = 0, scaleW_ = 0, scaleH_ = 0;
    int vpLeft_ = 0, vpTop_ = 0, vpRight_ = 0, vpBottom_ = 0;
    double x1_ = 0, y1_ = 0, x2_ = 0, y2_ = 0;
    double scaleX_ = 0, scaleY_ = 0;
    int align_ = kAlignLeft | kAlignTop;
    int penX_ = 0, penY_ = 0;
};

}  // namespace tarvik
