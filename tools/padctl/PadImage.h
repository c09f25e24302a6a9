// A picture as the pad's LCD takes it, the way the Image page sends one:
// stretched (independently in x and y) to 320 x 240 with averaging, then
// red, green, blue per pixel, rows from the top: 230,400 bytes for one
// DisplayImage.
#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

#include <QImage>

namespace vellumix::tools {

// Transparent parts show white, as on the page's white image box.
std::vector<std::uint8_t> PadPixelsFromImage(const QImage& image);

// Empty when the file is not a picture Qt reads.
std::vector<std::uint8_t> LoadPadPixels(const std::filesystem::path& path);

}  // namespace vellumix::tools
