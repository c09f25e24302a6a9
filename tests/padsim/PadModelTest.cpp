#include "engine/PadModel.h"

#include <gtest/gtest.h>

#include "PadTestSupport.h"
#include "engine/PadCommand.h"
#include "sigformats/SignatureCodec.h"

namespace vellumix::padsim {
namespace {

namespace pl = padlink;
using test::Bytes;
using test::Cmd;
using test::Rect;

class PadModelTest : public ::testing::Test {
protected:
    void Run(const Bytes& payload) {
        std::string error;
        const auto c = engine::DecodeCommand(payload, &error);
        ASSERT_TRUE(c.has_value()) << error;
        ASSERT_TRUE(model.Execute(*c));
    }
    engine::Rgb Pixel(int x, int y) const {
        const QRgb p = model.Lcd().pixel(x, y);
        return {static_cast<std::uint8_t>(qRed(p)), static_cast<std::uint8_t>(qGreen(p)),
                static_cast<std::uint8_t>(qBlue(p))};
    }
    int Count(engine::Rgb c) const {
        int n = 0;
        for (int y = 0; y < pl::kLcdHeight; ++y) {
            for (int x = 0; x < pl::kLcdWidth; ++x) {
                n += Pixel(x, y) == c ? 1 : 0;
            }
        }
        return n;
    }
    engine::PadModel model;
};

constexpr engine::Rgb kWhite{255, 255, 255};
constexpr engine::Rgb kRed{255, 0, 0};
constexpr engine::Rgb kBlue{0, 0, 255};

TEST_F(PadModelTest, FillRectangleCoversItsCornersInclusive) {
    Run(Cmd(0x8A, pl::draw::kSetFillColor, {0, 0, 255}));
    Run(Rect(0x8A, pl::draw::kFillRectangle, 300, 200, 319, 239));
    EXPECT_EQ(Pixel(300, 200), kBlue);
    EXPECT_EQ(Pixel(319, 239), kBlue);
    EXPECT_EQ(Pixel(299, 200), kWhite);
    EXPECT_EQ(Count(kBlue), 20 * 40);
}

TEST_F(PadModelTest, FramesAndLinesUseTheLineColour) {
    Run(Cmd(0x8A, pl::draw::kSetLineColor, {1, 0, 0, 0, 255, 0, 0}));
    Run(Rect(0x8A, pl::draw::kDrawFrame, 10, 10, 20, 15));
    EXPECT_EQ(Count(kRed), 2 * 11 + 2 * 4);
    EXPECT_EQ(Pixel(15, 12), kWhite);
    Run(Cmd(0x7A, pl::capturing::kClearDisplay));
    Run(Rect(0x8A, pl::draw::kDrawLine, 0, 0, 319, 239));
    EXPECT_EQ(Pixel(0, 0), kRed);
    EXPECT_EQ(Pixel(319, 239), kRed);
    EXPECT_EQ(Count(kRed), 320);  // one pixel per column of a shallow line
}

TEST_F(PadModelTest, TextCellFollowsSetFont) {
    Run(Cmd(0x8A, pl::draw::kSetTextColor, {0, 0, 255}));
    Run(Cmd(0x8A, pl::draw::kSetFont, {16, 12, 16, 0, 0, 3}));
    Run(test::Text(100, 160, "HH"));
    // 'H' has full-height stems in its first and fifth glyph columns: at a
    // 12-pixel cell, grid column 0 covers pixels 0-1, and rows 0-6 of 8
    // cover the top 14 of 16 pixels.
    EXPECT_EQ(Pixel(100, 160), kBlue);
    EXPECT_EQ(Pixel(101, 173), kBlue);
    EXPECT_EQ(Pixel(100, 174), kWhite);
    EXPECT_EQ(Pixel(112, 160), kBlue);   // the second character starts one cell on
    EXPECT_EQ(Pixel(110, 160), kWhite);  // spacing column
}

TEST_F(PadModelTest, OpaqueTextModeFillsTheCell) {
    Run(Cmd(0x8A, pl::draw::kSetFillColor, {255, 0, 0}));
    Run(Cmd(0x8A, pl::draw::kSetTextMode, {0}));
    Run(test::Text(0, 0, " "));
    EXPECT_EQ(Count(kRed), engine::kDefaultCellWidth * engine::kDefaultCellHeight);
}

TEST_F(PadModelTest, LedFlagsMatchTheHelpTextsCycle) {
    struct LedCase {
        std::uint8_t flags;
        engine::LedState leds;
    };
    const LedCase cases[] = {
        {0x44, {true, false, false}},  {0x00, {false, false, false}}, {0x66, {false, true, false}},
        {0x05, {false, false, false}}, {0x04, {true, false, false}},
    };
    for (const auto& c : cases) {
        Run(Cmd(0x76, pl::led::kSetLeds, {c.flags}));
        EXPECT_EQ(model.Leds(), c.leds) << int{c.flags};
    }
}

TEST_F(PadModelTest, CaptureStateFollowsItsCommands) {
    const auto pen = [&] { return model.PenDown({129, 2}).has_value(); };
    EXPECT_FALSE(pen());
    Run(Cmd(0x7A, pl::capturing::kResumeCapture));  // nothing to resume
    EXPECT_EQ(model.Capture(), engine::CaptureState::kStopped);
    Run(Cmd(0x7A, pl::capturing::kStartCapture, {0x04, 0x7A, 0, 0, 0, 0xFF, 0xFF, 0xFF}));
    EXPECT_TRUE(pen());
    Run(Cmd(0x7A, pl::capturing::kSuspendCapture));
    EXPECT_EQ(model.Capture(), engine::CaptureState::kSuspended);
    EXPECT_FALSE(pen());
    Run(Cmd(0x7A, pl::capturing::kResumeCapture));
    EXPECT_TRUE(pen());
    EXPECT_EQ(model.PenUp(), capture::EncodePenReport(sigformats::PEN_UP_POINT));
    EXPECT_FALSE(model.PenUp().has_value());  // no lift without a touch
    Run(Cmd(0x7A, pl::capturing::kStopCapture));
    EXPECT_FALSE(pen());
}

TEST_F(PadModelTest, CaptureAreaLimitsPenReports) {
    Run(Cmd(0x7A, pl::capturing::kStartCapture, {0x04, 0x7A, 0, 0, 0, 0xFF, 0xFF, 0xFF}));
    Bytes area = Rect(0x7A, pl::capturing::kSetCaptureArea, 0, 0, 159, 239);
    area.insert(area.end(), {0, 0, 0, 0});
    Run(area);
    EXPECT_TRUE(model.PenDown({100, 500}).has_value());
    EXPECT_FALSE(model.PenDown({1000, 500}).has_value());
}

TEST_F(PadModelTest, CalibrationTakesTwoPressesWithTheRightLedBlinking) {
    Run(Cmd(0x7A, pl::capturing::kStartCapture, {0x04, 0x7A, 0, 0, 0, 0xFF, 0xFF, 0xFF}));
    Run(Cmd(0x7A, pl::capturing::kStartCalibration));
    EXPECT_EQ(model.Calibration(), engine::CalibrationStep::kUpperLeft);
    EXPECT_TRUE(model.Leds().redBlinking);
    EXPECT_NE(Pixel(engine::kCrossInset, engine::kCrossInset), kWhite);
    EXPECT_FALSE(model.PenDown({60, 80}).has_value());  // presses are not pen data
    EXPECT_FALSE(model.PenUp().has_value());
    EXPECT_EQ(model.Calibration(), engine::CalibrationStep::kLowerRight);
    EXPECT_EQ(Pixel(engine::kCrossInset, engine::kCrossInset), kWhite);
    EXPECT_NE(Pixel(pl::kLcdMaxX - engine::kCrossInset, pl::kLcdMaxY - engine::kCrossInset),
              kWhite);
    model.PenDown({960, 950});
    model.PenUp();
    EXPECT_EQ(model.Calibration(), engine::CalibrationStep::kNone);
    EXPECT_FALSE(model.Leds().redBlinking);
    EXPECT_FALSE(model.Leds().red);
    EXPECT_EQ(model.CalibrationPresses()[0], (sigformats::SignaturePoint{60, 80}));
    EXPECT_EQ(model.CalibrationPresses()[1], (sigformats::SignaturePoint{960, 950}));
    EXPECT_EQ(model.Capture(), engine::CaptureState::kCapturing);
}

TEST_F(PadModelTest, SignatureFileIsDrawnScaledToTheLcd) {
    sigformats::SignatureCodec codec;
    const sigformats::SignaturePoint pts[] = {{0, 0}, {1024, 1024}, sigformats::PEN_UP_POINT};
    const auto file = codec.EncodeSigFile(pts);
    ASSERT_FALSE(file.empty());
    Bytes p = Cmd(0x7A, pl::capturing::kSendSigFile);
    p.insert(p.end(), file.begin(), file.end());
    Run(p);
    EXPECT_NE(Pixel(0, 0), kWhite);
    EXPECT_NE(Pixel(319, 239), kWhite);
    EXPECT_NE(Pixel(160, 120), kWhite);

    // A file that does not decode is refused and leaves the LCD alone.
    Run(Cmd(0x7A, pl::capturing::kClearDisplay));
    const Bytes junk{0x7A, 0x46, pl::capturing::kSendSigFile, 1, 2, 3};
    const auto c = engine::DecodeCommand(junk);
    ASSERT_TRUE(c.has_value());
    EXPECT_FALSE(model.Execute(*c));
    EXPECT_EQ(Count(kWhite), 320 * 240);
}

TEST(PadCommand, RejectsMalformedPayloads) {
    const Bytes cases[] = {
        {0x8A, 0x46},                               // no command byte
        {0x8A, 0x47, 0x22},                         // wrong marker
        {0x8A, 0x46, 0x99},                         // unknown command
        {0x8A, 0x46, 0x22, 0, 0},                   // short rectangle
        {0x8A, 0x46, 0x4F, 0, 0, 0, 0, 5, 0, 'A'},  // count says 5, one character
        Rect(0x8A, 0x61, 0, 0, 319, 239),           // image without pixels
    };
    for (const Bytes& p : cases) {
        std::string error;
        EXPECT_FALSE(engine::DecodeCommand(p, &error).has_value());
        EXPECT_FALSE(error.empty());
    }
}

}  // namespace
}  // namespace vellumix::padsim
