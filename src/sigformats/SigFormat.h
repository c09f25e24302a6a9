// The .sig signature file format: a 16-byte header and 4-byte points. The pad
// reads these files as stored, so every byte keeps the layout below.
//
//   0  2  magic "MP"                  8  2  x range (value of full width)
//   2  2  header length (16)         10  2  y range
//   4  2  data length (4 x points)   12  2  device parameter A (419)
//   6  1  record version (2)         14  2  device parameter B (800)
//   7  1  reserved (0)               16  .. points: x, y as unsigned 16-bit
//
// All fields little-endian.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "sigformats/CodecResult.h"
#include "sigformats/SignaturePoint.h"

namespace vellumix::sigformats {

namespace sig {
inline constexpr std::string_view kExtension = "sig";
inline constexpr std::array<std::uint8_t, 2> kMagic = {0x4D, 0x50};  // "MP"
inline constexpr std::size_t kHeaderLength = 16;
inline constexpr std::size_t kPointBytes = 4;
inline constexpr std::uint8_t kRecordVersion = 2;
inline constexpr std::uint16_t kRange = 1024;
// Carried unchanged; the VBC stream reads the pair as a device profile, and
// 419/800 matches none, so files of ours always take the explicit form there.
inline constexpr std::uint16_t kDeviceParamA = 419;
inline constexpr std::uint16_t kDeviceParamB = 800;
// A pen lift is stored as x = y = 0x4000, well above any 10-bit coordinate.
inline constexpr std::uint16_t kPenUpMarker = 0x4000;
// The data length field is 16 bits: 4 x 16,383 = 65,532 is the last that fits.
inline constexpr std::size_t kMaxPoints = 0xFFFF / kPointBytes;

// Field offsets.
inline constexpr std::size_t kOffsetHeaderLength = 2;
inline constexpr std::size_t kOffsetDataLength = 4;
inline constexpr std::size_t kOffsetVersion = 6;
inline constexpr std::size_t kOffsetXRange = 8;
inline constexpr std::size_t kOffsetYRange = 10;
inline constexpr std::size_t kOffsetParamA = 12;
inline constexpr std::size_t kOffsetParamB = 14;
}  // namespace sig

// What a .sig header says, for display (the converter's --info).
struct SigHeaderInfo {
    bool magicOk = false;  // "MP"; the decoder does not require it
    std::uint16_t headerLength = 0;
    std::uint16_t dataLength = 0;
    std::uint8_t version = 0;
    std::uint16_t xRange = 0;
    std::uint16_t yRange = 0;
    std::uint16_t deviceParamA = 0;
    std::uint16_t deviceParamB = 0;
    std::size_t pointCount = 0;  // records, pen lifts included
};

// kCannotStore when the points cannot be represented (more than
// sig::kMaxPoints, or a coordinate above 1024). Any point with a negative
// coordinate is written as the pen-up marker.
Encoded EncodeSig(std::span<const SignaturePoint> points);

// kNotOfFormat for sizes that disagree, a data length that is not a multiple
// of 4, a header shorter than 16 bytes or a zero range; kNoPoints for a file
// without records. Coordinates are scaled by 1024 / range; the magic, version
// and device parameters are not checked, so files of other producers load.
Decoded DecodeSig(std::span<const std::uint8_t> file);

// The header fields, validated as DecodeSig validates them; nullopt when the
// header is malformed. A file with no points yields pointCount 0 here, though
// DecodeSig refuses it. Reads no point.
std::optional<SigHeaderInfo> InspectSig(std::span<const std::uint8_t> file);

}  // namespace vellumix::sigformats
