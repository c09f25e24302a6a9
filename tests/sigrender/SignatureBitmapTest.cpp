#include "sigrender/SignatureBitmap.h"

#include <gtest/gtest.h>

#include "support/TempDir.h"

namespace vellumix::sigrender {
namespace {

using sigformats::PEN_UP_POINT;
using sigformats::SignaturePoint;
using testsupport::ReadFile;
using testsupport::TempDir;
using Bytes = std::vector<std::uint8_t>;
using Points = std::vector<SignaturePoint>;

constexpr std::uint32_t kBlack = 0x000000;
constexpr std::uint32_t kWhite = 0xFFFFFF;

std::uint32_t Le32(const Bytes& b, std::size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | std::uint32_t{b[at + 3]} << 24;
}

std::size_t CountBlack(const Dib24& dib) {
    std::size_t n = 0;
    for (int y = 0; y < dib.height; ++y) {
        for (int x = 0; x < dib.width; ++x) {
            n += dib.PixelAt(x, y) == kBlack ? 1 : 0;
        }
    }
    return n;
}

TEST(SignatureBitmap, FileLayoutForTheBox) {
    const Bytes file = EncodeBmp(RenderSignatureToDib(Points{{512, 512}, PEN_UP_POINT}, 320, 240));
    ASSERT_EQ(file.size(), 230'454u);
    EXPECT_EQ(file[0], 'B');
    EXPECT_EQ(file[1], 'M');
    const std::pair<std::size_t, std::uint32_t> fields[] = {
        {2, 230'454}, {6, 0},        {10, 54}, {14, 40}, {18, 320}, {22, 240}, {26, 1 | 24 << 16},
        {30, 0},      {34, 230'400}, {38, 0},  {42, 0},  {46, 0},   {50, 0}};
    for (const auto& [offset, value] : fields) {
        EXPECT_EQ(Le32(file, offset), value) << "offset " << offset;
    }
    // (512, 512) is column 160, row 120 from the top: stored row 239 - 120.
    const std::size_t pixel = 54 + 119 * 960 + 160 * 3;
    EXPECT_EQ(Bytes(file.begin() + pixel, file.begin() + pixel + 4), (Bytes{0, 0, 0, 0xFF}));
    // Rows are padded to 4 bytes: 5 pixels take 16.
    EXPECT_EQ(EncodeBmp(RenderSignatureToDib({}, 5, 3)).size(), 54u + 3 * 16);
}

TEST(SignatureBitmap, PixelsOfKnownStrokes) {
    const struct {
        const char* what;
        Points points;
        std::vector<std::pair<int, int>> black;  // column, row from the top
        std::vector<std::pair<int, int>> white;
        std::size_t blackCount;
    } cases[] = {
        {"the far corner", {{1023, 1023}, PEN_UP_POINT}, {{319, 239}}, {}, 1},
        {"a line leaves out its end", {{0, 0}, {1023, 0}}, {{0, 0}, {318, 0}}, {{319, 0}}, 319},
        {"a pen lift sets the last pixel", {{0, 0}, {1023, 0}, PEN_UP_POINT}, {{319, 0}}, {}, 320},
        {"a diagonal", {{0, 0}, {40, 40}}, {{0, 0}}, {{12, 9}}, 12},
        {"1024 lies just outside", {{0, 1024}, {1024, 1024}, PEN_UP_POINT}, {}, {}, 0},
        {"clipped at the right edge", {{512, 4}, {1024, 4}}, {{160, 0}, {319, 0}}, {}, 160},
        {"a lone last point is not drawn", {{5, 5}, PEN_UP_POINT, {600, 600}}, {{1, 1}}, {}, 1},
        {"a bad point ends the stroke", {{512, 512}, {2000, 5}, {-5, 7}}, {{160, 120}}, {}, 1},
        {"a line to itself sets nothing", {{8, 8}, {8, 8}}, {}, {{2, 1}}, 0},
        {"one point gives the white box", {{8, 8}}, {}, {{2, 1}}, 0},
    };
    for (const auto& c : cases) {
        const Dib24 dib = RenderSignatureToDib(c.points, 320, 240);
        ASSERT_EQ(dib.bits.size(), 960u * 240) << c.what;
        for (const auto& [x, y] : c.black) {
            EXPECT_EQ(dib.PixelAt(x, y), kBlack) << c.what << " at " << x << "," << y;
        }
        for (const auto& [x, y] : c.white) {
            EXPECT_EQ(dib.PixelAt(x, y), kWhite) << c.what << " at " << x << "," << y;
        }
        EXPECT_EQ(CountBlack(dib), c.blackCount) << c.what;
    }
    EXPECT_TRUE(RenderSignatureToDib({}, 0, 240).bits.empty());
    EXPECT_TRUE(RenderSignatureToDib({}, 320, kMaxDibSide + 1).bits.empty());
}

// The replacing itself is sigfiles::WriteFileReplacing's, tested there; an
// image with nothing to write must not become an empty file.
TEST(SignatureBitmap, SaveWritesTheFileOrLeavesTheOldOne) {
    TempDir dir;
    const auto path = dir / "sig.bmp";
    testsupport::WriteFile(path, "old");
    const Dib24 good = RenderSignatureToDib(Points{{0, 0}, {1023, 1023}}, 320, 240);
    Dib24 broken = good;
    broken.bits.pop_back();
    EXPECT_FALSE(SaveDibAsBmp(broken, path));
    EXPECT_FALSE(SaveDibAsBmp(Dib24{}, path));
    EXPECT_EQ(ReadFile(path), "old");

    ASSERT_TRUE(SaveDibAsBmp(good, path));
    const std::string written = ReadFile(path);
    EXPECT_EQ(Bytes(written.begin(), written.end()), EncodeBmp(good));
}

}  // namespace
}  // namespace vellumix::sigrender
