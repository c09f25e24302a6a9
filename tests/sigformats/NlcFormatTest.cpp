#include "sigformats/NlcFormat.h"

#include <gtest/gtest.h>

#include "FormatTestUtil.h"

namespace vellumix::sigformats {
namespace {

using namespace test;

// "NC", the data length, the ranges and device parameters, the 03 FF trailer.
Bytes NlcHeader(std::uint16_t dataLength) {
    Bytes header = {0x4E, 0x43, static_cast<std::uint8_t>(dataLength & 0xFF),
                    static_cast<std::uint8_t>(dataLength >> 8)};
    const Bytes middle = RangesAndDeviceParams();
    header.insert(header.end(), middle.begin(), middle.end());
    header.insert(header.end(), {0x03, 0xFF});
    return header;
}

Bytes Data(const Bytes& file) {
    return Bytes(file.begin() + 14, file.end());
}

// The .nlc reading of a point list: pad units / 8 (back as multiples of 8),
// repeats of the previous stored point dropped, one pen lift before every
// stroke that follows one, nothing for a trailing pen lift.
Points Quantise(const Points& points) {
    Points out;
    bool penUp = false;
    bool inStroke = false;
    SignaturePoint prev;
    for (const SignaturePoint& p : points) {
        if (p.x < 0 || p.y < 0) {
            penUp = true;
            inStroke = false;
            continue;
        }
        const SignaturePoint q{(p.x >> 3) * 8, (p.y >> 3) * 8};
        if (!inStroke) {
            if (penUp) {
                out.push_back(PEN_UP_POINT);
            }
            penUp = false;
            inStroke = true;
        } else if (q == prev) {
            continue;
        }
        out.push_back(q);
        prev = q;
    }
    return out;
}

TEST(NlcDecode, HandBuiltFiles) {
    Bytes image = NlcHeader(16);
    image.insert(image.end(), {
                                  0x0A, 0x50, 0x40, 0x00,  // (10, 20), two 1-byte entries
                                  0xA3,                    // (+3, -2)
                                  0x7F,                    // (-7, +7)
                                  0x64, 0xC8, 0x30, 0x80,  // pen lift, (100, 50), one 2-byte entry
                                  0xE4, 0x94,              // (-100, -20)
                                  0xFF, 0x03, 0x00, 0x00,  // (1023, 0): all 10 bits are read
                              });
    Bytes scaled = NlcHeader(4);
    scaled[5] = 0x08;                                                         // x range 2048
    scaled[7] = 0x02;                                                         // y range 512
    scaled.insert(scaled.end(), {0x0A, 0x50, 0x00, 0x00, 0x01, 0x01, 0x01});  // bytes past the data
    EXPECT_EQ(
        PointsOf(DecodeNlc(image)),
        (Points{{80, 160}, {104, 144}, {48, 200}, PEN_UP_POINT, {800, 400}, {0, 240}, {8184, 0}}));
    EXPECT_EQ(PointsOf(DecodeNlc(scaled)), (Points{{40, 320}}));
}

TEST(NlcDecode, RejectsZeroRangesAndShortHeaders) {
    Bytes good = NlcHeader(4);
    good.insert(good.end(), {0x0A, 0x50, 0x00, 0x00});
    ASSERT_EQ(PointsOf(DecodeNlc(good)).size(), 1u);
    Bytes zeroX = good;
    zeroX[4] = zeroX[5] = 0;
    Bytes zeroY = good;
    zeroY[6] = zeroY[7] = 0;
    EXPECT_TRUE(PointsOf(DecodeNlc(zeroX)).empty());
    EXPECT_TRUE(PointsOf(DecodeNlc(zeroY)).empty());
    EXPECT_FALSE(InspectNlc(zeroX));
    EXPECT_TRUE(PointsOf(DecodeNlc(std::span(good).first(13))).empty());
    EXPECT_TRUE(PointsOf(DecodeNlc(NlcHeader(0))).empty());
}

TEST(NlcDecode, TruncatedFileKeepsThePointsReadSoFar) {
    const Points points = RealisticSignature(11);
    const Bytes good = BytesOf(EncodeNlc(points));
    const Points full = PointsOf(DecodeNlc(good));
    ASSERT_FALSE(InspectNlc(good)->truncated);
    for (std::size_t n : {good.size() / 3, good.size() / 2, good.size() - 1}) {
        const std::span<const std::uint8_t> cut = std::span(good).first(n);
        const Points part = PointsOf(DecodeNlc(cut));
        ASSERT_FALSE(part.empty()) << n;
        ASSERT_LT(part.size(), full.size()) << n;
        EXPECT_TRUE(std::equal(part.begin(), part.end(), full.begin())) << n;
        EXPECT_TRUE(InspectNlc(cut)->truncated) << n;
        EXPECT_EQ(InspectNlc(cut)->pointCount, part.size()) << n;
    }
}

TEST(NlcEncode, StraightStrokeEvery8UnitsIsOneRecordOfOneByteEntries) {
    Points stroke;
    for (int i = 0; i < 10; ++i) {
        stroke.push_back({100 + 8 * i, 200});
    }
    Bytes expected = NlcHeader(13);
    expected.insert(expected.end(), {0x0C, 0x64, 0x20, 0x01});  // (12, 25), 9 entries
    expected.insert(expected.end(), 9, 0x01);
    EXPECT_EQ(BytesOf(EncodeNlc(stroke)), expected);
}

struct RecordCase {
    const char* what;
    Points points;
    Bytes data;
};

TEST(NlcEncode, RecordBoundaries) {
    const std::vector<RecordCase> cases = {
        {"a larger move inside a run of 1-byte entries opens a record",
         {{0, 0}, {8, 0}, {16, 0}, {96, 0}, {104, 0}},
         {0x00, 0x00, 0x40, 0x00, 0x01, 0x01, 0x0C, 0x00, 0x20, 0x00, 0x01}},
        {"a small move after 2-byte entries opens a record",
         {{0, 0}, {80, 0}, {88, 0}},
         {0x00, 0x00, 0x30, 0x00, 0x0A, 0x00, 0x0B, 0x00, 0x00, 0x00}},
        {"a move of 127 stored units or more opens a record",
         {{0, 0}, {1016, 8}},
         {0x00, 0x00, 0x00, 0x00, 0x7F, 0x04, 0x00, 0x00}},
        {"points at the same stored place are dropped",
         {{0, 0}, {3, 5}, {7, 7}, {8, 0}},
         {0x00, 0x00, 0x20, 0x00, 0x01}},
        {"a pen lift sets bit 31 of the next record; a trailing one adds nothing",
         {{0, 0}, PEN_UP_POINT, PEN_UP_POINT, {16, 16}, PEN_UP_POINT},
         {0x00, 0x00, 0x00, 0x00, 0x02, 0x08, 0x00, 0x80}},
    };
    for (const RecordCase& c : cases) {
        const Bytes file = BytesOf(EncodeNlc(c.points));
        ASSERT_GE(file.size(), 14u) << c.what;
        EXPECT_EQ(Data(file), c.data) << c.what;
        EXPECT_EQ(PointsOf(DecodeNlc(file)), Quantise(c.points)) << c.what;
    }
}

TEST(NlcEncode, RefusesFilesAboveTheCap) {
    // Jumps of 127 stored units make every point a 4-byte record.
    auto jumps = [](std::size_t n) {
        Points points;
        for (std::size_t i = 0; i < n; ++i) {
            points.push_back(i % 2 ? SignaturePoint{1016, 1016} : SignaturePoint{0, 0});
        }
        return points;
    };
    EXPECT_EQ(BytesOf(EncodeNlc(jumps(3020))).size(), 14u + 4 * 3020);  // 12,094 bytes
    EXPECT_TRUE(BytesOf(EncodeNlc(jumps(3021))).empty());               // 12,098 bytes
    EXPECT_TRUE(BytesOf(EncodeNlc(Points{{1025, 3}})).empty());
}

TEST(NlcRoundTrip, RealisticSignaturesComeBackQuantised) {
    for (unsigned seed : {1u, 2u, 3u}) {
        const Points points = RealisticSignature(seed);
        const Bytes file = BytesOf(EncodeNlc(points));
        ASSERT_FALSE(file.empty());
        const Points expected = Quantise(points);
        EXPECT_EQ(PointsOf(DecodeNlc(file)), expected) << "seed " << seed;
        EXPECT_EQ(SplitStrokes(expected).size(), SplitStrokes(points).size());
    }
}

TEST(NlcDamage, NoCrashOnTruncatedFlippedOrOversizedInput) {
    // A header word gives at most 2 points; every entry byte at most 1.
    ExpectSurvivesDamage(DecodeNlc, BytesOf(EncodeNlc(RealisticSignature(7))), 1);
}

}  // namespace
}  // namespace vellumix::sigformats
