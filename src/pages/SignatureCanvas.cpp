#include "pages/SignatureCanvas.h"

#include <QtMath>
#include <cstdlib>

namespace vellumix::pages {

namespace {

using sigformats::SignaturePoint;

constexpr QRgb kInk = 0xFF000000;
constexpr QRgb kPaper = 0xFFFFFFFF;

bool StartsSegment(SignaturePoint p) {
    return p.x >= 0 && p.y >= 0 && p.x <= sigformats::kStoredUnitMax &&
           p.y <= sigformats::kStoredUnitMax;
}

// The far end only needs to be no pen lift and not past 1024; the list holds
// nothing below -1.
bool EndsSegment(SignaturePoint q) {
    return q.x != -1 && q.y != -1 && q.x <= sigformats::kStoredUnitMax &&
           q.y <= sigformats::kStoredUnitMax;
}

}  // namespace

SignatureCanvas::SignatureCanvas(QSize size, qreal devicePixelRatio) : m_size(size) {
    Allocate(devicePixelRatio);
}

void SignatureCanvas::Allocate(qreal ratio) {
    const qreal r = ratio > 0 ? ratio : 1.0;
    m_image = QImage(qCeil(m_size.width() * r), qCeil(m_size.height() * r), QImage::Format_RGB32);
    m_image.setDevicePixelRatio(r);
    // bits() once: the image is never shared, so the pointer stays valid.
    m_pBits = reinterpret_cast<QRgb*>(m_image.bits());
    m_nStride = static_cast<int>(m_image.bytesPerLine() / static_cast<qsizetype>(sizeof(QRgb)));
    Clear();
}

void SignatureCanvas::SetDevicePixelRatio(qreal ratio) {
    Allocate(ratio);
}

void SignatureCanvas::Clear() {
    m_image.fill(kPaper);
}

QPoint SignatureCanvas::MapToBox(SignaturePoint p, QSize box) {
    return MapToDevice(p, box, 1.0);
}

QPoint SignatureCanvas::MapToDevice(SignaturePoint p, QSize box, qreal ratio) {
    // Single precision on purpose: the box's columns come out as they always
    // have, e.g. (1023, 1023) at column 309, row 239 in a 320 x 240 box; the
    // ratio multiplies last, so ratio 1 changes nothing and ratio 2 doubles
    // exactly before the truncation.
    const float range = static_cast<float>(sigformats::kPadUnitRange);
    const float sx = static_cast<float>(box.width() - 2 * kCanvasSideMargin) / range;
    const float sy = static_cast<float>(box.height()) / range;
    const float r = static_cast<float>(ratio);
    return {static_cast<int>(static_cast<float>(p.x) * sx * r) + qRound(kCanvasSideMargin * ratio),
            static_cast<int>(static_cast<float>(p.y) * sy * r)};
}

void SignatureCanvas::SetBlack(QPoint p) {
    if (p.x() < 0 || p.y() < 0 || p.x() >= m_image.width() || p.y() >= m_image.height()) {
        return;
    }
    m_pBits[p.y() * m_nStride + p.x()] = kInk;
}

// Bresenham from a towards b, leaving out b as a 1-pixel line to b always
// has; a line from a point to itself sets nothing.
void SignatureCanvas::Line(QPoint a, QPoint b) {
    const int dx = std::abs(b.x() - a.x());
    const int dy = -std::abs(b.y() - a.y());
    const int stepX = a.x() < b.x() ? 1 : -1;
    const int stepY = a.y() < b.y() ? 1 : -1;
    int err = dx + dy;
    QPoint p = a;
    while (p != b) {
        SetBlack(p);
        const int e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            p.rx() += stepX;
        }
        if (e2 <= dx) {
            err += dx;
            p.ry() += stepY;
        }
    }
}

void SignatureCanvas::Draw(std::span<const SignaturePoint> points, std::size_t first) {
    const QSize box = m_size;
    const qreal ratio = m_image.devicePixelRatio();
    const auto map = [box, ratio](SignaturePoint p) { return MapToDevice(p, box, ratio); };
    for (std::size_t i = first; i + 1 < points.size(); ++i) {
        const SignaturePoint p = points[i];
        if (!StartsSegment(p)) {
            continue;
        }
        const SignaturePoint q = points[i + 1];
        if (EndsSegment(q)) {
            Line(map(p), map(q));
        } else {
            SetBlack(map(p));
        }
    }
}

}  // namespace vellumix::pages
