#include "pages/DisplayPatterns.h"

#include <array>
#include <cstdint>

#include "padlink/PadCommandChannel.h"
#include "pages/DisplayPage.h"

namespace vellumix::pages {

namespace {

using capture::SignaturePoint;

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

}  // namespace

void DisplayPatterns::BeginDrawing(CDisplayPage& page) {
    page.ResetDisplayTest();
    page.m_lastPatternKind = page.m_currentPattern;
}

void DisplayPatterns::Mirror(CDisplayPage& page, int x1, int y1, int x2, int y2) {
    const std::array<SignaturePoint, 2> corners{{{x1, y1}, {x2, y2}}};
    page.RecordPoints(corners);
    page.ShowPatternProgress();
}

void DisplayPatterns::SetAllColors(CDisplayPage& page) {
    padlink::PadCommandChannel& channel = page.m_services.channel;
    const padlink::ColorRef c = page.DrawingColor();
    channel.SetFillColor(c);
    channel.SetTextColor(c);
    channel.SetLineColor(c);
}

void DisplayPatterns::DrawLinesPattern(CDisplayPage& page) {
    BeginDrawing(page);
    padlink::PadCommandChannel& channel = page.m_services.channel;
    SetAllColors(page);

    int b = kLinesBottom;
    int cTop = kLinesTop;
    int a = kLinesLeft;
    int d = kLinesRight;
    const auto pass = [&] {
        const std::array<std::array<int, 4>, 4> lines{{
            {kLinesLeft, b, a, kLinesTop},
            {kLinesRight, cTop, a, kLinesTop},
            {kLinesRight, cTop, d, kLinesBottom},
            {kLinesLeft, b, d, kLinesBottom},
        }};
        for (const auto& l : lines) {
            if (page.m_nRunning == 0 || !channel.DrawLine(l[0], l[1], l[2], l[3])) {
                return false;
            }
            Mirror(page, l[0], l[1], l[2], l[3]);
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
    page.m_nRunning = 0;
}

void DisplayPatterns::DrawBoxesPattern(CDisplayPage& page) {
    BeginDrawing(page);
    padlink::PadCommandChannel& channel = page.m_services.channel;
    channel.SetFillColor(page.DrawingColor());

    int s = 0;
    for (int x = kBoxesFirstX; x < padlink::kLcdMaxX; x += kBoxWidth) {
        if (page.m_nRunning == 0) {
            break;
        }
        s ^= kBoxesColumnToggle;
        for (int y = s; y < kBoxesColumnEnd && page.m_nRunning != 0; y += kBoxesRowPitch) {
            // FillRectangle is false only when the channel refused the
            // rectangle; the pad's own answer is not looked at, so a box the
            // pad dropped is still mirrored.
            if (!channel.FillRectangle(x, y, kBoxWidth, kBoxHeight)) {
                break;
            }
            Mirror(page, x, y + kBoxMirrorDrop, x + kBoxWidth, y + kBoxHeight + kBoxMirrorDrop);
        }
    }
    page.m_nRunning = 0;
}

void DisplayPatterns::DrawFramesPattern(CDisplayPage& page) {
    BeginDrawing(page);
    padlink::PadCommandChannel& channel = page.m_services.channel;
    SetAllColors(page);

    int x = kFramesFirstX;
    int y = kFramesFirstY;
    int w = kFramesFirstWidth;
    int h = kFramesFirstHeight;
    while (y >= 0 && page.m_nRunning != 0) {
        if (!channel.DrawFrame(x, y, w, h)) {
            break;
        }
        Mirror(page, x - kFrameMirrorShift, y, x + w - kFrameMirrorShift, y + h);
        x -= kFramesStepX;
        y -= kFramesStepY;
        h += 2 * kFramesStepY;
        w += 2 * kFramesStepX;
        if (x < 0) {
            break;
        }
    }
    page.m_nRunning = 0;
}

void DisplayPatterns::DrawCharactersPattern(CDisplayPage& page) {
    BeginDrawing(page);
    padlink::PadCommandChannel& channel = page.m_services.channel;
    channel.SetTextColor(page.DrawingColor());

    const CDisplayPage::TextSize* size = page.CheckedTextSize();
    const int step = size != nullptr ? size->rowStep : 0;
    const int limit = kCharsScreenHeight - step;
    int y = kCharsFirstY;
    std::uint8_t i = 0;
    while (y < limit && page.m_nRunning != 0) {
        for (int x = kCharsFirstX; x < kCharsEndX && page.m_nRunning != 0; x += kCharsPitchX) {
            if (i == kSkippedCharacterIndex) {
                ++i;
            }
            const char ch = static_cast<char>(kFirstPatternCharacter + i % kCounterWrap);
            // A refused or unacknowledged character gives up the rest of the
            // row; the counter stays, so the next row starts with it again.
            if (!channel.DrawCharacter(x, y, ch)) {
                break;
            }
            const std::array<SignaturePoint, 2> record{{{x, y}, {0, 0}}};
            page.RecordPoints(record);
            page.ShowPatternProgress();
            ++i;
            page.Wait(kCharacterWait);
        }
        y = (y + step + kCharsRowGap) % kCharsRowWrap;
    }
    page.m_nRunning = 0;
}

void DisplayPatterns::CycleLeds(CDisplayPage& page) {
    padlink::PadCommandChannel& channel = page.m_services.channel;
    // Flag bytes 0x44 (green on), 0x00 (both off), 0x66 (red on), 0x00.
    channel.SetLedFlags(true, false, false, true, false, false);
    page.Wait(kLedFlagsWait);
    channel.SetLedFlags(false, false, false, false, false, false);
    page.Wait(kLedFlagsWait);
    channel.SetLedFlags(true, true, false, true, true, false);
    page.Wait(kLedFlagsWait);
    channel.SetLedFlags(false, false, false, false, false, false);
    page.Wait(kLedFlagsWait);
    page.RunPattern(PATTERN_LEDS);
}

void DisplayPatterns::BlinkLedsPattern(CDisplayPage& page) {
    page.ResetDisplayTest();
    page.m_lastPatternKind = page.m_currentPattern;
    padlink::PadCommandChannel& channel = page.m_services.channel;
    // Off, on, off, on: the cycle ends with the green LED lit, the pad's
    // ready state.
    constexpr std::array<bool, 4> kStates{false, true, false, true};
    for (std::size_t n = 0; n < kStates.size(); ++n) {
        if (n > 0) {
            page.Wait(kLedBlinkWait);
        }
        if (page.m_nRunning == 0) {
            return;
        }
        channel.SetLedState(kStates[n]);
    }
    page.ResetDisplayTest();
    page.m_nRunning = 0;
}

}  // namespace vellumix::pages
