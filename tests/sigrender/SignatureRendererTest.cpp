#include "sigrender/SignatureRenderer.h"

#include <cairo.h>
#include <expat.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "support/InkImage.h"
#include "support/TempDir.h"

namespace vellumix::sigrender {
namespace {

using sigformats::PEN_UP_POINT;
using sigformats::SignaturePoint;
using Bytes = std::vector<std::uint8_t>;
using Points = std::vector<SignaturePoint>;
using testsupport::At;
using testsupport::Image;
using testsupport::Segment;

constexpr SignaturePoint U = PEN_UP_POINT;

// ---------------------------------------------------------------- helpers

struct ReadState {
    const Bytes* bytes;
    std::size_t at = 0;
};

cairo_status_t ReadPng(void* closure, unsigned char* data, unsigned int length) {
    auto* state = static_cast<ReadState*>(closure);
    if (state->bytes->size() - state->at < length) {
        return CAIRO_STATUS_READ_ERROR;
    }
    std::copy_n(state->bytes->begin() + static_cast<std::ptrdiff_t>(state->at), length, data);
    state->at += length;
    return CAIRO_STATUS_SUCCESS;
}

Image DecodePng(const Bytes& png) {
    ReadState state{&png};
    Image image(cairo_image_surface_create_from_png_stream(ReadPng, &state));
    EXPECT_EQ(cairo_surface_status(image.get()), CAIRO_STATUS_SUCCESS);
    return image;
}

Bytes Render(const Points& points, ImageFormat format, const RenderOptions& options) {
    Bytes out;
    const std::string error = RenderSignature(points, format, options, [&out](auto piece) {
        out.insert(out.end(), piece.begin(), piece.end());
        return true;
    });
    EXPECT_EQ(error, "");
    return out;
}

// Ink along every segment, and none farther than the pen's half width
// (plus a pixel of anti-aliasing and `slack`) from all of them.
void ExpectInkOnlyOn(cairo_surface_t* image, const std::vector<Segment>& ink, double penWidth,
                     double slack, const std::string& what) {
    testsupport::ExpectInkOnlyOn(image, ink, penWidth / 2 + 1.5 + slack, what);
}

// A horizontal stroke along the top of the ink box and a lone point at its
// bottom centre, on a 400 x 300 page with a pen of 6: the box (800 x 800
// pad units) fits the height less a margin of 0.05 * 300 + 3 = 18 on each
// side, so 264 / 800 page units per pad unit, centred at (200, 150).
const Points kLineAndDot = {{100, 100}, {500, 100}, {900, 100}, U, {500, 900}, U};
const std::vector<Segment> kLineAndDotInk = {{68, 18, 332, 18}, {200, 282, 200, 282}};
constexpr RenderOptions kPage{400, 300, 6.0, false};

// ---------------------------------------------------------------- raster

TEST(SignatureRendererPngTest, InkWhereTheStrokesAreOnWhiteOrClear) {
    for (const bool transparent : {false, true}) {
        SCOPED_TRACE(transparent ? "transparent" : "white");
        RenderOptions options = kPage;
        options.transparent = transparent;
        Image image = DecodePng(Render(kLineAndDot, ImageFormat::kPng, options));
        ASSERT_EQ(cairo_image_surface_get_width(image.get()), 400);
        ASSERT_EQ(cairo_image_surface_get_height(image.get()), 300);
        ExpectInkOnlyOn(image.get(), kLineAndDotInk, options.penWidth, 0, "png");
        EXPECT_EQ(At(image.get(), 0, 0).alpha, transparent ? 0 : 255);
        EXPECT_EQ(At(image.get(), 200, 150).alpha, transparent ? 0 : 255);
        EXPECT_EQ(At(image.get(), 200, 18).alpha, 255);
    }
}

TEST(SignatureRendererPngTest, FitsKeepingTheAspectWhicheverWayTheInkRuns) {
    const struct {
        const char* name;
        Points points;
        RenderOptions options;
        std::vector<Segment> ink;
    } cases[] = {
        // Margin 0.05 * 100 + 2 = 7: the line spans 600 - 14 across.
        {"flat line on a wide page",
         {{0, 500}, {1024, 500}, U},
         {600, 100, 4.0, false},
         {{7, 50, 593, 50}}},
        // Margin 0.05 * 200 + 2 = 12: the line spans 200 - 24 down.
        {"upright line on a wide page",
         {{300, 0}, {300, 1023}, U},
         {600, 200, 4.0, false},
         {{300, 12, 300, 188}}},
        // Box 1000 x 500 on a square page of 200 (margin 12): 176 / 1000.
        {"wide box on a square page",
         {{0, 0}, {1000, 0}, U, {0, 500}, {1000, 500}, U},
         {200, 200, 4.0, false},
         {{12, 56, 188, 56}, {12, 144, 188, 144}}},
        {"one lone point in the middle",
         {{77, 900}, U},
         {100, 80, 10.0, false},
         {{50, 40, 50, 40}}},
        {"no points: a blank page", {}, {50, 40, 3.0, false}, {}},
        {"only pen lifts: a blank page", {U, U}, {50, 40, 3.0, false}, {}},
    };
    for (const auto& c : cases) {
        Image image = DecodePng(Render(c.points, ImageFormat::kPng, c.options));
        ExpectInkOnlyOn(image.get(), c.ink, c.options.penWidth, 0.5, c.name);
    }
}

// ---------------------------------------------------------------- vector

TEST(SignatureRendererPdfTest, RendersBackToTheSameInk) {
    testsupport::TempDir dir;
    const auto pdf = dir / "signature.pdf";
    const Bytes bytes = Render(kLineAndDot, ImageFormat::kPdf, kPage);
    ASSERT_GT(bytes.size(), 4u);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 5), "%PDF-");
    testsupport::WriteFile(pdf, std::string(bytes.begin(), bytes.end()));
    // 72 dpi: one pixel per point of the page.
    const std::string command =
        "pdftoppm -r 72 -png -singlefile '" + pdf.string() + "' '" + (dir / "back").string() + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << "pdftoppm (poppler-utils) is needed: " << command;
    const std::string png = testsupport::ReadFile(dir / "back.png");
    Image image = DecodePng(Bytes(png.begin(), png.end()));
    ASSERT_EQ(cairo_image_surface_get_width(image.get()), 400);
    ASSERT_EQ(cairo_image_surface_get_height(image.get()), 300);
    ExpectInkOnlyOn(image.get(), kLineAndDotInk, kPage.penWidth, 1.0, "pdf");
}

TEST(SignatureRendererSvgTest, WellFormedWithTheSizeAndRoundStrokes) {
    const Bytes bytes = Render(kLineAndDot, ImageFormat::kSvg, kPage);
    const std::string svg(bytes.begin(), bytes.end());
    std::unique_ptr<XML_ParserStruct, decltype(&XML_ParserFree)> parser(XML_ParserCreate(nullptr),
                                                                        XML_ParserFree);
    ASSERT_EQ(XML_Parse(parser.get(), svg.data(), static_cast<int>(svg.size()), XML_TRUE),
              XML_STATUS_OK)
        << XML_ErrorString(XML_GetErrorCode(parser.get()));
    for (const char* part :
         {"width=\"400pt\"", "height=\"300pt\"", "<path ", " d=\"M ", "stroke-linecap:round"}) {
        EXPECT_NE(svg.find(part), std::string::npos) << part;
    }
}

// ---------------------------------------------------------------- errors

TEST(SignatureRendererErrorTest, BadOptionsAreRefusedWithAReason) {
    const struct {
        RenderOptions options;
        const char* message;
    } cases[] = {
        {{0, 100, 3, false}, "size"},
        {{100, -1, 3, false}, "size"},
        {{kMaxPageSide + 1, 100, 3, false}, "size"},
        {{100, 100, 0, false}, "pen width"},
        {{100, 100, NAN, false}, "pen width"},
        {{100, 100, kMaxPenWidth * 2, false}, "pen width"},
    };
    for (const auto& c : cases) {
        for (ImageFormat format : {ImageFormat::kPng, ImageFormat::kSvg, ImageFormat::kPdf}) {
            bool called = false;
            const std::string error = RenderSignature(kLineAndDot, format, c.options, [&](auto) {
                called = true;
                return true;
            });
            EXPECT_NE(error.find(c.message), std::string::npos) << error;
            EXPECT_FALSE(called);
        }
    }
}

TEST(SignatureRendererErrorTest, ASinkThatRefusesIsAnError) {
    for (ImageFormat format : {ImageFormat::kPng, ImageFormat::kSvg, ImageFormat::kPdf}) {
        const std::string error =
            RenderSignature(kLineAndDot, format, kPage, [](auto) { return false; });
        EXPECT_NE(error.find("could not be written"), std::string::npos) << error;
    }
}

}  // namespace
}  // namespace vellumix::sigrender
