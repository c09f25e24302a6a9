// The Display page's test sequences: lines, boxes, frames, characters and the
// LED cycle. Each drawing step goes to the pad first; only once the pad took
// it is it recorded and mirrored on the PC. A refused or unacknowledged
// command ends the lines and frames, skips the rest of a row of characters;
// boxes look only at whether the channel accepted the rectangle at all.
//
// Thread safety: GUI thread only; each sequence blocks until it ends.
#pragma once

#include <chrono>
#include <cstdint>

namespace vellumix::pages {

class CDisplayPage;

// Waits of the sequences: a character every 10 ms gives the pad time to
// draw; the LED cycle holds each state long enough for the eye.
inline constexpr std::chrono::milliseconds kCharacterWait{10};
inline constexpr std::chrono::milliseconds kLedFlagsWait{2000};
inline constexpr std::chrono::milliseconds kLedBlinkWait{800};

// The Characters pattern counts characters from '0' and skips the count 11,
// so ';' is never shown; the mirror's replay counts the same way.
inline constexpr std::uint8_t kFirstPatternCharacter = '0';
inline constexpr std::uint8_t kSkippedCharacterIndex = 11;

class DisplayPatterns {
public:
    // The dispatch targets of CDisplayPage::RunPattern.
    static void DrawLinesPattern(CDisplayPage& page);
    static void DrawBoxesPattern(CDisplayPage& page);
    static void DrawFramesPattern(CDisplayPage& page);
    static void DrawCharactersPattern(CDisplayPage& page);
    static void BlinkLedsPattern(CDisplayPage& page);
    // The first half of "Cycle the LEDs": the four flag bytes with their
    // waits, then RunPattern(PATTERN_LEDS).
    static void CycleLeds(CDisplayPage& page);

private:
    // Common start of the four drawing patterns.
    static void BeginDrawing(CDisplayPage& page);
    // Lines and frames send fill, text and line colour alike: the drawing
    // colour.
    static void SetAllColors(CDisplayPage& page);
    // Records the shape's two corners and mirrors it.
    static void Mirror(CDisplayPage& page, int x1, int y1, int x2, int y2);
};

}  // namespace vellumix::pages
