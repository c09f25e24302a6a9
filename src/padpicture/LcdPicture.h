// The road of a picture to the pad's LCD, for the Image and Signature pages
// and padctl alike: stretched to 320 x 240 with an averaging filter (every
// source pixel counts, so shrinking a picture does not drop lines), then read
// back as red, green, blue bytes, rows from the top: the 230,400-byte data of
// one DisplayImage. Files are read through sigfiles::ReadWholeFile, so a
// FIFO or a device named like a picture is refused instead of waited on.
//
// Uses QtGui (QImage) but no widgets: the one piece below the GUI that needs
// Qt, kept out of the Qt-free core.
//
// Thread safety: pure functions of their arguments.
#pragma once

#include <QImage>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace vellumix::padpicture {

// The picture scaled independently in x and y to exactly 320 x 240
// (Format_RGB32). Transparent parts show white, as on the pages' white boxes.
// A null picture gives a null image.
QImage StretchToLcd(const QImage& picture);

// The file at path read as a Windows bitmap, whatever its name says, and
// stretched to the LCD. A file that is missing, not a regular file or not a
// bitmap (a .bmp name on another kind of picture) gives a null image: it
// shows nothing.
QImage LoadBitmapForLcd(const std::filesystem::path& path);

// The top-left 320 x 240 pixels of box as the pad's image data. Pixels the
// box does not have (a box smaller than the LCD) go out white, as an empty
// part of the box shows on the PC.
std::vector<std::uint8_t> ToPadPixels(const QImage& box);

struct PadPixelsResult {
    std::vector<std::uint8_t> pixels;  // kImageBytes long on success
    std::string error;                 // empty: success
};

// Any picture Qt reads, stretched to the LCD, as the pad's image data.
PadPixelsResult LoadPadPixels(const std::filesystem::path& path);
// The same from a picture file's bytes already read (the capture service's
// ShowImage, which is handed a descriptor, not a path).
PadPixelsResult PadPixelsFromBytes(std::span<const std::uint8_t> file);

}  // namespace vellumix::padpicture
