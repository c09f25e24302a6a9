// Draws a signature into a picture file through cairo: .png, .svg or .pdf,
// anti-aliased, round caps and joins, fitted to the page with its aspect
// kept. The Signature page's .bmp export is not this; it keeps the page's
// own pixels (SignatureBitmap.h).
//
// Fitting: the ink's bounding box is scaled alike on both axes to fill the
// page less a margin on every side of 5% of the page's shorter side plus
// half the pen width (so round caps never touch the edge), and centred. A
// signature of one point, or of one straight line, still fits by the axis
// it spans; a single dot sits in the middle.
//
// Errors are returned as text, never thrown.
//
// Thread safety: plain functions on call-local state.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "sigformats/SignaturePoint.h"

namespace vellumix::sigrender {

enum class ImageFormat { kPng, kSvg, kPdf };

// Larger pages than this are refused: a PNG of that size is 1 GB of pixels
// before compression, and no signature needs it.
inline constexpr int kMaxPageSide = 16'384;
inline constexpr double kMaxPenWidth = 1'000.0;
// The margin on every side, as a share of the page's shorter side.
inline constexpr double kMarginShare = 0.05;

struct RenderOptions {
    int width = 800;  // pixels for PNG; points (1/72 inch) for SVG and PDF
    int height = 400;
    double penWidth = 3.0;     // in the same units as the size
    bool transparent = false;  // else black ink on white
};

// Takes each piece of the file in order; false stops the rendering with an
// error. Called only during the render call.
using ByteSink = std::function<bool(std::span<const std::uint8_t>)>;

// Points in pad units, PEN_UP_POINT ending a stroke. Returns an empty string
// on success, otherwise why nothing (or, with a sink that refused part way,
// only part of the file) was written. A signature without ink gives a blank
// page.
std::string RenderSignature(std::span<const sigformats::SignaturePoint> points, ImageFormat format,
                            const RenderOptions& options, const ByteSink& sink);

}  // namespace vellumix::sigrender
