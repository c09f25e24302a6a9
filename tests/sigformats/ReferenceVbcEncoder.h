// The .vbc stream encoder as it was before its block search was made linear
// and its bit writer word-wide: the reference the faster encoder must match
// byte for byte. Only the explicit header form, the one the program writes
// (kOwnParams matches no device profile; the profile form is held by
// VbcStreamTest's hand-built image and round trips).
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "sigformats/vbc/VbcStream.h"

namespace vellumix::sigformats::vbc::reference {

std::vector<std::uint8_t> EncodeStream(std::span<const StrokePoint> points,
                                       const StreamParams& params);

}  // namespace vellumix::sigformats::vbc::reference
