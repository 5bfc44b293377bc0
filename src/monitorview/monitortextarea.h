#pragma once
// The text area both monitor windows share: a TGraphCtrl surface of whole lines beside a
// vertical scroll bar, redrawn from a line source at a scroll position.
#include <QFrame>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tgraphctrl/tgraphctrl.h"

class QScrollBar;

namespace tarvik {

// Places a monitor window directly under the main window, as wide as it, down to the bottom
// of the work area; nothing without a main window.
void PlaceUnderMainWindow(QWidget* w, QWidget* mainWindow);

// The monitor windows' scroll bar: flat, filled with plain colours.
QScrollBar* NewMonitorScrollBar(QWidget* parent);

// How one line is drawn beyond its text: data bytes in the second colour (bit i: byte i),
// the whole line as the marked one.
struct TLineMarks {
    std::uint8_t changedBytes = 0;
    bool marked = false;
    bool operator==(const TLineMarks&) const = default;
};

class TMonitorTextArea : public QFrame {
    Q_OBJECT
public:
    using LineSource = std::function<std::string(std::int32_t index)>;
    using CountSource = std::function<std::int32_t()>;
    using MarkSource = std::function<TLineMarks(std::int32_t index)>;
    // A click on a line: (its index, 0); Up and Down: (-1, -1) and (-1, +1).
    using SelectHandler = std::function<void(std::int32_t index, int step)>;

    TMonitorTextArea(LineSource lines, CountSource count, QScrollBar* scrollBar, QWidget* parent = nullptr);

    // ScrollBar1Change: the page that ends just before the scroll position.
    void Redraw();
    // Whole lines that fit (L).
    int LinesPerPage() const;
    // Lines drawn by the last redraw, for checks.
    const QStringList& VisibleLines() const { return visible_; }
    // Lines carry no marks until a source is set.
    void SetMarkSource(MarkSource marks)
    {
        marks_ = std::move(marks);
        valid_ = false;
    }
    const std::vector<TLineMarks>& VisibleMarks() const { return visibleMarks_; }
    void SetSelectHandler(SelectHandler select) { select_ = std::move(select); }
    // Index of the first line the last redraw drew.
    std::int32_t FirstLine() const { return first_; }
    // The pixel row (inside the widget) where line index would be drawn on this page.
    int LineY(std::int32_t index) const;
    // The last redraw showed a changed byte, which fades without new records.
    bool ShowsChanges() const { return showsChanges_; }
    TGraphCtrl& Surface() { return surface_; }
    std::uint64_t RedrawCount() const { return redraws_; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void DrawRow(int row, const QString& line, const TLineMarks& m, int cols);

    LineSource lines_;
    CountSource count_;
    MarkSource marks_;
    SelectHandler select_;
    std::int32_t first_ = 0;
    bool valid_ = false;  // the surface holds visible_ from first_ onward
    std::vector<TLineMarks> visibleMarks_;
    bool showsChanges_ = false;
    QScrollBar* scrollBar_;
    TGraphCtrl surface_;
    QStringList visible_;
    std::uint64_t redraws_ = 0;
};

}  // namespace tarvik
