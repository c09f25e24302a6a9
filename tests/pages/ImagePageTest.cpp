// The Image page against the virtual pad: pictures reach the pad as drawn in
// the box, signature files go out unchanged and come back as strokes, and
// every refusal gets its message.
#include "pages/ImagePage.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>

#include "VirtualPadRig.h"
#include "padpicture/LcdPicture.h"
#include "res/SampleImages.h"
#include "res/Strings.h"
#include "sigformats/SignatureCodec.h"
#include "support/FakePrompts.h"
#include "support/TempDir.h"

namespace vellumix::pages::test {
namespace {

using sigformats::PEN_UP_POINT;
using sigformats::SignaturePoint;
using Kind = testsupport::FakePrompts::Kind;

const std::string kFullImage = "DisplayImage x=0 y=0 x2=319 y2=239 bytes=230400";

class ImagePageTest : public ::testing::Test {
protected:
    ImagePageTest() {
        page.resize(700, 460);
        page.show();
        QCoreApplication::processEvents();
        rig.Commands();
    }

    void Click(int id) { static_cast<QPushButton*>(page.Control(id))->click(); }
    void Load(const QString& path) {
        prompts.fileAnswers.push_back(path);
        Click(CImagePage::IDC_LOAD_CUSTOM_IMAGE);
    }
    QString Write(const QString& name, std::string_view bytes) {
        testsupport::WriteFile(dir.filePath(name).toStdString(), bytes);
        return dir.filePath(name);
    }
    QString WriteSignature(const QString& name, const sigformats::Bytes& bytes) {
        return Write(name, std::string(bytes.begin(), bytes.end()));
    }
    QImage BoxPixels() {
        QCoreApplication::processEvents();
        return page.Control(CImagePage::IDC_IMAGE_BOX)
            ->grab()
            .toImage()
            .convertToFormat(QImage::Format_RGB32);
    }
    // The 320 x 240 picture inside the box's one-pixel frame.
    QImage BoxPicture() { return BoxPixels().copy(1, 1, 320, 240); }
    QImage Lcd() { return rig.engine.Snapshot().lcd.convertToFormat(QImage::Format_RGB32); }
    std::vector<std::string> Messages() { return prompts.TakeErrors(); }

    QTemporaryDir dir;
    VirtualPadRig rig;
    testsupport::FakePrompts prompts;
    CImagePage page{PageServices{prompts, rig.channel}, nullptr};
    sigformats::SignatureCodec codec;
};

const std::vector<SignaturePoint> kTwoStrokes{{100, 100},   {200, 300}, {400, 300},
                                              PEN_UP_POINT, {500, 500}, {600, 500}};

TEST_F(ImagePageTest, TabChangesClearThePadAndSetBlackInk) {
    page.ActivatePage();
    EXPECT_EQ(rig.Commands(),
              (std::vector<std::string>{"ClearDisplay", "SetTextColor r=0 g=0 b=0",
                                        "SetLineColor r=0 g=0 b=0", "ClearDisplay"}));
    page.DeactivatePage();
    EXPECT_EQ(rig.Commands(), (std::vector<std::string>{"ClearDisplay", "ClearDisplay"}));
}

TEST_F(ImagePageTest, EachSampleGoesOutOnceAsDrawnInTheBox) {
    const struct {
        int button;
        int resource;
    } kSamples[] = {{CImagePage::IDC_SAMPLE_IMAGE_1, res::kSampleImage1Id},
                    {CImagePage::IDC_SAMPLE_IMAGE_2, res::kSampleImage2Id},
                    {CImagePage::IDC_SAMPLE_IMAGE_3, res::kSampleImage3Id}};
    for (const auto& s : kSamples) {
        SCOPED_TRACE(s.resource);
        Click(s.button);
        EXPECT_EQ(rig.Commands(), std::vector<std::string>{kFullImage}) << "no ClearDisplay";
        EXPECT_EQ(page.SampleImage(), s.resource);
        const QImage expected = padpicture::StretchToLcd(res::SampleImage(s.resource));
        EXPECT_EQ(Lcd(), expected) << "the pad shows the box's pixels";
        EXPECT_EQ(BoxPicture(), expected);
    }
}

TEST_F(ImagePageTest, CoveringAndUncoveringRedrawsWithoutSending) {
    Click(CImagePage::IDC_SAMPLE_IMAGE_2);
    const QImage shown = BoxPicture();
    rig.Commands();
    page.hide();
    page.show();
    EXPECT_EQ(BoxPicture(), shown);
    EXPECT_TRUE(rig.Commands().empty());
}

TEST_F(ImagePageTest, ClearDisplayBlanksBoxAndPad) {
    Click(CImagePage::IDC_SAMPLE_IMAGE_1);
    rig.Commands();
    Click(CImagePage::IDC_CLEAR_DISPLAY);
    EXPECT_EQ(rig.Commands(), std::vector<std::string>{"ClearDisplay"});
    EXPECT_EQ(page.SampleImage(), 0);
    EXPECT_EQ(BoxPicture().pixel(100, 100), qRgb(255, 255, 255));
    EXPECT_EQ(Lcd().pixel(100, 100), qRgb(255, 255, 255));
}

TEST_F(ImagePageTest, BitmapPixelsReachThePadAsRedGreenBlueFromTheTopLeft) {
    QImage bitmap(320, 240, QImage::Format_RGB32);
    bitmap.fill(qRgb(10, 20, 30));
    bitmap.setPixel(0, 0, qRgb(255, 0, 0));
    const QString path = dir.filePath("card.bmp");
    ASSERT_TRUE(bitmap.save(path, "BMP"));

    Load(path);
    EXPECT_EQ(rig.Commands(), (std::vector<std::string>{"ClearDisplay", kFullImage}));
    EXPECT_TRUE(page.IsCustomImageShown());
    EXPECT_EQ(Lcd().pixel(0, 0), qRgb(255, 0, 0));
    EXPECT_EQ(Lcd().pixel(1, 0), qRgb(10, 20, 30));
    EXPECT_TRUE(Messages().empty());

    // Cancelling the next load clears the pad but the PC redraws the bitmap.
    Load(QString());
    EXPECT_EQ(rig.Commands(), std::vector<std::string>{"ClearDisplay"});
    EXPECT_EQ(BoxPicture().pixel(0, 0), qRgb(255, 0, 0));
}

TEST_F(ImagePageTest, RefusedFilesGetTheirMessageAfterThePadWasCleared) {
    const QString empty = Write("empty.bmp", {});
    const QString notThere = dir.filePath("missing.sig");
    // What reaches the pad after its ClearDisplay: an undecodable signature
    // file goes out all the same (and the pad refuses it).
    const struct {
        QString path;
        QLatin1StringView message;
        std::vector<std::string> sent;
    } kCases[] = {
        {dir.filePath("photo.jpg"), res::kImageUnsupportedFormat, {}},
        {dir.filePath("noextension"), res::kImageUnsupportedFormat, {}},
        {empty, res::kImageInvalidFileSize, {}},
        {notThere, res::kImageInvalidFileSize, {}},
        {Write("junk.sig", "junk!"),
         res::kImageCannotRead,
         {"SendSigFile bytes=5 -> NAK (file not readable)"}},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.path.toStdString());
        prompts.asked.clear();
        Load(c.path);
        EXPECT_EQ(Messages(), std::vector{testsupport::FakePrompts::FileError(c.message)});
        std::vector<std::string> expected{"ClearDisplay"};
        expected.insert(expected.end(), c.sent.begin(), c.sent.end());
        EXPECT_EQ(rig.Commands(), expected);
        EXPECT_EQ(page.PointCount(), 0u);
        EXPECT_FALSE(page.IsCustomImageShown());
    }
}

TEST_F(ImagePageTest, NonBitmapWithBmpNameShowsNothingAndSaysNothing) {
    Load(Write("fake.bmp", "this is no bitmap"));
    EXPECT_TRUE(Messages().empty());
    EXPECT_EQ(rig.Commands(), std::vector<std::string>{"ClearDisplay"});
    EXPECT_TRUE(page.IsCustomImageShown()) << "every repaint tries again";
    EXPECT_EQ(BoxPicture().pixel(160, 120), qRgb(255, 255, 255));
}

TEST_F(ImagePageTest, SignatureFilesGoOutWithTheirCommandAndShowAsStrokes) {
    const struct {
        QString name;
        sigformats::Bytes bytes;
        const char* command;
    } kCases[] = {
        {"upper.SIG", codec.EncodeSigFile(kTwoStrokes), "SendSigFile"},
        {"a.cmp", codec.EncodeCmpFile(kTwoStrokes), "SendCmpFile"},
        {"a.vbc", codec.EncodeVbcFile(kTwoStrokes), "SendVbcFile"},
        {"a.nlc", codec.EncodeNlcFile(kTwoStrokes), "SendVbcFile"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name.toStdString());
        ASSERT_FALSE(c.bytes.empty());
        Load(WriteSignature(c.name, c.bytes));
        const std::vector<std::string> commands = rig.Commands();
        ASSERT_EQ(commands.size(), 2u);
        EXPECT_EQ(commands[1], std::string(c.command) + " bytes=" + std::to_string(c.bytes.size()));
        EXPECT_TRUE(page.ArePointsShown());
        EXPECT_GE(page.PointCount(), kTwoStrokes.size());
        EXPECT_TRUE(Messages().empty());
        // (100, 100) scaled onto the 328 x 246 box less 20 px: (30, 22); the
        // compact formats keep coordinates to within a pixel or two.
        const QImage box = BoxPixels();
        int ink = 0;
        for (int y = 20; y <= 24; ++y) {
            for (int x = 28; x <= 32; ++x) {
                ink += box.pixel(x, y) == qRgb(0, 0, 0) ? 1 : 0;
            }
        }
        EXPECT_GT(ink, 0);
    }
}

TEST_F(ImagePageTest, SignatureTooLargeForThePadIsShownAndTheUserIsTold) {
    // A valid .sig of 72,000 bytes: a long header before 16,000 points.
    std::vector<SignaturePoint> many;
    for (int i = 0; i < 16000; ++i) {
        many.push_back({i % 1024, (i / 1024) * 60});
    }
    sigformats::Bytes file = codec.EncodeSigFile(many);
    ASSERT_EQ(file.size(), 16u + 64000u);
    constexpr int kHeaderLength = 8000;
    file.insert(file.begin() + 16, kHeaderLength - 16, 0);
    file[2] = kHeaderLength & 0xFF;
    file[3] = kHeaderLength >> 8;
    ASSERT_GT(file.size(), padlink::kMaxFileBytes);

    Load(WriteSignature("big.sig", file));
    EXPECT_EQ(rig.Commands(), std::vector<std::string>{"ClearDisplay"}) << "nothing sent";
    EXPECT_EQ(Messages(),
              std::vector{testsupport::FakePrompts::Refusal(res::kImageTooLargeForPad)});
    EXPECT_EQ(page.PointCount(), many.size() + 1);
    EXPECT_TRUE(page.ArePointsShown());
}

}  // namespace
}  // namespace vellumix::pages::test
