#include "controls/PaintedTabCtrl.h"

#include <QKeyEvent>
#include <QPainter>
#include <QScopedValueRollback>
#include <QWheelEvent>
#include <algorithm>
#include <cstdlib>

namespace vellumix::controls {

namespace {

// The tab text face: a 24-pixel cell with characters 10 pixels wide on
// average. Qt sizes a face by its em rather than its cell, so the cell height
// is converted through the face's own line height and the width is reached by
// stretching.
constexpr char kTabFontFamily[] = "Arial";
constexpr int kTabFontCellHeight = 24;
constexpr int kTabFontAverageWidth = 10;

QFont MakeTabFont() {
    QFont font(QString::fromLatin1(kTabFontFamily));
    font.setStyleHint(QFont::SansSerif);
    font.setWeight(QFont::Normal);
    font.setPixelSize(kTabFontCellHeight);
    const QFontMetrics probe(font);
    const int em = kTabFontCellHeight * kTabFontCellHeight / std::max(1, probe.height());
    font.setPixelSize(std::max(1, em));
    const int average = QFontMetrics(font).averageCharWidth();
    if (average > 0) {
        font.setStretch(std::clamp(100 * kTabFontAverageWidth / average, 1, 4000));
    }
    return font;
}

// Edges drawn with a current position, one pixel at a time. All lines of the
// control are horizontal, vertical or at 45 degrees; the end point of a line is
// left out, so that a polyline never paints a corner twice.
class Outline {
public:
    Outline(QPainter& painter, QColor colour) : m_painter(painter), m_colour(colour) {}

    void MoveTo(int x, int y) { m_at = QPoint(x, y); }

    void LineTo(int x, int y) {
        const int dx = (x > m_at.x()) - (x < m_at.x());
        const int dy = (y > m_at.y()) - (y < m_at.y());
        Q_ASSERT(dx == 0 || dy == 0 || std::abs(x - m_at.x()) == std::abs(y - m_at.y()));
        for (QPoint p = m_at; p != QPoint(x, y); p += QPoint(dx, dy)) {
            m_painter.fillRect(p.x(), p.y(), 1, 1, m_colour);
        }
        m_at = QPoint(x, y);
    }

private:
    QPainter& m_painter;
    QColor m_colour;
    QPoint m_at;
};

// Rectangle edges the way the drawing commands count them: right and bottom
// lie one past the last pixel.
struct Edges {
    int left, top, right, bottom;
};

Edges EdgesOf(const QRect& r) {
    return {r.x(), r.y(), r.x() + r.width(), r.y() + r.height()};
}

// A dotted focus frame inside (left, top, right, bottom): every other pixel in
// black, so it stays visible on both tab colours.
void DrawFocusFrame(QPainter& painter, const Edges& e) {
    const auto dot = [&painter](int x, int y) {
        if (((x + y) & 1) == 0) {
            painter.fillRect(x, y, 1, 1, Qt::black);
        }
    };
    for (int x = e.left; x < e.right; ++x) {
        dot(x, e.top);
        dot(x, e.bottom - 1);
    }
    for (int y = e.top; y < e.bottom; ++y) {
        dot(e.left, y);
        dot(e.right - 1, y);
    }
}

// While the control holds the keyboard focus the frame is solid, in the
// palette's highlight colour: the dotted frame is always there, so it cannot
// tell the user where the keys go.
void DrawKeyFocusFrame(QPainter& painter, const Edges& e, const QColor& colour) {
    painter.fillRect(e.left, e.top, e.right - e.left, 1, colour);
    painter.fillRect(e.left, e.bottom - 1, e.right - e.left, 1, colour);
    painter.fillRect(e.left, e.top, 1, e.bottom - e.top, colour);
    painter.fillRect(e.right - 1, e.top, 1, e.bottom - e.top, colour);
}

Edges FocusFrameOf(const Edges& item) {
    return {item.left + 2, item.top, item.right - 2, item.bottom - 3};
}

void DrawItemText(QPainter& painter, const QRect& r, const QString& text) {
    painter.setPen(CPaintedTabCtrl::kTextColor);
    painter.drawText(r, Qt::AlignCenter | Qt::TextSingleLine, text);
}

}  // namespace

CPaintedTabCtrl::CPaintedTabCtrl(QWidget* parent) : QTabBar(parent) {
    // The control paints every pixel itself: no base line, no eliding, no
    // scroll arrows, tabs as wide as their texts.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setDrawBase(false);
    setExpanding(false);
    setElideMode(Qt::ElideNone);
    setUsesScrollButtons(false);
}

QRect CPaintedTabCtrl::ItemRect(int index) const {
    return tabRect(index).adjusted(index == 0 ? kItemOrigin : 0, kItemOrigin, 0, 0);
}

QSize CPaintedTabCtrl::tabSizeHint(int index) const {
    const QFontMetrics metrics(font());
    const int width = metrics.horizontalAdvance(tabText(index)) + 2 * kItemPaddingX;
    const int height = metrics.height() + 2 * kItemPaddingY;
    // The first tab carries the left margin and every tab the top one, so the
    // bar's own hit-testing matches ItemRect.
    return {width + (index == 0 ? kItemOrigin : 0), height + kItemOrigin};
}

void CPaintedTabCtrl::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    const QRect client = rect();
    painter.fillRect(client, kPageColor);
    painter.setFont(MakeTabFont());

    const int count = this->count();
    const int selected = currentIndex();

    // First pass: the fills and texts of all tabs.
    for (int i = 0; i < count; ++i) {
        QRect r = ItemRect(i);
        painter.fillRect(r, kTabColor);
        if (i == selected) {
            DrawFocusFrame(painter, FocusFrameOf(EdgesOf(r)));
            r.translate(0, -kSelectedRaise);
        }
        DrawItemText(painter, r, tabText(i));
    }

    // Second pass: the selected tab in white over its neighbours' outlines,
    // then every tab's outline.
    Outline outline(painter, kOutlineColor);
    for (int j = 0; j < count; ++j) {
        QRect r = ItemRect(j);
        if (j == selected) {
            painter.fillRect(r, kSelectedTabColor);
            const Edges unmoved = EdgesOf(r);
            r.translate(0, -kSelectedRaise);
            DrawFocusFrame(painter, FocusFrameOf(unmoved));
            if (hasFocus()) {
                DrawKeyFocusFrame(painter, FocusFrameOf(unmoved),
                                  palette().color(QPalette::Highlight));
            }
            DrawItemText(painter, r, tabText(j));
        }
        const Edges e = EdgesOf(r);
        // Left edge and top with the cut corner. Right of the selected tab the
        // selected tab's own right edge is the border, so that tab starts its
        // top past the corner.
        outline.MoveTo(e.left, e.bottom);
        if (selected >= 0 && j == selected + 1) {
            outline.MoveTo(e.left + 4, e.top);
        } else {
            outline.LineTo(e.left, e.top + 2);
            outline.LineTo(e.left + 2, e.top);
        }
        outline.LineTo(e.right - 1, e.top);
        // Right edge, two pixels wide; left of the selected tab the selected
        // tab's left edge stands in for it.
        if (j + 1 != selected) {
            outline.LineTo(e.right - 1, e.bottom);
            outline.MoveTo(e.right, e.top + 1);
            outline.LineTo(e.right, e.bottom);
        }
    }

    // Page frame, open under the selected tab.
    if (selected >= 0) {
        const Edges c = EdgesOf(client);
        const Edges s = EdgesOf(ItemRect(selected));
        outline.MoveTo(c.left, s.bottom);
        outline.LineTo(s.left - 2, s.bottom);
        outline.MoveTo(s.right, s.bottom);
        outline.LineTo(c.right, s.bottom);
        outline.MoveTo(c.left, s.bottom);
        outline.LineTo(c.left, c.bottom - 1);
        outline.LineTo(c.right - 1, c.bottom - 1);
        outline.LineTo(c.right - 1, s.bottom);
    }
}

void CPaintedTabCtrl::keyPressEvent(QKeyEvent* event) {
    // Keys a page left unhandled bubble up to this control, its parent; only
    // keys typed while the control itself has the focus may switch tabs.
    if (!hasFocus()) {
        event->ignore();
        return;
    }
    const QScopedValueRollback byKey(m_bChangingByKey, true);
    QTabBar::keyPressEvent(event);
}

void CPaintedTabCtrl::wheelEvent(QWheelEvent* event) {
    // QTabBar switches tabs on the wheel, and a page's unhandled wheel events
    // reach it too. The control changes tabs only by click and key.
    event->ignore();
}

}  // namespace vellumix::controls
