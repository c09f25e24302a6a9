#include "engine/FrameParser.h"

#include <gtest/gtest.h>

#include "PadTestSupport.h"

namespace vellumix::padsim {
namespace {

using test::Concat;

using test::Bytes;
using test::Frame;

Bytes Patterned(std::size_t n) {
    Bytes p(n);
    for (std::size_t i = 0; i < n; ++i) {
        p[i] = static_cast<std::uint8_t>(i * 7 + 3);
    }
    return p;
}

struct WireCase {
    const char* name;
    Bytes wire;
    Bytes payload;
};

// The hosts' example frames, and bad bytes before a good frame: each wire
// gives its one payload, a partial frame left behind by none of them.
TEST(FrameParser, ReadsTheHostsExampleFramesAndSkipsBadBytesBeforeAGoodOne) {
    const Bytes good{0x7A, 0x46, 0x19};
    Bytes badSum = Frame(good);
    badSum[badSum.size() - 2] ^= 0xFF;
    Bytes badEtx = Frame(good);
    badEtx.back() = 0x04;
    const WireCase cases[] = {
        {"probe", {0x02, 0x03, 0x00, 0x78, 0x46, 0x01, 0x3F, 0xBF, 0x03}, {0x78, 0x46, 0x01}},
        {"ClearDisplay",
         {0x02, 0x03, 0x00, 0x7A, 0x46, 0x19, 0x25, 0xD9, 0x03},
         {0x7A, 0x46, 0x19}},
        {"FillRectangle",
         {0x02, 0x0B, 0x00, 0x8A, 0x46, 0x22, 0x00, 0x00, 0x00, 0x00, 0x3F, 0x01, 0xEF, 0x00, 0x3F,
          0x21, 0x03},
         {0x8A, 0x46, 0x22, 0x00, 0x00, 0x00, 0x00, 0x3F, 0x01, 0xEF, 0x00}},
        {"empty payload", {0x02, 0x00, 0x00, 0x00, 0x00, 0x03}, {}},
        {"garbage before STX", Concat({{0x00, 0xFF, 0x55, 0x03}, Frame(good)}), good},
        {"bad checksum, then good", Concat({badSum, Frame(good)}), good},
        {"bad ETX, then good", Concat({badEtx, Frame(good)}), good},
        {"STX inside garbage", Concat({{0x02, 0x01, 0x00, 0x99, 0x00, 0x00}, Frame(good)}), good},
    };
    for (const auto& c : cases) {
        engine::FrameParser parser;
        const auto out = parser.Feed(c.wire);
        ASSERT_EQ(out.size(), 1u) << c.name;
        EXPECT_EQ(out[0], c.payload) << c.name;
        EXPECT_FALSE(parser.HasPartialFrame()) << c.name;
        // Only the bad bytes are discarded.
        EXPECT_EQ(parser.DiscardedBytes(), c.wire.size() - Frame(c.payload).size()) << c.name;
    }
}

// Both length forms at their boundary, and the full-screen image's frame,
// the longest a host sends, fed one byte at a time.
TEST(FrameParser, ReadsBothLengthFormsAndTheFullScreenImageOneByteAtATime) {
    for (const std::size_t n : {std::size_t{0x7FFF}, std::size_t{0x8000}, std::size_t{0x10005},
                                padlink::kImageBytes + 11}) {
        const Bytes payload = Patterned(n);
        const Bytes wire = Frame(payload);
        engine::FrameParser parser;
        std::vector<engine::Payload> out;
        for (const std::uint8_t b : wire) {
            for (auto& p : parser.Feed(std::span(&b, 1))) {
                out.push_back(std::move(p));
            }
        }
        ASSERT_EQ(out.size(), 1u) << n;
        EXPECT_EQ(out[0], payload) << n;
    }
}

TEST(FrameParser, JoinsFramesSplitAnywhereAndBackToBack) {
    const Bytes a{0x78, 0x46, 0x01};
    const Bytes b = test::Text(105, 30, "NORVALE");
    const Bytes wire = Concat({Frame(a), Frame(b), Frame(a)});
    for (std::size_t cut = 1; cut < wire.size(); ++cut) {
        engine::FrameParser parser;
        auto out = parser.Feed(std::span(wire).first(cut));
        for (auto& p : parser.Feed(std::span(wire).subspan(cut))) {
            out.push_back(std::move(p));
        }
        ASSERT_EQ(out.size(), 3u) << "cut at " << cut;
        EXPECT_EQ(out[1], b);
    }
}

TEST(FrameParser, AbandoningAFalseStartUncoversTheFrameBehindIt) {
    // A stray STX whose length field promises 0x7FFF bytes would hold every
    // frame behind it until that many bytes came.
    const Bytes good{0x78, 0x46, 0x01};
    engine::FrameParser parser;
    EXPECT_TRUE(parser.Feed(Concat({{0x02, 0xFF, 0x7F}, Frame(good)})).empty());
    EXPECT_TRUE(parser.HasPartialFrame());
    const auto out = parser.AbandonPartialFrame();
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0], good);
    EXPECT_FALSE(parser.HasPartialFrame());
}

TEST(FrameParser, RejectsLengthsNoHostSends) {
    // A 3-byte length below 0x8000 or beyond the pad's frame buffer.
    engine::FrameParser parser;
    EXPECT_TRUE(parser.Feed(Bytes{0x02, 0xFF, 0xFF, 0x7F}).empty());
    EXPECT_FALSE(parser.HasPartialFrame());
}

}  // namespace
}  // namespace vellumix::padsim
