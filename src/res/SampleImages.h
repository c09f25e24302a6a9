// The three sample pictures of the Image page, made by the program itself
// the first time each is asked for. Each has one job as an LCD test besides
// looking like a picture: the test card shows pure primaries and a grey ramp,
// the landscape smooth gradients, the ramp card steps and a fine grid, so a
// wrong byte order or a bad stretch is visible at once on the pad.
//
// Thread safety: safe to call from any thread (each picture is built once,
// under the function-local static's own initialisation guard).
#pragma once

#include <QImage>
#include <QSize>

namespace vellumix::res {

// Resource ids, as the Image page records which sample it shows (0 = none).
inline constexpr int kSampleImage1Id = 148;
inline constexpr int kSampleImage2Id = 149;
inline constexpr int kSampleImage3Id = 150;

// The pictures are larger than the LCD and not 4:3, so the page's stretch to
// 320 x 240 shrinks each one differently in x and y.
inline constexpr QSize kSampleImage1Size{463, 305};  // colour test card
inline constexpr QSize kSampleImage2Size{463, 308};  // landscape
inline constexpr QSize kSampleImage3Size{465, 308};  // grey ramp with a grid

// The picture of a sample resource id (Format_RGB32); a null image for any
// other id. Shared and never changing: callers get a cheap copy.
QImage SampleImage(int resourceId);

}  // namespace vellumix::res
