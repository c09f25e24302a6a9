#include "pages/LcdPicture.h"

#include "padlink/PadProtocol.h"

namespace vellumix::pages {

namespace {

// Qt's name for the Windows bitmap reader; naming it stops Qt from guessing
// the format from the file's contents.
constexpr const char* kBitmapFormat = "BMP";

}  // namespace

QImage StretchToLcd(const QImage& picture) {
    if (picture.isNull()) {
        return {};
    }
    // Qt's smooth scaling averages the covered source pixels when shrinking
    // and interpolates when growing: the halftone stretch of the picture box.
    return picture
        .scaled(padlink::kLcdWidth, padlink::kLcdHeight, Qt::IgnoreAspectRatio,
                Qt::SmoothTransformation)
        .convertToFormat(QImage::Format_RGB32);
}

QImage LoadBitmapForLcd(const QString& path) {
    QImage file;
    if (!file.load(path, kBitmapFormat)) {
        return {};
    }
    return StretchToLcd(file);
}

std::vector<std::uint8_t> ToPadPixels(const QImage& box) {
    std::vector<std::uint8_t> pixels(padlink::kImageBytes, 0xFF);
    if (box.isNull()) {
        return pixels;
    }
    const QImage rgb = box.format() == QImage::Format_RGB32 || box.format() == QImage::Format_ARGB32
                           ? box
                           : box.convertToFormat(QImage::Format_RGB32);
    const int width = std::min(rgb.width(), padlink::kLcdWidth);
    const int height = std::min(rgb.height(), padlink::kLcdHeight);
    for (int y = 0; y < height; ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        std::uint8_t* out = pixels.data() + std::size_t(y) * padlink::kLcdWidth * 3;
        for (int x = 0; x < width; ++x) {
            const QRgb p = line[x];
            *out++ = static_cast<std::uint8_t>(qRed(p));
            *out++ = static_cast<std::uint8_t>(qGreen(p));
            *out++ = static_cast<std::uint8_t>(qBlue(p));
        }
    }
    return pixels;
}

}  // namespace vellumix::pages
