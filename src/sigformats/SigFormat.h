// The .sig signature file format.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "capture/SignaturePoint.h"

namespace vellumix::sigformats {

// Empty result: the points cannot be represented in this format.
std::vector<std::uint8_t> EncodeSig(std::span<const capture::SignaturePoint> points);
// Empty result: the file is rejected.
std::vector<capture::SignaturePoint> DecodeSig(std::span<const std::uint8_t> file);

}  // namespace vellumix::sigformats
