// The .vbc signature file: text header, then the point stream, optionally
// locked with DES.
//
// Thread safety: the functions here keep no state between calls; any number
// of calls may run at once on different threads. The error code travels in the
// result, never in a shared variable.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "sigformats/SignaturePoint.h"
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
//
// A list that holds no point once pen-up markers are taken out encodes to an
// empty result with kEmptyArgument: there is nothing to draw, and a stream
// needs at least one point for its block-length search.
EncodeResult EncodeVbc(std::span<const capture::SignaturePoint> points,
                       std::string_view options = {});

// Points scaled to 0..1024, PEN_UP_POINT before every stroke. A locked file
// that cannot be unlocked yields the padlock-and-key drawing with success.
// A stream that declares no points gives an empty list with kSuccess.
DecodeResult DecodeVbc(std::span<const std::uint8_t> file);

// What a stream header carries, read without decoding the points.
struct VbcStreamInfo {
    std::uint16_t paramA = 0;  // device parameters as stored (or implied by the profile)
    std::uint16_t paramB = 0;
    std::uint16_t xRange = 0;  // as stored (or implied); 0 decodes as 1024
    std::uint16_t yRange = 0;
    std::optional<std::uint8_t> profile;  // device profile index, VBC1.2 only
    bool rangesFromProfile = false;
    std::uint16_t pointCount = 0;  // declared points in stroke form (pen-ups not counted)
    std::uint8_t reduction = 0;
    std::uint16_t blockLength = 0;
    // One byte per block: x difference width in the high nibble, y in the low.
    std::vector<std::uint8_t> widths;
};

struct VbcInfo {
    std::string version;  // "VBC1.0", "VBC1.1" or "VBC1.2"
    // Header entries in file order (after unlocking, the hidden ones too).
    std::vector<std::pair<std::string, std::string>> entries;
    bool locked = false;    // the header holds a "k" entry
    bool unlocked = false;  // ...and the key in the file opened it
    // Empty when the stream is locked and cannot be opened, or when its header
    // is malformed or cut short; streamError then says why.
    std::optional<VbcStreamInfo> stream;
    VbcError streamError = VbcError::kSuccess;
};

// nullopt: not a VBC file (no version tag or no zero byte ending the header).
std::optional<VbcInfo> InspectVbc(std::span<const std::uint8_t> file);

}  // namespace vellumix::sigformats::vbc
