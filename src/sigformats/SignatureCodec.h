// One encoder and one decoder per signature file format. The codec does no
// file I/O and shows nothing; callers pick the format by file extension.
//
// Results are owned values. An empty encoder result means "cannot be
// represented" (the caller shows its "too large" message); an empty decoder
// result means the file was rejected ("Cannot read the file").
//
// Thread safety: every operation works on its own call-local state, so one
// codec may be used from several threads at once.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "sigformats/SignaturePoint.h"

namespace vellumix::sigformats {

using capture::SignaturePoint;
using Bytes = std::vector<std::uint8_t>;
using Points = std::vector<SignaturePoint>;

class SignatureCodec {
public:
    Bytes EncodeSigFile(std::span<const SignaturePoint> points) const;
    Points DecodeSigFile(std::span<const std::uint8_t> file) const;

    Bytes EncodeVbcFile(std::span<const SignaturePoint> points) const;
    Points DecodeVbcFile(std::span<const std::uint8_t> file) const;

    Bytes EncodeNlcFile(std::span<const SignaturePoint> points) const;
    Points DecodeNlcFile(std::span<const std::uint8_t> file) const;

    Bytes EncodeCmpFile(std::span<const SignaturePoint> points) const;
    Points DecodeCmpFile(std::span<const std::uint8_t> file) const;
};

}  // namespace vellumix::sigformats
