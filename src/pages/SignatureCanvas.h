// The Signature page's canvas: an off-screen white image the size of the
// signature box into which the strokes are drawn, and from which the box
// repaints with one copy.
//
// On-screen mapping: sx = (W - 20) / 1024 and sy = H / 1024 in single
// precision; a point (x, y) lands at column trunc(x * sx) + 10 and row
// trunc(y * sy). So pad x 0..1024 spans columns 10..W - 10 and pad y 0..1024
// rows 0..H, row H lying just outside the image.
//
// On a screen with a device pixel ratio r the image has r times the pixels
// each way and the lines are drawn in device pixels: column
// trunc(x * sx * r) + 10 r, row trunc(y * sy * r). The ink stays one device
// pixel wide, so at r = 2 it is the 1x drawing scaled, without the 2 x 2
// blocks of a blown-up 1x image; at r = 1 it is the 1x drawing itself.
//
// Thread safety: none. Only the GUI thread touches the canvas: the pen reader
// hands its points over in the synchronous exchange before each read, and the
// page draws them there.
#pragma once

#include <QImage>
#include <QPoint>
#include <QSize>
#include <cstddef>
#include <span>

#include "sigformats/SignaturePoint.h"

namespace vellumix::pages {

// The box keeps this many pixels free at its left and right edges.
inline constexpr int kCanvasSideMargin = 10;

class SignatureCanvas {
public:
    // size in the box's logical pixels.
    explicit SignatureCanvas(QSize size, qreal devicePixelRatio = 1.0);

    // All white again; the next Draw must start from the first segment.
    void Clear();

    // Draws the segments first .. points.size() - 2, where segment i joins
    // point i to point i + 1:
    //   - point i with a coordinate of -1, below 0 or above 1024: nothing;
    //   - point i + 1 with no coordinate of -1 and both at most 1024: a
    //     1-pixel black line whose end pixel is not set;
    //   - otherwise the single pixel of point i: the last point before a pen
    //     lift, or a one-point stroke.
    // So the last point of the whole list shows only once another follows.
    // Drawing a segment twice changes nothing, so a full redraw over an
    // earlier one gives the same pixels as drawing only the new segments.
    void Draw(std::span<const sigformats::SignaturePoint> points, std::size_t first = 0);

    // Device pixels, tagged with the ratio: QPainter draws it at Size().
    const QImage& Image() const { return m_image; }
    // In logical pixels, whatever the ratio.
    QSize Size() const { return m_size; }
    qreal DevicePixelRatio() const { return m_image.devicePixelRatio(); }
    // A new, white image for another ratio (the window moved to another
    // screen); the owner draws the points again.
    void SetDevicePixelRatio(qreal ratio);

    // Where a point lands in a box of the given logical size (no range test).
    static QPoint MapToBox(sigformats::SignaturePoint p, QSize box);
    // The same in device pixels at a ratio.
    static QPoint MapToDevice(sigformats::SignaturePoint p, QSize box, qreal ratio);

private:
    void SetBlack(QPoint p);
    void Line(QPoint a, QPoint b);

    void Allocate(qreal ratio);

    QSize m_size;
    QImage m_image;  // Format_RGB32
    QRgb* m_pBits = nullptr;
    int m_nStride = 0;  // in pixels
};

}  // namespace vellumix::pages
