#include "pages/PaintedBox.h"

#include <QPainter>

namespace vellumix::pages {

PaintedBox::PaintedBox(QWidget* parent, QFrame::Shape frameShape) : QFrame(parent) {
    // The box covers every pixel of itself with its fill colour, so a repaint
    // need not paint the page and the group box under it first: for the
    // Image page's box that was most of the cost of showing a picture.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFrameShape(frameShape);
    if (frameShape != QFrame::NoFrame) {
        setFrameShadow(QFrame::Sunken);
        setLineWidth(1);
    }
}

void PaintedBox::SetFillColor(const QColor& color) {
    m_fillColor = color;
    update();
}

void PaintedBox::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    // A picture of the box's logical size on a high-density screen is
    // stretched smoothly, not blown up into blocks; at ratio 1 nothing is
    // stretched and this changes no pixel.
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.fillRect(rect(), m_fillColor);
    if (m_painter) {
        painter.save();
        m_painter(painter);
        painter.restore();
    }
    drawFrame(&painter);
}

}  // namespace vellumix::pages
