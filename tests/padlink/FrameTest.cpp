#include "padlink/Frame.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <numeric>
#include <random>
#include <vector>

namespace vellumix::padlink {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Frames payload in a buffer with `spare` bytes beyond the payload.
Bytes Framed(const Bytes& payload, std::size_t spare = 7) {
    Bytes buffer(payload);
    buffer.resize(payload.size() + spare, 0xEE);
    const std::size_t length = BuildFrame(buffer, payload.size());
    buffer.resize(length);
    return buffer;
}

struct Example {
    const char* name;
    Bytes payload;
    Bytes frame;
};

TEST(BuildFrame, ProducesTheKnownFrames) {
    const Example examples[] = {
        {"probe", {0x78, 0x46, 0x01}, {0x02, 0x03, 0x00, 0x78, 0x46, 0x01, 0x3F, 0xBF, 0x03}},
        {"clear display",
         {0x7A, 0x46, 0x19},
         {0x02, 0x03, 0x00, 0x7A, 0x46, 0x19, 0x25, 0xD9, 0x03}},
        {"fill whole screen",
         {0x8A, 0x46, 0x22, 0x00, 0x00, 0x00, 0x00, 0x3F, 0x01, 0xEF, 0x00},
         {0x02, 0x0B, 0x00, 0x8A, 0x46, 0x22, 0x00, 0x00, 0x00, 0x00, 0x3F, 0x01, 0xEF, 0x00, 0x3F,
          0x21, 0x03}},
        {"empty payload", {}, {0x02, 0x00, 0x00, 0x00, 0x00, 0x03}},
    };
    for (const auto& example : examples) {
        EXPECT_EQ(Framed(example.payload), example.frame) << example.name;
    }
}

struct LengthForm {
    std::size_t payloadLength;
    Bytes header;
    std::size_t frameLength;
};

TEST(BuildFrame, SwitchesToTheThreeByteLengthAt0x8000) {
    const LengthForm forms[] = {
        {1, {0x02, 0x01, 0x00}, 7},
        {32'767, {0x02, 0xFF, 0x7F}, 32'773},
        {32'768, {0x02, 0x00, 0x80, 0x00}, 32'775},
        // The full-screen image: 8 command and coordinate bytes, 3 bytes per pixel.
        {230'411, {0x02, 0x0B, 0x84, 0x03}, 230'418},
    };
    std::mt19937 random(7);
    for (const auto& form : forms) {
        Bytes payload(form.payloadLength);
        for (auto& byte : payload) {
            byte = static_cast<std::uint8_t>(random());
        }
        const Bytes frame = Framed(payload);
        ASSERT_EQ(frame.size(), form.frameLength) << form.payloadLength;
        EXPECT_TRUE(std::equal(form.header.begin(), form.header.end(), frame.begin()));
        // The payload arrives whole behind the header.
        EXPECT_TRUE(std::equal(payload.begin(), payload.end(), frame.begin() + form.header.size()));
        EXPECT_EQ(frame.back(), 0x03);
    }
}

// The checksum loop works on eight bytes at a time; lengths around the word
// size and around its 255-word fold point catch lane and tail mistakes.
TEST(BuildFrame, ChecksumsMatchAPlainByteFold) {
    std::mt19937 random(11);
    const std::size_t lengths[] = {1, 7, 8, 9, 15, 16, 17, 2039, 2040, 2041, 4087, 32'769, 100'003};
    for (const std::size_t length : lengths) {
        for (const bool allOnes : {false, true}) {
            Bytes payload(length, 0xFF);
            if (!allOnes) {
                for (auto& byte : payload) {
                    byte = static_cast<std::uint8_t>(random());
                }
            }
            const auto x = std::accumulate(payload.begin(), payload.end(), std::uint8_t{0},
                                           [](std::uint8_t a, std::uint8_t b) { return a ^ b; });
            const auto s = std::accumulate(
                payload.begin(), payload.end(), std::uint8_t{0},
                [](std::uint8_t a, std::uint8_t b) { return static_cast<std::uint8_t>(a + b); });
            const Bytes frame = Framed(payload);
            ASSERT_GE(frame.size(), 3u);
            EXPECT_EQ(frame[frame.size() - 3], x) << length << (allOnes ? " ones" : " random");
            EXPECT_EQ(frame[frame.size() - 2], s) << length << (allOnes ? " ones" : " random");
        }
    }
}

TEST(BuildFrame, RefusesABufferWithoutRoomAndLeavesItAlone) {
    struct Case {
        std::size_t payloadLength;
        std::size_t bufferSize;
        std::size_t expected;
    };
    const Case cases[] = {
        {3, 8, 0},            // one short of n + 6
        {3, 9, 9},            // exactly n + 6
        {32'767, 32'772, 0},  // short form, one short
        {32'768, 32'774, 0},  // long form needs n + 7
        {32'768, 32'775, 32'775},
        {10, 5, 0},  // payload claims more than the buffer holds
    };
    for (const auto& c : cases) {
        Bytes buffer(c.bufferSize, 0x5A);
        const Bytes before = buffer;
        EXPECT_EQ(BuildFrame(buffer, c.payloadLength), c.expected)
            << c.payloadLength << " in " << c.bufferSize;
        if (c.expected == 0) {
            EXPECT_EQ(buffer, before);
        }
    }
}

TEST(BuildFrame, RefusesAPayloadBeyondTheLengthField) {
    Bytes buffer(kMaxFramePayload + 1 + kLongFrameOverhead);
    EXPECT_EQ(BuildFrame(buffer, kMaxFramePayload + 1), 0u);
}

}  // namespace
}  // namespace vellumix::padlink
