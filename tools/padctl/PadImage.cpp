#include "padctl/PadImage.h"

#include <QImageReader>
#include <QPainter>
#include <QString>
#include <algorithm>

#include "padlink/PadProtocol.h"

namespace vellumix::tools {

namespace pl = padlink;

namespace {
constexpr std::size_t kBytesPerPixel = 3;  // red, green, blue
// A picture is shrunk to 320 x 240 anyway: refuse the absurdly large ones a
// crafted header could claim before decoding them.
constexpr int kMaxPictureMegabytes = 256;
}  // namespace

std::vector<std::uint8_t> PadPixelsFromImage(const QImage& image) {
    if (image.isNull()) {
        return {};
    }
    const QImage scaled =
        image.convertToFormat(QImage::Format_ARGB32_Premultiplied)
            .scaled(pl::kLcdWidth, pl::kLcdHeight, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    QImage lcd(pl::kLcdWidth, pl::kLcdHeight, QImage::Format_RGB888);
    lcd.fill(Qt::white);
    {
        QPainter painter(&lcd);
        painter.drawImage(0, 0, scaled);
    }
    std::vector<std::uint8_t> pixels(pl::kImageBytes);
    const std::size_t rowBytes = std::size_t{pl::kLcdWidth} * kBytesPerPixel;
    // Rows of a QImage are padded to 4 bytes; the pad's are not.
    for (int y = 0; y < pl::kLcdHeight; ++y) {
        const uchar* row = lcd.constScanLine(y);
        std::copy(row, row + rowBytes, pixels.begin() + static_cast<std::ptrdiff_t>(y * rowBytes));
    }
    return pixels;
}

std::vector<std::uint8_t> LoadPadPixels(const std::filesystem::path& path) {
    QImageReader reader(QString::fromStdString(path.string()));
    reader.setAllocationLimit(kMaxPictureMegabytes);
    return PadPixelsFromImage(reader.read());
}

}  // namespace vellumix::tools
