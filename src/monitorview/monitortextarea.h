#pragma once
// The text area both monitor windows share: a TGraphCtrl surface of whole lines beside a
// vertical scroll bar, redrawn from a line source at a scroll position.
#include <QFrame>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <string>

#include "tgraphctrl/tgraphctrl.h"

class QScrollBar;

namespace tarvik {

// Places a monitor window directly under the main window, as wide as it, down to the bottom
// of the work area; nothing without a main window.
void PlaceUnderMainWindow(QWidget* w, QWidget* mainWindow);

// The monitor windows' scroll bar: flat, filled with plain colours.
QScrollBar* NewMonitorScrollBar(QWidget* parent);

class TMonitorTextArea : public QFrame {
    Q_OBJECT
public:
    using LineSource = std::function<std::string(std::int32_t index)>;
    using CountSource = std::function<std::int32_t()>;

    TMonitorTextArea(LineSource lines, CountSource count, QScrollBar* scrollBar, QWidget* parent = nullptr);

    // ScrollBar1Change: the page that ends just before the scroll position.
    void Redraw();
    // Whole lines that fit (L).
    int LinesPerPage() const;
    // Lines drawn by the last redraw, for checks.
    const QStringList& VisibleLines() const { return visible_; }
    TGraphCtrl& Surface() { return surface_; }
    std::uint64_t RedrawCount() const { return redraws_; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    LineSource lines_;
    CountSource count_;
    QScrollBar* scrollBar_;
    TGraphCtrl surface_;
    QStringList visible_;
    std::uint64_t redraws_ = 0;
};

}  // namespace tarvik
