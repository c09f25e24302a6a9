#include "support/SignatureSynth.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace vellumix::testsupport {
namespace {

using sigformats::IsPenUp;

struct Stats {
    std::size_t strokes = 0;
    int largestStep = 0;
    bool inRange = true;
    bool emptyStroke = false;
};

Stats Measure(const std::vector<sigformats::SignaturePoint>& points) {
    Stats s;
    std::size_t run = 0;
    for (std::size_t i = 0; i < points.size(); ++i) {
        const auto p = points[i];
        if (IsPenUp(p)) {
            s.emptyStroke |= run == 0;
            s.strokes += 1;
            run = 0;
            continue;
        }
        s.inRange &= p.x >= 0 && p.x <= sigformats::kPadUnitMax && p.y >= 0 &&
                     p.y <= sigformats::kPadUnitMax;
        if (run++ > 0) {
            s.largestStep = std::max(
                {s.largestStep, std::abs(p.x - points[i - 1].x), std::abs(p.y - points[i - 1].y)});
        }
    }
    return s;
}

TEST(MakeSignature, IsRepeatableForOneSeedAndVariesAcrossSeeds) {
    EXPECT_EQ(MakeSignature("Vellumix", 1), MakeSignature("Vellumix", 1));
    EXPECT_NE(MakeSignature("Vellumix", 1), MakeSignature("Vellumix", 2));
    EXPECT_NE(MakeSignature("Vellumix", 1), MakeSignature("Vellumin", 1));
}

TEST(MakeSignature, LooksLikeHandwritingOnThePad) {
    for (const char* text :
         {"Vellumix", "John Q. Smith", "a", "", "  ", "\x7f\x01", "two\nlines"}) {
        SCOPED_TRACE(text);
        const auto points = MakeSignature(text, 5);
        ASSERT_FALSE(points.empty());
        EXPECT_TRUE(IsPenUp(points.back()));
        const Stats s = Measure(points);
        EXPECT_TRUE(s.inRange);
        EXPECT_FALSE(s.emptyStroke);
        // Small steps: every stored format codes them without a forced lift.
        EXPECT_LE(s.largestStep, 16);
    }
    const auto word = MakeSignature("Vellumix", 5);
    EXPECT_GE(word.size(), 550u);
    EXPECT_LE(word.size(), 2000u);
    const Stats s = Measure(word);
    EXPECT_GE(s.strokes, 6u);
    EXPECT_LE(s.strokes, 50u);
}

TEST(MakeSignature, ReachesTheAskedPointCount) {
    for (std::size_t target : {9'999u, 1'000u, 60u}) {
        SCOPED_TRACE(target);
        const auto points = MakeSignature("Ann Lee", 3, target);
        EXPECT_EQ(points.size(), target);
        EXPECT_TRUE(Measure(points).inRange);
    }
    // Too few to share out: every stroke keeps two points and its lift.
    const auto strokes = Measure(MakeSignature("Ann Lee", 3)).strokes;
    EXPECT_EQ(MakeSignature("Ann Lee", 3, 4).size(), strokes * 3);
}

}  // namespace
}  // namespace vellumix::testsupport
