#include "sigformats/CmpFormat.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <thread>

#include "FormatTestUtil.h"

namespace vellumix::sigformats {
namespace {

using namespace test;

const Bytes kHeader = {0x11, 0xC4, 0xF2, 0x90};

// Running quarter units to output coordinates with the divisors we write.
SignaturePoint Out(int x, int y) {
    return {x * 273 / 68, y * 455 / 114};
}

Bytes Body(const Bytes& file) {
    return Bytes(file.begin() + 4, file.end());
}

TEST(CmpDecode, HandBuiltStreamThroughEveryMode) {
    Bytes file = {0x00, 0x42};  // skipped before the start byte
    file.insert(file.end(), kHeader.begin(), kHeader.end());
    file.insert(file.end(), {
                                0x33,              // skipped until the first pen-down code
                                0x80, 0x20, 0x30,  // pen down at (64, 96)
                                0x44,              // chain codes 4, 4
                                0x05,              // code 5, then small-move mode
                                0x30,              // code 0, back to chain mode, code 3
                                0x10,              // small-move mode
                                0x6B,              // (+3, -2), back to chain mode
                                0x10, 0x0B,        // small-move, then free-move mode
                                0x14, 0xEC,        // (+20, -20), stays in free-move mode
                                0x05, 0x03,        // (+5, +3), back to small-move mode
                                0x09,              // pen up
                                0x08, 0x10, 0x11,  // pen down at (32, 34)
                                0x01,              // chain mode
                                0xA0, 0xB0,        // new pen byte, still drawing
                                0x77,              // chain codes 7, 7
                                0x90,              // pen up
                            });
    EXPECT_EQ(PointsOf(DecodeCmp(file)),
              (Points{Out(64, 96), Out(66, 98), Out(68, 100), Out(70, 101), Out(68, 103),
                      Out(69, 105), Out(72, 103), Out(92, 83), Out(97, 86), PEN_UP_POINT,
                      Out(32, 34), Out(34, 33), Out(36, 32), PEN_UP_POINT}));
}

TEST(CmpDecode, LongAbsoluteFormAndOtherDivisors) {
    // x divisor 91 with shift 0, y divisor 65 with the long (12-bit) form.
    const Bytes file = {0x11, 0x5B, 0x41, 0x90, 0x80, 0x12, 0x34, 0x56};
    EXPECT_EQ(PointsOf(DecodeCmp(file)), (Points{{0x123 * 273 / 91, 0x456 * 455 / 65}}));
}

TEST(CmpDecode, RejectsMissingHeaderAndZeroDivisors) {
    EXPECT_TRUE(PointsOf(DecodeCmp(Bytes{})).empty());
    EXPECT_TRUE(PointsOf(DecodeCmp(Bytes{0x80, 0x20, 0x30})).empty());
    EXPECT_TRUE(PointsOf(DecodeCmp(Bytes{0x11, 0xC4, 0xF2})).empty());
    EXPECT_TRUE(PointsOf(DecodeCmp(Bytes{0x11, 0x80, 0xF2, 0x90, 0x80, 1, 1})).empty());
    EXPECT_TRUE(PointsOf(DecodeCmp(Bytes{0x11, 0xC4, 0x80, 0x90, 0x80, 1, 1})).empty());
    EXPECT_FALSE(InspectCmp(Bytes{0x11, 0xC4, 0x80, 0x90}));
    // A stream that ends inside an absolute point keeps what came before.
    EXPECT_EQ(PointsOf(DecodeCmp(
                  Bytes{0x11, 0xC4, 0xF2, 0x90, 0x80, 0x20, 0x30, 0x44, 0x90, 0x80, 0x01})),
              (Points{Out(64, 96), Out(66, 98), Out(68, 100), PEN_UP_POINT}));
}

struct EncodeCase {
    const char* what;
    Points points;
    Bytes body;  // after the 4-byte header
};

TEST(CmpEncode, CodesAsTheLayoutSays) {
    const std::vector<EncodeCase> cases = {
        {"pen up, then pen down with an absolute point",
         {{400, 400}, PEN_UP_POINT, {200, 200}},
         {0x80, 0x32, 0x32, 0x90, 0x80, 0x19, 0x19}},
        {"a move of 3 is one code 6; the unit left over joins the next move",
         {{400, 400}, {412, 400}, {416, 400}, PEN_UP_POINT},
         {0x80, 0x32, 0x32, 0x66, 0x90}},
        {"a pending code before a pen lift",
         {{400, 400}, {412, 400}, PEN_UP_POINT},
         {0x80, 0x32, 0x32, 0x06, 0x09}},
        {"two codes 4 share a byte",
         {{400, 400}, {408, 408}, {416, 416}, PEN_UP_POINT},
         {0x80, 0x32, 0x32, 0x44, 0x90}},
        {"code 0 after a pending 5 heads the next byte",
         {{400, 400}, {408, 404}, {400, 412}, {404, 420}, PEN_UP_POINT},
         {0x80, 0x32, 0x32, 0x05, 0x30, 0x90}},
        {"small moves; (+3, -2) is 0x6B and returns to chain mode",
         {{400, 400}, {424, 400}, {436, 392}, PEN_UP_POINT},
         {0x80, 0x32, 0x32, 0x10, 0x8E, 0x6B, 0x90}},
        {"a move of 20 enters free-move mode; one of 9 leaves it",
         {{400, 400}, {424, 400}, {504, 400}, {540, 400}, PEN_UP_POINT},
         {0x80, 0x32, 0x32, 0x10, 0x8E, 0x0B, 0x14, 0x00, 0x09, 0x00, 0x09}},
        {"a pen lift in free-move mode first leaves it with a zero move",
         {{400, 400}, {424, 400}, {504, 400}, PEN_UP_POINT},
         {0x80, 0x32, 0x32, 0x10, 0x8E, 0x0B, 0x14, 0x00, 0x00, 0x00, 0x09}},
        {"a move of 11 is two small moves",
         {{400, 400}, {444, 400}, PEN_UP_POINT},
         {0x80, 0x32, 0x32, 0x10, 0x8D, 0x8E, 0x09}},
        {"points closer than 2 quarter units are dropped",
         {{400, 400}, {404, 404}, {401, 403}, PEN_UP_POINT},
         {0x80, 0x32, 0x32, 0x90}},
        {"a code still pending at the end is written",
         {{400, 400}, {408, 408}},
         {0x80, 0x32, 0x32, 0x04}},
    };
    for (const EncodeCase& c : cases) {
        const Bytes file = BytesOf(EncodeCmp(c.points));
        ASSERT_GE(file.size(), 4u) << c.what;
        EXPECT_EQ(Bytes(file.begin(), file.begin() + 4), kHeader) << c.what;
        EXPECT_EQ(Body(file), c.body) << c.what;
    }
    EXPECT_EQ(BytesOf(EncodeCmp(Points{PEN_UP_POINT, {400, 400}})),
              (Bytes{0x11, 0xC4, 0xF2, 0x80, 0x80, 0x32, 0x32}));
    EXPECT_TRUE(BytesOf(EncodeCmp(Points{})).empty());
    EXPECT_TRUE(BytesOf(EncodeCmp(Points{{1025, 0}})).empty());
}

TEST(CmpEncode, LongJumpsBecomeSeveralFreeMovesAlongTheLine) {
    for (const Points& stroke :
         {Points{{0, 0}, {1024, 8}, PEN_UP_POINT}, Points{{1024, 1024}, {0, 1000}, PEN_UP_POINT}}) {
        const Points decoded = PointsOf(DecodeCmp(BytesOf(EncodeCmp(stroke))));
        // No pen lift is added: the stroke stays joined.
        ASSERT_EQ(SplitStrokes(decoded).size(), 1u);
        // Start, three moves, the zero move that leaves free-move mode before
        // the pen lift, the pen lift.
        ASSERT_EQ(decoded.size(), 6u);
        EXPECT_EQ(decoded[4], decoded[3]);
        const int dir = stroke[1].x > stroke[0].x ? 1 : -1;
        for (std::size_t i = 1; i < 4; ++i) {
            EXPECT_GT(dir * (decoded[i].x - decoded[i - 1].x), 250) << i;
            EXPECT_LT(dir * (decoded[i].x - decoded[i - 1].x), 350) << i;
        }
        EXPECT_EQ(decoded[3], Out(stroke[1].x >> 2, stroke[1].y >> 2));
    }
}

double DistanceToSegment(SignaturePoint p, SignaturePoint a, SignaturePoint b) {
    const double vx = b.x - a.x, vy = b.y - a.y;
    const double len2 = vx * vx + vy * vy;
    const double t =
        len2 == 0 ? 0 : std::clamp(((p.x - a.x) * vx + (p.y - a.y) * vy) / len2, 0.0, 1.0);
    return std::hypot(p.x - (a.x + t * vx), p.y - (a.y + t * vy));
}

// Decoded strokes stay close to the strokes written. Per axis: the quarter
// resolution (3 pad units), two quarter units from the absolute form's
// dropped low bit and the carry of moves below 2 (8), the 273/68 scale (4);
// 15 on each axis is about 21 across. Long jumps come back as points along
// the line, so decoded points are measured against segments.
void ExpectCloseStrokes(const Points& written, const Points& decoded) {
    constexpr double kTolerance = 21.3;
    const std::vector<Points> a = SplitStrokes(written);
    const std::vector<Points> b = SplitStrokes(decoded);
    ASSERT_EQ(a.size(), b.size());
    auto near = [&](SignaturePoint p, const Points& stroke) {
        for (std::size_t i = 0; i < stroke.size(); ++i) {
            if (DistanceToSegment(p, stroke[i], stroke[i + 1 < stroke.size() ? i + 1 : i]) <=
                kTolerance) {
                return true;
            }
        }
        return false;
    };
    for (std::size_t s = 0; s < a.size(); ++s) {
        for (SignaturePoint p : a[s]) {
            ASSERT_TRUE(near(p, b[s])) << "written (" << p.x << "," << p.y << ") stroke " << s;
        }
        for (SignaturePoint p : b[s]) {
            ASSERT_TRUE(near(p, a[s])) << "decoded (" << p.x << "," << p.y << ") stroke " << s;
        }
        EXPECT_EQ(b[s].front(), Out((a[s].front().x >> 3) << 1, (a[s].front().y >> 3) << 1));
    }
}

TEST(CmpRoundTrip, RealisticSignaturesKeepEveryStroke) {
    for (unsigned seed : {1u, 2u, 3u}) {
        const Points points = RealisticSignature(seed);
        const Points decoded = PointsOf(DecodeCmp(BytesOf(EncodeCmp(points))));
        ExpectCloseStrokes(points, decoded);
        EXPECT_TRUE(IsPenUp(decoded.back()));
    }
}

TEST(CmpThreads, EncodersOnTwoThreadsDoNotShareState) {
    const Points a = RealisticSignature(8);
    const Points b = RealisticSignature(9);
    const Bytes expectedA = BytesOf(EncodeCmp(a));
    const Bytes expectedB = BytesOf(EncodeCmp(b));
    bool sameA = true;
    bool sameB = true;
    std::thread ta([&] {
        for (int i = 0; i < 50; ++i) {
            sameA = sameA && BytesOf(EncodeCmp(a)) == expectedA &&
                    !PointsOf(DecodeCmp(expectedA)).empty();
        }
    });
    std::thread tb([&] {
        for (int i = 0; i < 50; ++i) {
            sameB = sameB && BytesOf(EncodeCmp(b)) == expectedB &&
                    !PointsOf(DecodeCmp(expectedB)).empty();
        }
    });
    ta.join();
    tb.join();
    EXPECT_TRUE(sameA);
    EXPECT_TRUE(sameB);
}

TEST(CmpDamage, NoCrashOnTruncatedFlippedOrOversizedInput) {
    // A chain byte gives two moves and perhaps a pen lift.
    ExpectSurvivesDamage(DecodeCmp, BytesOf(EncodeCmp(RealisticSignature(12))), 3);
}

}  // namespace
}  // namespace vellumix::sigformats
