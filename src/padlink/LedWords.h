// The LED words padctl's leds command and the capture service's SetLeds take,
// and the command each one sends: on and off switch both LEDs with the
// acknowledged state command, green and red light one LED through the flags
// the Display page's LED cycle uses.
#pragma once

#include <array>
#include <optional>
#include <string_view>

#include "padlink/CommandFailure.h"
#include "padlink/LinkResult.h"

namespace vellumix::padlink {

class PadCommandChannel;

enum class LedWord { kOn, kOff, kGreen, kRed };

// In LedWord order.
inline constexpr std::array<std::string_view, 4> kLedWords = {"on", "off", "green", "red"};

// A word of kLedWords in any case; nothing for anything else.
std::optional<LedWord> ParseLedWord(std::string_view word);

struct LedCommand {
    CommandResult result;
    std::string_view command;  // "SetLedState" or "SetLedFlags"
    Expect expect = Expect::kAck;
};

// Sends the word's command on the channel.
LedCommand SetLeds(PadCommandChannel& channel, LedWord word);

}  // namespace vellumix::padlink
