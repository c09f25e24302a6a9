// The pad console against the virtual pad, over a real pseudo-terminal and
// over the in-process USB host: probe, draw, show a picture, send a
// signature file, capture a replayed signature; then the injected faults.
// Every run is bounded in time so a hang fails instead of stalling.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QPainter>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <sstream>
#include <thread>

#include "PenReplay.h"
#include "padd/PictureHelper.h"
#include "padservice/ChannelSession.h"
#include "padservice/ServiceRig.h"
#include "sigfiles/FileAccess.h"
#include "sigfiles/SignatureFiles.h"
#include "sigformats/InkmlFormat.h"
#include "support/PadCtlRun.h"
#include "support/PointStreamDiff.h"
#include "support/SignatureSynth.h"
#include "support/WaitUntil.h"

namespace vellumix::padsim {
namespace {

namespace fs = std::filesystem;
namespace padctl = tools::padctl;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Points = std::vector<sigformats::SignaturePoint>;

// Fast enough that a signature crosses in a fraction of a second.
constexpr double kReplayRate = 2000.0;

using testsupport::PadCtlRun;

enum class Link { kSerial, kUsb };

// One virtual pad on one link of a machine of the test's own, the console's
// arguments that reach it, and the pad's pen.
class PadRig {
public:
    explicit PadRig(Link link, hosts::SerialHostOptions serial = {})
        : m_link(link),
          m_pad(link == Link::kSerial ? m_machine.SerialPad(serial) : m_machine.UsbPad()) {}
    ~PadRig() { StopReplay(); }

    engine::PadEngine& Engine() { return m_pad.engine; }
    const fs::path& Root() const { return m_machine.dir.path(); }
    const fs::path& Ports() const { return m_machine.ports; }
    const std::string& UsbKey() const { return m_pad.device->Info().path; }
    std::unique_ptr<padlink::HidBackend> Backend() const { return m_machine.HidBackend(); }

    std::vector<std::string> LinkArgs() const {
        if (m_link == Link::kUsb) {
            return {"--usb"};
        }
        return {"--port", "COM1"};
    }

    // serviceBus: run with --service against the capture service there.
    PadCtlRun Run(std::vector<std::string> commands, bool withLink = true,
                  const std::string& serviceBus = {}) {
        std::vector<std::string> args = withLink ? LinkArgs() : std::vector<std::string>{};
        if (!serviceBus.empty()) {
            args.insert(args.begin(), "--service");
        }
        args.insert(args.end(), commands.begin(), commands.end());
        tools::padctl::PadCtlEnvironment env = testsupport::MachineEnvironment(m_machine);
        env.busAddress = serviceBus;
        return testsupport::RunPadCtl(args, std::move(env));
    }

    // Writes the points with the pad's pen once capture starts, as the
    // program's --pen replay does.
    void StartReplay(Points points) {
        m_replayStop = false;
        m_replayThread = std::thread([this, points = std::move(points)]() mutable {
            app::PenReplay replay(std::move(points), kReplayRate);
            while (!m_replayStop && !replay.Finished()) {
                const bool capturing =
                    Engine().Snapshot().capture == engine::CaptureState::kCapturing;
                if (replay.Pump(Engine(), capturing, Clock::now()) > 0) {
                    m_pad.WakeUp();
                }
                std::this_thread::sleep_for(2ms);
            }
        });
    }
    void StopReplay() {
        m_replayStop = true;
        if (m_replayThread.joinable()) {
            m_replayThread.join();
        }
    }

private:
    Link m_link;
    testsupport::PadMachine m_machine;
    testsupport::VirtualPad& m_pad;
    std::thread m_replayThread;
    std::atomic<bool> m_replayStop{false};
};

std::string TxtOf(const Points& points) {
    const auto bytes = sigfiles::WriteTxt(points);
    return std::string(bytes.begin(), bytes.end());
}

class PadCtlEndToEnd : public ::testing::TestWithParam<Link> {};

// (The capture on each link is the busy test's first console's.)
TEST_P(PadCtlEndToEnd, ProbesDrawsShowsAPictureAndSendsAFile) {
    PadRig rig(GetParam());

    const PadCtlRun probe = rig.Run({"probe"});
    ASSERT_EQ(probe.status, tools::padctl::kExitOk) << probe.err;
    EXPECT_EQ(probe.out, GetParam() == Link::kUsb ? "Pad found on USB\n" : "Pad found on COM1\n");

    const PadCtlRun draw =
        rig.Run({"colour", "all",  "#0000ff", "fill", "10",   "10",  "20",   "20",
                 "colour", "line", "255,0,0", "line", "0",    "100", "319",  "100",
                 "text",   "40",   "150",     "Hi",   "leds", "red", "font", "small"});
    ASSERT_EQ(draw.status, padctl::kExitOk) << draw.err;
    QImage lcd = rig.Engine().Snapshot().lcd;
    EXPECT_EQ(lcd.pixelColor(20, 20), QColor(Qt::blue));
    EXPECT_EQ(lcd.pixelColor(200, 100), QColor(Qt::red));
    EXPECT_EQ(lcd.pixelColor(5, 5), QColor(Qt::white));
    EXPECT_TRUE(rig.Engine().Snapshot().leds.red);

    // A picture of another size is stretched over the whole LCD.
    QImage picture(64, 30, QImage::Format_RGB32);
    picture.fill(Qt::red);
    QPainter(&picture).fillRect(32, 0, 32, 30, Qt::green);
    const fs::path picturePath = rig.Root() / "picture.png";
    ASSERT_TRUE(picture.save(QString::fromStdString(picturePath.string())));
    const PadCtlRun image = rig.Run({"image", picturePath.string()});
    ASSERT_EQ(image.status, tools::padctl::kExitOk) << image.err;
    lcd = rig.Engine().Snapshot().lcd;
    EXPECT_EQ(lcd.pixelColor(10, 120), QColor(Qt::red));
    EXPECT_EQ(lcd.pixelColor(310, 120), QColor(Qt::green));
    EXPECT_EQ(lcd.pixelColor(319, 239), QColor(Qt::green));

    const Points signature = testsupport::MakeSignature("Ada", 7, 120);
    const auto sig = sigfiles::EncodeAs(sigfiles::FileKind::kSig, signature);
    ASSERT_TRUE(sig.error.empty()) << sig.error;
    const fs::path sigPath = rig.Root() / "ada.sig";
    ASSERT_TRUE(sigfiles::WriteFileReplacing(sigPath, sig.bytes).error.empty());
    const PadCtlRun send = rig.Run({"clear", "send-sig", sigPath.string()});
    ASSERT_EQ(send.status, tools::padctl::kExitOk) << send.err;
    QImage blank(lcd.size(), lcd.format());
    blank.fill(Qt::white);
    EXPECT_NE(rig.Engine().Snapshot().lcd, blank) << "the signature is drawn";
}

// Two consoles on one pad, as root too: the second is refused at once as
// busy (exit 3), and the first gets every point of the signature. What the
// refusal names (the holder, in the same words by COMn or device path) is
// SerialPortTest's ASecondOwnerIsRefusedAsBusyEvenAsRoot and
// HidapiBackendTest's ANodeLockedByAnotherOpenIsBusyNamingItsHolder.
TEST_P(PadCtlEndToEnd, ASecondConsoleIsRefusedAsBusyAndTheFirstKeepsEveryPoint) {
    PadRig rig(GetParam());
    const Points signature = testsupport::MakeSignature("Ida", 13, 120);
    rig.StartReplay(signature);
    PadCtlRun first;
    std::jthread owner([&] { first = rig.Run({"capture", "--seconds", "1"}); });
    testsupport::WaitUntil(
        [&] { return rig.Engine().Snapshot().capture == engine::CaptureState::kCapturing; });
    const PadCtlRun second = rig.Run({"capture", "--seconds", "1"});
    EXPECT_EQ(second.status, tools::padctl::kExitNoPad) << second.err;
    EXPECT_TRUE(second.out.empty());
    EXPECT_LT(second.took, 1s);
    EXPECT_NE(second.err.find("busy"), std::string::npos) << second.err;
    owner.join();
    rig.StopReplay();
    ASSERT_EQ(first.status, padctl::kExitOk) << first.err;
    EXPECT_EQ(first.out, TxtOf(signature));
    EXPECT_EQ(rig.Engine().Snapshot().capture, engine::CaptureState::kStopped);
}

INSTANTIATE_TEST_SUITE_P(Links, PadCtlEndToEnd, ::testing::Values(Link::kSerial, Link::kUsb),
                         [](const auto& info) {
                             return info.param == Link::kSerial ? std::string("Serial")
                                                                : std::string("Usb");
                         });

// Each line of a JSON Lines capture, parsed as a script would read it.
std::vector<QJsonObject> JsonLines(const std::string& text) {
    std::vector<QJsonObject> objects;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        QJsonParseError error{};
        const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(line), &error);
        EXPECT_EQ(error.error, QJsonParseError::NoError) << line;
        EXPECT_TRUE(doc.isObject()) << line;
        objects.push_back(doc.object());
    }
    return objects;
}

// What the console writes and how it exits does not depend on the link
// below the channel (whose outcomes LateAnswers checks on both links): these
// run on the USB one, the quicker.

// JSON Lines carries the same points as the txt lines, in order, with times
// that never go backwards and lie within the capture. The InkML document,
// written from the same points and times, is checked by the --service
// comparison (the ink, a time for every point) and the lost-pad test.
TEST(PadCtlOutput, CapturesToJsonLinesWithTheTimes) {
    PadRig rig(Link::kUsb);
    const Points signature = testsupport::MakeSignature("Eve", 11, 160);
    std::size_t downs = 0;
    std::size_t strokes = 0;
    for (std::size_t i = 0; i < signature.size(); ++i) {
        const bool down = !sigformats::IsPenUp(signature[i]);
        downs += down ? 1 : 0;
        strokes += down && (i == 0 || sigformats::IsPenUp(signature[i - 1])) ? 1 : 0;
    }

    rig.StartReplay(signature);
    const PadCtlRun json = rig.Run({"capture", "--format", "jsonl", "--seconds", "1"});
    rig.StopReplay();
    ASSERT_EQ(json.status, padctl::kExitOk) << json.err;
    const std::vector<QJsonObject> objects = JsonLines(json.out);
    ASSERT_EQ(objects.size(), signature.size() + 1);
    const QJsonObject summary = objects.back()["summary"].toObject();
    EXPECT_EQ(summary["points"].toInteger(), static_cast<qint64>(downs));
    EXPECT_EQ(summary["strokes"].toInteger(), static_cast<qint64>(strokes));
    const double duration = summary["duration"].toDouble();
    EXPECT_GE(duration, 1000.0);
    double last = 0;
    for (std::size_t i = 0; i < signature.size(); ++i) {
        const QJsonObject& o = objects[i];
        const bool up = sigformats::IsPenUp(signature[i]);
        EXPECT_EQ(o["pen"].toString(), up ? "up" : "down") << i;
        if (up) {
            EXPECT_TRUE(o["x"].isNull() && o["y"].isNull()) << i;
        } else {
            EXPECT_EQ(o["x"].toInt(-1), signature[i].x) << i;
            EXPECT_EQ(o["y"].toInt(-1), signature[i].y) << i;
        }
        const double t = o["t"].toDouble(-1);
        EXPECT_GE(t, last) << i;
        EXPECT_LE(t, duration) << i;
        last = t;
    }
    // Replayed over tens of milliseconds, not stamped all at one instant.
    EXPECT_GT(last, objects[0]["t"].toDouble());
}

// NAK and silence fail every command, "sent" ones included; a range the
// channel refuses is a usage error naming the argument, with nothing sent.
TEST(PadCtlOutput, NakSilenceAndRefusalEachHaveTheirOwnExit) {
    PadRig rig(Link::kUsb);
    rig.Engine().SetFault("DrawFrame", {engine::FaultKind::kNak, 0, -1});
    rig.Engine().SetFault("FillRectangle", {engine::FaultKind::kNak, 0, -1});
    rig.Engine().SetFault("DrawLine", {engine::FaultKind::kSilent, 0, -1});
    rig.Engine().SetFault("SetLedFlags", {engine::FaultKind::kSilent, 0, -1});
    rig.Engine().SetFault("ClearDisplay", {engine::FaultKind::kSilent, 0, -1});
    rig.Engine().SetFault("SendSigFile", {engine::FaultKind::kNak, 0, -1});
    const fs::path sig = rig.Root() / "one.sig";
    ASSERT_TRUE(sigfiles::WriteFileReplacing(
                    sig, sigfiles::EncodeAs(sigfiles::FileKind::kSig,
                                            testsupport::MakeSignature("Al", 2, 40))
                             .bytes)
                    .error.empty());

    struct Case {
        std::vector<std::string> command;
        int status;
        const char* err;
    };
    const Case cases[] = {
        {{"frame", "0", "0", "10", "10"}, padctl::kExitFailed, "did not acknowledge DrawFrame"},
        {{"fill", "0", "0", "10", "10"}, padctl::kExitFailed, "FillRectangle (it answered NAK)"},
        {{"line", "0", "0", "10", "10"}, padctl::kExitFailed, "did not answer DrawLine"},
        {{"leds", "green"}, padctl::kExitFailed, "did not answer SetLedFlags"},
        // SetLedState shares SetLedFlags' command byte, and is ACK-tested.
        {{"leds", "on"}, padctl::kExitFailed, "did not answer SetLedState"},
        {{"clear"}, padctl::kExitFailed, "did not answer ClearDisplay"},
        {{"send-sig", sig.string()}, padctl::kExitFailed, "SendSigFile (it answered NAK)"},
        {{"fill", "10", "10", "-20", "5"}, padctl::kExitUsage, "fill 10 10 -20 5 is outside"},
        {{"text", "10", "10", "ok"}, padctl::kExitOk, ""},
    };
    for (const Case& c : cases) {
        rig.Engine().TakeTrace();
        const PadCtlRun r = rig.Run(c.command);
        EXPECT_EQ(r.status, c.status) << c.command[0] << ": " << r.err;
        EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
        EXPECT_LT(r.took, 3s) << c.command[0];
        if (c.status == padctl::kExitUsage) {
            for (const std::string& line : rig.Engine().TakeTrace()) {
                EXPECT_EQ(line.find("FillRectangle"), std::string::npos) << line;
            }
        }
    }
}

// The capture service in this process on a private bus, serving the rig's
// pad: the serial one found in the port folder, the USB one handed in.
class ServiceForRig {
public:
    ServiceForRig(PadRig& rig, Link link)
        : m_factory({rig.Ports(), [&rig] { return rig.Backend(); }, padlink::kDefaultUsbIds}),
          m_service(m_factory, padservice::test::ServiceRig::QuickOptions(),
                    tools::padd::HelperDecoder(VELLUMIX_PICTURE_HELPER),
                    padservice::test::ServiceRig::PortFolder(rig.Ports())) {
        if (link == Link::kUsb) {
            m_service.Appear(rig.UsbKey(), padservice::Transport::kUsb);
        }
    }
    const std::string& Bus() const { return m_service.Address(); }

private:
    padservice::ChannelSessionFactory m_factory;
    padservice::test::ServiceRig m_service;
};

// --service: the commands the service offers print and exit as on
// padctl's own link, and the capture is built from the Points it receives.
// The service's pad side on either link is ServicePadTest's; the console
// picks a serial pad through it in the lost-pad test below.
TEST(PadCtlOutput, ThroughTheCaptureServiceTheSameCommandsSayTheSame) {
    PadRig rig(Link::kUsb);
    ServiceForRig service(rig, Link::kUsb);
    QImage picture(40, 40, QImage::Format_RGB32);
    picture.fill(Qt::blue);
    const fs::path picturePath = rig.Root() / "blue.png";
    ASSERT_TRUE(picture.save(QString::fromStdString(picturePath.string())));
    const Points signature = testsupport::MakeSignature("Eve", 11, 160);
    rig.Engine().SetFault("DrawText", {engine::FaultKind::kNak, 0, -1});

    const struct {
        std::vector<std::string> commands;
        bool replay;
    } cases[] = {
        {{"probe"}, false},
        {{"clear", "leds", "red", "image", picturePath.string()}, false},
        {{"text", "10", "10", "refused"}, false},
        // txt and jsonl are written from the same batches.
        {{"capture", "--seconds", "1", "--format", "inkml"}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.commands.front());
        PadCtlRun runs[2];
        QImage lcds[2];
        for (int through = 0; through < 2; ++through) {
            if (c.replay) {
                rig.StartReplay(signature);
            }
            runs[through] = rig.Run(c.commands, true, through == 1 ? service.Bus() : std::string());
            rig.StopReplay();
            lcds[through] = rig.Engine().Snapshot().lcd;
        }
        EXPECT_EQ(runs[1].status, runs[0].status) << runs[1].err;
        EXPECT_EQ(runs[1].err, runs[0].err);
        EXPECT_EQ(lcds[1], lcds[0]);
        if (c.commands.back() != "inkml") {
            EXPECT_EQ(runs[1].out, runs[0].out);
            continue;
        }
        // The times differ from run to run; the ink may not, and each point
        // has its time.
        for (const PadCtlRun& r : runs) {
            const auto ink = sigformats::DecodeInkml(
                std::span(reinterpret_cast<const std::uint8_t*>(r.out.data()), r.out.size()));
            ASSERT_TRUE(ink.Ok()) << ink.Error().message;
            EXPECT_EQ(ink.Value().points, signature);
            const sigformats::PointTimes& times = ink.Value().times;
            EXPECT_EQ(times.size(), signature.size());
            EXPECT_TRUE(std::is_sorted(times.begin(), times.end()));
        }
    }

    // What the service cannot lend: a command it does not offer, and a pad
    // another client holds.
    const PadCtlRun fill = rig.Run({"fill", "0", "0", "10", "10"}, true, service.Bus());
    EXPECT_EQ(fill.status, tools::padctl::kExitUsage);
    EXPECT_NE(fill.err.find("not offered through the capture service"), std::string::npos);
    padservice::ServiceClient other(service.Bus());
    const std::vector<std::string> pads = other.PadPaths();
    ASSERT_EQ(pads.size(), 1u);
    other.Claim(pads.front());
    const PadCtlRun busy = rig.Run({"probe"}, true, service.Bus());
    EXPECT_EQ(busy.status, tools::padctl::kExitNoPad);
    EXPECT_NE(busy.err.find("claimed by " + other.UniqueName()), std::string::npos) << busy.err;
}

// A byte lost now and then costs the report it hit; no report comes out
// bent into a point that was not written.
TEST(PadCtlFaults, DroppedPenBytesLosePointsButNeverBendThemOrHang) {
    hosts::SerialHostOptions faulty;
    faulty.dropEveryNthPenByte = 23;
    PadRig rig(Link::kSerial, faulty);
    const Points signature = testsupport::MakeSignature("Bo", 3, 150);
    rig.StartReplay(signature);
    const PadCtlRun r = rig.Run({"capture", "--seconds", "1"});
    rig.StopReplay();
    ASSERT_EQ(r.status, padctl::kExitOk) << r.err;
    EXPECT_LT(r.took, 3s);
    const auto parsed = sigfiles::ParseTxt(r.out);
    ASSERT_TRUE(parsed.error.empty()) << parsed.error;  // every line a valid point
    const auto diff = testsupport::DiffPointStreams(signature, parsed.points);
    EXPECT_EQ(diff.invented, 0u);
    EXPECT_GT(diff.kept, 0u);
    EXPECT_GT(diff.lost, 0u);
}

// A pad lost mid-capture, the pen down: exit 1, and the output says so
// itself, not only the exit status: the JSON Lines stream ends with a lift
// and then an error object (no summary), the InkML document carries its
// cut-short note. The points before the loss are all there. JSON Lines also
// through the capture service.
TEST(PadCtlFaults, APadLostDuringACaptureEndsTheStrokeAndSaysSoInTheOutput) {
    const struct {
        const char* format;
        bool throughService;
    } cases[] = {{"jsonl", false}, {"jsonl", true}, {"inkml", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.format) + (c.throughService ? " through the service" : ""));
        hosts::SerialHostOptions faulty;
        faulty.unplugAfter = 1000ms;
        PadRig rig(Link::kSerial, faulty);
        std::unique_ptr<ServiceForRig> service;
        if (c.throughService) {
            service = std::make_unique<ServiceForRig>(rig, Link::kSerial);
        }
        // One stroke that is still being written when the cable comes out.
        Points stroke;
        for (int i = 0; i < 4000; ++i) {
            stroke.push_back({100 + (i / 8) % 800, 400 + (i % 8)});
        }
        rig.StartReplay(stroke);
        const PadCtlRun r = rig.Run({"capture", "--format", c.format, "--seconds", "20"}, true,
                                    service ? service->Bus() : std::string());
        rig.StopReplay();
        EXPECT_EQ(r.status, padctl::kExitFailed);
        EXPECT_NE(r.err.find("lost the pad during capture"), std::string::npos) << r.err;
        EXPECT_LT(r.took, 10s);
        if (std::string(c.format) == "inkml") {
            EXPECT_NE(r.out.find(sigformats::inkml::kCutShortText), std::string::npos) << r.out;
            const sigfiles::DecodeResult decoded = sigfiles::DecodeAs(
                sigfiles::FileKind::kInkml,
                std::span(reinterpret_cast<const std::uint8_t*>(r.out.data()), r.out.size()));
            ASSERT_TRUE(decoded.error.empty()) << decoded.error;
            EXPECT_EQ(decoded.points.front(), stroke.front());
            continue;
        }
        const std::vector<QJsonObject> objects = JsonLines(r.out);
        ASSERT_GE(objects.size(), 3u);
        EXPECT_EQ(objects.back()["error"].toString(), "lost the pad during capture");
        for (std::size_t i = 0; i + 2 < objects.size(); ++i) {
            EXPECT_EQ(objects[i]["pen"].toString(), "down") << i;
        }
        EXPECT_EQ(objects[objects.size() - 2]["pen"].toString(), "up");
    }
}

// Bad arguments, and files send-sig and image must not trust, are refused
// with their reason before the pad is touched; a FIFO at once, not waited
// on. (Folders, devices and files over the size cap are refused by the one
// file reader: sigfiles' Reading test and the converter's HostileInput.)
TEST(PadCtlFaults, SearchesThePortsWhenNoLinkIsGivenAndRefusesBadInputFirst) {
    PadRig rig(Link::kSerial);
    const PadCtlRun found = rig.Run({"probe"}, false);
    EXPECT_EQ(found.status, tools::padctl::kExitOk) << found.err;
    EXPECT_EQ(found.out, "Pad found on COM1\n");

    const fs::path dir = rig.Root();
    ASSERT_EQ(::mkfifo((dir / "pipe.sig").c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo((dir / "pipe.png").c_str(), 0600), 0);
    const auto sig =
        sigfiles::EncodeAs(sigfiles::FileKind::kSig, testsupport::MakeSignature("Cut", 2));
    ASSERT_TRUE(sigfiles::WriteFileReplacing(dir / "cut.sig",
                                             std::span(sig.bytes).first(sig.bytes.size() / 2 + 1))
                    .error.empty());
    const struct {
        std::vector<std::string> args;
        const char* why;
    } cases[] = {
        {{"fill", "0", "0", "320", "10"}, "vellumix-padctl: "},
        {{"line", "0", "0", "10"}, "vellumix-padctl: "},
        {{"colour", "all", "nocolour"}, "vellumix-padctl: "},
        {{"send-sig", "x.bmp"}, "vellumix-padctl: "},
        {{"image", "/nonexistent"}, "vellumix-padctl: "},
        {{"bogus"}, "vellumix-padctl: "},
        {{"capture", "--seconds", "0"}, "vellumix-padctl: "},
        {{"font", "1,2,3"}, "vellumix-padctl: "},
        {{"capture", "--format", "csv"}, "vellumix-padctl: "},
        {{"capture", "--fromat", "jsonl"}, "vellumix-padctl: "},
        {{"capture", "--format"}, "vellumix-padctl: "},
        {{"send-sig", (dir / "pipe.sig").string()}, "FIFO"},
        {{"send-sig", (dir / "cut.sig").string()}, "not a valid .sig"},
        {{"image", (dir / "pipe.png").string()}, "FIFO"},
    };
    rig.Engine().TakeTrace();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.back());
        std::vector<std::string> command{"clear"};
        command.insert(command.end(), c.args.begin(), c.args.end());
        const PadCtlRun r = rig.Run(command);
        EXPECT_EQ(r.status, tools::padctl::kExitUsage);
        EXPECT_NE(r.err.find(c.why), std::string::npos) << r.err;
    }
    EXPECT_TRUE(rig.Engine().TakeTrace().empty());
}

}  // namespace
}  // namespace vellumix::padsim
