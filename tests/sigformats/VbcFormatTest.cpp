#include "sigformats/vbc/VbcFormat.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/SignatureSynth.h"

namespace vellumix::sigformats::vbc {
namespace {

using Points = std::vector<SignaturePoint>;
using Bytes = std::vector<std::uint8_t>;

Bytes FileBytes(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

// What the decoder gives back for a drawing: a pen-up before every stroke,
// none after the last, and no point repeated within a stroke.
Points Normalised(const Points& input) {
    Points out;
    bool inStroke = false;
    for (const SignaturePoint& p : input) {
        if (IsPenUp(p)) {
            inStroke = false;
            continue;
        }
        if (!inStroke) {
            out.push_back(PEN_UP_POINT);
            inStroke = true;
        } else if (out.back() == p) {
            continue;
        }
        out.push_back(p);
    }
    return out;
}

// The points of a decoder's answer, none for a refusal.
Points PointsOf(const Decoded& decoded) {
    return decoded ? decoded.Value().points : Points{};
}

Points RoundTrip(const Points& points, std::string_view options = {}) {
    const Encoded encoded = EncodeVbc(points, options);
    EXPECT_TRUE(encoded.Ok()) << encoded.Error().message;
    const Decoded decoded = DecodeVbc(encoded ? encoded.Value() : Bytes{});
    EXPECT_TRUE(decoded.Ok()) << decoded.Error().message;
    return PointsOf(decoded);
}

TEST(VbcFormatRoundTripTest, RealisticSignaturesComeBackExactly) {
    const struct {
        std::string_view text;
        unsigned seed;
    } cases[] = {{"Anna Smith", 1}, {"J. Q. Public", 7}, {"Wolfgang\nAmadeus", 42}, {"x", 3}};
    for (const auto& c : cases) {
        const Points signature = testsupport::MakeSignature(c.text, c.seed);
        const Encoded encoded = EncodeVbc(signature);
        ASSERT_TRUE(encoded.Ok()) << encoded.Error().message;
        const Bytes& file = encoded.Value();
        EXPECT_TRUE(
            std::equal(file.begin(), file.begin() + 7, std::string_view("VBC1.2\0", 7).begin()));
        // Far smaller than .sig's four bytes a point.
        EXPECT_LT(file.size(), signature.size() * 2) << c.text;
        EXPECT_EQ(PointsOf(DecodeVbc(file)), Normalised(signature)) << c.text;
    }
}

TEST(VbcFormatRoundTripTest, PadCornersAndFullScaleSurvive) {
    const Points points = {{0, 0},    {1024, 0}, {1024, 1024}, PEN_UP_POINT,
                           {0, 1024}, {512, 3},  PEN_UP_POINT, {1023, 1023}};
    EXPECT_EQ(RoundTrip(points), Normalised(points));
}

struct EdgeCase {
    const char* name;
    Points input;
    Points decoded;
};

TEST(VbcFormatRoundTripTest, StrokeEdgeCases) {
    const SignaturePoint a{5, 5};
    const SignaturePoint b{7, 9};
    const EdgeCase cases[] = {
        {"first point on the x = 0 edge", {{0, 40}, {3, 41}}, {PEN_UP_POINT, {0, 40}, {3, 41}}},
        {"first point at the origin", {{0, 0}, b}, {PEN_UP_POINT, {0, 0}, b}},
        {"leading and trailing markers", {PEN_UP_POINT, a, b, PEN_UP_POINT}, {PEN_UP_POINT, a, b}},
        {"repeat is last", {a, b, b}, {PEN_UP_POINT, a, b}},
        {"repeat before a stroke start",
         {a, a, PEN_UP_POINT, b},
         {PEN_UP_POINT, a, PEN_UP_POINT, b}},
        {"repeat then a move", {a, a, a, b}, {PEN_UP_POINT, a, b}},
        // Equal stroke starts are equal points to the duplicate removal.
        {"dot then stroke from the same place merge",
         {a, PEN_UP_POINT, a, b},
         {PEN_UP_POINT, a, b}},
        {"stroke starts where the last one ended",
         {a, b, PEN_UP_POINT, b, a},
         {PEN_UP_POINT, a, b, PEN_UP_POINT, b, a}},
        {"two markers in a row keep one break",
         {a, PEN_UP_POINT, PEN_UP_POINT, b},
         {PEN_UP_POINT, a, PEN_UP_POINT, b}},
        {"any negative point is a marker", {a, {-5, 300}, b}, {PEN_UP_POINT, a, PEN_UP_POINT, b}},
    };
    for (const EdgeCase& c : cases) {
        EXPECT_EQ(RoundTrip(c.input), c.decoded) << c.name;
    }
}

TEST(VbcFormatRoundTripTest, RepeatAtTheEndOfANarrowBlockBeforeAWiderOne) {
    // Small moves, a repeat, then large moves: the repeat would sit at the end
    // of a 2-bit block with a wide block after it.
    Points points = {{100, 100}};
    for (int i = 0; i < 40; ++i) {
        points.push_back({points.back().x + 1, 100});
    }
    points.push_back(points.back());
    for (int i = 0; i < 40; ++i) {
        points.push_back({points.back().x + (i % 2 == 0 ? 300 : -290), 100 + i * 17});
    }
    EXPECT_EQ(RoundTrip(points), Normalised(points));
}

TEST(VbcFormatEncodeTest, RefusesNothingToDrawAndTooManyPoints) {
    for (const Points& points : {Points{}, Points{PEN_UP_POINT}, Points{{-3, 7}}}) {
        EXPECT_EQ(EncodeVbc(points).Error().message,
                  "the signature cannot be stored as .vbc (error 8: empty input)");
    }
    Points points;
    for (int i = 0; i < 70000; ++i) {
        points.push_back({i % 1000, i / 1000});
    }
    EXPECT_EQ(EncodeVbc(points).Error().code, CodecErrc::kCannotStore);  // past the count field
}

TEST(VbcFormatLockTest, KeyedFileOpensOnlyWithItsKey) {
    const Points signature = testsupport::MakeSignature("Locked", 5);
    const Bytes locked = EncodeVbc(signature, "k=a key longer than eight;note=hi").Value();
    const std::string header = "VBC1.2;k";
    ASSERT_TRUE(std::equal(header.begin(), header.end(), locked.begin()));
    EXPECT_EQ(locked[header.size()], 0);

    // The file keeps an empty key, so it shows the placeholder, or is
    // refused when asked...
    EXPECT_EQ(PointsOf(DecodeVbc(locked)).size(), 95U);
    EXPECT_EQ(DecodeVbc(locked, LockedVbc::kRefuse).Error().code, CodecErrc::kLocked);

    // ...unless the key is put back into the header.
    const auto withKey = [&](std::string_view key) {
        Bytes file = FileBytes("VBC1.2;k");
        file.insert(file.end(), key.begin(), key.end());
        file.insert(file.end(), locked.begin() + static_cast<std::ptrdiff_t>(header.size()),
                    locked.end());
        return file;
    };
    EXPECT_EQ(PointsOf(DecodeVbc(withKey("a key longer than eight"), LockedVbc::kRefuse)),
              Normalised(signature));
    EXPECT_EQ(PointsOf(DecodeVbc(withKey("a key longer than EIGHT"))).size(), 95U);

    const std::optional<VbcInfo> info = InspectVbc(withKey("a key longer than eight"));
    ASSERT_TRUE(info.has_value());
    EXPECT_TRUE(info->locked);
    EXPECT_TRUE(info->unlocked);
    EXPECT_EQ(info->entries, (std::vector<std::pair<std::string, std::string>>{{"note", "hi"}}));
}

TEST(VbcFormatLockTest, PlaceholderForUnopenableFiles) {
    const Bytes v12 = FileBytes(std::string_view("VBC1.2;k\0", 9));
    Bytes v10 = FileBytes(std::string_view("VBC1.0;kkey\0\x12\x34", 14));
    for (const Bytes& file : {v12, v10}) {
        const Points points = PointsOf(DecodeVbc(file));
        ASSERT_EQ(points.size(), 95U);
        EXPECT_EQ(std::count(points.begin(), points.end(), PEN_UP_POINT), 19);
        // Scaled 1024/400 by 1024/100: (15, 45) -> (38, 460), (230, 90) fits.
        EXPECT_EQ(points[0], PEN_UP_POINT);
        EXPECT_EQ(points[1], (SignaturePoint{38, 460}));
        EXPECT_EQ(points[2], (SignaturePoint{38, 921}));
        EXPECT_EQ(points.back(), (SignaturePoint{409, 614}));  // (160, 60)
        for (const SignaturePoint& p : points) {
            EXPECT_TRUE(IsStorablePoint(p));
        }
    }
}

TEST(VbcFormatDecodeTest, RejectsWhatIsNoVbcFile) {
    const struct {
        Bytes file;
        std::string_view error;
    } cases[] = {
        {{}, "not a valid .vbc file"},
        {FileBytes("VBC1.2"), "not a valid .vbc file"},                           // no zero byte
        {FileBytes(std::string_view("VBC1.3\0\0", 8)), "not a valid .vbc file"},  // unknown tag
        {FileBytes(std::string_view("MP\x10\0", 4)), "not a valid .vbc file"},
        {FileBytes(std::string_view("VBC1.2\0\xA0", 8)),
         "not a valid .vbc file (error 14: bad header)"},  // range w/o profile
        // A stream that declares no points.
        {FileBytes(std::string_view("VBC1.1\0\x13\x01\x20\x03\0\x04\0\x04\0\0\0\0\0\0", 22)),
         "not a valid .vbc file"},
    };
    for (const auto& c : cases) {
        const Decoded decoded = DecodeVbc(c.file);
        ASSERT_FALSE(decoded.Ok()) << c.error;
        EXPECT_EQ(decoded.Error().message, c.error);
    }
}

TEST(VbcFormatDecodeTest, DamagedFilesNeverCrash) {
    const Bytes encoded = EncodeVbc(testsupport::MakeSignature("Dmg", 9)).Value();
    for (std::size_t size = 0; size < encoded.size(); ++size) {
        const Points points = PointsOf(DecodeVbc(std::span(encoded).first(size)));
        for (const SignaturePoint& p : points) {
            ASSERT_TRUE(IsStorablePoint(p));
        }
    }
    for (std::size_t bit = 0; bit < encoded.size() * 8; ++bit) {
        Bytes flipped = encoded;
        flipped[bit / 8] ^= static_cast<std::uint8_t>(1U << (bit % 8));
        ASSERT_LE(PointsOf(DecodeVbc(flipped)).size(), 2U * 0xFFFF);
        static_cast<void>(InspectVbc(flipped));
    }
    // A stream that declares 65535 points in a handful of bytes.
    // Header fields: A 275, B 800, ranges 1024, count 65535, reduction 0,
    // block length 0x4000; widths 0x33; then one stroke start at (5, 6).
    const Bytes oversized =
        FileBytes(std::string_view("VBC1.1\0\x13\x01\x20\x03\x00\x04\x00\x04\xFF\xFF\x00\x00\x40"
                                   "\x19\x80\x00\x00\x14\x00\x18\x00",
                                   28));
    EXPECT_EQ(PointsOf(DecodeVbc(oversized)), (Points{PEN_UP_POINT, {5, 6}}));
}

}  // namespace
}  // namespace vellumix::sigformats::vbc
