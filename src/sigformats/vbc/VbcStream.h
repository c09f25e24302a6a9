// The .vbc point stream: a small bit-packed header (device profile or
// parameters, ranges, point count, block length, one width byte per block),
// then the points in stroke form. A stroke start is escaped by two zero
// difference pairs and carries absolute x and y; every other point is a
// signed difference from the one before, in the widths of its block.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "sigformats/vbc/VbcError.h"
#include "sigformats/vbc/VbcHeader.h"

namespace vellumix::sigformats::vbc {

// A point in stroke form: strokeStart is set on the first point of every
// stroke (the stream has no pen-up markers of its own).
struct StrokePoint {
    std::int32_t x = 0;
    std::int32_t y = 0;
    bool strokeStart = false;

    friend constexpr bool operator==(StrokePoint, StrokePoint) = default;
};

struct StreamParams {
    std::uint16_t paramA = 0;
    std::uint16_t paramB = 0;
    std::uint16_t xRange = 0;
    std::uint16_t yRange = 0;
};

// The working record's defaults for zero fields read from a stream.
inline constexpr std::uint16_t kDefaultRange = 1024;
inline constexpr std::uint16_t kDefaultParamA = 256;
inline constexpr std::uint16_t kDefaultParamB = 341;
// What this program writes: the .sig record's values, which match no profile
// (profile 3 has 799), so they always go out in the explicit form.
inline constexpr StreamParams kOwnParams{419, 800, 1024, 1024};

// Coordinates are cut to 14 bits before coding, so a difference never needs
// more than 15 bits and always fits a width nibble.
inline constexpr std::uint16_t kCoordinateMask = 0x3FFF;
// The 16-bit point count of the stream header bounds what can be stored.
inline constexpr std::size_t kMaxStreamPoints = 0xFFFF;

struct StreamHeader {
    StreamParams params;  // as stored, or implied by the profile
    std::optional<std::uint8_t> profile;
    bool rangesFromProfile = false;
    std::uint16_t pointCount = 0;
    std::uint8_t reduction = 0;
    std::uint16_t blockLength = 0;
    std::vector<std::uint8_t> widths;  // WX << 4 | WY per block
};

struct StreamHeaderResult {
    StreamHeader header;
    std::size_t pointsBitOffset = 0;  // where the first point begins
    VbcError error = VbcError::kSuccess;
};

struct DecodedStream {
    StreamHeader header;
    std::vector<StrokePoint> points;  // may stop short of pointCount on a cut stream
    VbcError error = VbcError::kSuccess;
};

// kBadHeader when the header is malformed or cut short.
StreamHeaderResult ReadStreamHeader(std::span<const std::uint8_t> stream, VbcVersion version);

// Never reads past the input: difference bits beyond the end read as 0, and
// an absolute coordinate beyond the end ends the point list.
DecodedStream DecodeStream(std::span<const std::uint8_t> stream, VbcVersion version);

// The undo of a producer's reduction (header reduction > 0): back to full
// resolution, with interpolated and smoothed points. Changes params too.
void ExpandReduction(std::vector<StrokePoint>& points, StreamHeader& header);

// Smallest k with 2^k - 1 >= value.
unsigned BitsFor(std::uint32_t value);

// Points per block that gives the smallest stream; points must not be empty.
std::size_t ChooseBlockLength(std::span<const StrokePoint> points);
std::vector<std::uint8_t> BlockWidths(std::span<const StrokePoint> points, std::size_t blockLength);

// A VBC1.2 stream. The points must be 1..kMaxStreamPoints in number, begin
// with a stroke start, hold coordinates within kCoordinateMask and no
// continuation point at the position of the point before it (the decoder
// would take its zero pair for the start of an escape).
std::vector<std::uint8_t> EncodeStream(std::span<const StrokePoint> points,
                                       const StreamParams& params);

}  // namespace vellumix::sigformats::vbc
