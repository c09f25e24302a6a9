// Picture preparation for the pad and the built-in sample pictures.
#include "padpicture/LcdPicture.h"

#include <gtest/gtest.h>

#include "padlink/PadProtocol.h"
#include "res/SampleImages.h"

namespace vellumix::pages {
namespace {

TEST(LcdPictureTest, PadPixelsAreRedGreenBlueRowsFromTheTop) {
    QImage box(320, 240, QImage::Format_RGB32);
    box.fill(qRgb(1, 2, 3));
    box.setPixel(0, 0, qRgb(255, 0, 0));
    box.setPixel(1, 0, qRgb(0, 255, 0));
    box.setPixel(0, 1, qRgb(0, 0, 255));
    box.setPixel(319, 239, qRgb(7, 8, 9));
    const std::vector<std::uint8_t> pixels = padpicture::ToPadPixels(box);
    ASSERT_EQ(pixels.size(), padlink::kImageBytes);
    const std::vector<std::uint8_t> head(pixels.begin(), pixels.begin() + 6);
    EXPECT_EQ(head, (std::vector<std::uint8_t>{255, 0, 0, 0, 255, 0}));
    EXPECT_EQ(pixels[320 * 3 + 2], 255) << "second row starts with blue";
    const std::vector<std::uint8_t> tail(pixels.end() - 3, pixels.end());
    EXPECT_EQ(tail, (std::vector<std::uint8_t>{7, 8, 9}));
}

TEST(LcdPictureTest, PixelsABoxDoesNotHaveGoOutWhite) {
    QImage small(10, 5, QImage::Format_RGB888);
    small.fill(qRgb(0, 0, 0));
    const std::vector<std::uint8_t> pixels = padpicture::ToPadPixels(small);
    ASSERT_EQ(pixels.size(), padlink::kImageBytes);
    EXPECT_EQ(pixels[0], 0);
    EXPECT_EQ(pixels[10 * 3], 255) << "right of the box";
    EXPECT_EQ(pixels[5 * 320 * 3], 255) << "below the box";
    EXPECT_EQ(padpicture::ToPadPixels(QImage()),
              std::vector<std::uint8_t>(padlink::kImageBytes, 255));
}

TEST(LcdPictureTest, StretchFillsTheLcdAndKeepsPureColoursPure) {
    const QSize kSizes[] = {{463, 305}, {640, 480}, {100, 50}, {320, 240}, {1, 1}};
    for (const QSize size : kSizes) {
        QImage red(size, QImage::Format_RGB32);
        red.fill(qRgb(255, 0, 0));
        const QImage lcd = padpicture::StretchToLcd(red);
        ASSERT_EQ(lcd.size(), QSize(320, 240));
        for (const QPoint p : {QPoint(0, 0), QPoint(319, 239), QPoint(160, 120)}) {
            EXPECT_EQ(lcd.pixel(p), qRgb(255, 0, 0)) << size.width() << "x" << size.height();
        }
    }
    EXPECT_TRUE(padpicture::StretchToLcd(QImage()).isNull());
}

TEST(LcdPictureTest, StretchAveragesWhenShrinking) {
    // One-pixel black and white stripes halved: every pad pixel is grey, none
    // is a stripe that survived by chance.
    QImage stripes(640, 480, QImage::Format_RGB32);
    for (int x = 0; x < 640; ++x) {
        for (int y = 0; y < 480; ++y) {
            stripes.setPixel(x, y, x % 2 == 0 ? qRgb(0, 0, 0) : qRgb(255, 255, 255));
        }
    }
    const QImage lcd = padpicture::StretchToLcd(stripes);
    const int v = qRed(lcd.pixel(100, 100));
    EXPECT_GT(v, 96);
    EXPECT_LT(v, 160);
}

TEST(SampleImagesTest, ThreeSizesBuiltOnceAndOnlyForTheirIds) {
    const struct {
        int id;
        QSize size;
    } kSamples[] = {{res::kSampleImage1Id, {463, 305}},
                    {res::kSampleImage2Id, {463, 308}},
                    {res::kSampleImage3Id, {465, 308}}};
    for (const auto& s : kSamples) {
        const QImage image = res::SampleImage(s.id);
        EXPECT_EQ(image.size(), s.size);
        EXPECT_EQ(image, res::SampleImage(s.id));
    }
    EXPECT_NE(res::SampleImage(res::kSampleImage1Id), res::SampleImage(res::kSampleImage2Id));
    EXPECT_TRUE(res::SampleImage(0).isNull());
    EXPECT_TRUE(res::SampleImage(151).isNull());
    // The test card's first bar is white, its sixth pure red.
    EXPECT_EQ(res::SampleImage(res::kSampleImage1Id).pixel(20, 20), qRgb(255, 255, 255));
    EXPECT_EQ(res::SampleImage(res::kSampleImage1Id).pixel(5 * 463 / 8 + 5, 20), qRgb(255, 0, 0));
}

}  // namespace
}  // namespace vellumix::pages
