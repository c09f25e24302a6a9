#include "sigconv/PngWriter.h"

#include <QBuffer>
#include <QImage>
#include <string>
#include <string_view>

#include "capture/SignatureBitmap.h"

namespace vellumix::tools {

namespace {

constexpr std::string_view kTxtCannotAllocate = "cannot allocate a picture of ";
constexpr std::string_view kTxtCannotEncode = "cannot encode the picture as PNG";

std::string AllocationError(int width, int height) {
    return std::string(kTxtCannotAllocate) + std::to_string(width) + "x" + std::to_string(height);
}

}  // namespace

sigfiles::EncodeResult EncodePng(std::span<const capture::SignaturePoint> points, int width,
                                 int height) {
    const capture::Dib24 dib = capture::RenderSignatureToDib(points, width, height);
    if (dib.width != width || dib.height != height ||
        dib.bits.size() != dib.Stride() * static_cast<std::size_t>(height)) {
        return {{}, AllocationError(width, height)};
    }
    // The bitmap's rows are stored bottom-up with blue first: view them as
    // they lie, then flip. QImage takes the 4-byte row padding as its stride.
    const QImage stored(dib.bits.data(), dib.width, dib.height,
                        static_cast<qsizetype>(dib.Stride()), QImage::Format_BGR888);
    const QImage image = stored.mirrored(false, true).convertToFormat(QImage::Format_Grayscale8);
    if (image.isNull()) {
        return {{}, AllocationError(width, height)};
    }
    QByteArray encoded;
    QBuffer buffer(&encoded);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG")) {
        return {{}, std::string(kTxtCannotEncode)};
    }
    return {sigfiles::Bytes(encoded.begin(), encoded.end()), {}};
}

}  // namespace vellumix::tools
