// W3C InkML 1.0 (.inkml): the ink exchange format other ink tools read. Our
// files hold one <trace> per stroke over a trace format of X and Y in pad
// units (both channels declare min 0 and max 1024), plus T in milliseconds
// when the times of the points are known:
//
//   <ink xmlns="http://www.w3.org/2003/InkML">
//     <definitions>
//       <traceFormat xml:id="vellumix">
//         <channel name="X" type="integer" min="0" max="1024"/>
//         <channel name="Y" type="integer" min="0" max="1024"/>
//         <channel name="T" type="decimal" units="ms"/>
//       </traceFormat>
//     </definitions>
//     <trace>512 300 0, 514 302 1.302, ...</trace>
//   </ink>
//
// A capture cut short by a lost pad says so before its ink, in
// <annotation type="description">capture cut short: ...</annotation>.
//
// Reading takes what other producers write within X/Y traces: points split
// by commas, values by white space or by their own sign (which blanks may
// part from its number, "- 50"), hexadecimal values ("#1A"), traceGroups, the
// explicit (!), first-difference (') and second-difference (") prefixes,
// trace formats chosen through contexts, and extra channels (force, tilt)
// that are skipped. Hover traces (type="penUp": the pen above the surface)
// are no ink: skipped and counted. Coordinates are mapped into 0..1024 by the
// X and Y channels' declared min and max, a point outside them dropped and
// counted; without them, or when a bound is as large as a number type's
// range (an office suite's ink declares -2.14748E9..2.14748E9), by the
// bounding box of the traces with the aspect kept. Anything else is refused
// with a message that says why.
//
// Thread safety: plain functions on call-local state.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "sigformats/CodecResult.h"
#include "sigformats/PointTimes.h"
#include "sigformats/SignaturePoint.h"

namespace vellumix::sigformats {

namespace inkml {
inline constexpr std::string_view kExtension = "inkml";
inline constexpr std::string_view kNamespace = "http://www.w3.org/2003/InkML";
// Bounds the work a hostile file can cause: the points of all traces (pen
// lifts included, as in the other decoders) and the file itself.
inline constexpr std::size_t kMaxPoints = 1'000'000;
inline constexpr std::size_t kMaxFileBytes = 64u * 1024 * 1024;
// Element nesting deeper than any real ink file; traceGroups nest, but not
// like this.
inline constexpr std::size_t kMaxDepth = 64;
// InkML names about twenty channels; a format with more is not ink.
inline constexpr std::size_t kMaxChannels = 64;
// The annotation of a capture's document when the pad was lost before the
// capture ended, so the file itself says that its ink may stop short of the
// whole signature. Every writer of a capture writes this one text.
inline constexpr std::string_view kCutShortText =
    "capture cut short: the pad was lost before the capture ended";
// Beyond this magnitude a coordinate or time is refused as nonsense.
inline constexpr double kMaxMagnitude = 1e15;
// A declared X or Y bound of this magnitude or more is a number type's range,
// not a writing area: the ink is fitted by its bounding box instead. No
// digitiser counts a billion steps across.
inline constexpr double kTypeRangeMagnitude = 1e9;
}  // namespace inkml

// How a capture written as InkML ended: as asked, or cut short by a lost
// pad, which the document then says in an <annotation>.
enum class CaptureEnd { kComplete, kCutShort };

// Points in pad units 0..1024, PEN_UP_POINT ending a stroke; a last stroke
// without one is written too, empty strokes are not. times is empty, or one
// stamp per point in microseconds (written as milliseconds with as many of
// three decimals as needed, so they read back exactly). The document is
// UTF-8. kCannotStore for a point outside 0..1024, a times list of another
// length, or more than inkml::kMaxPoints points. A capture cut short carries
// the annotation inkml::kCutShortText.
Encoded EncodeInkml(std::span<const SignaturePoint> points, std::span<const PointTime> times = {},
                    CaptureEnd end = CaptureEnd::kComplete);

// Every stroke ends with PEN_UP_POINT. The times are parallel to the points,
// or empty when the traces carry no T channel; a pen-up marker takes the time
// of its stroke's last point, as InkML has no place for the time of the lift
// itself. dropped counts the points outside the declared min and max of
// their X or Y channel, hoverTraces the traces of type="penUp" (the pen
// above the surface), both left out.
//
// kNotOfFormat, with a message that says why, for anything that is not an
// InkML document with X/Y traces and for entity declarations (no expansion
// bombs); kNoPoints for a document whose points are all hover or outside
// their declared range; kTooManyPoints for more than inkml::kMaxPoints
// points. On success the points are ink in 0..1024 and pen lifts only.
Decoded DecodeInkml(std::span<const std::uint8_t> file);

}  // namespace vellumix::sigformats
