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

#include "sigformats/CodecResult.h"
#include "sigformats/SignaturePoint.h"
#include "sigformats/vbc/VbcError.h"

namespace vellumix::sigformats::vbc {

inline constexpr std::string_view kExtension = "vbc";

// What to make of a locked file that its own key does not open: the pages
// show the padlock drawing in its place; the converter refuses the file.
enum class LockedVbc { kPadlock, kRefuse };

// options: entries added to the header ("name=value;..."); an entry "k" locks
// the stream with its value as key. The app always passes none.
//
// kCannotStore, with the codec's error code in the message ("error 8: empty
// input"), for a list that holds no point once pen-up markers are taken out
// (there is nothing to draw, and a stream needs at least one point for its
// block-length search), for more points than the stream counts, and for
// options that are no header entries.
Encoded EncodeVbc(std::span<const SignaturePoint> points, std::string_view options = {});

// Points scaled to 0..1024, PEN_UP_POINT before every stroke; the file is
// opened, unlocked and read once. kNotOfFormat for a file without a version
// tag or a zero byte ending its header, and for a malformed stream header
// (with the codec's error code); kNoPoints for a stream without points
// inside 0..1024; kLocked for a file its key does not open, unless asked for
// the padlock-and-key drawing in its place.
Decoded DecodeVbc(std::span<const std::uint8_t> file, LockedVbc locked = LockedVbc::kPadlock);

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
