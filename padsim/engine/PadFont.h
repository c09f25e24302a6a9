// The pad's character set: 5 x 7 glyphs for the printable ASCII range,
// drawn into a 6 x 8 grid (one blank column on the right and one blank row
// below as spacing) and scaled to whatever cell size SetFont asked for.
#pragma once

#include <cstdint>

namespace vellumix::padsim::engine {

inline constexpr int kGlyphColumns = 5;
inline constexpr int kGlyphRows = 7;
inline constexpr int kGlyphGridColumns = kGlyphColumns + 1;
inline constexpr int kGlyphGridRows = kGlyphRows + 1;
inline constexpr std::uint8_t kFirstGlyph = 0x20;
inline constexpr std::uint8_t kLastGlyph = 0x7E;

// True when grid cell (column, row) of character ch is inked. Characters
// outside 0x20..0x7E show a hollow box, so a wrong byte is visible on the LCD.
bool GlyphPixel(std::uint8_t ch, int column, int row);

}  // namespace vellumix::padsim::engine
