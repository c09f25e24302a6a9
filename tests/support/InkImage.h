// Reading rendered signatures back through cairo: where ink is, and whether
// any lies away from the strokes. Shared by the renderer's and the
// converter's tests, which draw the same line and dot.
#pragma once

#include <cairo.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace vellumix::testsupport {

struct SurfaceDeleter {
    void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};
using Image = std::unique_ptr<cairo_surface_t, SurfaceDeleter>;

struct Pixel {
    int alpha = 0;
    int darkness = 0;  // 0 white or clear, 255 black ink
};

inline Pixel At(cairo_surface_t* image, int x, int y) {
    const unsigned char* row =
        cairo_image_surface_get_data(image) +
        static_cast<std::ptrdiff_t>(y) * cairo_image_surface_get_stride(image);
    std::uint32_t argb = 0;
    std::memcpy(&argb, row + static_cast<std::ptrdiff_t>(x) * 4, 4);
    const int a = cairo_image_surface_get_format(image) == CAIRO_FORMAT_RGB24
                      ? 255
                      : static_cast<int>(argb >> 24);
    // Premultiplied: a clear pixel is 0 throughout, so ink shows as alpha.
    return {a, a - static_cast<int>((argb >> 8) & 0xFF)};
}

// Where ink belongs, in page coordinates; a lone dot is a segment of length
// zero.
struct Segment {
    double x0, y0, x1, y1;
};

inline double Distance(const Segment& s, double px, double py) {
    const double dx = s.x1 - s.x0, dy = s.y1 - s.y0;
    const double len2 = dx * dx + dy * dy;
    const double t =
        len2 > 0 ? std::clamp(((px - s.x0) * dx + (py - s.y0) * dy) / len2, 0.0, 1.0) : 0.0;
    return std::hypot(px - (s.x0 + t * dx), py - (s.y0 + t * dy));
}

// Ink along every segment, and none farther than `reach` from all of them.
inline void ExpectInkOnlyOn(cairo_surface_t* image, const std::vector<Segment>& ink, double reach,
                            const std::string& what) {
    for (const Segment& s : ink) {
        for (double t = 0; t <= 1.0; t += 0.05) {
            const int x = static_cast<int>(std::lround(s.x0 + t * (s.x1 - s.x0)));
            const int y = static_cast<int>(std::lround(s.y0 + t * (s.y1 - s.y0)));
            ASSERT_GE(At(image, x, y).darkness, 200) << what << ": no ink at " << x << "," << y;
        }
    }
    int stray = 0;
    for (int y = 0; y < cairo_image_surface_get_height(image); ++y) {
        for (int x = 0; x < cairo_image_surface_get_width(image); ++x) {
            if (At(image, x, y).darkness < 8) {
                continue;
            }
            double nearest = 1e9;
            for (const Segment& s : ink) {
                nearest = std::min(nearest, Distance(s, x + 0.5, y + 0.5));
            }
            stray += nearest > reach ? 1 : 0;
        }
    }
    EXPECT_EQ(stray, 0) << what << ": ink where no stroke is";
}

}  // namespace vellumix::testsupport
