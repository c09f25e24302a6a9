// The road of a picture to the pad's LCD: stretched to 320 x 240 with an
// averaging filter (every source pixel counts, so shrinking a picture does
// not drop lines), then read back as red, green, blue bytes, rows from the
// top: the 230,400-byte data of one DisplayImage.
//
// Thread safety: pure functions of their arguments.
#pragma once

#include <QImage>
#include <QString>
#include <cstdint>
#include <vector>

namespace vellumix::pages {

// The picture scaled independently in x and y to exactly 320 x 240
// (Format_RGB32). A null picture gives a null image.
QImage StretchToLcd(const QImage& picture);

// The file at path read as a Windows bitmap, whatever its name says, and
// stretched to the LCD. A file that is missing or not a bitmap (a .bmp name
// on another kind of picture) gives a null image: it shows nothing.
QImage LoadBitmapForLcd(const QString& path);

// The top-left 320 x 240 pixels of box as the pad's image data. Pixels the
// box does not have (a box smaller than the LCD) go out white, as an empty
// part of the box shows on the PC.
std::vector<std::uint8_t> ToPadPixels(const QImage& box);

}  // namespace vellumix::pages
