// The linear block search and the word-wide bit writer against the encoder
// they replaced: the same streams, byte for byte, on thousands of signatures.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "sigformats/ReferenceVbcEncoder.h"
#include "sigformats/vbc/VbcStream.h"
#include "support/SignatureSynth.h"

namespace vellumix::sigformats::vbc {
namespace {

// Strokes of random length whose steps are drawn from a range picked per
// stroke, so blocks of every width and width changes at every length occur.
std::vector<StrokePoint> RandomStrokes(std::mt19937& rng) {
    std::uniform_int_distribution<int> strokeCount(1, 40);
    std::uniform_int_distribution<int> strokeLength(1, 120);
    std::uniform_int_distribution<int> stepPower(0, 13);
    std::uniform_int_distribution<int> coordinate(0, kCoordinateMask);
    std::vector<StrokePoint> points;
    const int strokes = strokeCount(rng);
    for (int s = 0; s < strokes && points.size() < kMaxStreamPoints; ++s) {
        StrokePoint p{coordinate(rng), coordinate(rng), true};
        points.push_back(p);
        const int reach = 1 << stepPower(rng);
        std::uniform_int_distribution<int> step(-reach, reach);
        const int length = strokeLength(rng);
        for (int i = 1; i < length && points.size() < kMaxStreamPoints; ++i) {
            StrokePoint q{std::clamp(p.x + step(rng), 0, int{kCoordinateMask}),
                          std::clamp(p.y + step(rng), 0, int{kCoordinateMask}), false};
            // A continuation point may not repeat the one before it.
            if (q.x == p.x && q.y == p.y) {
                q.x = p.x == 0 ? 1 : p.x - 1;
            }
            points.push_back(q);
            p = q;
        }
    }
    return points;
}

// Pen-up markers become stroke starts, as the .vbc writer does.
std::vector<StrokePoint> StrokeForm(const std::vector<SignaturePoint>& signature) {
    std::vector<StrokePoint> points;
    bool start = true;
    for (const auto& p : signature) {
        if (IsPenUp(p)) {
            start = true;
            continue;
        }
        if (!start && !points.empty() && points.back().x == p.x && points.back().y == p.y) {
            continue;
        }
        points.push_back({p.x, p.y, start});
        start = false;
    }
    return points;
}

TEST(VbcEncoderDifferential, RandomStrokesGiveTheReferenceBytes) {
    std::mt19937 rng(20260607);
    for (int run = 0; run < 2000; ++run) {
        const std::vector<StrokePoint> points = RandomStrokes(rng);
        ASSERT_EQ(EncodeStream(points, kOwnParams), reference::EncodeStream(points, kOwnParams))
            << "run " << run;
    }
}

TEST(VbcEncoderDifferential, SignaturesAndEdgeSizesGiveTheReferenceBytes) {
    for (unsigned seed = 0; seed < 200; ++seed) {
        const auto points =
            StrokeForm(testsupport::MakeSignature("Signed Here", seed, 500 + seed * 40));
        ASSERT_EQ(EncodeStream(points, kOwnParams), reference::EncodeStream(points, kOwnParams))
            << "seed " << seed;
    }
    // One point, a power of two and one either side, and the largest stream.
    std::mt19937 rng(7);
    for (std::size_t count : {std::size_t{1}, std::size_t{2}, std::size_t{3}, std::size_t{1023},
                              std::size_t{1024}, std::size_t{1025}, kMaxStreamPoints}) {
        std::vector<StrokePoint> points;
        for (std::size_t i = 0; i < count; ++i) {
            points.push_back({static_cast<int>(i % 2 == 0 ? 10 : 10 + rng() % 700),
                              static_cast<int>(20 + i % 3), i % 97 == 0});
        }
        ASSERT_EQ(EncodeStream(points, kOwnParams), reference::EncodeStream(points, kOwnParams))
            << count << " points";
    }
}

}  // namespace
}  // namespace vellumix::sigformats::vbc
