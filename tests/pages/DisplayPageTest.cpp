// The Display page itself: its pad commands on start-up and tab changes, the
// mirror scaling, the record of shapes and the repaint that replays it.
#include "pages/DisplayPage.h"

#include <gtest/gtest.h>

#include "DisplayTestSupport.h"

namespace vellumix::pages::test {
namespace {

using sigformats::SignaturePoint;
using DisplayPageTest = DisplayPageFixture;

constexpr QRgb kWhitePixel = qRgb(255, 255, 255);

// Non-white pixels inside the mirror box's frame.
int InkedPixels(const QImage& box, QRgb colour) {
    int n = 0;
    for (int y = 2; y < box.height() - 2; ++y) {
        for (int x = 2; x < box.width() - 2; ++x) {
            n += box.pixel(x, y) == colour ? 1 : 0;
        }
    }
    return n;
}

TEST(DisplayPageStartTest, SendsWhiteScreenTextModeAndMediumFont) {
    VirtualPadRig rig;
    testsupport::FakePrompts prompts;
    CDisplayPage page(PageServices{prompts, rig.channel}, nullptr);
    EXPECT_EQ(rig.Commands(),
              (std::vector<std::string>{kWhiteFill, kFullScreen, "SetTextMode mode=1",
                                        "SetFont b1=24 b2=12 b3=0 b4=0 b5=0 b6=3"}));
    EXPECT_EQ(page.MirrorBox().size(), QSize(340, 192));
    EXPECT_TRUE(prompts.asked.empty());
}

TEST_F(DisplayPageTest, TabChangesSendTheColourFontAndResets) {
    SelectColor(3);
    page.ActivatePage();
    EXPECT_EQ(Events(), (std::vector<std::string>{
                            "SetFillColor r=0 g=255 b=0", "SetTextColor r=0 g=255 b=0",
                            "SetLineColor r=0 g=255 b=0", "SetFont b1=24 b2=12 b3=0 b4=0 b5=0 b6=3",
                            kWhiteFill, kFullScreen}));
    page.DeactivatePage();
    EXPECT_EQ(Events(), (std::vector<std::string>{kWhiteFill, kFullScreen, "ClearDisplay"}));
}

TEST_F(DisplayPageTest, APadThatAnswersLateIsSaidNotToHaveAnswered) {
    using namespace std::chrono_literals;
    // Past the 50 ms the host waits; the answers after it queue behind it.
    rig.engine.SetAnswerDelay("SetFont", 300ms);
    const PadActivity::Action action = page.Activity().BeginAction();
    page.ActivatePage();
    EXPECT_TRUE(
        page.Activity().Status().startsWith(QStringLiteral("The pad did not answer SetFont")))
        << page.Activity().Status().toStdString();
}

TEST_F(DisplayPageTest, ToMirrorScalesByTheBoxMultiplyingFirst) {
    // The mirror box is 340 x 192: not the LCD's 4:3.
    const struct {
        QPoint pad;
        QPoint mirror;
    } kCases[] = {
        {{0, 0}, {0, 0}},        {{319, 239}, {338, 191}}, {{320, 240}, {340, 192}},
        {{160, 120}, {170, 96}}, {{5, 25}, {5, 20}},       {{1, 1}, {1, 0}},
        {{-1, -1}, {-1, 0}},
    };
    for (const auto& c : kCases) {
        EXPECT_EQ(page.ToMirror(c.pad.x(), c.pad.y()), c.mirror) << c.pad.x() << "," << c.pad.y();
    }
}

TEST_F(DisplayPageTest, RecordsTwoPointsPerShapeWithTheMirrorOffsets) {
    const struct {
        int button;
        size_t count;
        SignaturePoint first;
        SignaturePoint second;
    } kCases[] = {
        // A box 5 px lower than drawn, a frame 2 px to the left, a
        // character's position and (0, 0).
        {CDisplayPage::IDC_SHOW_BOXES, 88, {5, 25}, {44, 45}},
        {CDisplayPage::IDC_SHOW_FRAMES, 52, {156, 119}, {166, 123}},
        {CDisplayPage::IDC_SHOW_CHARACTERS, 84, {32, 20}, {0, 0}},
        {CDisplayPage::IDC_SHOW_LINES, 88, {10, 220}, {10, 20}},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.button);
        Click(c.button);
        EXPECT_EQ(page.RecordCount(), c.count);
        EXPECT_EQ(page.RecordPoint(0), c.first);
        EXPECT_EQ(page.RecordPoint(1), c.second);
        EXPECT_EQ(page.RecordPoint(c.count), capture::kOutOfRangePoint);
    }
    EXPECT_EQ(page.RecordPoint(87), (SignaturePoint{10, 220})) << "last line ends where it began";
}

TEST_F(DisplayPageTest, RepaintReplaysTheShapesAndCoveringChangesNothing) {
    SelectColor(1);
    Click(CDisplayPage::IDC_SHOW_BOXES);
    Events();
    const QImage first = MirrorPixels();
    // The first box, recorded from (5, 25) to (44, 45), lies at (5, 20)-(46, 36)
    // in the box; above it the first column is empty.
    EXPECT_EQ(first.pixel(20, 28), qRgb(255, 0, 0));
    EXPECT_EQ(first.pixel(20, 12), kWhitePixel);
    EXPECT_GT(InkedPixels(first, qRgb(255, 0, 0)), 44 * 30 * 10);

    page.hide();
    page.show();
    EXPECT_EQ(MirrorPixels(), first);
    EXPECT_TRUE(Events().empty()) << "a repaint sends nothing";
}

TEST_F(DisplayPageTest, ReplayOfCharactersAndFramesDrawsInTheBox) {
    Click(CDisplayPage::IDC_SHOW_CHARACTERS);
    EXPECT_GT(InkedPixels(MirrorPixels(), qRgb(0, 0, 0)), 42 * 5);
    Click(CDisplayPage::IDC_SHOW_FRAMES);
    const QImage frames = MirrorPixels();
    // Frame 25 is recorded from (6, 19) to (316, 223): its left side at x = 6
    // in the box, its inside white.
    EXPECT_EQ(frames.pixel(6, 100), qRgb(0, 0, 0));
    EXPECT_EQ(frames.pixel(8, 100), kWhitePixel);
}

TEST_F(DisplayPageTest, ColourChangeRecoloursTheReplayOnThePcOnly) {
    SelectColor(1);
    Click(CDisplayPage::IDC_SHOW_BOXES);
    Events();
    MirrorPixels();
    SelectColor(4);
    page.update();
    const QImage box = MirrorPixels();
    EXPECT_EQ(box.pixel(20, 28), qRgb(0, 0, 255));
    EXPECT_EQ(InkedPixels(box, qRgb(255, 0, 0)), 0);
    EXPECT_TRUE(Events().empty());
    EXPECT_EQ(rig.engine.Snapshot().lcd.pixel(25, 30), qRgb(255, 0, 0)) << "the pad keeps red";
}

TEST_F(DisplayPageTest, SwitchingTabsAwayAndBackEmptiesTheBox) {
    Click(CDisplayPage::IDC_SHOW_LINES);
    ASSERT_GT(InkedPixels(MirrorPixels(), qRgb(0, 0, 0)), 0);
    page.DeactivatePage();
    page.hide();
    page.show();
    page.ActivatePage();
    EXPECT_EQ(page.RecordCount(), 0u);
    EXPECT_EQ(page.CurrentPattern(), PATTERN_NONE);
    EXPECT_EQ(InkedPixels(MirrorPixels(), qRgb(0, 0, 0)), 0);
    EXPECT_EQ(rig.engine.Snapshot().lcd.pixel(10, 120), kWhitePixel);
}

}  // namespace
}  // namespace vellumix::pages::test
