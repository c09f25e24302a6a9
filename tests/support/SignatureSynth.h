// Realistic pen data for tests, benchmarks and fuzz seeds: words set in the
// Hershey cursive font, resampled every few pad units with a little seeded
// jitter, the way a hand moves a pen across the pad.
//
// Thread safety: the font is parsed once, on first use, under the
// initialisation guard of a function-local static; every call after that
// works on its own local state, so MakeSignature may run on several threads.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "sigformats/SignaturePoint.h"

namespace vellumix::testsupport {

// Where Debian's hershey-fonts-data puts the single-stroke cursive face.
inline constexpr std::string_view kCursiveFontPath = "/usr/share/hershey-fonts/cursive.jhf";

// Points in font units; a stroke is one pen-down run.
struct FontPoint {
    int x = 0;
    int y = 0;
};

struct HersheyGlyph {
    int left = 0;   // left bound; the glyph's pen position is at x = left
    int right = 0;  // right bound; the advance is right - left
    std::vector<std::vector<FontPoint>> strokes;
};

// Parses a .jhf font: one glyph per record, records in character order from
// the space upward. Records may wrap onto continuation lines. A malformed
// record ends the parse; the glyphs before it are returned.
std::vector<HersheyGlyph> ParseHersheyFont(std::string_view contents);

// True when the cursive font could be read, so MakeSignature sets real words
// rather than its synthetic fallback strokes.
bool HersheyFontAvailable();

// The text written as a signature: pad units 0..1023, strokes separated by
// PEN_UP_POINT, ending with PEN_UP_POINT. The same text and seed give the same
// points. With targetPoints > 0 each stroke is resampled so that the whole
// list holds exactly targetPoints points (pen lifts included) when that is at
// least three per stroke, else the fewest points that keep every stroke.
// A '\n' starts a new line below. An empty text still gives one stroke.
std::vector<sigformats::SignaturePoint> MakeSignature(std::string_view text, unsigned seed,
                                                      std::size_t targetPoints = 0);

}  // namespace vellumix::testsupport
