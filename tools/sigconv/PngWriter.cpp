#include "sigconv/PngWriter.h"

#include <QBuffer>
#include <QImage>

namespace vellumix::tools {
namespace {
constexpr int kInk = 0x00;
constexpr int kPaper = 0xFF;
}  // namespace

BytesResult EncodePng(std::span<const capture::SignaturePoint> points, int width, int height) {
    const InkRaster raster = RenderInk(points, width, height);
    QImage image(width, height, QImage::Format_Grayscale8);
    if (image.isNull()) {
        return {{},
                "cannot allocate a " + std::to_string(width) + "x" + std::to_string(height) +
                    " picture"};
    }
    for (int y = 0; y < height; ++y) {
        uchar* line = image.scanLine(y);
        for (int x = 0; x < width; ++x) {
            line[x] = static_cast<uchar>(raster.At(x, y) ? kInk : kPaper);
        }
    }
    QByteArray encoded;
    QBuffer buffer(&encoded);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG")) {
        return {{}, "cannot encode the picture as PNG"};
    }
    return {Bytes(encoded.begin(), encoded.end()), {}};
}

}  // namespace vellumix::tools
