// The five buttons' command sequences as the virtual pad received them, the
// pad's LCD afterwards, and what a refused command does to a pattern.
#include "pages/DisplayPatterns.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "DisplayTestSupport.h"

namespace vellumix::pages::test {
namespace {

struct Colour {
    int index;  // in the colour box
    const char* rgb;
    QRgb lcd;
};
constexpr Colour kColours[] = {
    {0, "r=0 g=0 b=0", qRgb(0, 0, 0)},
    {1, "r=255 g=0 b=0", qRgb(255, 0, 0)},
    {4, "r=0 g=0 b=255", qRgb(0, 0, 255)},
};

std::string Rect(const char* command, int x1, int y1, int x2, int y2) {
    char line[96];
    std::snprintf(line, sizeof line, "%s x=%d y=%d x2=%d y2=%d", command, x1, y1, x2, y2);
    return line;
}

std::string Character(int x, int y, char ch) {
    char line[96];
    std::snprintf(line, sizeof line, "DrawCharacter x=%d y=%d count=1 text=\"%c\"", x, y, ch);
    return line;
}

std::vector<std::string> Reset() {
    return {kWhiteFill, kFullScreen};
}

void Append(std::vector<std::string>& to, const std::vector<std::string>& more) {
    to.insert(to.end(), more.begin(), more.end());
}

std::vector<std::string> ColourSetUp(const Colour& c) {
    return {std::string("SetFillColor ") + c.rgb, std::string("SetTextColor ") + c.rgb,
            std::string("SetLineColor ") + c.rgb};
}

using DisplayPatternsTest = DisplayPageFixture;

TEST_F(DisplayPatternsTest, ShowLinesSendsTheWebOf44Lines) {
    for (const Colour& c : kColours) {
        SCOPED_TRACE(c.rgb);
        SelectColor(c.index);
        Click(CDisplayPage::IDC_SHOW_LINES);

        std::vector<std::string> expected = Reset();
        Append(expected, Reset());
        Append(expected, ColourSetUp(c));
        // Pass k: the side ends move 20 px along the edges, the top and
        // bottom ends 30 px inward.
        for (int k = 0; k <= 10; ++k) {
            const int b = 220 - 20 * k, cy = 20 + 20 * k, a = 10 + 30 * k, d = 310 - 30 * k;
            Append(expected, {Rect("DrawLine", 10, b, a, 20), Rect("DrawLine", 310, cy, a, 20),
                              Rect("DrawLine", 310, cy, d, 220), Rect("DrawLine", 10, b, d, 220)});
        }
        EXPECT_EQ(Events(), expected);
        EXPECT_EQ(page.RecordCount(), 88u);

        const QImage lcd = rig.engine.Snapshot().lcd;
        EXPECT_EQ(lcd.pixel(10, 120), c.lcd) << "the first line, x = 10 from y = 220 to 20";
        EXPECT_EQ(lcd.pixel(160, 20), c.lcd) << "the top edge is fully covered";
        EXPECT_EQ(lcd.pixel(160, 5), qRgb(255, 255, 255));
    }
}

TEST_F(DisplayPatternsTest, ShowBoxesSendsTheCheckerBoardOf44Boxes) {
    for (const Colour& c : kColours) {
        SCOPED_TRACE(c.rgb);
        SelectColor(c.index);
        Click(CDisplayPage::IDC_SHOW_BOXES);

        std::vector<std::string> expected = Reset();
        Append(expected, Reset());
        expected.push_back(std::string("SetFillColor ") + c.rgb);
        // Eight touching columns, alternately from y = 20 and y = 0; never a
        // box at y = 220 or in a ninth column at x = 317.
        for (int column = 0; column < 8; ++column) {
            const int x = 5 + 39 * column;
            for (int y = column % 2 == 0 ? 20 : 0; y <= (column % 2 == 0 ? 180 : 200); y += 40) {
                expected.push_back(Rect("FillRectangle", x, y, x + 39, y + 20));
            }
        }
        const std::vector<std::string> got = Events();
        EXPECT_EQ(got, expected);
        EXPECT_EQ(got.back(), Rect("FillRectangle", 278, 200, 317, 220));

        const QImage lcd = rig.engine.Snapshot().lcd;
        EXPECT_EQ(lcd.pixel(25, 30), c.lcd) << "column 1, first box";
        EXPECT_EQ(lcd.pixel(25, 10), qRgb(255, 255, 255)) << "column 1 starts at y = 20";
        EXPECT_EQ(lcd.pixel(60, 10), c.lcd) << "column 2 starts at y = 0";
        EXPECT_EQ(lcd.pixel(300, 230), qRgb(255, 255, 255)) << "below the last box";
    }
}

TEST_F(DisplayPatternsTest, ShowFramesSends26GrowingFramesWithoutASecondReset) {
    for (const Colour& c : kColours) {
        SCOPED_TRACE(c.rgb);
        SelectColor(c.index);
        Click(CDisplayPage::IDC_SHOW_FRAMES);

        std::vector<std::string> expected = Reset();
        Append(expected, ColourSetUp(c));
        for (int k = 0; k < 26; ++k) {
            expected.push_back(
                Rect("DrawFrame", 158 - 6 * k, 119 - 4 * k, 168 + 6 * k, 123 + 4 * k));
        }
        EXPECT_EQ(Events(), expected);

        const QImage lcd = rig.engine.Snapshot().lcd;
        EXPECT_EQ(lcd.pixel(158, 119), c.lcd) << "corner of the first frame";
        EXPECT_EQ(lcd.pixel(318, 223), c.lcd) << "corner of the last frame";
        EXPECT_EQ(lcd.pixel(163, 121), qRgb(255, 255, 255)) << "inside the first frame";
    }
}

TEST_F(DisplayPatternsTest, ShowCharactersSendsSixRowsAndNeverTheSemicolon) {
    for (const Colour& c : kColours) {
        SCOPED_TRACE(c.rgb);
        SelectColor(c.index);
        Click(CDisplayPage::IDC_SHOW_CHARACTERS);

        std::vector<std::string> expected = Reset();
        Append(expected, Reset());
        expected.push_back(std::string("SetTextColor ") + c.rgb);
        char ch = '0';
        for (const int y : {20, 54, 88, 122, 156, 190}) {
            for (int x = 32; x <= 272; x += 40) {
                expected.push_back(Character(x, y, ch));
                expected.push_back("wait 10");
                ch = static_cast<char>(ch == ':' ? '<' : ch + 1);
            }
        }
        const std::vector<std::string> got = Events();
        EXPECT_EQ(got, expected);
        EXPECT_EQ(got[got.size() - 2], Character(272, 190, 'Z'));

        // Ink of the first character in the text colour, and nothing else.
        const QImage lcd = rig.engine.Snapshot().lcd;
        int ink = 0;
        for (int y = 20; y < 44; ++y) {
            for (int x = 32; x < 44; ++x) {
                const QRgb p = lcd.pixel(x, y);
                if (p != qRgb(255, 255, 255)) {
                    EXPECT_EQ(p, c.lcd);
                    ++ink;
                }
            }
        }
        EXPECT_GT(ink, 10);
    }
}

TEST_F(DisplayPatternsTest, CycleTheLedsSendsFlagBytesWithTheirWaitsAndThreeResets) {
    Click(CDisplayPage::IDC_CYCLE_LEDS);
    std::vector<std::string> expected = Reset();
    Append(expected,
           {"SetLedFlags flags=0x44", "wait 2000", "SetLedFlags flags=0x00", "wait 2000",
            "SetLedFlags flags=0x66", "wait 2000", "SetLedFlags flags=0x00", "wait 2000"});
    Append(expected, Reset());
    Append(expected, {"SetLedFlags flags=0x05", "wait 800", "SetLedFlags flags=0x04", "wait 800",
                      "SetLedFlags flags=0x05", "wait 800", "SetLedFlags flags=0x04"});
    Append(expected, Reset());
    EXPECT_EQ(Events(), expected);
    EXPECT_EQ(page.RecordCount(), 0u);
    EXPECT_EQ(page.CurrentPattern(), PATTERN_LEDS);
    const padsim::engine::LedState leds = rig.engine.Snapshot().leds;
    EXPECT_TRUE(leds.green) << "the cycle ends on the ready colour";
    EXPECT_FALSE(leds.red);
}

TEST_F(DisplayPatternsTest, UnacknowledgedFifthLineEndsThePatternAfterFourMirrored) {
    rig.engine.SetFault("DrawLine", {padsim::engine::FaultKind::kNak, 4, 1});
    Click(CDisplayPage::IDC_SHOW_LINES);
    int lines = 0;
    for (const std::string& line : Events()) {
        lines += line.rfind("DrawLine", 0) == 0 ? 1 : 0;
    }
    EXPECT_EQ(lines, 5);
    EXPECT_EQ(page.RecordCount(), 8u);
    EXPECT_FALSE(page.IsRunning());
    EXPECT_EQ(page.CurrentPattern(), PATTERN_LINES);
}

TEST_F(DisplayPatternsTest, SilentPadEndsFramesAtTheFirstFrame) {
    rig.engine.SetFault("DrawFrame", {padsim::engine::FaultKind::kSilent, 0, -1});
    Click(CDisplayPage::IDC_SHOW_FRAMES);
    const std::vector<std::string> got = Events();
    EXPECT_EQ(got.back(), Rect("DrawFrame", 158, 119, 168, 123) + " -> no answer (injected)");
    EXPECT_EQ(page.RecordCount(), 0u);
    EXPECT_EQ(page.Activity().Status().toStdString(),
              "Show Frames stopped early. The pad did not answer DrawFrame");
}

TEST_F(DisplayPatternsTest, EveryRefusedDrawingIsSaidAndAPatternThatStopsSaysSo) {
    for (const char* command : {"FillRectangle", "DrawLine", "DrawFrame", "DrawCharacter"}) {
        rig.engine.SetFault(command, {padsim::engine::FaultKind::kNak, 0, -1});
    }
    const struct {
        int button;
        const char* status;
        std::size_t recorded;
    } kCases[] = {
        {CDisplayPage::IDC_SHOW_LINES,
         "Show Lines stopped early. The pad refused FillRectangle, DrawLine", 0},
        {CDisplayPage::IDC_SHOW_FRAMES,
         "Show Frames stopped early. The pad refused FillRectangle, DrawFrame", 0},
        // Boxes do not look at the pad's answer, and a refused character
        // gives up only its row: both run their course.
        {CDisplayPage::IDC_SHOW_BOXES, "The pad refused FillRectangle", 88},
        {CDisplayPage::IDC_SHOW_CHARACTERS, "The pad refused FillRectangle, DrawCharacter", 0},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.button);
        Click(c.button);
        EXPECT_EQ(page.Activity().Status().toStdString(), c.status);
        EXPECT_EQ(page.RecordCount(), c.recorded);
    }
}

TEST_F(DisplayPatternsTest, UnacknowledgedCharacterSkipsTheRowAndTheNextRowRepeatsIt) {
    rig.engine.SetFault("DrawCharacter", {padsim::engine::FaultKind::kNak, 3, 1});
    Click(CDisplayPage::IDC_SHOW_CHARACTERS);
    std::vector<std::string> characters;
    for (const std::string& line : Events()) {
        if (line.rfind("DrawCharacter", 0) == 0) {
            characters.push_back(line);
        }
    }
    ASSERT_GE(characters.size(), 5u);
    EXPECT_EQ(characters[3], Character(152, 20, '3') + " -> NAK (injected)");
    EXPECT_EQ(characters[4], Character(32, 54, '3'));
    // Rows 2 to 6 are whole: 3 + 5 x 7 characters drawn and recorded.
    EXPECT_EQ(characters.size(), 4u + 35u);
    EXPECT_EQ(page.RecordCount(), 2u * 38u);
}

}  // namespace
}  // namespace vellumix::pages::test
