// The console's pen stream decoder: reports split across reads, answer
// frames in the stream, and realigning after lost or stray bytes.
#include "padctl/PenStream.h"

#include <gtest/gtest.h>

#include <vector>

namespace vellumix::tools {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Points = std::vector<capture::SignaturePoint>;
using capture::PEN_UP_POINT;

const Bytes kA{0x90, 0x08, 0x01, 0x02, 0x00};  // (129, 2)
const Bytes kB{0x90, 0x3F, 0x7F, 0x7F, 0x00};  // (1023, 1023)
const Bytes kUp{0x80, 0x00, 0x00, 0x00, 0x00};
const Bytes kAck{0x02, 0x01, 0x00, 0x06, 0x06, 0x06, 0x03};

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) {
        out.insert(out.end(), p.begin(), p.end());
    }
    return out;
}

Points FeedInPieces(const Bytes& stream, std::size_t piece) {
    PenStreamDecoder d;
    Points out;
    for (std::size_t i = 0; i < stream.size(); i += piece) {
        const std::size_t n = std::min(piece, stream.size() - i);
        d.Feed(std::span(stream.data() + i, n), out);
    }
    return out;
}

TEST(PenStreamDecoderTest, WholeStreamsDecodeTheSameInAnySplit) {
    struct Case {
        const char* name;
        Bytes stream;
        Points expected;
    };
    const Case cases[] = {
        {"reports", Cat({kA, kB, kUp}), {{129, 2}, {1023, 1023}, PEN_UP_POINT}},
        {"ack between reports", Cat({kA, kAck, kB}), {{129, 2}, {1023, 1023}}},
        {"ack first", Cat({kAck, kUp, kUp}), {PEN_UP_POINT, PEN_UP_POINT}},
        // A report whose status byte was lost: its last four bytes are
        // skipped and the next report is found.
        {"lost status byte",
         Cat({kA, Bytes(kB.begin() + 1, kB.end()), kUp}),
         {{129, 2}, PEN_UP_POINT}},
        {"invalid status", Cat({kA, {0x85, 0x01, 0x02, 0x03, 0x00}, kB}), {{129, 2}, {1023, 1023}}},
        {"misaligned by a stray byte", Cat({{0x00}, kA, kB}), {{129, 2}, {1023, 1023}}},
    };
    for (const Case& c : cases) {
        for (const std::size_t piece :
             {std::size_t{1}, std::size_t{3}, std::size_t{7}, c.stream.size()}) {
            EXPECT_EQ(FeedInPieces(c.stream, piece), c.expected)
                << c.name << ", pieces of " << piece;
        }
    }
}

TEST(PenStreamDecoderTest, CarriesOnlyWhatMayStillCompleteAReportOrFrame) {
    PenStreamDecoder d;
    Points out;
    const Bytes partialReport(kA.begin(), kA.begin() + 3);
    d.Feed(partialReport, out);
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(d.CarriedBytes(), 3u);
    d.Feed(Bytes(kA.begin() + 3, kA.end()), out);
    EXPECT_EQ(out, (Points{{129, 2}}));

    const Bytes partialAck(kAck.begin(), kAck.begin() + 4);
    d.Feed(partialAck, out);
    EXPECT_EQ(d.CarriedBytes(), 4u);
    d.Feed(Bytes(kAck.begin() + 4, kAck.end()), out);
    EXPECT_EQ(d.CarriedBytes(), 0u);
    EXPECT_EQ(d.SkippedFrames(), 1u);

    // Noise that can start nothing is not carried.
    d.Feed(Bytes{0x11, 0x22, 0x33}, out);
    EXPECT_EQ(d.CarriedBytes(), 0u);
    EXPECT_EQ(d.SkippedBytes(), 3u);
}

}  // namespace
}  // namespace vellumix::tools
