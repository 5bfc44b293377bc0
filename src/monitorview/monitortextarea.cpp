#include "monitorview/monitortextarea.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QScrollBar>
#include <limits>

#include "platform/fonts.h"
#include "monitorview/monitorscroll.h"
#include "subfuncs/subfuncs.h"

namespace tarvik {

namespace {
constexpr int kInset = 2;  // the text sits 2 pixels inside the sunken frame
constexpr TColor kText = RGBColor(0, 0, 0), kPaper = RGBColor(255, 255, 255);
constexpr TColor kMarkText = RGBColor(255, 255, 255), kMarkPaper = RGBColor(0, 70, 160);
constexpr TColor kChanged = RGBColor(210, 0, 0), kChangedOnMark = RGBColor(255, 220, 0);
}

QScrollBar* NewMonitorScrollBar(QWidget* parent)
{
    auto* bar = new QScrollBar(Qt::Vertical, parent);
    bar->setObjectName(QStringLiteral("ScrollBar1"));
    bar->setFixedWidth(17);
    bar->setRange(0, 0);
    bar->setPageStep(1);  // one page of lines once the text area knows its height
    bar->setSingleStep(1);
    // Plain fills: the style's gradient groove, as tall as the window, is handed by Qt to its
    // worker threads on every repaint, for a strip that never needed it.
    bar->setStyleSheet(QStringLiteral(
        "QScrollBar:vertical { background: #e8e8e8; width: 17px; margin: 17px 0 17px 0; }"
        "QScrollBar::handle:vertical { background: #b8b8b8; min-height: 20px; }"
        "QScrollBar::add-line:vertical { background: #d8d8d8; height: 17px; subcontrol-position: bottom; "
        "subcontrol-origin: margin; }"
        "QScrollBar::sub-line:vertical { background: #d8d8d8; height: 17px; subcontrol-position: top; "
        "subcontrol-origin: margin; }"
        "QScrollBar::up-arrow:vertical, QScrollBar::down-arrow:vertical { width: 7px; height: 7px; "
        "background: #606060; }"
        "QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical { background: none; }"));
    return bar;
}

TMonitorTextArea::TMonitorTextArea(LineSource lines, CountSource count, QScrollBar* scrollBar, QWidget* parent)
    : QFrame(parent), lines_(std::move(lines)), count_(std::move(count)), scrollBar_(scrollBar)
{
    setObjectName(QStringLiteral("Bevel1"));
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(1);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);  // the arrow keys move the line cursor
    surface_.SetFont(WindowFont(12));
    surface_.SetScaleFont(WindowFont(12));
    surface_.SetTextColor(kText, kPaper);
}

int TMonitorTextArea::LinesPerPage() const
{
    TCellExtent e;
    surface_.GetCellExtent(e);
    return e.rows;
}

void TMonitorTextArea::Redraw()
{
    const int lines = LinesPerPage();
    const std::int32_t count = count_();
    std::int32_t index = FirstVisibleLine(scrollBar_->value(), lines);
    const int cellH = surface_.CellHeight();
    TCellExtent extent;
    surface_.GetCellExtent(extent);
    const QRect area = rect().adjusted(kInset, kInset, -kInset, -kInset);
    // Only rows whose text or marks differ from what the surface holds are drawn again. A page
    // that moved on by a few lines is scrolled, on the surface and on the screen, so a
    // following view draws just its new lines at the bottom.
    const std::int32_t moved = index - first_;
    if (!valid_ || moved < 0 || moved >= visible_.size()) {
        if (!valid_ || moved != 0) {
            surface_.Clear();
            visible_.clear();
            visibleMarks_.clear();
            update();
        }
    } else if (moved > 0) {
        surface_.ScrollUp(moved * cellH);
        visible_.remove(0, moved);
        visibleMarks_.erase(visibleMarks_.begin(), visibleMarks_.begin() + moved);
        scroll(0, -moved * cellH, area);
    }
    valid_ = true;
    first_ = index;
    showsChanges_ = false;
    int row = 0;
    for (; row < lines && index < count; ++row, ++index) {
        QString line = QString::fromLatin1(lines_(index));
        const TLineMarks m = marks_ ? marks_(index) : TLineMarks{};
        showsChanges_ = showsChanges_ || m.changedBytes != 0;
        if (row < visible_.size() && visible_[row] == line && visibleMarks_[std::size_t(row)] == m)
            continue;
        DrawRow(row + 1, line, m, extent.cols);
        update(area.left(), area.top() + row * cellH, area.width(), cellH);
        if (row < visible_.size()) {
            visible_[row] = std::move(line);
            visibleMarks_[std::size_t(row)] = m;
        } else {
            visible_.append(std::move(line));
            visibleMarks_.push_back(m);
        }
    }
    if (row < visible_.size()) {
        // Lines that are gone (a clear, the end of the history): their rows turn white.
        surface_.ClearRect(0, row * cellH, extent.width, int(visible_.size()) * cellH);
        update(area.left(), area.top() + row * cellH, area.width(), int(visible_.size() - row) * cellH);
        visible_.resize(row);
        visibleMarks_.resize(std::size_t(row));
    }
    ++redraws_;
}

void TMonitorTextArea::DrawRow(int row, const QString& line, const TLineMarks& m, int cols)
{
    surface_.ClearRect(0, (row - 1) * surface_.CellHeight(), std::numeric_limits<int>::max() / 2,
                       row * surface_.CellHeight());
    surface_.Locate(row, 1);
    if (m.marked) {
        // The marked line's band runs across the whole area.
        surface_.SetTextColor(kMarkText, kMarkPaper);
        surface_.Print(line.leftJustified(std::max<int>(cols, int(line.size()))));
    } else {
        surface_.Print(line);
    }
    for (int i = 0; i < 8 && m.changedBytes != 0; ++i) {
        if (!(m.changedBytes >> i & 1) || DataByteColumn(i) + 2 > line.size())
            continue;
        surface_.SetTextColor(m.marked ? kChangedOnMark : kChanged, m.marked ? kMarkPaper : kPaper);
        surface_.Locate(row, DataByteColumn(i) + 1);
        surface_.Print(line.mid(DataByteColumn(i), 2));
    }
    surface_.SetTextColor(kText, kPaper);
}

int TMonitorTextArea::LineY(std::int32_t index) const
{
    return kInset + int(index - first_) * surface_.CellHeight();
}

void TMonitorTextArea::mousePressEvent(QMouseEvent* event)
{
    setFocus(Qt::MouseFocusReason);
    const int cell = surface_.CellHeight();
    const int y = int(event->position().y()) - kInset;
    if (select_ && cell > 0 && y >= 0 && y / cell < visible_.size())
        select_(first_ + y / cell, 0);
    event->accept();
}

void TMonitorTextArea::keyPressEvent(QKeyEvent* event)
{
    if (select_ && event->modifiers() == Qt::NoModifier &&
        (event->key() == Qt::Key_Up || event->key() == Qt::Key_Down)) {
        select_(-1, event->key() == Qt::Key_Up ? -1 : 1);
        event->accept();
        return;
    }
    QFrame::keyPressEvent(event);
}

void TMonitorTextArea::resizeEvent(QResizeEvent* event)
{
    QFrame::resizeEvent(event);
    const QRect r = rect().adjusted(kInset, kInset, -kInset, -kInset);
    surface_.SetSize({r.left(), r.top(), r.right() + 1, r.bottom() + 1});
    surface_.SetFont(WindowFont(12));
    surface_.SetScaleFont(WindowFont(12));
    // A click in the trough turns one page; the arrows keep their one line.
    scrollBar_->setPageStep(std::max(1, LinesPerPage()));
    valid_ = false;  // a new surface holds nothing
    Redraw();
}

void TMonitorTextArea::paintEvent(QPaintEvent* event)
{
    QPainter p(this);
    // The strip between the frame and the text stays the window colour.
    p.fillRect(event->rect() & rect().adjusted(1, 1, -1, -1), Qt::white);
    const QImage& img = surface_.Canvas();
    if (!img.isNull()) {
        // Only what was asked for: usually the few rows that changed.
        const QRect target = event->rect() & QRect(QPoint(kInset, kInset), img.size());
        p.drawImage(target, img, target.translated(-kInset, -kInset));
    }
    p.end();
    QFrame::paintEvent(event);
}

}  // namespace tarvik
