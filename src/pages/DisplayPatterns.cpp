#include "pages/DisplayPatterns.h"

#include <array>
#include <cstdint>

#include "padlink/PadProtocol.h"
#include "res/Strings.h"

namespace vellumix::pages {

namespace {

using padlink::CommandResult;

// Lines: a web between the left edge x = 10 and right edge x = 310 and the
// top y = 20 and bottom y = 220. Each pass moves the ends on the sides 20 px
// toward the other end and the ends on top and bottom 30 px inward; the web
// is complete when the inward ends cross (11 passes, 44 lines).
constexpr int kLinesLeft = 10;
constexpr int kLinesRight = 310;
constexpr int kLinesTop = 20;
constexpr int kLinesBottom = 220;
constexpr int kLinesSideStep = 20;
constexpr int kLinesEdgeStep = 30;

// Boxes: 39 x 20 boxes in columns 39 px apart that touch; a column starts at
// y = 20 or y = 0 alternately (the XOR toggles the start), boxes 40 px apart
// within a column: a checker-board. The channel refuses the box at y = 220
// and the ninth column at x = 317, which ends the column and the pattern.
constexpr int kBoxesFirstX = 5;
constexpr int kBoxWidth = 39;
constexpr int kBoxHeight = 20;
constexpr int kBoxesColumnToggle = 20;
constexpr int kBoxesRowPitch = 40;
constexpr int kBoxesColumnEnd = 232;  // no box starts at or below this line
// The PC's record of a box lies 5 px lower than the box drawn on the pad.
constexpr int kBoxMirrorDrop = 5;

// Frames: concentric frames growing from a 10 x 4 frame at (158, 119), 6 px
// wider on each side and 4 px taller on each side per step. Frame 26 is
// 322 px wide and refused, which ends the pattern after 26 frames.
constexpr int kFramesFirstX = 158;
constexpr int kFramesFirstY = 119;
constexpr int kFramesFirstWidth = 10;
constexpr int kFramesFirstHeight = 4;
constexpr int kFramesStepX = 6;
constexpr int kFramesStepY = 4;
// The PC's record of a frame lies 2 px left of the frame drawn on the pad.
constexpr int kFrameMirrorShift = 2;

// Characters: seven to a row at x = 32, 72 ... 272, rows from y = 20 one
// text-size step plus 10 px apart. Codes from '0' upward, ';' left out.
constexpr int kCharsFirstX = 32;
constexpr int kCharsPitchX = 40;
constexpr int kCharsEndX = 280;
constexpr int kCharsFirstY = 20;
constexpr int kCharsRowGap = 10;
constexpr int kCharsRowWrap = 256;  // y is kept in a byte
constexpr int kCharsScreenHeight = 240;
constexpr std::uint8_t kCounterWrap = 90;

// A command that did not go through ends a pattern early when the pad
// refused it, did not answer it or could not be reached; one the channel
// refused for its arguments ends it as planned (the patterns run until
// their shapes leave the screen).
PatternStop StopOf(QLatin1StringView command, const CommandResult& result) {
    if (!IsProblem(result)) {
        return std::nullopt;
    }
    return PadProblem{command, result.outcome};
}

// Common start of the four drawing patterns.
void BeginDrawing(IPatternTarget& target) {
    target.ResetDisplay();
    target.BeginRecord();
}

// Lines and frames send fill, text and line colour alike: the drawing colour.
void SetAllColors(PadCommands& pad, padlink::ColorRef c) {
    pad.SetFillColor(c);
    pad.SetTextColor(c);
    pad.SetLineColor(c);
}

}  // namespace

PatternStop DrawLinesPattern(IPatternTarget& target, const PatternSetup& setup) {
    BeginDrawing(target);
    PadCommands& pad = target.Pad();
    SetAllColors(pad, setup.color);

    int b = kLinesBottom;
    int cTop = kLinesTop;
    int a = kLinesLeft;
    int d = kLinesRight;
    PatternStop stop;
    const auto pass = [&] {
        const std::array<std::array<int, 4>, 4> lines{{
            {kLinesLeft, b, a, kLinesTop},
            {kLinesRight, cTop, a, kLinesTop},
            {kLinesRight, cTop, d, kLinesBottom},
            {kLinesLeft, b, d, kLinesBottom},
        }};
        for (const auto& l : lines) {
            if (!target.IsRunning()) {
                return false;
            }
            if (const CommandResult r = pad.DrawLine(l[0], l[1], l[2], l[3]); !r) {
                stop = StopOf(res::kCmdDrawLine, r);
                return false;
            }
            target.Record({l[0], l[1]}, {l[2], l[3]});
        }
        return true;
    };
    while (pass()) {
        b -= kLinesSideStep;
        cTop += kLinesSideStep;
        a += kLinesEdgeStep;
        d -= kLinesEdgeStep;
        if (d <= 0) {
            break;
        }
    }
    return stop;
}

PatternStop DrawBoxesPattern(IPatternTarget& target, const PatternSetup& setup) {
    BeginDrawing(target);
    PadCommands& pad = target.Pad();
    pad.SetFillColor(setup.color);

    int s = 0;
    for (int x = kBoxesFirstX; x < padlink::kLcdMaxX; x += kBoxWidth) {
        if (!target.IsRunning()) {
            break;
        }
        s ^= kBoxesColumnToggle;
        for (int y = s; y < kBoxesColumnEnd && target.IsRunning(); y += kBoxesRowPitch) {
            // FillRectangle is false only when the channel refused the
            // rectangle; the pad's own answer is not looked at, so a box the
            // pad dropped is still mirrored (and the refusal said).
            if (!pad.FillRectangle(x, y, kBoxWidth, kBoxHeight)) {
                break;
            }
            target.Record({x, y + kBoxMirrorDrop},
                          {x + kBoxWidth, y + kBoxHeight + kBoxMirrorDrop});
        }
    }
    return std::nullopt;
}

PatternStop DrawFramesPattern(IPatternTarget& target, const PatternSetup& setup) {
    BeginDrawing(target);
    PadCommands& pad = target.Pad();
    SetAllColors(pad, setup.color);

    int x = kFramesFirstX;
    int y = kFramesFirstY;
    int w = kFramesFirstWidth;
    int h = kFramesFirstHeight;
    while (y >= 0 && target.IsRunning()) {
        if (const CommandResult r = pad.DrawFrame(x, y, w, h); !r) {
            return StopOf(res::kCmdDrawFrame, r);
        }
        target.Record({x - kFrameMirrorShift, y}, {x + w - kFrameMirrorShift, y + h});
        x -= kFramesStepX;
        y -= kFramesStepY;
        h += 2 * kFramesStepY;
        w += 2 * kFramesStepX;
        if (x < 0) {
            break;
        }
    }
    return std::nullopt;
}

PatternStop DrawCharactersPattern(IPatternTarget& target, const PatternSetup& setup) {
    BeginDrawing(target);
    PadCommands& pad = target.Pad();
    pad.SetTextColor(setup.color);

    const int limit = kCharsScreenHeight - setup.rowStep;
    int y = kCharsFirstY;
    std::uint8_t i = 0;
    while (y < limit && target.IsRunning()) {
        for (int x = kCharsFirstX; x < kCharsEndX && target.IsRunning(); x += kCharsPitchX) {
            if (i == kSkippedCharacterIndex) {
                ++i;
            }
            const char ch = static_cast<char>(kFirstPatternCharacter + i % kCounterWrap);
            // A refused or unacknowledged character gives up the rest of the
            // row; the counter stays, so the next row starts with it again.
            if (!pad.DrawCharacter(x, y, ch)) {
                break;
            }
            target.Record({x, y}, {0, 0});
            ++i;
            target.Wait(kCharacterWait);
        }
        y = (y + setup.rowStep + kCharsRowGap) % kCharsRowWrap;
    }
    return std::nullopt;
}

PatternStop CycleLeds(IPatternTarget& target, const PatternSetup& setup) {
    PadCommands& pad = target.Pad();
    // Flag bytes 0x44 (green on), 0x00 (both off), 0x66 (red on), 0x00.
    constexpr std::array<std::array<bool, 6>, 4> kFlags{{
        {true, false, false, true, false, false},
        {false, false, false, false, false, false},
        {true, true, false, true, true, false},
        {false, false, false, false, false, false},
    }};
    for (const auto& f : kFlags) {
        if (!target.IsRunning()) {
            return std::nullopt;
        }
        pad.SetLedFlags(f[0], f[1], f[2], f[3], f[4], f[5]);
        target.Wait(kLedFlagsWait);
    }
    if (!target.IsRunning()) {
        return std::nullopt;
    }
    return BlinkLedsPattern(target, setup);
}

PatternStop BlinkLedsPattern(IPatternTarget& target, const PatternSetup& /*setup*/) {
    BeginDrawing(target);
    PadCommands& pad = target.Pad();
    // Off, on, off, on: the cycle ends with the green LED lit, the pad's
    // ready state.
    constexpr std::array<bool, 4> kStates{false, true, false, true};
    for (std::size_t n = 0; n < kStates.size(); ++n) {
        if (n > 0) {
            target.Wait(kLedBlinkWait);
        }
        if (!target.IsRunning()) {
            return std::nullopt;
        }
        pad.SetLedState(kStates[n]);
    }
    target.ResetDisplay();
    return std::nullopt;
}

}  // namespace vellumix::pages
