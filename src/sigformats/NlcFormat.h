// The .nlc signature file format: a signature at one eighth of the pad's
// resolution, in records of one absolute point and a run of small moves. The
// pad reads these files as stored (they go out with SendVbcFile).
//
// Header (14 bytes, little-endian):
//   0  2  magic "NC"            8  2  device parameter A (419)
//   2  2  data length           10  2  device parameter B (800)
//   4  2  x range (1024)        12  2  trailer 0x03 0xFF
//   6  2  y range (1024)
// Data: records. A 32-bit header word (bits 0-9 x, 10-19 y, bit 20 = 2-byte
// entries, 21-30 entry count, bit 31 = a pen lift precedes the record), then
// its entries: 1 byte (|dx| bits 0-2, sign bit 3, |dy| bits 4-6, sign bit 7)
// or 2 bytes (|dx| bits 0-6, sign bit 7, |dy| bits 8-14, sign bit 15).
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

namespace nlc {
inline constexpr std::string_view kExtension = "nlc";
inline constexpr std::array<std::uint8_t, 2> kMagic = {0x4E, 0x43};  // "NC"
inline constexpr std::array<std::uint8_t, 2> kTrailer = {0x03, 0xFF};
inline constexpr std::size_t kHeaderLength = 14;
inline constexpr std::uint16_t kRange = 1024;
inline constexpr std::uint16_t kDeviceParamA = 419;
inline constexpr std::uint16_t kDeviceParamB = 800;
// The pad takes no larger .nlc file: the whole file, header included.
inline constexpr std::size_t kMaxFileBytes = 12'096;
// Stored coordinates are pad units / 8, 9 bits wide.
inline constexpr int kCoordShift = 3;
inline constexpr std::uint32_t kStoredCoordMask = 0x1FF;
// Decoded x = stored x * 8192 / range, so 1024 gives back pad units.
inline constexpr std::int64_t kDecodeScale = 8192;

inline constexpr std::size_t kOffsetDataLength = 2;
inline constexpr std::size_t kOffsetXRange = 4;
inline constexpr std::size_t kOffsetYRange = 6;
inline constexpr std::size_t kOffsetParamA = 8;
inline constexpr std::size_t kOffsetParamB = 10;
inline constexpr std::size_t kOffsetTrailer = 12;

// Record header word.
inline constexpr std::uint32_t kCoordFieldMask = 0x3FF;  // 10 bits each for x and y
inline constexpr int kYShift = 10;
inline constexpr std::uint32_t kWideEntriesBit = 1u << 20;
inline constexpr int kEntryCountShift = 21;
inline constexpr std::uint32_t kEntryCountMask = 0x3FF;
inline constexpr std::uint32_t kMaxEntries = 1023;
inline constexpr std::uint32_t kPenUpBit = 1u << 31;
inline constexpr std::size_t kRecordHeaderBytes = 4;

// A 1-byte entry holds moves below 8 stored units, a 2-byte entry below 127.
inline constexpr int kNarrowMoveLimit = 8;
inline constexpr int kWideMoveLimit = 127;
}  // namespace nlc

// What an .nlc file holds, for display (the converter's --info). Found by
// walking the record headers without producing points.
struct NlcHeaderInfo {
    bool magicOk = false;    // "NC"; the decoder does not require it
    bool trailerOk = false;  // 0x03 0xFF; the decoder does not require it
    std::uint16_t dataLength = 0;
    std::uint16_t xRange = 0;
    std::uint16_t yRange = 0;
    std::uint16_t deviceParamA = 0;
    std::uint16_t deviceParamB = 0;
    std::size_t recordCount = 0;
    std::size_t pointCount = 0;  // points DecodeNlc returns, pen lifts included
    std::size_t penUpCount = 0;
    // The data length or the last record runs past the end of the file; the
    // counts above cover what is present.
    bool truncated = false;
};

// kCannotStore when the points cannot be represented: the coding would
// exceed nlc::kMaxFileBytes (the message says so), or a coordinate is above
// 1024. A point with a negative coordinate is a pen lift.
Encoded EncodeNlc(std::span<const SignaturePoint> points);

// kNotOfFormat for a file shorter than the header or with a zero range,
// kNoPoints for one without records. A data length or a record that runs
// past the end of the file ends decoding there: the points read so far are
// kept and nothing beyond the input is read. Bytes past the data length are
// ignored. More than kMaxDecodedPoints refuses the file (kTooManyPoints).
Decoded DecodeNlc(std::span<const std::uint8_t> file);

// The header fields and counts; nullopt when DecodeNlc would reject the
// header (too short, zero range).
std::optional<NlcHeaderInfo> InspectNlc(std::span<const std::uint8_t> file);

}  // namespace vellumix::sigformats
