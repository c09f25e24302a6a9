// The pages' boxes on a screen of device pixel ratio 2 (this program runs
// with QT_SCALE_FACTOR=2): ink, pictures and patterns are drawn in the
// screen's own pixels, not drawn at 1x and blown up into 2 x 2 blocks, while
// the pad gets the very pixels and bytes it gets at 1x.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QPushButton>

#include "DisplayTestSupport.h"
#include "VirtualPadRig.h"
#include "padpicture/LcdPicture.h"
#include "pages/ImagePage.h"
#include "pages/SignaturePage.h"
#include "res/SampleImages.h"
#include "support/FakePrompts.h"
#include "support/SignatureSynth.h"

namespace vellumix::pages::test {
namespace {

constexpr qreal kRatio = 2.0;

QImage Grab(QWidget* widget) {
    QCoreApplication::processEvents();
    return widget->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

TEST(HiDpi, SignatureBoxInksInDevicePixels) {
    VirtualPadRig rig;
    testsupport::FakePrompts prompts;
    CSignaturePage page(PageServices{prompts, rig.channel}, nullptr);
    page.SetSleepFunction([](std::chrono::milliseconds) {});
    page.resize(700, 420);
    page.show();
    QCoreApplication::processEvents();

    const auto signature = testsupport::MakeSignature("Ada", 3);
    rig.pad.Write(signature);
    ASSERT_TRUE(PumpUntil(page, signature.size()));

    QImage box = Grab(page.Control(CSignaturePage::IDC_SIGNATURE_BOX));
    ASSERT_EQ(box.size(), QSize(640, 480));
    // The box shows the canvas pixel for pixel, and the canvas is the 2x
    // drawing of the points (SignatureCanvasTest holds it to the 1x one).
    SignatureCanvas expected(QSize(320, 240), kRatio);
    expected.Draw(signature);
    box.setDevicePixelRatio(kRatio);
    EXPECT_EQ(page.Canvas().DevicePixelRatio(), kRatio);
    EXPECT_EQ(box, expected.Image());
    EXPECT_EQ(page.Canvas().Image(), expected.Image());
}

TEST(HiDpi, ImageBoxShowsTheSampleSharpAndThePadGetsTheSameBytes) {
    VirtualPadRig rig;
    testsupport::FakePrompts prompts;
    CImagePage page(PageServices{prompts, rig.channel}, nullptr);
    page.resize(700, 460);
    page.show();
    QCoreApplication::processEvents();

    static_cast<QPushButton*>(page.Control(CImagePage::IDC_SAMPLE_IMAGE_2))->click();
    const QImage sample = res::SampleImage(res::kSampleImage2Id);
    EXPECT_EQ(rig.engine.Snapshot().lcd.convertToFormat(QImage::Format_RGB32),
              padpicture::StretchToLcd(sample));
    // Inside the one-pixel frame, now two device pixels wide.
    const QImage shown = Grab(page.Control(CImagePage::IDC_IMAGE_BOX)).copy(2, 2, 640, 480);
    EXPECT_EQ(shown, sample.scaled(640, 480, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                         .convertToFormat(QImage::Format_RGB32));
    // A repaint draws the same again.
    page.InvalidateImageBox();
    EXPECT_EQ(Grab(page.Control(CImagePage::IDC_IMAGE_BOX)).copy(2, 2, 640, 480), shown);
}

class HiDpiDisplay : public DisplayPageFixture {};

TEST_F(HiDpiDisplay, MirrorFramesStayOneDevicePixelWide) {
    Click(CDisplayPage::IDC_SHOW_FRAMES);
    const QImage mirror = MirrorPixels().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(mirror.size(), page.Control(CDisplayPage::IDC_MIRROR_BOX)->size() * 2);
    // Across the middle row the concentric frames' left and right edges:
    // every run of ink is one device pixel wide.
    const int y = mirror.height() / 2;
    const QRgb paper = mirror.pixel(mirror.width() / 2, 4);
    int runs = 0;
    for (int x = 4; x < mirror.width() - 4; ++x) {
        if (mirror.pixel(x, y) == paper) {
            continue;
        }
        ++runs;
        EXPECT_EQ(mirror.pixel(x + 1, y), paper) << "a run wider than one pixel at " << x;
        ++x;
    }
    EXPECT_GT(runs, 20);
}

}  // namespace
}  // namespace vellumix::pages::test
