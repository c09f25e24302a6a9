// The Display page's test sequences: lines, boxes, frames, characters and the
// LED cycle. Each drawing step goes to the pad first; only once the pad took
// it is it recorded and mirrored on the PC. A refused or unacknowledged
// command ends the lines and frames, skips the rest of a row of characters;
// boxes look only at whether the channel accepted the rectangle at all.
//
// A pattern reaches its page through an IPatternTarget and nothing else; it
// reads the colour and text size from the PatternSetup the page took when it
// started.
//
// Thread safety: a pattern runs on the thread that calls it (the page's
// worker) and uses only its target, whose calls are made for that thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

#include "padlink/CommandPayloads.h"
#include "pages/PadCommands.h"
#include "sigformats/SignaturePoint.h"

namespace vellumix::pages {

// Waits of the sequences: a character every 10 ms gives the pad time to
// draw; the LED cycle holds each state long enough for the eye.
inline constexpr std::chrono::milliseconds kCharacterWait{10};
inline constexpr std::chrono::milliseconds kLedFlagsWait{2000};
inline constexpr std::chrono::milliseconds kLedBlinkWait{800};

// The Characters pattern counts characters from '0' and skips the count 11,
// so ';' is never shown; the mirror's replay counts the same way.
inline constexpr std::uint8_t kFirstPatternCharacter = '0';
inline constexpr std::uint8_t kSkippedCharacterIndex = 11;

// What a pattern needs of the page it draws for.
class IPatternTarget {
public:
    virtual ~IPatternTarget() = default;
    // The pad's commands.
    virtual PadCommands& Pad() = 0;
    // False once the page asked the pattern to stop (the user left the page
    // or closed the window): the pattern ends before its next command.
    virtual bool IsRunning() const = 0;
    // The pattern's pauses.
    virtual void Wait(std::chrono::milliseconds time) = 0;
    // The page's reset: an empty record, the pad's screen and the mirror
    // white.
    virtual void ResetDisplay() = 0;
    // From here on the record is this run's: the page replays it as the
    // shapes of the pattern that runs.
    virtual void BeginRecord() = 0;
    // One step the pad took: its two points go into the record and the
    // shape onto the mirror.
    virtual void Record(sigformats::SignaturePoint first, sigformats::SignaturePoint second) = 0;
};

// What the page's controls said when the pattern started.
struct PatternSetup {
    padlink::ColorRef color = 0;  // the colour box's entry
    int rowStep = 0;              // Characters: the checked text size's row step; 0 for none
};

// The command whose refusal, missing answer or lost link ended a pattern
// early; nothing when it ran its course or the page stopped it.
using PatternStop = std::optional<PadProblem>;

PatternStop DrawLinesPattern(IPatternTarget& target, const PatternSetup& setup);
PatternStop DrawBoxesPattern(IPatternTarget& target, const PatternSetup& setup);
PatternStop DrawFramesPattern(IPatternTarget& target, const PatternSetup& setup);
PatternStop DrawCharactersPattern(IPatternTarget& target, const PatternSetup& setup);
// The blink of the LED cycle, and RunPattern(PATTERN_LEDS) on its own.
PatternStop BlinkLedsPattern(IPatternTarget& target, const PatternSetup& setup);
// "Cycle the LEDs" after its button's reset: the four flag bytes with their
// waits, then the blink.
PatternStop CycleLeds(IPatternTarget& target, const PatternSetup& setup);

}  // namespace vellumix::pages
