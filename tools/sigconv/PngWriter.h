// The .png output of the converter: the signature drawn exactly as the
// bitmap export draws it (capture::RenderSignatureToDib), saved as an 8-bit
// grey picture, black ink on white.
#pragma once

#include <span>

#include "capture/SignaturePoint.h"
#include "sigconv/files/SignatureFiles.h"

namespace vellumix::tools {

// width and height: 1..kMaxPictureSide, checked by the caller.
BytesResult EncodePng(std::span<const capture::SignaturePoint> points, int width, int height);

}  // namespace vellumix::tools
