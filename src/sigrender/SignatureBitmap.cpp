#include "sigrender/SignatureBitmap.h"

#include <cstdlib>

#include "sigfiles/FileAccess.h"

namespace vellumix::sigrender {

using sigformats::SignaturePoint;

namespace {

constexpr std::size_t kBytesPerPixel = 3;
constexpr std::size_t kRowAlignment = 4;

void Put16(std::vector<std::uint8_t>& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void Put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

struct DibPoint {
    int x = 0;
    int y = 0;
};

void SetBlack(Dib24& dib, DibPoint p) {
    if (!dib.Contains(p.x, p.y)) {
        return;
    }
    const std::size_t at = dib.Offset(p.x, p.y);
    dib.bits[at] = kDibBlack;
    dib.bits[at + 1] = kDibBlack;
    dib.bits[at + 2] = kDibBlack;
}

// Bresenham from a towards b, leaving out b itself as GDI's LineTo does; a
// line from a point to itself sets nothing. GDI picks pixels by its
// diamond-exit rule, which on a few slopes differs from Bresenham by one
// pixel at a half-way tie; the export does not need that fidelity.
void DrawLine(Dib24& dib, DibPoint a, DibPoint b) {
    const int dx = std::abs(b.x - a.x);
    const int dy = -std::abs(b.y - a.y);
    const int stepX = a.x < b.x ? 1 : -1;
    const int stepY = a.y < b.y ? 1 : -1;
    int err = dx + dy;
    DibPoint p = a;
    while (p.x != b.x || p.y != b.y) {
        SetBlack(dib, p);
        const int e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            p.x += stepX;
        }
        if (e2 <= dx) {
            err += dx;
            p.y += stepY;
        }
    }
}

bool Consistent(const Dib24& dib) {
    return dib.width > 0 && dib.height > 0 && dib.width <= kMaxDibSide &&
           dib.height <= kMaxDibSide && dib.bits.size() == dib.Stride() * dib.height;
}

}  // namespace

std::size_t Dib24::StrideFor(int width) {
    const std::size_t raw = kBytesPerPixel * static_cast<std::size_t>(std::max(width, 0));
    return (raw + kRowAlignment - 1) / kRowAlignment * kRowAlignment;
}

std::size_t Dib24::Offset(int x, int y) const {
    // Bottom-up rows: the top row of the picture is the last one stored.
    const auto storedRow = static_cast<std::size_t>(height - 1 - y);
    return storedRow * Stride() + static_cast<std::size_t>(x) * kBytesPerPixel;
}

std::uint32_t Dib24::PixelAt(int x, int y) const {
    const std::size_t at = Offset(x, y);
    return std::uint32_t{bits[at + 2]} << 16 | std::uint32_t{bits[at + 1]} << 8 | bits[at];
}

Dib24 RenderSignatureToDib(std::span<const SignaturePoint> points, int width, int height) {
    if (width < 1 || height < 1 || width > kMaxDibSide || height > kMaxDibSide) {
        return {};
    }
    Dib24 dib{width, height, {}};
    dib.bits.assign(dib.Stride() * static_cast<std::size_t>(height), kDibWhite);

    const double sx = static_cast<double>(width) / sigformats::kPadUnitRange;
    const double sy = static_cast<double>(height) / sigformats::kPadUnitRange;
    // Storable coordinates are -1..1024, so the products stay small and the
    // conversion truncates toward zero as intended.
    const auto map = [&](SignaturePoint p) {
        return DibPoint{static_cast<int>(p.x * sx), static_cast<int>(p.y * sy)};
    };
    const auto endsStroke = [](SignaturePoint p) {
        return sigformats::IsPenUp(p) || !sigformats::IsStorablePoint(p);
    };

    for (std::size_t i = 0; i + 1 < points.size(); ++i) {
        const SignaturePoint p = points[i];
        if (endsStroke(p)) {
            continue;
        }
        const SignaturePoint q = points[i + 1];
        if (endsStroke(q)) {
            SetBlack(dib, map(p));
        } else {
            DrawLine(dib, map(p), map(q));
        }
    }
    return dib;
}

std::vector<std::uint8_t> EncodeBmp(const Dib24& dib) {
    if (!Consistent(dib)) {
        return {};
    }
    const auto imageSize = static_cast<std::uint32_t>(dib.bits.size());
    std::vector<std::uint8_t> out;
    out.reserve(kBmpHeaderSize + imageSize);
    out.insert(out.end(), std::begin(kBmpMagic), std::end(kBmpMagic));
    Put32(out, static_cast<std::uint32_t>(kBmpHeaderSize) + imageSize);
    Put16(out, 0);  // reserved
    Put16(out, 0);  // reserved
    Put32(out, static_cast<std::uint32_t>(kBmpHeaderSize));
    Put32(out, static_cast<std::uint32_t>(kBmpInfoHeaderSize));
    Put32(out, static_cast<std::uint32_t>(dib.width));
    Put32(out, static_cast<std::uint32_t>(dib.height));  // positive: rows bottom-up
    Put16(out, kBmpPlanes);
    Put16(out, kBmpBitsPerPixel);
    Put32(out, kBmpNoCompression);
    Put32(out, imageSize);
    Put32(out, 0);  // horizontal pixels per metre
    Put32(out, 0);  // vertical pixels per metre
    Put32(out, 0);  // colours used
    Put32(out, 0);  // important colours
    out.insert(out.end(), dib.bits.begin(), dib.bits.end());
    return out;
}

bool SaveDibAsBmp(const Dib24& dib, const std::filesystem::path& path) {
    const std::vector<std::uint8_t> file = EncodeBmp(dib);
    // Nothing to write is a failure, not an empty file in place of the old.
    return !file.empty() &&
           sigfiles::WriteFileReplacing(path, file).failure == sigfiles::WriteFailure::kNone;
}

}  // namespace vellumix::sigrender
