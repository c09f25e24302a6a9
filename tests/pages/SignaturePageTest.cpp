// The Signature page against the virtual pad: live ink from a replayed
// signature, the buttons' pad commands from the pad's own trace, the file
// commands for every format with every message, and the pen stream at the
// serial line's full rate over a pseudo-terminal.
#include "pages/SignaturePage.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QTemporaryDir>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "VirtualPadRig.h"
#include "app/ViewVellumixDemo.h"
#include "controls/PaintedTabCtrl.h"
#include "res/Strings.h"
#include "sigfiles/SignatureFiles.h"
#include "sigformats/InkmlFormat.h"
#include "sigrender/SignatureBitmap.h"
#include "support/FakePrompts.h"
#include "support/SignatureSynth.h"
#include "support/TempDir.h"

namespace vellumix::pages::test {
namespace {

using namespace std::chrono_literals;
using sigformats::PEN_UP_POINT;
using sigformats::SignaturePoint;
using Points = std::vector<SignaturePoint>;
using Kind = testsupport::FakePrompts::Kind;
using Lines = std::vector<std::string>;
constexpr auto Refusal = testsupport::FakePrompts::Refusal;
constexpr auto FileError = testsupport::FakePrompts::FileError;

const std::string kStartCapture[] = {"SetLineColor r=255 g=0 b=0", "SetTextColor r=255 g=0 b=0",
                                     "StartCapture"};

class SignaturePageTest : public ::testing::Test {
protected:
    SignaturePageTest() {
        page = std::make_unique<CSignaturePage>(PageServices{prompts, rig.channel}, nullptr);
        page->SetSleepFunction([this](std::chrono::milliseconds) { Log("wait"); });
        page->resize(700, 420);
        page->show();
        QCoreApplication::processEvents();
        startup = rig.Commands();
    }
    ~SignaturePageTest() override { page.reset(); }

    void Log(std::string line) {
        for (std::string& command : rig.Commands()) {
            events.push_back(std::move(command));
        }
        events.push_back(std::move(line));
    }
    Lines Events() {
        Log("");
        events.pop_back();
        return std::exchange(events, {});
    }
    void Click(int id) { static_cast<QPushButton*>(page->Control(id))->click(); }
    // Pen data the page took in, as the pad reported it.
    void WriteAndWait(const Points& points) {
        rig.pad.Write(points);
        ASSERT_TRUE(PumpUntil(*page, page->GetPointCount() + points.size()));
    }
    QString Path(const QString& name) const { return dir.filePath(name); }
    QString WriteFile(const QString& name, const sigformats::Bytes& bytes) {
        testsupport::WriteFile(Path(name).toStdString(), std::string(bytes.begin(), bytes.end()));
        return Path(name);
    }
    static sigformats::Bytes ReadFile(const QString& path) {
        const std::string file = testsupport::ReadFile(path.toStdString());
        return {file.begin(), file.end()};
    }
    void Save(const QString& path) {
        prompts.fileAnswers.push_back(path);
        Click(CSignaturePage::IDC_FILE_SIGNATURE);
    }
    void Load(const QString& path) {
        prompts.fileAnswers.push_back(path);
        Click(CSignaturePage::IDC_GET_SIGNATURE_FILE);
    }
    Lines Messages() { return prompts.TakeErrors(); }
    // A signature loaded from a .sig file, points as given.
    void LoadPoints(const Points& points) {
        Load(WriteFile("loaded.sig", sigformats::SignatureCodec().EncodeSigFile(points)));
        Messages();
        Events();
    }

    VirtualPadRig rig;
    testsupport::FakePrompts prompts;
    QTemporaryDir dir;
    std::unique_ptr<CSignaturePage> page;
    Lines startup;
    Lines events;
};

TEST_F(SignaturePageTest, StartsCaptureOnTheWholeLcdAndTheReader) {
    Lines expected(std::begin(kStartCapture), std::end(kStartCapture));
    expected.push_back("SetCaptureArea x=0 y=0 x2=319 y2=239 b1=0 b2=0 b3=0 b4=0");
    EXPECT_EQ(startup, expected);
    EXPECT_TRUE(page->IsPenReaderRunning());
}

TEST_F(SignaturePageTest, ClearEmptiesTheListThePadAndTheBox) {
    WriteAndWait(testsupport::MakeSignature("Al", 2));
    Events();
    Click(CSignaturePage::IDC_CLEAR_DISPLAY);
    EXPECT_EQ(Events(), Lines{"ClearDisplay"});
    EXPECT_EQ(page->GetPointCount(), 0u);
    // Capture goes on: new ink arrives.
    WriteAndWait({{10, 10}, {20, 20}, PEN_UP_POINT});
}

TEST_F(SignaturePageTest, RunsThePadsCalibrationWhileTheInfoBoxIsOpen) {
    page->SetSleepFunction([](std::chrono::milliseconds) {});  // the pad's trace holds all
    padsim::engine::PadSnapshot during;
    prompts.onMessage = [&] {
        during = rig.engine.Snapshot();
        // The user presses the two crosses.
        for (const SignaturePoint p : {SignaturePoint{60, 80}, SignaturePoint{960, 940}}) {
            rig.engine.PenDown(p.x, p.y);
            rig.engine.PenUp();
        }
    };
    Click(CSignaturePage::IDC_CALIBRATE_PAD);

    ASSERT_EQ(prompts.asked.size(), 1u);
    const auto& box = prompts.asked[0];
    EXPECT_EQ(box.text,
              QStringLiteral("The Right LED will blink Red during calibration. \nClick on "
                             "OK after the Right LED off."));
    EXPECT_EQ(box.caption, QStringLiteral("Vellumix Function Demo"));
    EXPECT_EQ(box.icon, PromptIcon::Information);
    EXPECT_EQ(during.calibration, padsim::engine::CalibrationStep::kUpperLeft);
    EXPECT_TRUE(during.leds.redBlinking);

    Lines expected = {"ClearDisplay", "StartCalibration"};
    expected.insert(expected.end(), std::begin(kStartCapture), std::end(kStartCapture));
    expected.push_back("ClearDisplay");
    EXPECT_EQ(rig.Commands(), expected);
    const padsim::engine::PadSnapshot after = rig.engine.Snapshot();
    EXPECT_EQ(after.calibration, padsim::engine::CalibrationStep::kNone);
    EXPECT_EQ(after.capture, padsim::engine::CaptureState::kCapturing);
    EXPECT_TRUE(page->IsPenReaderRunning());
}

TEST_F(SignaturePageTest, ExitJoinsTheReaderThenEndsCaptureAndClosesTheWindow) {
    Events();
    Click(CSignaturePage::IDC_EXIT);
    EXPECT_FALSE(page->IsPenReaderRunning());
    EXPECT_EQ(Events(), (Lines{"wait", "StopCapture", "wait", "ClearDisplay", "wait"}));
    EXPECT_FALSE(page->isVisible());
    // A stopped reader takes nothing more off the link.
    rig.pad.Write(Points{{10, 10}, {500, 500}, PEN_UP_POINT});
    EXPECT_FALSE(PumpUntil(*page, 1, 1s));
}

// Leaving the tab ends the capture and the reader; coming back starts both
// again. (The view's calls on a tab change are its own tests'.)
TEST_F(SignaturePageTest, LeavingAndEnteringTheTabStopAndStartTheCapture) {
    Events();
    page->DeactivatePage();
    EXPECT_EQ(Events(), (Lines{"wait", "ClearDisplay", "StopCapture"}));
    EXPECT_FALSE(page->IsPenReaderRunning());
    page->ActivatePage();
    Lines entered = {"ClearDisplay"};
    entered.insert(entered.end(), std::begin(kStartCapture), std::end(kStartCapture));
    EXPECT_EQ(Events(), entered);
    EXPECT_TRUE(page->IsPenReaderRunning());
}

// File commands.

TEST_F(SignaturePageTest, EveryFormatSavesAndLoadsBack) {
    const Points signature = testsupport::MakeSignature("Jo", 5);
    WriteAndWait(signature);
    const struct {
        const char* ext;
        const char* sent;  // the file command the pad gets on load, if any
        int tolerance;     // pad units the format's resolution may move a point
    } kFormats[] = {{"sig", "SendSigFile", 0},
                    {"cmp", "SendCmpFile", 8},
                    {"vbc", nullptr, 2},
                    {"nlc", nullptr, 8}};
    for (const auto& f : kFormats) {
        SCOPED_TRACE(f.ext);
        const QString path = Path(QStringLiteral("saved.") + QLatin1StringView(f.ext));
        Events();
        Save(path);
        EXPECT_EQ(Messages(), Lines{});
        EXPECT_EQ(Events(), (Lines{"wait", "SuspendCapture", "ResumeCapture"}));
        const sigformats::Bytes file = ReadFile(path);
        ASSERT_FALSE(file.empty());

        Load(path);
        EXPECT_EQ(Messages(), Lines{});
        Lines expected = {"wait", "SuspendCapture", "ClearDisplay", "ClearDisplay"};
        if (f.sent != nullptr) {
            expected.push_back(std::string(f.sent) + " bytes=" + std::to_string(file.size()));
        }
        expected.push_back("ResumeCapture");
        EXPECT_EQ(Events(), expected);

        // The loaded strokes follow the written ones as closely as the
        // format stores them.
        Points loaded = page->Points();
        ASSERT_FALSE(loaded.empty());
        EXPECT_TRUE(sigformats::IsPenUp(loaded.back()));
        std::erase_if(loaded, sigformats::IsPenUp);
        Points written = signature;
        std::erase_if(written, sigformats::IsPenUp);
        const auto near = [&](SignaturePoint p) {
            return std::any_of(written.begin(), written.end(), [&](SignaturePoint q) {
                return std::abs(p.x - q.x) <= f.tolerance && std::abs(p.y - q.y) <= f.tolerance;
            });
        };
        EXPECT_TRUE(std::all_of(loaded.begin(), loaded.end(), near));
        EXPECT_GT(loaded.size(), written.size() / 4);
        EXPECT_EQ(page->Canvas().Image().pixel(SignatureCanvas::MapToBox(loaded[0], {320, 240})),
                  qRgb(0, 0, 0));
        // The saved list is the loaded one now; restore the written one.
        LoadPoints(signature);
    }
}

// A typed ".inkml" name files the signature as InkML with the capture's
// times, counted from its first point; a loaded signature has no times,
// and a clear makes the next capture timed again.
TEST_F(SignaturePageTest, InkmlFilesTheCaptureWithItsTimesUntilALoadedFileTakesThemAway) {
    const Points signature = testsupport::MakeSignature("Ann", 9);
    const auto saved = [&](const QString& name) {
        Save(Path(name));
        EXPECT_EQ(Messages(), Lines{});
        return sigfiles::DecodeAs(sigfiles::FileKind::kInkml, ReadFile(Path(name)));
    };
    WriteAndWait(signature);
    const sigfiles::DecodeResult timed = saved("timed.INKML");
    ASSERT_TRUE(timed.error.empty()) << timed.error;
    EXPECT_EQ(timed.points, signature);
    ASSERT_EQ(timed.times.size(), signature.size());
    EXPECT_EQ(timed.times.front(), 0);
    EXPECT_TRUE(std::is_sorted(timed.times.begin(), timed.times.end()));

    LoadPoints(signature);
    WriteAndWait({{10, 10}, PEN_UP_POINT});  // written on top of the loaded file
    const sigfiles::DecodeResult untimed = saved("untimed.inkml");
    ASSERT_TRUE(untimed.error.empty()) << untimed.error;
    EXPECT_EQ(untimed.points.size(), signature.size() + 2);
    EXPECT_TRUE(untimed.times.empty());

    Click(CSignaturePage::IDC_CLEAR_DISPLAY);
    WriteAndWait({{10, 10}, {20, 20}, PEN_UP_POINT});
    EXPECT_EQ(saved("again.inkml").times.size(), 3u);
}

TEST_F(SignaturePageTest, BmpExportIsTheBoxPictureEvenForOnePoint) {
    const Points signature = testsupport::MakeSignature("Bo", 4);
    WriteAndWait(signature);
    Save(Path("sig.BMP"));  // the extension is compared in lower case
    const sigformats::Bytes file = ReadFile(Path("sig.BMP"));
    ASSERT_EQ(file.size(), 230'454u);
    EXPECT_EQ(file, sigrender::EncodeBmp(sigrender::RenderSignatureToDib(signature, 320, 240)));

    // One point is enough to file: the box's picture, white.
    Click(CSignaturePage::IDC_CLEAR_DISPLAY);
    WriteAndWait({{512, 512}});
    Save(Path("one.bmp"));
    EXPECT_EQ(Messages(), Lines{});
    EXPECT_EQ(ReadFile(Path("one.bmp")),
              sigrender::EncodeBmp(sigrender::RenderSignatureToDib(Points{{512, 512}}, 320, 240)));
}

TEST_F(SignaturePageTest, LoadingABitmapShowsItAndSendsTheBoxToThePad) {
    QImage picture(640, 480, QImage::Format_RGB32);
    picture.fill(qRgb(0, 0, 255));
    ASSERT_TRUE(picture.save(Path("blue.bmp"), "BMP"));
    Events();
    Load(Path("blue.bmp"));
    EXPECT_EQ(Messages(), Lines{});
    EXPECT_EQ(Events(),
              (Lines{"wait", "SuspendCapture", "ClearDisplay", "ClearDisplay",
                     "DisplayImage x=0 y=0 x2=319 y2=239 bytes=230400", "ResumeCapture"}));
    EXPECT_TRUE(page->IsBitmapShown());
    EXPECT_EQ(rig.engine.Snapshot().lcd.pixel(100, 100), qRgb(0, 0, 255));
    QCoreApplication::processEvents();
    EXPECT_EQ(page->Control(CSignaturePage::IDC_SIGNATURE_BOX)->grab().toImage().pixel(5, 5),
              qRgb(0, 0, 255));
}

// Changing one's mind loses nothing: the signature stays on the PC until a
// file has been chosen and read, and the pad gets the frames it always got.
TEST_F(SignaturePageTest, GetSignatureFileKeepsTheSignatureUntilAFileIsRead) {
    const Points signature = testsupport::MakeSignature("Keep", 6);
    WriteAndWait(signature);
    QFile(Path("empty.sig")).open(QIODevice::WriteOnly);
    const Lines kCleared = {"wait", "SuspendCapture", "ClearDisplay"};
    const struct {
        QString path;  // empty: the dialog is cancelled
        Lines messages;
        Lines thenSent;
    } kCases[] = {
        {QString(), {}, {"ResumeCapture"}},
        {Path("picture.txt"), {FileError(res::kImageUnsupportedFormat)}, {"ResumeCapture"}},
        {Path("empty.sig"), {FileError(res::kImageInvalidFileSize)}, {"ResumeCapture"}},
        {WriteFile("garbage.sig", {1, 2, 3}),
         {FileError(res::kImageCannotRead)},
         {"ClearDisplay", "SendSigFile bytes=3 -> NAK (file not readable)", "ResumeCapture"}},
        {WriteFile("garbage.bmp", {1, 2, 3}),
         {FileError(res::kImageCannotRead)},
         {"ClearDisplay", "ResumeCapture"}},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.path.toStdString());
        Events();
        Load(c.path);
        EXPECT_EQ(Messages(), c.messages);
        Lines sent = kCleared;
        sent.insert(sent.end(), c.thenSent.begin(), c.thenSent.end());
        EXPECT_EQ(Events(), sent);
        EXPECT_EQ(page->Points(), signature);
        EXPECT_EQ(page->DrawnPointCount(), signature.size()) << "the box shows it again";
        EXPECT_TRUE(page->IsPenReaderRunning());
    }
    Save(Path("kept.sig"));
    EXPECT_EQ(Messages(), Lines{});
    EXPECT_EQ(ReadFile(Path("kept.sig")), sigformats::SignatureCodec().EncodeSigFile(signature));
}

TEST_F(SignaturePageTest, RefusalsBeforeTheDialogLeaveTheReaderAndThePadAlone) {
    Events();
    Click(CSignaturePage::IDC_FILE_SIGNATURE);
    EXPECT_EQ(Messages(), Lines{Refusal(res::kNoDataAvailable)});
    EXPECT_EQ(Events(), Lines{});
    EXPECT_TRUE(page->IsPenReaderRunning());

    Points big(9'998, SignaturePoint{300, 300});  // with its pen lift: 9,999
    LoadPoints(big);
    ASSERT_EQ(page->GetPointCount(), 9'999u);
    prompts.fileAnswers.push_back(QString());  // the dialog opens; cancelled
    Click(CSignaturePage::IDC_FILE_SIGNATURE);
    EXPECT_EQ(prompts.asked.size(), 1u);
    EXPECT_EQ(prompts.asked[0].kind, Kind::SaveFile);
    EXPECT_EQ(prompts.asked[0].defaultSuffix, QStringLiteral("sig"));
    EXPECT_TRUE(prompts.asked[0].confirmOverwrite);
    EXPECT_EQ(prompts.asked[0].nameFilters,
              (QStringList{"Signature(*.sig)", "Signature(*.cmp)", "Signature(*.bmp)"}));
    Messages();

    big.push_back({300, 300});
    LoadPoints(big);
    ASSERT_EQ(page->GetPointCount(), 10'000u);
    Click(CSignaturePage::IDC_FILE_SIGNATURE);
    EXPECT_EQ(Messages(), Lines{Refusal(res::kTooManyPointsToSave)});
    EXPECT_EQ(Events(), Lines{});
}

TEST_F(SignaturePageTest, FailedSavesReportAndLeaveTheOldFile) {
    // More than the 12,096 bytes an .nlc file may hold: long moves, two
    // bytes each.
    Points zigzag;
    for (int i = 0; i < 7'000; ++i) {
        zigzag.push_back(i % 2 == 0 ? SignaturePoint{0, 0} : SignaturePoint{500, 500});
    }
    LoadPoints(zigzag);
    const sigformats::Bytes old = {'o', 'l', 'd'};
    const struct {
        const char* name;
        std::string message;
    } kCases[] = {
        {"old.nlc", Refusal(res::kCannotEncode)},  // more than an .nlc file holds
        {"old.txt", FileError(res::kImageUnsupportedFormat)},
        {"missing/old.sig", Refusal(res::kFailedToOpenFile)},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        const QString path = Path(QString::fromLatin1(c.name));
        QFile::exists(QFileInfo(path).path()) ? (void)WriteFile(c.name, old) : void();
        Events();
        Save(path);
        EXPECT_EQ(Messages(), Lines{c.message});
        EXPECT_EQ(Events(), (Lines{"wait", "SuspendCapture", "ResumeCapture"}));
        EXPECT_TRUE(page->IsPenReaderRunning());
        if (QFile::exists(QFileInfo(path).path())) {
            EXPECT_EQ(ReadFile(path), old);
        }
    }
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
              (QStringList{"loaded.sig", "old.nlc", "old.txt"}));
}

TEST_F(SignaturePageTest, LoadMessagesAndTheTooLargeFile) {
    // What is no regular file, or over the 64 MB load cap, is refused at once
    // as of invalid size: a FIFO must not hold the page until a writer comes.
    const std::filesystem::path root = Path("").toStdString();
    ASSERT_EQ(::mkfifo((root / "pipe.sig").c_str(), 0600), 0);
    std::filesystem::create_directory(root / "folder.cmp");
    { std::ofstream huge(root / "huge.cmp"); }
    std::filesystem::resize_file(root / "huge.cmp", kMaxLoadedFileBytes + 1);
    for (const char* name : {"no such file.sig", "pipe.sig", "folder.cmp", "huge.cmp"}) {
        SCOPED_TRACE(name);
        Load(Path(name));
        EXPECT_EQ(Messages(), Lines{FileError(res::kImageInvalidFileSize)});
        EXPECT_TRUE(page->IsPenReaderRunning());
    }
    // A stored file cut inside its header cannot be read.
    const sigformats::Bytes whole =
        sigformats::SignatureCodec().EncodeVbcFile(testsupport::MakeSignature("Cut", 3));
    Load(WriteFile("cut.vbc", sigformats::Bytes(whole.begin(), whole.begin() + 8)));
    EXPECT_EQ(Messages(), Lines{FileError(res::kImageCannotRead)});

    // A .cmp file over the pad's 69,990 bytes: long free moves, two bytes each.
    Points many;
    for (int i = 0; i < 40'000; ++i) {
        many.push_back(i % 2 == 0 ? SignaturePoint{0, 0} : SignaturePoint{500, 500});
    }
    many.push_back(PEN_UP_POINT);
    const sigformats::Bytes large = sigformats::SignatureCodec().EncodeCmpFile(many);
    ASSERT_GT(large.size(), padlink::kMaxFileBytes);
    Events();
    Load(WriteFile("large.cmp", large));
    EXPECT_EQ(Messages(), Lines{Refusal(res::kImageTooLargeForPad)});
    const Lines sent = Events();
    EXPECT_EQ(std::count_if(sent.begin(), sent.end(),
                            [](const std::string& s) { return s.starts_with("SendCmpFile"); }),
              0);
    EXPECT_GT(page->GetPointCount(), 10'000u);
}

// The pen stream at 38400 baud flat out: 768 reports a second over a
// pseudo-terminal, none lost. VELLUMIX_SERIAL_STREAM_SECONDS runs it longer
// by hand (30 for the long run).
TEST(SignaturePageSerial, FullLineRateLosesNoReport) {
    const char* env = std::getenv("VELLUMIX_SERIAL_STREAM_SECONDS");
    const int seconds = env != nullptr ? std::max(1, std::atoi(env)) : 5;
    const std::size_t reports =
        static_cast<std::size_t>(seconds) * padsim::hosts::kLineRateBytesPerSecond / 5;

    SerialPadRig rig(padsim::hosts::kLineRateBytesPerSecond);
    testsupport::FakePrompts prompts;
    CSignaturePage page(PageServices{prompts, rig.channel}, nullptr);
    const Points signature = testsupport::MakeSignature("Line rate", 3, reports);
    rig.pad.Write(signature);
    EXPECT_TRUE(PumpUntil(page, signature.size(), std::chrono::seconds(seconds * 2 + 5)));
    EXPECT_EQ(page.Points(), signature);
}

// The virtual pad is stopped with the pen down and started again on its
// port, the pen still down: after the reconnection the ink is a stroke of
// its own, on the page and in the saved .sig, not a line from the last
// point before the loss to the first one after it.
TEST(SignaturePageSerial, APadLostMidStrokeDoesNotJoinTheInkAcrossTheLoss) {
    SerialPadRig rig(0);  // unpaced
    padsim::hosts::SerialHost& host = *rig.pad.serial;
    padlink::PadCommandChannel& channel = rig.channel;
    channel.SetLinkDownHandler([] {});  // as the main frame watches the link
    testsupport::FakePrompts prompts;
    CSignaturePage page(PageServices{prompts, channel}, nullptr);
    page.SetSleepFunction([](std::chrono::milliseconds) {});

    const Points before{{600, 300}, {610, 305}, {620, 310}};
    const Points after{{630, 315}, {640, 320}, PEN_UP_POINT};
    rig.pad.Write(before);
    ASSERT_TRUE(PumpUntil(page, before.size()));

    host.Stop();
    const auto until = std::chrono::steady_clock::now() + 5s;
    while (!channel.LinkDown() && std::chrono::steady_clock::now() < until) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    ASSERT_TRUE(channel.LinkDown());
    // Found again as the main frame's search does: a fresh port, the page's
    // capture set up anew.
    ASSERT_TRUE(host.Start());
    channel.WithLink([](padlink::PadLink& l) { l.Close(); });
    channel.MarkLinkUp();
    page.RestorePadSetup();
    rig.pad.Write(after);
    Points expected = before;
    expected.push_back(PEN_UP_POINT);
    expected.insert(expected.end(), after.begin(), after.end());
    ASSERT_TRUE(PumpUntil(page, expected.size()));
    EXPECT_EQ(page.Points(), expected);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("signed.sig"));
    prompts.fileAnswers.push_back(path);
    page.OnFileSignature();
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    EXPECT_EQ(sigformats::SignatureCodec().DecodeSigFile(
                  std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                            static_cast<std::size_t>(bytes.size()))),
              expected);
}

}  // namespace
}  // namespace vellumix::pages::test
