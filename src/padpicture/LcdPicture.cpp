#include "padpicture/LcdPicture.h"

#include <QBuffer>
#include <QByteArray>
#include <QImageReader>
#include <QPainter>

#include "padlink/PadProtocol.h"
#include "sigfiles/FileAccess.h"

namespace vellumix::padpicture {

namespace {

// Qt's name for the Windows bitmap reader; naming it stops Qt from guessing
// the format from the file's contents.
constexpr const char* kBitmapFormat = "BMP";
// A picture is shrunk to 320 x 240 anyway: refuse the absurdly large ones a
// crafted header could claim before decoding them.
constexpr int kMaxPictureMegabytes = 256;

QImage DecodePicture(std::span<const std::uint8_t> file, const char* format, std::string* error) {
    QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(file.data()),
                                               static_cast<qsizetype>(file.size()));
    QBuffer buffer(&bytes);
    QImageReader reader(&buffer, format);
    reader.setAllocationLimit(kMaxPictureMegabytes);
    QImage picture = reader.read();
    if (picture.isNull() && error != nullptr) {
        *error = "not a picture that can be read";
    }
    // read() decodes into its own memory, so the image outlives the bytes.
    return picture;
}

QImage ReadPicture(const std::filesystem::path& path, const char* format, std::string* error) {
    const sigfiles::ReadResult file = sigfiles::ReadWholeFile(path);
    if (!file.error.empty()) {
        if (error != nullptr) {
            *error = file.error;
        }
        return {};
    }
    return DecodePicture(file.bytes, format, error);
}

}  // namespace

QImage StretchToLcd(const QImage& picture) {
    if (picture.isNull()) {
        return {};
    }
    // Qt's smooth scaling averages the covered source pixels when shrinking
    // and interpolates when growing: the halftone stretch of the picture box.
    const QImage scaled = picture.scaled(padlink::kLcdWidth, padlink::kLcdHeight,
                                         Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    if (!scaled.hasAlphaChannel()) {
        return scaled.convertToFormat(QImage::Format_RGB32);
    }
    QImage lcd(padlink::kLcdWidth, padlink::kLcdHeight, QImage::Format_RGB32);
    lcd.fill(Qt::white);
    QPainter painter(&lcd);
    painter.drawImage(0, 0, scaled);
    painter.end();
    return lcd;
}

QImage LoadBitmapForLcd(const std::filesystem::path& path) {
    return StretchToLcd(ReadPicture(path, kBitmapFormat, nullptr));
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

PadPixelsResult LoadPadPixels(const std::filesystem::path& path) {
    const sigfiles::ReadResult file = sigfiles::ReadWholeFile(path);
    if (!file.error.empty()) {
        return {{}, file.error};
    }
    return PadPixelsFromBytes(file.bytes);
}

PadPixelsResult PadPixelsFromBytes(std::span<const std::uint8_t> file) {
    std::string error;
    const QImage picture = DecodePicture(file, nullptr, &error);
    if (picture.isNull()) {
        return {{}, error};
    }
    return {ToPadPixels(StretchToLcd(picture)), {}};
}

}  // namespace vellumix::padpicture
