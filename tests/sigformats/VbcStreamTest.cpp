#include "sigformats/vbc/VbcStream.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vellumix::sigformats::vbc {
namespace {

// Builds a stream image bit by bit from the layout, independent of the
// encoder: "0100" appends four bits, spaces are ignored.
class Image {
public:
    Image& Bits(std::string_view bits) {
        for (char c : bits) {
            if (c == ' ') {
                continue;
            }
            if (m_bits % 8 == 0) {
                m_bytes.push_back(0);
            }
            if (c == '1') {
                m_bytes.back() |= static_cast<std::uint8_t>(0x80U >> (m_bits % 8));
            }
            ++m_bits;
        }
        return *this;
    }
    const std::vector<std::uint8_t>& Bytes() const { return m_bytes; }

private:
    std::vector<std::uint8_t> m_bytes;
    std::size_t m_bits = 0;
};

// Profile 4 with implied ranges; five points in blocks of four, widths 3/3
// then 2/2, two strokes. Byte fields sit six bits off the byte grid.
Image HandBuiltV12() {
    Image image;
    image
        .Bits("1 1 0100")                            // range flag, profile flag, index 4
        .Bits("00000101 00000000")                   // count 5
        .Bits("00000000")                            // reduction
        .Bits("00000100 00000000")                   // block length 4
        .Bits("0 00110011  0 00100010  0 00000000")  // widths 0x33, 0x22, end
        .Bits("000 000 000 000 01100100 00000000 11001000 00000000")  // start (100, 200)
        .Bits("110 011")                                              // +3, -2 (low bit first)
        .Bits("111 100")                                              // -1, +1
        .Bits("000 000 000 000 00001010 00000000 00010100 00000000")  // start (10, 20)
        .Bits("10 00");                                               // +1, 0 in the 2-bit block
    return image;
}

TEST(VbcStreamDecodeTest, ReadsHandBuiltVersion12Image) {
    const DecodedStream decoded = DecodeStream(HandBuiltV12().Bytes(), VbcVersion::k12);
    ASSERT_EQ(decoded.error, VbcError::kSuccess);
    EXPECT_EQ(decoded.header.profile, std::optional<std::uint8_t>(4));
    EXPECT_TRUE(decoded.header.rangesFromProfile);
    EXPECT_EQ(decoded.header.params.paramA, 256);
    EXPECT_EQ(decoded.header.params.paramB, 341);
    EXPECT_EQ(decoded.header.params.xRange, 1024);
    EXPECT_EQ(decoded.header.widths, (std::vector<std::uint8_t>{0x33, 0x22}));
    const std::vector<StrokePoint> expected = {
        {100, 200, true}, {103, 198, false}, {102, 199, false}, {10, 20, true}, {11, 20, false}};
    EXPECT_EQ(decoded.points, expected);
}

TEST(VbcStreamDecodeTest, ReadsHandBuiltVersion10Image) {
    Image image;
    image
        .Bits("00010011 00000001  00100000 00000011")  // A 275, B 800
        .Bits("00000000 00001000  00000000 00001000")  // ranges 2048 x 2048
        .Bits("00000011 00000000  00000000")           // count 3, reduction 0
        .Bits("00000010 00000000")                     // block length 2
        .Bits("00110011 01000100 00000000")            // plain width bytes, zero ends
        .Bits("000 000 000 000 10010000 00000001 01011000 00000010")  // start (400, 600)
        .Bits("010 011")                                              // +2, -2
        .Bits("1000 0000");                                           // +1, 0 with widths 4/4
    const DecodedStream decoded = DecodeStream(image.Bytes(), VbcVersion::k10);
    ASSERT_EQ(decoded.error, VbcError::kSuccess);
    EXPECT_FALSE(decoded.header.profile.has_value());
    EXPECT_EQ(decoded.header.params.paramA, 275);
    EXPECT_EQ(decoded.header.params.xRange, 2048);
    const std::vector<StrokePoint> expected = {
        {400, 600, true}, {402, 598, false}, {403, 598, false}};
    EXPECT_EQ(decoded.points, expected);
}

TEST(VbcStreamDecodeTest, LoneZeroPairIsAZeroMove) {
    Image image;
    image
        .Bits("1 1 0000 00000011 00000000 00000000 00000011 00000000")  // count 3, B 3
        .Bits("0 00110011 1 0 00000000")  // repeat bit for a second (unused) block
        .Bits("000 000 000 000 00000101 00000000 00000101 00000000")
        .Bits("000 000")   // zero move...
        .Bits("100 000");  // ...then a real one, which the look-ahead must give back
    const DecodedStream decoded = DecodeStream(image.Bytes(), VbcVersion::k12);
    ASSERT_EQ(decoded.error, VbcError::kSuccess);
    EXPECT_EQ(decoded.header.widths, (std::vector<std::uint8_t>{0x33, 0x33}));
    const std::vector<StrokePoint> expected = {{5, 5, true}, {5, 5, false}, {6, 5, false}};
    EXPECT_EQ(decoded.points, expected);
}

TEST(VbcStreamDecodeTest, RejectsMalformedHeaders) {
    const std::string_view cases[] = {
        "1 1 1000 00000000",  // profile 8
        "1 0 00000000",       // range flag without a profile
        "0 1 0011 0000",      // cut inside the ranges
        "1 1 0000 00000001 00000000 00000000 00000000 00000000 0 00110011 0 00000000",  // B = 0
    };
    for (std::string_view bits : cases) {
        Image image;
        image.Bits(bits);
        EXPECT_EQ(DecodeStream(image.Bytes(), VbcVersion::k12).error, VbcError::kBadHeader) << bits;
    }
    EXPECT_EQ(DecodeStream({}, VbcVersion::k11).error, VbcError::kBadHeader);
}

TEST(VbcStreamDecodeTest, CutStreamStopsAtTheEndOfTheBuffer) {
    const std::vector<std::uint8_t> full = HandBuiltV12().Bytes();
    const std::vector<StrokePoint> all = DecodeStream(full, VbcVersion::k12).points;
    for (std::size_t size = 0; size < full.size(); ++size) {
        const std::vector<std::uint8_t> cut(full.begin(), full.begin() + size);
        const DecodedStream decoded = DecodeStream(cut, VbcVersion::k12);
        ASSERT_LE(decoded.points.size(), all.size());
        for (std::size_t i = 0; i + 1 < decoded.points.size(); ++i) {
            EXPECT_EQ(decoded.points[i], all[i]) << "size " << size;
        }
    }
}

TEST(VbcStreamEncodeTest, BitsForMatchesTheWidthRule) {
    const std::pair<std::uint32_t, unsigned> cases[] = {
        {0, 0}, {1, 1}, {2, 2}, {3, 2}, {4, 3}, {7, 3}, {8, 4}, {16383, 14}, {0xFFFFFFFF, 32}};
    for (const auto& [value, bits] : cases) {
        EXPECT_EQ(BitsFor(value), bits) << value;
    }
}

TEST(VbcStreamEncodeTest, UnitMovesCostFourBitsAPoint) {
    std::vector<StrokePoint> points = {{500, 500, true}};
    for (int i = 1; i < 300; ++i) {
        const StrokePoint& last = points.back();
        points.push_back({last.x + (i % 3 == 0 ? -1 : 1), last.y + (i % 5 == 0 ? 1 : -1), false});
    }
    const std::size_t blockLength = ChooseBlockLength(points);
    for (std::uint8_t width : BlockWidths(points, blockLength)) {
        EXPECT_EQ(width, 0x22);
    }
    // 299 points: blocks of 256 and of 299 both cost one width entry, and a
    // tie keeps the earlier candidate.
    EXPECT_EQ(blockLength, 256U);
}

TEST(VbcStreamEncodeTest, BlockStartsAreMeasuredFromThePreviousBlock) {
    const std::vector<StrokePoint> points = {
        {0, 0, true}, {1, 1, false}, {9, 1, false}, {10, 1, false}};
    // Block 2 starts with the jump of 8: x needs 4 bits plus sign.
    EXPECT_EQ(BlockWidths(points, 2), (std::vector<std::uint8_t>{0x22, 0x51}));
    EXPECT_EQ(BlockWidths(points, 1), (std::vector<std::uint8_t>{0x11, 0x22, 0x51, 0x21}));
}

TEST(VbcStreamEncodeTest, RoundTripsThroughTheDecoder) {
    std::vector<StrokePoint> points;
    for (int stroke = 0; stroke < 7; ++stroke) {
        points.push_back({stroke * 97 % 1024, stroke * 53 % 1024, true});
        for (int i = 1; i < 40 + stroke * 13; ++i) {
            const StrokePoint& last = points.back();
            points.push_back({(last.x + (i * 7 % 11) - 5 + 1024) % 1024,
                              (last.y + (i * i % 9) + 1) % 1024, false});
        }
    }
    for (const StreamParams& params :
         {kOwnParams, StreamParams{256, 341, 1024, 1024}, StreamParams{227, 292, 922, 597},
          StreamParams{288, 540, 500, 500}}) {
        const DecodedStream decoded = DecodeStream(EncodeStream(points, params), VbcVersion::k12);
        ASSERT_EQ(decoded.error, VbcError::kSuccess);
        EXPECT_EQ(decoded.points, points);
        EXPECT_EQ(decoded.header.params.paramA, params.paramA);
        EXPECT_EQ(decoded.header.params.paramB, params.paramB);
        EXPECT_EQ(decoded.header.params.xRange, params.xRange);
        EXPECT_EQ(decoded.header.params.yRange, params.yRange);
    }
}

}  // namespace
}  // namespace vellumix::sigformats::vbc
