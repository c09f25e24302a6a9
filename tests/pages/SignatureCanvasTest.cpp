// The Signature page's canvas: the on-screen mapping and the drawing rules
// for stroke ends, pen lifts and out-of-range points.
#include "pages/SignatureCanvas.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/SignatureSynth.h"

namespace vellumix::pages {
namespace {

using sigformats::PEN_UP_POINT;
using sigformats::SignaturePoint;

const QSize kBox{320, 240};

bool Black(const SignatureCanvas& canvas, QPoint at) {
    return canvas.Image().pixel(at) == qRgb(0, 0, 0);
}

int InkCount(const SignatureCanvas& canvas) {
    int ink = 0;
    for (int y = 0; y < canvas.Image().height(); ++y) {
        for (int x = 0; x < canvas.Image().width(); ++x) {
            ink += Black(canvas, {x, y}) ? 1 : 0;
        }
    }
    return ink;
}

TEST(SignatureCanvas, MapsPadUnitsInsideTheSideMargins) {
    const struct {
        SignaturePoint pad;
        QPoint box;
    } kCases[] = {
        {{0, 0}, {10, 0}},
        {{1023, 1023}, {309, 239}},
        {{1024, 1024}, {310, 240}},  // column W - 10, row just outside
        {{512, 512}, {160, 120}},
        {{7, 5}, {12, 1}},  // 7 * 0.29296875 = 2.05, 5 * 0.234375 = 1.17
    };
    for (const auto& c : kCases) {
        EXPECT_EQ(SignatureCanvas::MapToBox(c.pad, kBox), c.box) << c.pad.x << "," << c.pad.y;
    }
}

TEST(SignatureCanvas, LinesLeaveOutTheirEndAndLiftsBreakThem) {
    SignatureCanvas canvas(kBox);
    const std::vector<SignaturePoint> points = {{0, 512},   {512, 512},  PEN_UP_POINT,
                                                {800, 512}, {1000, 512}, PEN_UP_POINT};
    canvas.Draw(points);
    EXPECT_TRUE(Black(canvas, {10, 120}));
    EXPECT_TRUE(Black(canvas, {160, 120}));   // the lift sets the stroke's last pixel
    EXPECT_FALSE(Black(canvas, {200, 120}));  // between the strokes
    EXPECT_TRUE(Black(canvas, {244, 120}));   // 800 -> 244
    EXPECT_EQ(InkCount(canvas), (161 - 10) + (303 - 244));
    // Without the lift the line stops one short of its end.
    SignatureCanvas open(kBox);
    open.Draw(std::vector<SignaturePoint>{{0, 512}, {512, 512}});
    EXPECT_FALSE(Black(open, {160, 120}));
    EXPECT_EQ(InkCount(open), 160 - 10);
}

TEST(SignatureCanvas, SinglePointsShowAsOnePixel) {
    const struct {
        const char* name;
        std::vector<SignaturePoint> points;
        int ink;
    } kCases[] = {
        {"one-point stroke", {{512, 512}, PEN_UP_POINT}, 1},
        {"point before an out-of-range one", {{512, 512}, {1025, 0}}, 1},
        {"x of 1025 is never drawn", {{1025, 512}, {512, 512}, PEN_UP_POINT}, 1},
        {"a lone last point waits for the next", {PEN_UP_POINT, {512, 512}}, 0},
        {"one point alone", {{512, 512}}, 0},
    };
    for (const auto& c : kCases) {
        SignatureCanvas canvas(kBox);
        canvas.Draw(c.points);
        EXPECT_EQ(InkCount(canvas), c.ink) << c.name;
    }
}

TEST(SignatureCanvas, DrawingNewSegmentsEqualsRedrawingAll) {
    std::vector<SignaturePoint> points;
    for (int i = 0; i < 300; ++i) {
        points.push_back(i % 37 == 36 ? PEN_UP_POINT
                                      : SignaturePoint{(i * 53) % 1024, (i * 29) % 1024});
    }
    SignatureCanvas whole(kBox);
    whole.Draw(points);
    SignatureCanvas pieces(kBox);
    for (std::size_t from = 0; from + 1 < points.size(); from += 17) {
        const std::size_t to = std::min(points.size(), from + 18);
        pieces.Draw(std::span(points).subspan(0, to), from);
    }
    EXPECT_EQ(whole.Image(), pieces.Image());
    whole.Clear();
    EXPECT_EQ(InkCount(whole), 0);
}

// On a 2x screen the canvas has four times the pixels and draws its lines
// in them: every ink pixel lies where the 1x drawing has ink, scaled, and the
// lines stay one device pixel wide instead of turning into 2 x 2 blocks.
TEST(SignatureCanvas, AtRatioTwoTheInkIsTheOneXDrawingScaledWithoutBlocks) {
    const std::vector<SignaturePoint> signature = testsupport::MakeSignature("Ada Lovelace", 5);
    SignatureCanvas one(kBox);
    SignatureCanvas two(kBox, 2.0);
    one.Draw(signature);
    two.Draw(signature);
    ASSERT_EQ(two.Size(), kBox);
    ASSERT_EQ(two.Image().size(), kBox * 2);
    EXPECT_EQ(two.Image().devicePixelRatio(), 2.0);

    const QImage& a = one.Image();
    const QImage& b = two.Image();
    const auto inkNear = [](const QImage& image, QPoint centre, int from, int to) {
        for (int dy = from; dy <= to; ++dy) {
            for (int dx = from; dx <= to; ++dx) {
                const QPoint p = centre + QPoint(dx, dy);
                if (image.valid(p) && image.pixel(p) == qRgb(0, 0, 0)) {
                    return true;
                }
            }
        }
        return false;
    };
    int inkOne = 0;
    int inkTwo = 0;
    int solidBlocks = 0;
    for (int y = 0; y < b.height(); ++y) {
        for (int x = 0; x < b.width(); ++x) {
            if (b.pixel(x, y) == qRgb(0, 0, 0)) {
                ++inkTwo;
                ASSERT_TRUE(inkNear(a, {x / 2, y / 2}, -1, 1)) << x << "," << y;
            }
        }
    }
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            if (a.pixel(x, y) != qRgb(0, 0, 0)) {
                continue;
            }
            ++inkOne;
            ASSERT_TRUE(inkNear(b, {2 * x, 2 * y}, -2, 3)) << x << "," << y;
            solidBlocks += b.pixel(2 * x, 2 * y) == b.pixel(2 * x + 1, 2 * y) &&
                           b.pixel(2 * x, 2 * y) == b.pixel(2 * x, 2 * y + 1) &&
                           b.pixel(2 * x, 2 * y) == b.pixel(2 * x + 1, 2 * y + 1) &&
                           b.pixel(2 * x, 2 * y) == qRgb(0, 0, 0);
        }
    }
    ASSERT_GT(inkOne, 500);
    // Twice the pixels along every line, not four times; a blown-up image
    // would make every ink pixel a solid block.
    EXPECT_GT(inkTwo, inkOne * 3 / 2);
    EXPECT_LT(inkTwo, inkOne * 5 / 2);
    EXPECT_LT(solidBlocks, inkOne / 20);

    // A new ratio starts white: the page draws its points again.
    two.SetDevicePixelRatio(1.0);
    EXPECT_EQ(two.Image().size(), kBox);
    EXPECT_EQ(InkCount(two), 0);
}

}  // namespace
}  // namespace vellumix::pages
