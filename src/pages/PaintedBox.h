// A sunken, framed box whose inside the owning page paints: the Display
// page's mirror box and colour swatches, the Image page's picture box. The
// box fills itself with its fill colour, lets the owner draw over it in the
// box's own coordinates (0, 0 is the outer corner of the frame, as the pages
// measure their shapes from the box's outer rectangle), then draws its frame
// on top, as a framed static control over the page's drawing does.
#pragma once

#include <QColor>
#include <QFrame>
#include <functional>

namespace vellumix::pages {

class PaintedBox : public QFrame {
    Q_OBJECT
public:
    using Painter = std::function<void(QPainter& painter)>;

    // frameShape QFrame::NoFrame gives a plain colour swatch.
    PaintedBox(QWidget* parent, QFrame::Shape frameShape);

    void SetPainter(Painter painter) { m_painter = std::move(painter); }
    QColor FillColor() const { return m_fillColor; }
    // The colour shows at the next paint.
    void SetFillColor(const QColor& color);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor m_fillColor = Qt::white;
    Painter m_painter;
};

}  // namespace vellumix::pages
