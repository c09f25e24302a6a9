// One encoder and one decoder per signature file format, answering as the
// pad does: bytes or points, or nothing. The virtual pad draws what it can
// read and no more. Why a codec refused is in its own result
// (sigformats/CodecResult.h), which the format table (sigfiles) hands on to
// the front ends.
//
// Results are owned values. An empty encoder result means "cannot be
// represented"; an empty decoder result means the file was rejected.
//
// Thread safety: every operation works on its own call-local state, so one
// codec may be used from several threads at once.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "sigformats/SignaturePoint.h"

namespace vellumix::sigformats {

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
