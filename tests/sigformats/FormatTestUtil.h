// What the .sig, .nlc and .cmp tests share: realistic signatures, stroke
// splitting and the damaged-input sweep.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "sigformats/CodecResult.h"
#include "sigformats/SignaturePoint.h"
#include "support/SignatureSynth.h"

namespace vellumix::sigformats::test {

using Bytes = std::vector<std::uint8_t>;
using Points = std::vector<SignaturePoint>;
using Decoder = std::function<Decoded(std::span<const std::uint8_t>)>;

// A codec's answer as plain values, nothing for a refusal: the tables below
// compare point lists and bytes, and a refusal compares as empty.
inline Points PointsOf(const Decoded& decoded) {
    return decoded ? decoded.Value().points : Points{};
}
inline Bytes BytesOf(const Encoded& encoded) {
    return encoded ? encoded.Value() : Bytes{};
}

// The header tail both .sig and .nlc files of ours carry: x and y ranges
// of 1024, then the device parameters 419 and 800, all little-endian.
inline Bytes RangesAndDeviceParams() {
    return {0x00, 0x04, 0x00, 0x04, 0xA3, 0x01, 0x20, 0x03};
}

// Several strokes with small and large moves, and corner points at 0 and at
// 1023/1024 on both axes, which a written word alone seldom reaches.
inline Points RealisticSignature(unsigned seed) {
    Points points = testsupport::MakeSignature("Amelia Hartwell", seed);
    const Points corners = {{0, 0}, {0, 1023},    {1023, 1023}, {1024, 1024}, {1024, 0},   {512, 0},
                            {0, 0}, PEN_UP_POINT, {1024, 1024}, {1023, 512},  PEN_UP_POINT};
    points.insert(points.end(), corners.begin(), corners.end());
    return points;
}

inline std::vector<Points> SplitStrokes(const Points& points) {
    std::vector<Points> strokes(1);
    for (const SignaturePoint& p : points) {
        if (IsPenUp(p)) {
            strokes.emplace_back();
        } else {
            strokes.back().push_back(p);
        }
    }
    std::erase_if(strokes, [](const Points& s) { return s.empty(); });
    return strokes;
}

// Truncations, single-bit flips and oversized inputs: the decoder must not
// crash or read past the input (run under ASan), and must stay within a sane
// bound of points per input byte.
inline void ExpectSurvivesDamage(const Decoder& decode, const Bytes& good,
                                 std::size_t pointsPerByte) {
    auto bounded = [&](std::span<const std::uint8_t> in, const std::string& what) {
        // A heap copy of exactly the input size, so ASan sees any overrun.
        const Bytes copy(in.begin(), in.end());
        const Points out = PointsOf(decode(copy));
        EXPECT_LE(out.size(), pointsPerByte * copy.size() + 1) << what;
    };
    for (std::size_t n = 0; n < good.size(); ++n) {
        bounded(std::span(good).first(n), "truncated to " + std::to_string(n));
    }
    const std::size_t flipBytes = std::min<std::size_t>(good.size(), 64);
    for (std::size_t i = 0; i < flipBytes; ++i) {
        for (int bit = 0; bit < 8; ++bit) {
            Bytes flipped = good;
            flipped[i] ^= static_cast<std::uint8_t>(1u << bit);
            bounded(flipped, "bit " + std::to_string(bit) + " of byte " + std::to_string(i));
        }
    }
    // (Random damage at large is the fuzz targets'.)
    std::mt19937 rng(1234);
    Bytes oversized = good;
    for (int i = 0; i < 70'000; ++i) {
        oversized.push_back(static_cast<std::uint8_t>(rng()));
    }
    bounded(oversized, "random tail");
    Bytes noise(200'000);
    for (std::uint8_t& b : noise) {
        b = static_cast<std::uint8_t>(rng());
    }
    bounded(noise, "noise");
}

}  // namespace vellumix::sigformats::test
