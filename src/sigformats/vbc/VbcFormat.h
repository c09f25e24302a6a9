// The .vbc signature file: text header, then the point stream, optionally
// locked with DES.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "capture/SignaturePoint.h"
#include "sigformats/vbc/VbcError.h"

namespace vellumix::sigformats::vbc {

struct EncodeResult {
    std::vector<std::uint8_t> bytes;  // empty: cannot be represented
    VbcError error = VbcError::kSuccess;
};

struct DecodeResult {
    std::vector<capture::SignaturePoint> points;  // empty: rejected
    VbcError error = VbcError::kSuccess;
};

// options: entries added to the header ("name=value;..."); an entry "k" locks
// the stream with its value as key. The app always passes none.
EncodeResult EncodeVbc(std::span<const capture::SignaturePoint> points,
                       std::string_view options = {});
DecodeResult DecodeVbc(std::span<const std::uint8_t> file);

}  // namespace vellumix::sigformats::vbc
