// Signatures in and out of file bytes, by file kind, through the kind's row of
// the format table (FormatTable.h): the four stored formats, plain text and
// W3C InkML. No Qt here (the fuzz targets build without it) and no output:
// every failure comes back as one line of text, mostly the codec's own. The
// pages, padctl, the converter and the virtual pad all decode and encode
// here, so they agree on what a file holds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "sigfiles/FileAccess.h"
#include "sigfiles/FileKind.h"
#include "sigformats/InkmlFormat.h"
#include "sigformats/PointTimes.h"
#include "sigformats/SignaturePoint.h"
#include "sigformats/TxtFormat.h"
#include "sigformats/vbc/VbcFormat.h"

namespace vellumix::sigfiles {

using Points = std::vector<sigformats::SignaturePoint>;

// What to make of a locked .vbc that cannot be unlocked: the pages show the
// codec's padlock drawing in its place; the converter refuses the file.
using LockedVbc = sigformats::vbc::LockedVbc;

struct DecodeResult {
    Points points;
    // Decoded points that are neither ink in 0..1024 nor a pen lift
    // (sigformats::IsInkOrPenUp), left out of points. A stored format's own
    // rounding can put a point by the pad's edge a few units outside, on one
    // axis at -1 too, which is no pen lift: only (-1, -1) is. An .inkml's
    // points outside its channels' declared min and max count here too.
    std::size_t dropped = 0;
    std::string error;  // empty: success
    // The closing pen lift was added; the file itself ends inside a stroke.
    bool liftAdded = false;
    // Parallel to points (microseconds), or empty: only an .inkml with a T
    // channel carries times. A dropped point takes its time with it; an
    // added lift takes the time of the point before it.
    sigformats::PointTimes times = {};
    // An .inkml's hover traces (type="penUp"), left out: they are no ink.
    std::size_t hoverTraces = 0;
};

// Decodes a stored format, .txt or .inkml. On success the list ends with a pen lift,
// added when the last decoded point is not one (judged before dropping), so
// that the last stroke is closed; then every point that is neither ink nor a
// pen lift is dropped and counted (a file may be left with pen lifts only).
// The pages load through here, so they drop the same points. A file that
// decodes to nothing, or to more than sigformats::kMaxDecodedPoints, fails.
DecodeResult DecodeAs(FileKind kind, std::span<const std::uint8_t> file,
                      LockedVbc locked = LockedVbc::kRefuse);

struct EncodeResult {
    Bytes bytes;
    std::string error;  // empty: success
};

// Encodes to a stored format, .txt or .inkml (pictures have their own
// renderer). The list is closed with a pen lift first when it does not end
// with one, so the last stroke survives in the formats that only finish a
// stroke at its lift. A point that is neither ink in 0..1024 nor the pen-up
// marker fails with its number.
EncodeResult EncodeAs(FileKind kind, std::span<const sigformats::SignaturePoint> points);
// The same with the points' times, which only .inkml keeps (the other kinds
// have no place for them and write exactly what the overload above writes).
// times is empty or one stamp per point, in microseconds since the capture
// began; another length fails.
EncodeResult EncodeAs(FileKind kind, std::span<const sigformats::SignaturePoint> points,
                      std::span<const sigformats::PointTime> times);
// A capture filed as .inkml, with its times when known (empty: none). One
// cut short by a lost pad says so in the document.
EncodeResult EncodeInkml(std::span<const sigformats::SignaturePoint> points,
                         std::span<const sigformats::PointTime> times = {},
                         sigformats::CaptureEnd end = sigformats::CaptureEnd::kComplete);

// The points as the stored format's encoder writes them, nothing added or
// checked: what the Signature page files, byte for byte. Empty when the
// encoder cannot represent them, or for a kind that is not a stored format.
Bytes EncodeStored(FileKind kind, std::span<const sigformats::SignaturePoint> points);

// Text form (sigformats/TxtFormat.h): one point per line, "x y", a pen lift
// as "-1 -1". ParseTxt reads the points as they stand, neither closed nor
// dropped; an empty text is no error here (the virtual pad replays nothing),
// while DecodeAs refuses it.
inline constexpr std::string_view kTxtPenUp = sigformats::txt::kPenUp;
Bytes WriteTxt(std::span<const sigformats::SignaturePoint> points);
DecodeResult ParseTxt(std::string_view text);

}  // namespace vellumix::sigfiles
