// Plain text: one point per line, "x y" in pad units, a pen lift as "-1 -1".
// For people and scripts; the pad never sees it.
//
// Thread safety: plain functions on call-local state.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "sigformats/CodecResult.h"
#include "sigformats/SignaturePoint.h"

namespace vellumix::sigformats {

namespace txt {
inline constexpr std::string_view kExtension = "txt";
inline constexpr std::string_view kPenUp = "-1 -1";
}  // namespace txt

// Every point on its own line, a pen lift as txt::kPenUp; never refuses.
Encoded EncodeTxt(std::span<const SignaturePoint> points);

// Blank lines are skipped; anything else that is not two numbers in 0..1024
// (or -1 -1) is refused (kNotOfFormat) with its line number, and so are more
// than kMaxDecodedPoints lines (kTooManyPoints). A text without a
// point is kNoPoints ("no points").
Decoded DecodeTxt(std::span<const std::uint8_t> file);

}  // namespace vellumix::sigformats
