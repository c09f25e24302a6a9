// One encoder and one decoder per signature file format. The codec does no
// file I/O and shows nothing; callers pick the format by file extension.
//
// Results are owned values. An empty encoder result means "cannot be
// represented" (the caller shows its "too large" message); an empty decoder
// result means the file was rejected ("Cannot read the file").
//
// Thread safety: every operation works on its own call-local state, so one
// codec may be used from several threads at once. LastVbcError() reports the
// error of the most recent VBC call to finish on any thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <span>
#include <vector>

#include "sigformats/SignaturePoint.h"
#include "sigformats/vbc/VbcError.h"

namespace vellumix::sigformats {

using capture::SignaturePoint;
using Bytes = std::vector<std::uint8_t>;
using Points = std::vector<SignaturePoint>;

class SignatureCodec {
public:
    Bytes EncodeSigFile(std::span<const SignaturePoint> points) const;
    Points DecodeSigFile(std::span<const std::uint8_t> file) const;

    Bytes EncodeVbcFile(std::span<const SignaturePoint> points);
    Points DecodeVbcFile(std::span<const std::uint8_t> file);

    Bytes EncodeNlcFile(std::span<const SignaturePoint> points) const;
    Points DecodeNlcFile(std::span<const std::uint8_t> file) const;

    Bytes EncodeCmpFile(std::span<const SignaturePoint> points) const;
    Points DecodeCmpFile(std::span<const std::uint8_t> file) const;

    // Safe from any thread.
    vbc::VbcError LastVbcError() const { return m_lastVbcError.load(); }

private:
    std::atomic<vbc::VbcError> m_lastVbcError{vbc::VbcError::kSuccess};
};

}  // namespace vellumix::sigformats
