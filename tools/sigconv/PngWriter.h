// The .png output of the converter: the signature drawn exactly as the
// bitmap export draws it (capture::RenderSignatureToDib), saved as an 8-bit
// grey picture, black ink on white.
#pragma once

#include <span>

#include "sigfiles/SignatureFiles.h"
#include "sigformats/SignaturePoint.h"

namespace vellumix::tools {

// Picture size of the .png output.
inline constexpr int kDefaultPictureWidth = 320;
inline constexpr int kDefaultPictureHeight = 240;
inline constexpr int kMaxPictureSide = 8192;

// width and height: 1..kMaxPictureSide, checked by the caller.
sigfiles::EncodeResult EncodePng(std::span<const capture::SignaturePoint> points, int width,
                                 int height);

}  // namespace vellumix::tools
