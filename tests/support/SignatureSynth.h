// Realistic pen data for tests, benchmarks and fuzz seeds: words set in the
// Hershey cursive font (Debian's hershey-fonts-data, a build dependency),
// resampled every few pad units with a little seeded jitter, the way a hand
// moves a pen across the pad.
//
// Thread safety: the font is parsed once, on first use, under the
// initialisation guard of a function-local static; every call after that
// works on its own local state, so MakeSignature may run on several threads.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

#include "sigformats/SignaturePoint.h"

namespace vellumix::testsupport {

// The text written as a signature: pad units 0..1023, strokes separated by
// PEN_UP_POINT, ending with PEN_UP_POINT. The same text and seed give the same
// points. With targetPoints > 0 each stroke is resampled so that the whole
// list holds exactly targetPoints points (pen lifts included) when that is at
// least three per stroke, else the fewest points that keep every stroke.
// A '\n' starts a new line below. An empty text still gives one stroke.
std::vector<sigformats::SignaturePoint> MakeSignature(std::string_view text, unsigned seed,
                                                      std::size_t targetPoints = 0);

}  // namespace vellumix::testsupport
