#include "pages/PaintedBox.h"

#include <QPainter>

namespace vellumix::pages {

PaintedBox::PaintedBox(QWidget* parent, QFrame::Shape frameShape) : QFrame(parent) {
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
