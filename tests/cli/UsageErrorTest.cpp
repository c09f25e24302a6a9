#include <gtest/gtest.h>

#include <array>

#include "cli/UsageError.h"

namespace vellumix::cli {
namespace {

constexpr std::array<std::string_view, 6> kCommands = {"probe", "clear", "fill",
                                                       "frame", "line",  "capture"};

TEST(EditDistanceTest, CountsEachKindOfSlipOnce) {
    const struct {
        std::string_view a, b;
        std::size_t edits;
    } kCases[] = {
        {"", "", 0},
        {"", "abc", 3},
        {"probe", "PROBE", 0},
        {"prob", "probe", 1},
        {"probbe", "probe", 1},
        {"prpbe", "probe", 1},
        {"porbe", "probe", 1},
        {"kitten", "sitting", 3},
        {"ca", "abc", 3},  // a swapped pair is not edited again (optimal string alignment)
    };
    for (const auto& c : kCases) {
        EXPECT_EQ(EditDistance(c.a, c.b), c.edits) << c.a << " / " << c.b;
        EXPECT_EQ(EditDistance(c.b, c.a), c.edits) << c.b << " / " << c.a;
    }
}

TEST(NearMissTest, SuggestsOnlyAClearSlip) {
    const struct {
        std::string_view word;
        std::optional<std::string> meant;
    } kCases
        [] =
            {
                {"prob", "probe"},      {"Probe", std::nullopt},  // a match is no miss
                {"captrue", "capture"}, {"captur", "capture"},
                {"lin", "line"},        {"fil", "fill"},
                {"frme", "frame"},      {"image", std::nullopt},  // nothing near
                {"", std::nullopt},     {"xyz", std::nullopt},
                {"cl", std::nullopt},  // two edits from "clear" is too far for a short word
            };
    for (const auto& c : kCases) {
        EXPECT_EQ(NearMiss(c.word, kCommands), c.meant) << c.word;
    }
}

TEST(NearMissTest, TwoEquallyCloseCandidatesSuggestNeither) {
    constexpr std::array<std::string_view, 2> kTwins = {"fill", "film"};
    EXPECT_EQ(NearMiss("fil", kTwins), std::nullopt);
    EXPECT_EQ(NearMiss("--hepl", std::span<const std::string_view>{}), std::nullopt);
}

}  // namespace
}  // namespace vellumix::cli
