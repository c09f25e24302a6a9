// The .bmp export of a signature: the strokes drawn black on white into a
// 24-bit image the size of the signature box, written as an uncompressed
// Windows bitmap. Unlike the cairo pictures (SignatureRenderer.h) it keeps
// the Signature page's own pixels: no smoothing, no fitting, the box's size.
//
// Thread safety: plain functions on call-local state.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

#include "sigformats/SignaturePoint.h"

namespace vellumix::sigrender {

// The file layout: 14-byte file header and 40-byte info header, then rows.
inline constexpr std::size_t kBmpFileHeaderSize = 14;
inline constexpr std::size_t kBmpInfoHeaderSize = 40;
inline constexpr std::size_t kBmpHeaderSize = kBmpFileHeaderSize + kBmpInfoHeaderSize;  // 54
inline constexpr std::uint8_t kBmpMagic[2] = {'B', 'M'};
inline constexpr std::uint16_t kBmpPlanes = 1;
// Always 24: the export is taken on displays of more than 8 bits per pixel,
// and the 54-byte layout has no room for the colour table a lower depth needs.
inline constexpr std::uint16_t kBmpBitsPerPixel = 24;
inline constexpr std::uint32_t kBmpNoCompression = 0;
// An export image larger than this on either side is refused; the box is
// 320 x 240.
inline constexpr int kMaxDibSide = 16384;

inline constexpr std::uint8_t kDibWhite = 0xFF;
inline constexpr std::uint8_t kDibBlack = 0x00;

// A 24-bit device-independent bitmap: rows bottom-up (row 0 of `bits` is the
// image's bottom row), pixels blue, green, red, each row padded to a
// multiple of 4 bytes.
struct Dib24 {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> bits;  // Stride() * height bytes

    // 3 x width brought up to the next multiple of 4.
    static std::size_t StrideFor(int width);
    std::size_t Stride() const { return StrideFor(width); }
    // The blue byte of the pixel at column x, row y counted from the top; the
    // caller keeps x and y inside the image.
    std::size_t Offset(int x, int y) const;
    bool Contains(int x, int y) const { return x >= 0 && y >= 0 && x < width && y < height; }
    // Blue, green and red packed as 0x00RRGGBB; the caller keeps x, y inside.
    std::uint32_t PixelAt(int x, int y) const;
};

// A white width x height image with the strokes drawn in black, mapped with
// sx = width / 1024 and sy = height / 1024 (double precision, truncated
// toward zero, no margin). A point followed by PEN_UP_POINT sets its one
// pixel; two stroke points are joined by a 1-pixel line whose end pixel is
// not set; pixels outside the image are clipped, so 1024 lands just outside.
// A point that is not storable (the point list never holds one) is skipped
// and ends the stroke like a pen lift. Fewer than 2 points give the white
// image. A width or height below 1 or above kMaxDibSide gives an empty Dib24
// (0 x 0).
Dib24 RenderSignatureToDib(std::span<const sigformats::SignaturePoint> points, int width,
                           int height);

// Writes the image as a .bmp file: 54-byte header, then the rows as they are
// stored, through the one safe replace (sigfiles::WriteFileReplacing), so a
// failed save leaves an existing file untouched. False when the image is
// empty or inconsistent (bits not Stride() * height) or the file cannot be
// written.
bool SaveDibAsBmp(const Dib24& dib, const std::filesystem::path& path);

// The whole file SaveDibAsBmp writes, in memory.
std::vector<std::uint8_t> EncodeBmp(const Dib24& dib);

}  // namespace vellumix::sigrender
