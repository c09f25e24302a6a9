// One pen sample in pad units, and the pen-lift marker that ends a stroke.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vellumix::sigformats {

// The pad reports 10-bit coordinates, 0..1023 on both axes whatever the
// aspect of its writing area; decoders of stored files may produce 1024.
inline constexpr std::int32_t kPadUnitMax = 1023;
inline constexpr std::int32_t kStoredUnitMax = 1024;
// Full-scale value used for the ranges of stored files and for screen mapping.
inline constexpr std::int32_t kPadUnitRange = 1024;

struct SignaturePoint {
    std::int32_t x = 0;
    std::int32_t y = 0;

    friend constexpr bool operator==(SignaturePoint, SignaturePoint) = default;
};

// The most points a decoder returns. A pad sends about 200 points a second,
// so a long signature holds a few thousand; a file that decodes to more is
// hostile or broken, and stopping here keeps memory and time bounded.
inline constexpr std::size_t kMaxDecodedPoints = 1'000'000;

// Ends the stroke made of the points before it.
inline constexpr SignaturePoint PEN_UP_POINT{-1, -1};

constexpr bool IsPenUp(SignaturePoint p) {
    return p.x == -1 && p.y == -1;
}

// What a stored signature may hold: pad units 0..1024 or the pen-up marker's -1.
constexpr bool IsStorablePoint(SignaturePoint p) {
    return p.x >= -1 && p.x <= kStoredUnitMax && p.y >= -1 && p.y <= kStoredUnitMax;
}

// Ink: a position in pad units, 0..1024 on both axes.
constexpr bool IsInkPoint(SignaturePoint p) {
    return p.x >= 0 && p.x <= kStoredUnitMax && p.y >= 0 && p.y <= kStoredUnitMax;
}

// What a decoded signature file hands on: ink, or the pen-up marker.
// Narrower than IsStorablePoint, which lets -1 through on one axis alone: a
// decoder's rounding can put a point at (-1, 262), which is neither ink nor a
// lift, and which the text and InkML forms have no way to write.
constexpr bool IsInkOrPenUp(SignaturePoint p) {
    return IsPenUp(p) || IsInkPoint(p);
}

}  // namespace vellumix::sigformats
