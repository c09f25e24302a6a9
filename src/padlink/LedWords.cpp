#include "padlink/LedWords.h"

#include <algorithm>
#include <cctype>

#include "padlink/PadCommandChannel.h"

namespace vellumix::padlink {

std::optional<LedWord> ParseLedWord(std::string_view word) {
    for (std::size_t i = 0; i < kLedWords.size(); ++i) {
        const std::string_view known = kLedWords[i];
        if (std::equal(word.begin(), word.end(), known.begin(), known.end(), [](char a, char b) {
                return std::tolower(static_cast<unsigned char>(a)) == b;
            })) {
            return static_cast<LedWord>(i);
        }
    }
    return std::nullopt;
}

LedCommand SetLeds(PadCommandChannel& channel, LedWord word) {
    switch (word) {
        case LedWord::kOn:
        case LedWord::kOff:
            return {channel.SetLedState(word == LedWord::kOn), "SetLedState", Expect::kAck};
        case LedWord::kGreen:
        case LedWord::kRed:
            break;
    }
    // The Display page's LED cycle: 0x44 lights the green LED, 0x66 the red
    // one.
    const bool red = word == LedWord::kRed;
    return {channel.SetLedFlags(true, red, false, true, red, false), "SetLedFlags",
            Expect::kAnswer};
}

}  // namespace vellumix::padlink
