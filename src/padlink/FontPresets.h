// The pad's text sizes as SetFont's six bytes: the Display page's three
// sizes and the welcome screen's font. padctl offers them by name.
#pragma once

#include <array>
#include <string_view>

namespace vellumix::padlink {

using FontBytes = std::array<int, 6>;

inline constexpr FontBytes kFontSmall = {16, 8, 0, 0, 0, 2};
inline constexpr FontBytes kFontMedium = {24, 12, 0, 0, 0, 3};
inline constexpr FontBytes kFontLarge = {64, 32, 0, 0, 0, 6};
inline constexpr FontBytes kFontWelcome = {16, 12, 16, 0, 0, 3};

struct FontPreset {
    std::string_view name;
    FontBytes bytes;
};

inline constexpr std::array<FontPreset, 4> kFontPresets = {{
    {"small", kFontSmall},
    {"medium", kFontMedium},
    {"large", kFontLarge},
    {"welcome", kFontWelcome},
}};

}  // namespace vellumix::padlink
