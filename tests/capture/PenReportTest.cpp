#include "capture/PenReport.h"

#include <gtest/gtest.h>

namespace vellumix::capture {
namespace {

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

TEST(PenReport, PenUpIgnoresItsTrailingBytes) {
    const PenReport r{0x80, 0xFF, 0xFF, 0xFF, 0xFF};
    EXPECT_EQ(DecodePenReport(r), PEN_UP_POINT);
}

TEST(PenReport, OtherStatusBytesAreRejected) {
    for (const std::uint8_t status : {0x00, 0x06, 0x81, 0x85, 0x91, 0xFF}) {
        const PenReport r{status, 0, 0, 0, 0};
        EXPECT_FALSE(DecodePenReport(r).has_value()) << int{status};
    }
}

TEST(PenReport, UnusedHighBitsAreMaskedOnDecode) {
    const PenReport r{0x90, 0xC8, 0x81, 0x82, 0x55};
    EXPECT_EQ(DecodePenReport(r), (SignaturePoint{129, 2}));
}

}  // namespace
}  // namespace vellumix::capture
