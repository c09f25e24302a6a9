#include "capture/PenStreamDecoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "capture/PenReport.h"
#include "padsim/PadTestSupport.h"

namespace vellumix::capture {
namespace {

using sigformats::PEN_UP_POINT;
using sigformats::SignaturePoint;

using padsim::test::Concat;

using Bytes = std::vector<std::uint8_t>;
using Points = std::vector<SignaturePoint>;

const Bytes kAck(std::begin(padlink::kAckFrame), std::end(padlink::kAckFrame));

Bytes Stream(const Points& points) {
    Bytes out;
    for (const SignaturePoint p : points) {
        const PenReport r = EncodePenReport(p);
        out.insert(out.end(), r.begin(), r.end());
    }
    return out;
}

// The stream in reads of readSize bytes, then a read that finds the line
// quiet, as the reader's reads go when the pad stops sending.
Points DecodeInReads(const Bytes& stream, std::size_t readSize) {
    PenStreamDecoder decoder;
    Points out;
    for (std::size_t at = 0; at < stream.size(); at += readSize) {
        const std::size_t n = std::min(readSize, stream.size() - at);
        decoder.Decode(std::span(stream).subspan(at, n), out);
    }
    decoder.LineQuiet(out);
    return out;
}

TEST(PenStreamDecoder, DecodesThePadsExampleReports) {
    // Byte 3 of the first read is 6, the ack byte: it is pen data all the same.
    const Bytes s{0x90, 0x3F, 0x7F, 0x7F, 0x00, 0x90, 0x00, 0x00, 0x00, 0x00, 0x90, 0x08, 0x01,
                  0x02, 0x00, 0x80, 0x12, 0x34, 0x56, 0x00, 0x90, 0x00, 0x05, 0x06, 0x00};
    const Points expected{{1023, 1023}, {0, 0}, {129, 2}, PEN_UP_POINT, {5, 6}};
    EXPECT_EQ(DecodeInReads(s, s.size()), expected);
    EXPECT_EQ(DecodeInReads(Bytes(s.begin() + 20, s.end()), 5), (Points{{5, 6}}));
}

TEST(PenStreamDecoder, CarriesPartialReportsAcrossReads) {
    const Bytes s = Stream({{1, 2}, {3, 4}, {5, 6}, PEN_UP_POINT});
    PenStreamDecoder decoder;
    Points out;
    EXPECT_EQ(decoder.Decode(std::span(s).first(7), out), 1u);
    EXPECT_EQ(decoder.CarriedBytes(), 2u);
    EXPECT_EQ(decoder.Decode(std::span(s).subspan(7, 8), out), 2u);
    EXPECT_EQ(decoder.CarriedBytes(), 0u);
    // 3 carried, then a 2-byte read completes the report.
    EXPECT_EQ(decoder.Decode(std::span(s).subspan(15, 3), out), 0u);
    EXPECT_EQ(decoder.Decode(std::span(s).subspan(18, 2), out), 1u);
    EXPECT_EQ(out, (Points{{1, 2}, {3, 4}, {5, 6}, PEN_UP_POINT}));

    // In a clean stream each read hands out every report it completed: the
    // last one of a read does not wait for the next read.
    const Bytes strokes = Stream({{1, 2}, {3, 4}, {5, 6}, PEN_UP_POINT, {600, 600}, {603, 604}});
    for (std::size_t readSize = 1; readSize <= 12; ++readSize) {
        PenStreamDecoder clean;
        Points got;
        for (std::size_t at = 0; at < strokes.size(); at += readSize) {
            const std::size_t n = std::min(readSize, strokes.size() - at);
            clean.Decode(std::span(strokes).subspan(at, n), got);
            ASSERT_EQ(got.size(), (at + n) / kPenReportSize) << "reads of " << readSize;
        }
    }
}

TEST(PenStreamDecoder, SkipsAnswerFramesWhereverTheReadsSplitThem) {
    const Points points{{1, 2}, {2, 257}, {300, 258}, PEN_UP_POINT, {7, 8}};
    const Bytes nak(std::begin(padlink::kNakFrame), std::end(padlink::kNakFrame));
    // A pen read right after a command may begin with the command's late answer.
    const Bytes s = Concat({kAck, Stream({points[0], points[1]}), kAck, Stream({points[2]}), kAck,
                            nak, Stream({points[3], points[4]})});
    for (std::size_t readSize = 1; readSize <= s.size(); ++readSize) {
        EXPECT_EQ(DecodeInReads(s, readSize), points) << "reads of " << readSize;
    }
    PenStreamDecoder decoder;
    Points out;
    decoder.Decode(s, out);
    EXPECT_EQ(decoder.SkippedFrames(), 4u);
    EXPECT_EQ(decoder.DiscardedBytes(), 0u);
}

TEST(PenStreamDecoder, ABadStatusByteCostsOnlyItsOwnReport) {
    const Bytes fifth = Stream({{5, 5}});
    Bytes s = Stream({{1, 1}, {2, 2}, {3, 3}, {4, 4}});
    s[5] = 0x85;
    s.push_back(fifth[0]);  // the start of a fifth report stays carried
    PenStreamDecoder decoder;
    Points out;
    decoder.Decode(s, out);
    // With noise just seen, the last whole report waits for the one after it.
    EXPECT_EQ(out, (Points{{1, 1}, {3, 3}}));
    EXPECT_EQ(decoder.CarriedBytes(), 1u);
    decoder.Decode(std::span(fifth).subspan(1), out);
    decoder.LineQuiet(out);
    EXPECT_EQ(out, (Points{{1, 1}, {3, 3}, {4, 4}, {5, 5}}));
}

TEST(PenStreamDecoder, ResynchronisesAfterGarbage) {
    const Points points{{512, 512}, {515, 514}, PEN_UP_POINT};
    const struct {
        const char* what;
        Bytes noise;
    } cases[] = {
        {"plain bytes", {0x11, 0x22, 0x33}},
        {"high bytes", {0xFF, 0xC0, 0x81}},
        {"status with high coordinate bytes", {0x90, 0x85, 0x00, 0x00, 0x00}},
        {"stx with a huge length", {0x02, 0xFF, 0x7F, 0x00}},
        {"frame with a bad checksum", {0x02, 0x01, 0x00, 0x06, 0x07, 0x06, 0x03}},
        {"empty frame", {0x02, 0x00, 0x00, 0x00, 0x00, 0x03}},
    };
    for (const auto& c : cases) {
        for (std::size_t readSize : {std::size_t{1}, std::size_t{4}, std::size_t{64}}) {
            const Bytes s = Concat({Stream({{1, 1}, {3, 2}}), c.noise, Stream(points)});
            const Points got = DecodeInReads(s, readSize);
            EXPECT_EQ(got, (Points{{1, 1}, {3, 2}, {512, 512}, {515, 514}, PEN_UP_POINT}))
                << c.what << ", reads of " << readSize;
        }
    }
}

// Strokes of three points or more, as a pen writes them, with the awkward
// reports among them: a coordinate byte equal to STX, a y of 6 (the ack
// byte), an x byte of 0x02 right after the status byte, the corners.
const Points kStrokesBefore{{1023, 1023}, {1020, 1021}, {1022, 1018}, PEN_UP_POINT, {0, 0},
                            {2, 6},       {4, 2},       PEN_UP_POINT, {127, 5},     {129, 2}};
const Points kStrokesAfter{{131, 3},     PEN_UP_POINT, {2, 257},   {0, 256},   {3, 259},
                           PEN_UP_POINT, {300, 258},   {302, 255}, {299, 254}, PEN_UP_POINT};

// The heart of the resynchronisation: a byte lost anywhere in a stream of
// reports and answer frames costs at most the report it belonged to, and no
// report comes out wrong.
TEST(PenStreamDecoder, ALostByteCostsAtMostTheReportItHit) {
    const Points& before = kStrokesBefore;
    const Points& after = kStrokesAfter;
    const Bytes s = Concat({Stream(before), kAck, Stream(after)});
    Points all = before;
    all.insert(all.end(), after.begin(), after.end());
    const std::size_t frameStart = before.size() * kPenReportSize;

    for (std::size_t lost = 0; lost < s.size(); ++lost) {
        Bytes damaged = s;
        damaged.erase(damaged.begin() + static_cast<std::ptrdiff_t>(lost));
        Points expected = all;
        if (lost < frameStart) {
            expected.erase(expected.begin() + static_cast<std::ptrdiff_t>(lost / kPenReportSize));
        } else if (lost >= frameStart + kAck.size()) {
            const std::size_t hit = (lost - kAck.size()) / kPenReportSize;
            expected.erase(expected.begin() + static_cast<std::ptrdiff_t>(hit));
        }
        for (std::size_t readSize : {std::size_t{3}, std::size_t{7}, damaged.size()}) {
            const Points got = DecodeInReads(damaged, readSize);
            // A lost byte of a frame, or the unused fifth byte of a report, may
            // cost nothing at all.
            if (got != all) {
                EXPECT_EQ(got, expected) << "byte " << lost << " lost, reads of " << readSize;
            }
        }
    }
}

// Line noise adds a byte inside a report: that report is lost, never turned
// into a point that was not drawn, and the ones around it survive. The
// stream arrives in one read, so every report but the last is judged by the
// byte after it.
TEST(PenStreamDecoder, AnInsertedByteCostsAtMostTheReportItHit) {
    Points points = kStrokesBefore;
    points.insert(points.end(), kStrokesAfter.begin(), kStrokesAfter.end());
    const Bytes s = Stream(points);
    for (std::size_t at = 1; at < s.size() - kPenReportSize; ++at) {
        if (at % kPenReportSize == 0) {
            continue;  // between two reports: nothing is hit
        }
        for (const std::uint8_t noise :
             {std::uint8_t{0x00}, std::uint8_t{0x11}, std::uint8_t{0x7F}}) {
            Bytes damaged = s;
            damaged.insert(damaged.begin() + static_cast<std::ptrdiff_t>(at), noise);
            Points expected = points;
            expected.erase(expected.begin() + static_cast<std::ptrdiff_t>(at / kPenReportSize));
            EXPECT_EQ(DecodeInReads(damaged, damaged.size()), expected)
                << "noise " << int(noise) << " at " << at;
        }
    }
}

// Noise that holds a well-formed report becomes no ink: a look-alike amid
// the noise has no report behind it; one that ends or starts the noise does,
// or follows a real report, but lies off the stroke; a lift made of noise
// would split a stroke that goes on within reach. A real lift beside noise
// stays. Noise bytes 0x11 are plain garbage. A read that ends right behind a
// lift look-alike starting the noise hands it out at once (in a clean stream
// the last report of a read is not held back), so that case is read in
// pieces that do not end there.
TEST(PenStreamDecoder, NoiseThatLooksLikeAReportBecomesNoInk) {
    const Bytes fake{0x90, 0x05, 0x40, 0x20, 0x00};  // (64, 672), far off the strokes
    const Bytes fakeLift{0x80, 0x01, 0x02, 0x03, 0x00};
    const Bytes garbage(6, 0x11);
    const Points stroke{{400, 400}, {404, 402}, {408, 405}, {412, 409}};
    const Points goesOn{{416, 412}, {419, 416}, {421, 420}, PEN_UP_POINT};
    const Points newStroke{PEN_UP_POINT, {700, 100}, {703, 104}, {705, 108}, PEN_UP_POINT};
    const struct {
        const char* what;
        Bytes noise;
        Points after;
        std::size_t smallestRead = 1;
    } cases[] = {
        {"a look-alike amid the noise", Concat({garbage, fake, garbage}), goesOn},
        {"a look-alike ending the noise", Concat({garbage, fake}), goesOn},
        {"a look-alike starting the noise", Concat({fake, garbage}), goesOn},
        {"a lift ending the noise", Concat({garbage, fakeLift}), goesOn},
        {"a lift starting the noise", Concat({fakeLift, garbage}), goesOn, 16},
        {"two look-alikes ending the noise", Concat({garbage, fake, fakeLift}), goesOn},
        {"a real lift after the noise", garbage, newStroke},
        {"a lift look-alike before a real one", Concat({garbage, fakeLift}), newStroke},
    };
    for (const auto& c : cases) {
        Points expected = stroke;
        expected.insert(expected.end(), c.after.begin(), c.after.end());
        const Bytes s = Concat({Stream(stroke), c.noise, Stream(c.after)});
        for (std::size_t readSize : {std::size_t{1}, std::size_t{5}, std::size_t{16}, s.size()}) {
            if (readSize >= c.smallestRead) {
                EXPECT_EQ(DecodeInReads(s, readSize), expected)
                    << c.what << ", reads of " << readSize;
            }
        }
    }
}

// A lost link ends the stream: an open stroke gets its lift (once), the
// carried part of a report cut by the loss is dropped, and the first report
// from the pad that comes back starts a stroke of its own.
TEST(PenStreamDecoder, ALostLinkEndsTheOpenStrokeAndDropsTheCutReport) {
    const Bytes before = Stream({{100, 100}, {103, 101}, {106, 103}});
    const Bytes after = Stream({{300, 300}, {302, 303}});
    const struct {
        const char* what;
        std::size_t keep;  // bytes of `before` that arrived before the loss
        Points expected;
    } cases[] = {
        {"whole reports", 15, {{100, 100}, {103, 101}, {106, 103}, PEN_UP_POINT}},
        {"a cut report", 12, {{100, 100}, {103, 101}, PEN_UP_POINT}},
        {"nothing yet", 0, {}},
    };
    for (const auto& c : cases) {
        PenStreamDecoder decoder;
        Points out;
        decoder.Decode(std::span(before).first(c.keep), out);
        decoder.LinkLost(out);
        decoder.LinkLost(out);  // still down
        EXPECT_EQ(out, c.expected) << c.what;
        EXPECT_EQ(decoder.CarriedBytes(), 0u) << c.what;
        // The rest of the cut report never joins the bytes after the loss.
        out.clear();
        decoder.Decode(Concat({Bytes(before.begin() + c.keep, before.end()), after}), out);
        decoder.LineQuiet(out);
        ASSERT_GE(out.size(), 2u) << c.what;
        EXPECT_EQ(Points(out.end() - 2, out.end()), (Points{{300, 300}, {302, 303}})) << c.what;
    }
    // A stroke that has ended gets no second lift.
    PenStreamDecoder decoder;
    Points out;
    decoder.Decode(Stream({{1, 1}, PEN_UP_POINT}), out);
    EXPECT_EQ(decoder.LinkLost(out), 0u);
}

TEST(PenStreamDecoder, CarryStaysBounded) {
    PenStreamDecoder decoder;
    Points out;
    // A frame header that promises the largest stray answer is waited for ...
    const Bytes header{0x02, static_cast<std::uint8_t>(kMaxStrayFramePayload & 0xFF),
                       static_cast<std::uint8_t>(kMaxStrayFramePayload >> 8)};
    decoder.Decode(header, out);
    EXPECT_EQ(decoder.CarriedBytes(), 3u);
    // ... but pen data where its payload should be shows it was a lost status byte.
    decoder.Decode(Stream({{4, 4}, {5, 6}}), out);
    EXPECT_EQ(decoder.CarriedBytes(), 0u);
    // Garbage never piles up.
    const Bytes noise(1000, 0x41);
    decoder.Decode(noise, out);
    EXPECT_EQ(decoder.CarriedBytes(), 0u);
    EXPECT_EQ(out, (Points{{4, 4}, {5, 6}}));
}

}  // namespace
}  // namespace vellumix::capture
