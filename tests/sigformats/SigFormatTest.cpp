#include "sigformats/SigFormat.h"

#include <gtest/gtest.h>

#include "FormatTestUtil.h"

namespace vellumix::sigformats {
namespace {

using namespace test;

// The header our encoder writes, byte for byte, for `points` points: "MP",
// header length 16, data length, version 2, ranges and device parameters.
Bytes SigHeader(std::uint16_t points) {
    const std::uint16_t len = static_cast<std::uint16_t>(points * 4);
    Bytes header = {0x4D,
                    0x50,
                    0x10,
                    0x00,
                    static_cast<std::uint8_t>(len & 0xFF),
                    static_cast<std::uint8_t>(len >> 8),
                    0x02,
                    0x00};
    const Bytes tail = RangesAndDeviceParams();
    header.insert(header.end(), tail.begin(), tail.end());
    return header;
}

TEST(SigDecode, HandBuiltImage) {
    Bytes file = {0x4D, 0x50, 0x10, 0x00, 0x10, 0x00, 0x02, 0x00,  // 4 points
                  0x00, 0x04, 0x00, 0x04, 0xA3, 0x01, 0x20, 0x03,
                  0x00, 0x00, 0xFF, 0x03,   // (0, 1023)
                  0x00, 0x40, 0x00, 0x40,   // pen up
                  0x00, 0x04, 0x34, 0x02,   // (1024, 564)
                  0x00, 0x40, 0x05, 0x00};  // 0x4000 in x only: a point, not a pen up
    EXPECT_EQ(PointsOf(DecodeSig(file)),
              (Points{{0, 1023}, PEN_UP_POINT, {1024, 564}, {16384, 5}}));
}

TEST(SigDecode, RangesScaleTheCoordinates) {
    // x range 2048 halves x; y range 512 doubles y. Device parameters and
    // magic are not checked, so another producer's 0/0 and "XX" load too.
    Bytes file = {'X',  'X',  0x10, 0x00, 0x08, 0x00, 0x07, 0x00, 0x00, 0x08,
                  0x00, 0x02, 0x00, 0x00, 0x00, 0x00, 0xE9, 0x03, 0x0B, 0x00,  // (1001, 11)
                  0x00, 0x40, 0x00, 0x40};                                     // pen up
    EXPECT_EQ(PointsOf(DecodeSig(file)), (Points{{500, 22}, PEN_UP_POINT}));
}

TEST(SigDecode, LongerHeaderIsSkipped) {
    Bytes file = SigHeader(1);
    file[2] = 20;  // header length 20: four extra header bytes
    file.insert(file.end(), {0xAA, 0xBB, 0xCC, 0xDD, 0x07, 0x00, 0x09, 0x00});
    EXPECT_EQ(PointsOf(DecodeSig(file)), (Points{{7, 9}}));
}

struct RejectCase {
    const char* what;
    std::function<void(Bytes&)> damage;
};

TEST(SigDecode, RejectsMalformedHeaders) {
    const std::vector<RejectCase> cases = {
        {"file one byte longer", [](Bytes& f) { f.push_back(0); }},
        {"file one point shorter", [](Bytes& f) { f.resize(f.size() - 4); }},
        {"data length not a multiple of 4",
         [](Bytes& f) {
             f[4] = 7;
             f.resize(16 + 7);
         }},
        {"zero x range", [](Bytes& f) { f[8] = f[9] = 0; }},
        {"zero y range", [](Bytes& f) { f[10] = f[11] = 0; }},
        {"header length below 16",
         [](Bytes& f) {
             f[2] = 8;
             f[4] = 16;
         }},
        {"shorter than the header", [](Bytes& f) { f.resize(12); }},
        {"no points",
         [](Bytes& f) {
             f[4] = 0;
             f.resize(16);
         }},
    };
    const Bytes good = BytesOf(EncodeSig(Points{{1, 2}, {3, 4}}));
    ASSERT_EQ(PointsOf(DecodeSig(good)).size(), 2u);
    for (const RejectCase& c : cases) {
        Bytes file = good;
        c.damage(file);
        EXPECT_TRUE(PointsOf(DecodeSig(file)).empty()) << c.what;
    }
}

TEST(SigEncode, TenPointsGive56Bytes) {
    Points points;
    for (int i = 0; i < 10; ++i) {
        points.push_back({i * 100, 1023 - i});
    }
    const Bytes file = BytesOf(EncodeSig(points));
    ASSERT_EQ(file.size(), 56u);
    EXPECT_EQ(Bytes(file.begin(), file.begin() + 16), SigHeader(10));
    EXPECT_EQ(file[4], 40);
    EXPECT_EQ(file[5], 0);
    EXPECT_EQ(file[6], 2);
    // The last point, (900, 1014), is 0x0384, 0x03F6.
    EXPECT_EQ(Bytes(file.end() - 4, file.end()), (Bytes{0x84, 0x03, 0xF6, 0x03}));
}

TEST(SigEncode, EveryNegativeCoordinateBecomesTheMarker) {
    const Bytes file = BytesOf(EncodeSig(Points{{-1, -1}, {-5, 3}, {3, -7}, {0, 0}}));
    const Bytes marker = {0x00, 0x40, 0x00, 0x40};
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(Bytes(file.begin() + 16 + 4 * i, file.begin() + 20 + 4 * i), marker) << i;
    }
    EXPECT_EQ(PointsOf(DecodeSig(file)),
              (Points{PEN_UP_POINT, PEN_UP_POINT, PEN_UP_POINT, {0, 0}}));
}

TEST(SigEncode, RefusesWhatTheFileCannotHold) {
    // 16,383 points fill the 16-bit data length; one more would wrap it.
    const Points most(16'383, SignaturePoint{5, 5});
    EXPECT_EQ(BytesOf(EncodeSig(most)).size(), 16u + 4 * 16'383);
    EXPECT_TRUE(BytesOf(EncodeSig(Points(16'384, SignaturePoint{5, 5}))).empty());
    EXPECT_TRUE(BytesOf(EncodeSig(Points{{1025, 0}})).empty());
    EXPECT_TRUE(BytesOf(EncodeSig(Points{{0, 70'000}})).empty());
}

TEST(SigDamage, NoCrashAndTruncationIsRejected) {
    const Bytes good = BytesOf(EncodeSig(RealisticSignature(6)));
    ExpectSurvivesDamage(DecodeSig, good, 1);
    for (std::size_t n : {std::size_t{0}, std::size_t{15}, good.size() - 1}) {
        EXPECT_TRUE(PointsOf(DecodeSig(std::span(good).first(n))).empty()) << n;
    }
}

}  // namespace
}  // namespace vellumix::sigformats
