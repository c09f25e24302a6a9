#include "capture/PenReport.h"

#include <gtest/gtest.h>

#include <optional>

namespace vellumix::capture {
namespace {

using sigformats::kPadUnitMax;
using sigformats::PEN_UP_POINT;
using sigformats::SignaturePoint;
struct ReportCase {
    PenReport bytes;
    SignaturePoint point;
};

// The pad's own examples, plus both axes at their bit boundaries.
const ReportCase kCases[] = {
    {{0x90, 0x3F, 0x7F, 0x7F, 0x00}, {1023, 1023}}, {{0x90, 0x00, 0x00, 0x00, 0x00}, {0, 0}},
    {{0x90, 0x08, 0x01, 0x02, 0x00}, {129, 2}},     {{0x90, 0x01, 0x7F, 0x00, 0x00}, {127, 128}},
    {{0x90, 0x38, 0x00, 0x7F, 0x00}, {896, 127}},   {{0x80, 0x00, 0x00, 0x00, 0x00}, PEN_UP_POINT},
};

TEST(PenReport, EncodesAndDecodesTheTable) {
    for (const auto& c : kCases) {
        EXPECT_EQ(EncodePenReport(c.point), c.bytes) << c.point.x << "," << c.point.y;
        const auto decoded = DecodePenReport(c.bytes);
        ASSERT_TRUE(decoded.has_value());
        EXPECT_EQ(*decoded, c.point);
    }
}

TEST(PenReport, EveryCoordinateSurvivesTheRoundTrip) {
    for (std::int32_t v = 0; v <= kPadUnitMax; ++v) {
        const SignaturePoint p{v, kPadUnitMax - v};
        const PenReport r = EncodePenReport(p);
        EXPECT_EQ(r[2] & 0x80, 0);
        EXPECT_EQ(r[3] & 0x80, 0);
        EXPECT_EQ(DecodePenReport(r), p);
    }
}

TEST(PenReport, OutOfRangePointsAreClampedToTenBits) {
    EXPECT_EQ(DecodePenReport(EncodePenReport({1024, 1024})), (SignaturePoint{1023, 1023}));
    EXPECT_EQ(DecodePenReport(EncodePenReport({-5, 2000})), (SignaturePoint{0, 1023}));
}

// What the pad may send beyond the encoder's own reports: a pen-up's other
// bytes and the unused high bits are ignored; any other status byte is no
// report.
TEST(PenReport, DecodesOnlyTheTwoStatusBytesAndMasksTheRest) {
    const struct {
        PenReport bytes;
        std::optional<SignaturePoint> point;
    } cases[] = {
        {{0x80, 0xFF, 0xFF, 0xFF, 0xFF}, PEN_UP_POINT},
        {{0x90, 0xC8, 0x81, 0x82, 0x55}, SignaturePoint{129, 2}},
        {{0x00, 0, 0, 0, 0}, std::nullopt},
        {{0x06, 0, 0, 0, 0}, std::nullopt},
        {{0x81, 0, 0, 0, 0}, std::nullopt},
        {{0x85, 0, 0, 0, 0}, std::nullopt},
        {{0x91, 0, 0, 0, 0}, std::nullopt},
        {{0xFF, 0, 0, 0, 0}, std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DecodePenReport(c.bytes), c.point) << int{c.bytes[0]};
    }
}

}  // namespace
}  // namespace vellumix::capture
