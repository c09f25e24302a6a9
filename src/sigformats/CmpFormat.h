// The .cmp compressed signature format: a byte-coded pen trace at a quarter
// of the pad's resolution, switching between a 16-direction chain code (two
// moves a byte), small moves up to 7 units (one a byte) and free moves up to
// 127 units (two bytes). The pad reads these files as stored (SendCmpFile).
//
// Header (4 bytes): 0x11 start byte (anything before it is skipped), then
// 0xC4 = x divisor 68 with the absolute-coordinate shift bit, 0xF2 = y divisor
// 114 with the short-absolute-form bit, then the first point's pen byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "sigformats/CodecResult.h"
#include "sigformats/SignaturePoint.h"

namespace vellumix::sigformats {

namespace cmp {
inline constexpr std::string_view kExtension = "cmp";
inline constexpr std::uint8_t kStartByte = 0x11;
inline constexpr std::uint8_t kXHeaderByte = 0xC4;  // 68 | 0x80
inline constexpr std::uint8_t kYHeaderByte = 0xF2;  // 114 | 0x80
inline constexpr std::size_t kHeaderLength = 4;
inline constexpr std::uint8_t kDivisorMask = 0x7F;
inline constexpr std::uint8_t kFlagBit = 0x80;  // shift in byte 1, short form in byte 2
// Decoded x = X * 273 / SX, y = Y * 455 / SY in running quarter units; with
// the divisors written (68, 114) that maps 0..255 onto about 0..1023.
inline constexpr std::int32_t kXScale = 273;
inline constexpr std::int32_t kYScale = 455;

inline constexpr std::uint8_t kPenDownByte = 0x90;
inline constexpr std::uint8_t kPenUpByte = 0x80;
inline constexpr std::uint8_t kPenStateBit = 0x10;
// The decoder's pen byte once the first pen-down code is read, and its value
// when the pen is lifted after that.
inline constexpr std::uint8_t kPenByteDrawing = 0xB0;
inline constexpr std::uint8_t kPenByteLifted = 0xA0;

// Codes in chain mode.
inline constexpr std::uint8_t kChainSmallMode = 0x10;
inline constexpr std::uint8_t kChainPenDown = 0x80;
inline constexpr std::uint8_t kChainPenUp = 0x90;
inline constexpr std::uint8_t kChainPenByte = 0xA0;
// Codes in small-move mode.
inline constexpr std::uint8_t kSmallChainMode = 0x01;
inline constexpr std::uint8_t kSmallPenDown = 0x08;
inline constexpr std::uint8_t kSmallPenUp = 0x09;
inline constexpr std::uint8_t kSmallPenByte = 0x0A;
inline constexpr std::uint8_t kSmallFreeMode = 0x0B;
// A small move is stored as nibbles d + 8, so -7..7 becomes 1..15.
inline constexpr int kSmallMoveBias = 8;

// Move limits in quarter units (larger of |dx|, |dy|).
inline constexpr int kChainMax = 4;        // chain codes below 5
inline constexpr int kSmallMax = 14;       // a small move, split in two above 7
inline constexpr int kSmallSingleMax = 7;  // one small-move byte
inline constexpr int kFreeMax = 127;       // one signed byte
inline constexpr int kSmallToChain = 4;    // a small move below this returns to chain mode
inline constexpr int kFreeToSmall = 10;    // a free move below this leaves free-move mode
inline constexpr int kMinMove = 2;         // closer points are not written
inline constexpr int kChainStep = 2;       // every chain code moves 2 along the larger axis

// dx, dy of chain codes 0..15.
inline constexpr int kChainDx[16] = {-2, -1, 0, 1, 2, 2, 2, 2, 2, 1, 0, -1, -2, -2, -2, -2};
inline constexpr int kChainDy[16] = {2, 2, 2, 2, 2, 1, 0, -1, -2, -2, -2, -2, -2, -1, 0, 1};
}  // namespace cmp

// What a .cmp header says, for display (the converter's --info).
struct CmpHeaderInfo {
    std::size_t startOffset = 0;     // bytes skipped before the start byte
    std::uint8_t xDivisor = 0;       // SX
    std::uint8_t yDivisor = 0;       // SY
    std::uint8_t absoluteShift = 0;  // S: absolute coordinates are shifted left by it
    bool shortAbsoluteForm = false;  // 2-byte absolute points (else 3-byte, 12-bit)
    std::uint8_t firstPenByte = 0;   // 0x90 pen down, 0x80 pen up
    std::size_t streamBytes = 0;     // code bytes after the header
};

// kCannotStore when the points cannot be represented (a coordinate above
// 1024) or there are none. A point with a negative coordinate is a pen lift.
// The running state is local to the call, so the encoder is safe from any
// thread.
Encoded EncodeCmp(std::span<const SignaturePoint> points);

// kNotOfFormat without a header or with a zero divisor, kNoPoints when the
// stream yields none. Bytes that fit no code are skipped; a stream that ends
// inside a code keeps the points before it. A stream that holds more than
// kMaxDecodedPoints is refused (kTooManyPoints) as soon as the cap is
// passed. Safe from any thread.
Decoded DecodeCmp(std::span<const std::uint8_t> file);

// The header fields; nullopt when there is no complete header or a divisor
// is zero (DecodeCmp rejects such files).
std::optional<CmpHeaderInfo> InspectCmp(std::span<const std::uint8_t> file);

}  // namespace vellumix::sigformats
