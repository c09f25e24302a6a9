#include "sigrender/SignatureRenderer.h"

#include <cairo-pdf.h>
#include <cairo-svg.h>
#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <vector>

namespace vellumix::sigrender {

using sigformats::SignaturePoint;

namespace {

struct SurfaceDeleter {
    void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};
struct ContextDeleter {
    void operator()(cairo_t* c) const { cairo_destroy(c); }
};

using Surface = std::unique_ptr<cairo_surface_t, SurfaceDeleter>;
using Context = std::unique_ptr<cairo_t, ContextDeleter>;

// What the stream callbacks write into; cairo only reports that a write
// failed, so the reason is kept here.
struct StreamTarget {
    const ByteSink* sink = nullptr;
    bool refused = false;
};

cairo_status_t WriteToSink(void* closure, const unsigned char* data, unsigned int length) {
    auto* target = static_cast<StreamTarget*>(closure);
    if (target->refused || !(*target->sink)({data, length})) {
        target->refused = true;
        return CAIRO_STATUS_WRITE_ERROR;
    }
    return CAIRO_STATUS_SUCCESS;
}

struct Box {
    double minX = std::numeric_limits<double>::max();
    double minY = std::numeric_limits<double>::max();
    double maxX = std::numeric_limits<double>::lowest();
    double maxY = std::numeric_limits<double>::lowest();
    bool Empty() const { return minX > maxX; }
};

Box InkBox(std::span<const SignaturePoint> points) {
    Box box;
    for (const SignaturePoint p : points) {
        if (!sigformats::IsPenUp(p)) {
            box.minX = std::min(box.minX, static_cast<double>(p.x));
            box.maxX = std::max(box.maxX, static_cast<double>(p.x));
            box.minY = std::min(box.minY, static_cast<double>(p.y));
            box.maxY = std::max(box.maxY, static_cast<double>(p.y));
        }
    }
    return box;
}

void DrawInk(cairo_t* cr, std::span<const SignaturePoint> points, const RenderOptions& options) {
    const Box box = InkBox(points);
    if (box.Empty()) {
        return;
    }
    const double w = options.width;
    const double h = options.height;
    const double margin = kMarginShare * std::min(w, h) + options.penWidth / 2;
    const double roomX = std::max(0.0, w - 2 * margin);
    const double roomY = std::max(0.0, h - 2 * margin);
    const double spanX = box.maxX - box.minX;
    const double spanY = box.maxY - box.minY;
    double scale = 0;
    if (spanX > 0 && spanY > 0) {
        scale = std::min(roomX / spanX, roomY / spanY);
    } else if (spanX > 0) {
        scale = roomX / spanX;
    } else if (spanY > 0) {
        scale = roomY / spanY;
    }
    const double offsetX = w / 2 - (box.minX + spanX / 2) * scale;
    const double offsetY = h / 2 - (box.minY + spanY / 2) * scale;

    cairo_set_antialias(cr, CAIRO_ANTIALIAS_DEFAULT);
    cairo_set_line_width(cr, options.penWidth);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    cairo_set_source_rgb(cr, 0, 0, 0);
    bool inStroke = false;
    for (const SignaturePoint p : points) {
        if (sigformats::IsPenUp(p)) {
            // One path per stroke: cairo's stroker handles many small
            // polygons faster than one that crosses itself all over the page.
            if (inStroke) {
                cairo_stroke(cr);
            }
            inStroke = false;
            continue;
        }
        const double x = offsetX + p.x * scale;
        const double y = offsetY + p.y * scale;
        if (!inStroke) {
            cairo_move_to(cr, x, y);
            inStroke = true;
        }
        // Also for a stroke's first point: with round caps cairo draws a
        // zero-length segment as a dot, so a lone point shows.
        cairo_line_to(cr, x, y);
    }
    cairo_stroke(cr);
}

std::string CheckOptions(const RenderOptions& options) {
    if (options.width < 1 || options.height < 1 || options.width > kMaxPageSide ||
        options.height > kMaxPageSide) {
        return "the size must be 1 to " + std::to_string(kMaxPageSide) + " on each side, not " +
               std::to_string(options.width) + "x" + std::to_string(options.height);
    }
    if (!(options.penWidth > 0) || options.penWidth > kMaxPenWidth) {
        return "the pen width must be above 0 and at most " +
               std::to_string(static_cast<int>(kMaxPenWidth));
    }
    return {};
}

std::string StatusText(cairo_status_t status, const StreamTarget& target) {
    if (target.refused) {
        return "the output could not be written";
    }
    return std::string("cairo could not draw the picture: ") + cairo_status_to_string(status);
}

}  // namespace

std::string RenderSignature(std::span<const SignaturePoint> points, ImageFormat format,
                            const RenderOptions& options, const ByteSink& sink) {
    if (std::string error = CheckOptions(options); !error.empty()) {
        return error;
    }
    StreamTarget target{&sink};
    Surface surface;
    switch (format) {
        case ImageFormat::kPng:
            // On white the PNG is plain RGB; it carries alpha only when the
            // background is to be clear.
            surface.reset(cairo_image_surface_create(
                options.transparent ? CAIRO_FORMAT_ARGB32 : CAIRO_FORMAT_RGB24, options.width,
                options.height));
            break;
        case ImageFormat::kSvg:
            surface.reset(cairo_svg_surface_create_for_stream(WriteToSink, &target, options.width,
                                                              options.height));
            break;
        case ImageFormat::kPdf:
            surface.reset(cairo_pdf_surface_create_for_stream(WriteToSink, &target, options.width,
                                                              options.height));
            break;
    }
    if (cairo_status_t status = cairo_surface_status(surface.get());
        status != CAIRO_STATUS_SUCCESS) {
        return StatusText(status, target);
    }
    {
        Context cr(cairo_create(surface.get()));
        if (!options.transparent) {
            cairo_set_source_rgb(cr.get(), 1, 1, 1);
            cairo_paint(cr.get());
        }
        DrawInk(cr.get(), points, options);
        if (cairo_status_t status = cairo_status(cr.get()); status != CAIRO_STATUS_SUCCESS) {
            return StatusText(status, target);
        }
    }
    if (format == ImageFormat::kPng) {
        cairo_surface_flush(surface.get());
        const cairo_status_t status =
            cairo_surface_write_to_png_stream(surface.get(), WriteToSink, &target);
        if (status != CAIRO_STATUS_SUCCESS) {
            return StatusText(status, target);
        }
    } else {
        // The vector surfaces write their trailer here.
        cairo_surface_finish(surface.get());
    }
    if (cairo_status_t status = cairo_surface_status(surface.get());
        status != CAIRO_STATUS_SUCCESS) {
        return StatusText(status, target);
    }
    return target.refused ? "the output could not be written" : std::string();
}

}  // namespace vellumix::sigrender
