#include "padlink/CommandPayloads.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

namespace vellumix::padlink {
namespace {

TEST(PayloadWriter, RefusesWhatDoesNotFit) {
    std::array<std::uint8_t, 64> guarded{};
    guarded.fill(0xEE);
    // Only the first 8 bytes are the writer's; the rest must stay untouched.
    const std::span<std::uint8_t> out(guarded.data(), 8);
    EXPECT_EQ(payload::FillRectangle(out, 0, 0, 1, 1), 0u);  // needs 11
    EXPECT_EQ(payload::DrawText(out, 0, 0, "Welcome"), 0u);
    EXPECT_EQ(payload::SetLeds(out, 0x04), 4u);
    for (std::size_t i = out.size(); i < guarded.size(); ++i) {
        ASSERT_EQ(guarded[i], 0xEE) << i;
    }
    // A text beyond the 16-bit count is refused even with room to spare.
    std::vector<std::uint8_t> big(0x10000 + 16);
    EXPECT_EQ(payload::DrawText(big, 0, 0, std::string(0x10000, 'a')), 0u);
    EXPECT_EQ(payload::DrawText(big, 0, 0, std::string(0xFFFF, 'a')), 9u + 0xFFFF);
}

}  // namespace
}  // namespace vellumix::padlink
