// The pad console against the virtual pad, over a real pseudo-terminal and
// over the in-process USB host: probe, draw, show a picture, send a
// signature file, capture a replayed signature; then the injected faults.
// Every run is bounded in time so a hang fails instead of stalling.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>
#include <fstream>

#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <sstream>
#include <thread>

#include "PenReplay.h"
#include "engine/PadEngine.h"
#include "hosts/SerialHost.h"
#include "hosts/UsbHost.h"
#include "padctl/PadCtl.h"
#include "padd/PictureHelper.h"
#include "padlink/PadUsbIds.h"
#include "padlink/PortResolver.h"
#include "padlink/hid/MemoryHidDevice.h"
#include "padservice/ChannelSession.h"
#include "padservice/ServiceRig.h"
#include "sigfiles/FileAccess.h"
#include "sigfiles/SignatureFiles.h"
#include "sigformats/InkmlFormat.h"
#include "support/PointStreamDiff.h"
#include "support/SharedHidBackend.h"
#include "support/SignatureSynth.h"
#include "support/TempDir.h"

namespace vellumix::padsim {
namespace {

namespace fs = std::filesystem;
namespace padctl = tools::padctl;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Points = std::vector<sigformats::SignaturePoint>;

constexpr int kCom = 1;
// Fast enough that a signature crosses in a fraction of a second.
constexpr double kReplayRate = 2000.0;

struct RunResult {
    int status = -1;
    std::string out;
    std::string err;
    Clock::duration took{};
};

enum class Link { kSerial, kUsb };

// One virtual pad on one link, and the console's environment that reaches it.
class PadRig {
public:
    PadRig(Link link, const fs::path& folder, hosts::SerialHostOptions serial = {})
        : m_link(link), m_folder(folder) {
        if (link == Link::kSerial) {
            serial.portFolder = folder;
            serial.comNumber = kCom;
            m_serial = std::make_unique<hosts::SerialHost>(m_engine, serial);
            EXPECT_TRUE(m_serial->Start());
        } else {
            m_usbDevice = m_hid->AddDevice(padlink::PAD_USB_VENDOR_ID, padlink::PAD_USB_PRODUCT_ID);
            m_usb = std::make_unique<hosts::UsbHost>(m_engine, m_usbDevice);
            m_usb->Start();
        }
    }
    ~PadRig() { StopReplay(); }

    engine::PadEngine& Engine() { return m_engine; }
    // The pseudo-terminal behind COM1 (serial only).
    std::string SlavePath() const { return m_serial ? m_serial->SlavePath() : std::string(); }

    std::vector<std::string> LinkArgs() const {
        if (m_link == Link::kUsb) {
            return {"--usb"};
        }
        return {"--port", std::string(padlink::kComPortPrefix) + std::to_string(kCom)};
    }

    // serviceBus: run with --service against the capture service there.
    RunResult Run(std::vector<std::string> commands, bool withLink = true,
                  const std::string& serviceBus = {}) {
        std::vector<std::string> args = withLink ? LinkArgs() : std::vector<std::string>{};
        if (!serviceBus.empty()) {
            args.insert(args.begin(), "--service");
        }
        args.insert(args.end(), commands.begin(), commands.end());
        padctl::PadCtlEnvironment env;
        env.portFolder = m_folder;
        env.devicePrefixes = {};
        env.hidBackend = Backend();
        env.busAddress = serviceBus;
        std::ostringstream out;
        std::ostringstream err;
        const auto start = Clock::now();
        RunResult r;
        r.status = padctl::RunPadCtl(args, out, err, std::move(env));
        r.took = Clock::now() - start;
        r.out = out.str();
        r.err = err.str();
        return r;
    }

    // Writes the points with the pad's pen once capture starts, as the
    // program's --pen replay does.
    void StartReplay(Points points) {
        m_replayStop = false;
        m_replayThread = std::thread([this, points = std::move(points)]() mutable {
            app::PenReplay replay(std::move(points), kReplayRate);
            while (!m_replayStop && !replay.Finished()) {
                const bool capturing =
                    m_engine.Snapshot().capture == engine::CaptureState::kCapturing;
                if (replay.Pump(m_engine, capturing, Clock::now()) > 0 && m_serial) {
                    m_serial->WakeUp();
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

    // What the console's USB search, or the capture service's USB session,
    // looks through: the rig's device, or none.
    std::unique_ptr<padlink::HidBackend> Backend() const {
        return std::make_unique<testsupport::SharedHidBackend>(m_hid);
    }
    const std::string& UsbKey() const { return m_usbDevice->Info().path; }

private:
    Link m_link;
    fs::path m_folder;
    engine::PadEngine m_engine;
    std::unique_ptr<hosts::SerialHost> m_serial;
    // The machine's USB devices, which the pad's host thread and every run
    // share; the pad is the one device on a USB rig.
    std::shared_ptr<padlink::hid::MemoryHidBackend> m_hid =
        std::make_shared<padlink::hid::MemoryHidBackend>();
    std::shared_ptr<padlink::hid::MemoryHidDevice> m_usbDevice;
    std::unique_ptr<hosts::UsbHost> m_usb;
    std::thread m_replayThread;
    std::atomic<bool> m_replayStop{false};
};

// A temporary folder with a port folder in it.
struct TempFolder {
    TempFolder() { EXPECT_TRUE(padlink::CreatePortFolder(ports)); }

    testsupport::TempDir dir{"vellumix-e2e"};
    const fs::path& root = dir.path();
    fs::path ports = root / "ports";
};

std::string TxtOf(const Points& points) {
    const auto bytes = sigfiles::WriteTxt(points);
    return std::string(bytes.begin(), bytes.end());
}

int NonWhitePixels(const QImage& lcd) {
    int n = 0;
    for (int y = 0; y < lcd.height(); ++y) {
        for (int x = 0; x < lcd.width(); ++x) {
            n += lcd.pixelColor(x, y) != QColor(Qt::white) ? 1 : 0;
        }
    }
    return n;
}

class PadCtlEndToEnd : public ::testing::TestWithParam<Link> {
protected:
    TempFolder m_temp;
};

TEST_P(PadCtlEndToEnd, ProbesDrawsShowsAPictureSendsAFileAndCapturesExactly) {
    PadRig rig(GetParam(), m_temp.ports);

    const RunResult probe = rig.Run({"probe"});
    ASSERT_EQ(probe.status, padctl::kExitOk) << probe.err;
    EXPECT_EQ(probe.out, GetParam() == Link::kUsb ? "Pad found on USB\n" : "Pad found on COM1\n");

    const RunResult draw =
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
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 32; x < 64; ++x) {
            picture.setPixelColor(x, y, Qt::green);
        }
    }
    const fs::path picturePath = m_temp.root / "picture.png";
    ASSERT_TRUE(picture.save(QString::fromStdString(picturePath.string())));
    const RunResult image = rig.Run({"image", picturePath.string()});
    ASSERT_EQ(image.status, padctl::kExitOk) << image.err;
    lcd = rig.Engine().Snapshot().lcd;
    EXPECT_EQ(lcd.pixelColor(10, 120), QColor(Qt::red));
    EXPECT_EQ(lcd.pixelColor(310, 120), QColor(Qt::green));
    EXPECT_EQ(lcd.pixelColor(319, 239), QColor(Qt::green));

    const Points signature = testsupport::MakeSignature("Ada", 7, 120);
    const auto sig = sigfiles::EncodeAs(sigfiles::FileKind::kSig, signature);
    ASSERT_TRUE(sig.error.empty()) << sig.error;
    const fs::path sigPath = m_temp.root / "ada.sig";
    ASSERT_TRUE(sigfiles::WriteFileReplacing(sigPath, sig.bytes).error.empty());
    const RunResult send = rig.Run({"clear", "send-sig", sigPath.string()});
    ASSERT_EQ(send.status, padctl::kExitOk) << send.err;
    EXPECT_GT(NonWhitePixels(rig.Engine().Snapshot().lcd), 50);

    rig.StartReplay(signature);
    const RunResult captured = rig.Run({"capture", "--seconds", "1"});
    rig.StopReplay();
    ASSERT_EQ(captured.status, padctl::kExitOk) << captured.err;
    EXPECT_EQ(captured.out, TxtOf(signature));
    EXPECT_EQ(rig.Engine().Snapshot().capture, engine::CaptureState::kStopped);
    EXPECT_LT(captured.took, 3s);
}

// Two consoles on one pad, as root too: the second is refused at once as
// busy (exit 3), on serial naming this process as the holder in the same
// words whether the port is named COM1 or by its device path; the first gets
// every point of the signature.
TEST_P(PadCtlEndToEnd, ASecondConsoleIsRefusedAsBusyAndTheFirstKeepsEveryPoint) {
    PadRig rig(GetParam(), m_temp.ports);
    const Points signature = testsupport::MakeSignature("Ida", 13, 120);
    rig.StartReplay(signature);
    RunResult first;
    std::jthread owner([&] { first = rig.Run({"capture", "--seconds", "1"}); });
    const auto until = Clock::now() + 5s;
    while (rig.Engine().Snapshot().capture != engine::CaptureState::kCapturing &&
           Clock::now() < until) {
        std::this_thread::sleep_for(2ms);
    }
    std::vector<std::vector<std::string>> names = {rig.LinkArgs()};
    if (GetParam() == Link::kSerial) {
        names.push_back({"--port", rig.SlavePath()});
    }
    std::string firstReason;
    for (std::vector<std::string> args : names) {
        args.insert(args.end(), {"capture", "--seconds", "1"});
        const RunResult second = rig.Run(args, false);
        EXPECT_EQ(second.status, padctl::kExitNoPad) << second.err;
        EXPECT_TRUE(second.out.empty());
        EXPECT_LT(second.took, 1s);
        const std::size_t busy = second.err.find("busy");
        ASSERT_NE(busy, std::string::npos) << second.err;
        if (GetParam() == Link::kSerial) {
            // "...: /dev/pts/N is busy: <program> (pid N) has it open"
            const std::string reason = second.err.substr(second.err.rfind(": /dev/"));
            EXPECT_NE(reason.find("(pid " + std::to_string(::getpid()) + ")"), std::string::npos)
                << reason;
            EXPECT_TRUE(firstReason.empty() || reason == firstReason) << reason;
            firstReason = reason;
        }
    }
    owner.join();
    rig.StopReplay();
    ASSERT_EQ(first.status, padctl::kExitOk) << first.err;
    EXPECT_EQ(first.out, TxtOf(signature));
}

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

// The two timed formats carry the same points as the txt lines, in order,
// with times that never go backwards and lie within the capture.
TEST_P(PadCtlEndToEnd, CapturesToJsonLinesAndInkmlWithTheTimes) {
    PadRig rig(GetParam(), m_temp.ports);
    const Points signature = testsupport::MakeSignature("Eve", 11, 160);
    std::size_t downs = 0;
    std::size_t strokes = 0;
    for (std::size_t i = 0; i < signature.size(); ++i) {
        const bool down = !sigformats::IsPenUp(signature[i]);
        downs += down ? 1 : 0;
        strokes += down && (i == 0 || sigformats::IsPenUp(signature[i - 1])) ? 1 : 0;
    }

    rig.StartReplay(signature);
    const RunResult json = rig.Run({"capture", "--format", "jsonl", "--seconds", "1"});
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

    rig.StartReplay(signature);
    const RunResult ink = rig.Run({"capture", "--seconds", "1", "--format", "InkML"});
    rig.StopReplay();
    ASSERT_EQ(ink.status, padctl::kExitOk) << ink.err;
    const sigfiles::DecodeResult decoded = sigfiles::DecodeAs(
        sigfiles::FileKind::kInkml,
        std::span(reinterpret_cast<const std::uint8_t*>(ink.out.data()), ink.out.size()));
    ASSERT_TRUE(decoded.error.empty()) << decoded.error;
    EXPECT_EQ(decoded.points, signature);
    ASSERT_EQ(decoded.times.size(), signature.size());
    EXPECT_TRUE(std::is_sorted(decoded.times.begin(), decoded.times.end()));
    EXPECT_GE(decoded.times.front(), 0);
    EXPECT_LE(decoded.times.back(), 1'500'000);
}

// NAK and silence fail every command, "sent" ones included; a range the
// channel refuses is a usage error naming the argument, with nothing sent.
TEST_P(PadCtlEndToEnd, NakSilenceAndRefusalEachHaveTheirOwnExit) {
    PadRig rig(GetParam(), m_temp.ports);
    rig.Engine().SetFault("DrawFrame", {engine::FaultKind::kNak, 0, -1});
    rig.Engine().SetFault("FillRectangle", {engine::FaultKind::kNak, 0, -1});
    rig.Engine().SetFault("DrawLine", {engine::FaultKind::kSilent, 0, -1});
    rig.Engine().SetFault("SetLedFlags", {engine::FaultKind::kSilent, 0, -1});
    rig.Engine().SetFault("ClearDisplay", {engine::FaultKind::kSilent, 0, -1});
    rig.Engine().SetFault("SendSigFile", {engine::FaultKind::kNak, 0, -1});
    const fs::path sig = m_temp.root / "one.sig";
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
        const RunResult r = rig.Run(c.command);
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
    ServiceForRig(PadRig& rig, Link link, const fs::path& ports)
        : m_factory({ports, [&rig] { return rig.Backend(); }, padlink::kDefaultUsbIds}),
          m_service(m_factory, padservice::test::ServiceRig::QuickOptions(),
                    tools::padd::HelperDecoder(VELLUMIX_PICTURE_HELPER),
                    padservice::test::ServiceRig::PortFolder(ports)) {
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
TEST_P(PadCtlEndToEnd, ThroughTheCaptureServiceTheSameCommandsSayTheSame) {
    PadRig rig(GetParam(), m_temp.ports);
    ServiceForRig service(rig, GetParam(), m_temp.ports);
    QImage picture(40, 40, QImage::Format_RGB32);
    picture.fill(Qt::blue);
    const fs::path picturePath = m_temp.root / "blue.png";
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
        RunResult runs[2];
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
        // The times differ from run to run; the ink may not.
        for (const RunResult& r : runs) {
            const auto ink = sigformats::DecodeInkml(
                std::span(reinterpret_cast<const std::uint8_t*>(r.out.data()), r.out.size()));
            ASSERT_TRUE(ink.Ok()) << ink.Error().message;
            EXPECT_EQ(ink.Value().points, signature);
        }
    }

    // What the service cannot lend: a command it does not offer, and a pad
    // another client holds.
    const RunResult fill = rig.Run({"fill", "0", "0", "10", "10"}, true, service.Bus());
    EXPECT_EQ(fill.status, padctl::kExitUsage);
    EXPECT_NE(fill.err.find("not offered through the capture service"), std::string::npos);
    padservice::ServiceClient other(service.Bus());
    const std::vector<std::string> pads = other.PadPaths();
    ASSERT_EQ(pads.size(), 1u);
    other.Claim(pads.front());
    const RunResult busy = rig.Run({"probe"}, true, service.Bus());
    EXPECT_EQ(busy.status, padctl::kExitNoPad);
    EXPECT_NE(busy.err.find("claimed by " + other.UniqueName()), std::string::npos) << busy.err;
}

INSTANTIATE_TEST_SUITE_P(Links, PadCtlEndToEnd, ::testing::Values(Link::kSerial, Link::kUsb),
                         [](const auto& info) {
                             return info.param == Link::kSerial ? std::string("Serial")
                                                                : std::string("Usb");
                         });

class PadCtlFaults : public ::testing::Test {
protected:
    TempFolder m_temp;
};

// A byte lost now and then costs the report it hit; no report comes out
// bent into a point that was not written.
TEST_F(PadCtlFaults, DroppedPenBytesLosePointsButNeverBendThemOrHang) {
    hosts::SerialHostOptions faulty;
    faulty.dropEveryNthPenByte = 23;
    PadRig rig(Link::kSerial, m_temp.ports, faulty);
    const Points signature = testsupport::MakeSignature("Bo", 3, 150);
    rig.StartReplay(signature);
    const RunResult r = rig.Run({"capture", "--seconds", "1"});
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

// A pad lost mid-capture, the pen down, ends the JSON Lines stream with a
// lift and then an error object (no summary) and exit 1; the points before
// it are all there. The same through the capture service.
TEST_F(PadCtlFaults, APadLostDuringAJsonLinesCaptureEndsTheStrokeAndTheStreamWithAnError) {
    for (const bool throughService : {false, true}) {
        SCOPED_TRACE(throughService ? "through the capture service" : "on padctl's own link");
        hosts::SerialHostOptions faulty;
        faulty.unplugAfter = 1000ms;
        PadRig rig(Link::kSerial, m_temp.ports, faulty);
        std::unique_ptr<ServiceForRig> service;
        if (throughService) {
            service = std::make_unique<ServiceForRig>(rig, Link::kSerial, m_temp.ports);
        }
        // One stroke that is still being written when the cable comes out.
        Points stroke;
        for (int i = 0; i < 4000; ++i) {
            stroke.push_back({100 + (i / 8) % 800, 400 + (i % 8)});
        }
        rig.StartReplay(stroke);
        const RunResult r = rig.Run({"capture", "--format", "jsonl", "--seconds", "20"}, true,
                                    service ? service->Bus() : std::string());
        rig.StopReplay();
        EXPECT_EQ(r.status, padctl::kExitFailed);
        EXPECT_NE(r.err.find("lost the pad during capture"), std::string::npos) << r.err;
        EXPECT_LT(r.took, 10s);
        const std::vector<QJsonObject> objects = JsonLines(r.out);
        ASSERT_GE(objects.size(), 3u);
        EXPECT_EQ(objects.back()["error"].toString(), "lost the pad during capture");
        for (std::size_t i = 0; i + 2 < objects.size(); ++i) {
            EXPECT_EQ(objects[i]["pen"].toString(), "down") << i;
        }
        EXPECT_EQ(objects[objects.size() - 2]["pen"].toString(), "up");
    }
}

// A pad lost mid-capture still leaves its ink as an InkML document, which
// says itself that it was cut short: not only the exit status does.
TEST_F(PadCtlFaults, APadLostDuringAnInkmlCaptureSaysSoInTheDocument) {
    hosts::SerialHostOptions faulty;
    faulty.unplugAfter = 1500ms;
    PadRig rig(Link::kSerial, m_temp.ports, faulty);
    const Points signature = testsupport::MakeSignature("Jo", 5, 150);
    rig.StartReplay(signature);
    const RunResult r = rig.Run({"capture", "--format", "inkml", "--seconds", "20"});
    rig.StopReplay();
    EXPECT_EQ(r.status, padctl::kExitFailed);
    EXPECT_LT(r.took, 10s);
    EXPECT_NE(r.out.find(sigformats::inkml::kCutShortText), std::string::npos) << r.out;
    const sigfiles::DecodeResult decoded = sigfiles::DecodeAs(
        sigfiles::FileKind::kInkml,
        std::span(reinterpret_cast<const std::uint8_t*>(r.out.data()), r.out.size()));
    ASSERT_TRUE(decoded.error.empty()) << decoded.error;
    EXPECT_EQ(decoded.points.front(), signature.front());
}

TEST_F(PadCtlFaults, SearchesThePortsWhenNoLinkIsGivenAndRefusesBadInputFirst) {
    PadRig rig(Link::kSerial, m_temp.ports);
    const RunResult found = rig.Run({"probe"}, false);
    EXPECT_EQ(found.status, padctl::kExitOk) << found.err;
    EXPECT_EQ(found.out, "Pad found on COM1\n");

    // Checked before the pad is touched: nothing reaches it.
    rig.Engine().TakeTrace();
    const std::vector<std::vector<std::string>> bad = {
        {"fill", "0", "0", "320", "10"}, {"line", "0", "0", "10"},
        {"colour", "all", "nocolour"},   {"send-sig", "x.bmp"},
        {"image", "/nonexistent"},       {"bogus"},
        {"capture", "--seconds", "0"},   {"font", "1,2,3"},
        {"capture", "--format", "csv"},  {"capture", "--fromat", "jsonl"},
        {"capture", "--format"},
    };
    for (const auto& args : bad) {
        std::vector<std::string> command{"clear"};
        command.insert(command.end(), args.begin(), args.end());
        const RunResult r = rig.Run(command);
        EXPECT_EQ(r.status, padctl::kExitUsage) << args[0];
        EXPECT_NE(r.err.find("vellumix-padctl: "), std::string::npos);
    }
    EXPECT_TRUE(rig.Engine().TakeTrace().empty());
}

// Files send-sig and image must not trust, each refused with its reason
// before the pad is touched, and a FIFO refused at once, not waited on.
TEST_F(PadCtlFaults, RefusesHostileFilesBeforeThePadIsTouched) {
    PadRig rig(Link::kSerial, m_temp.ports);
    const std::filesystem::path dir = m_temp.root;
    ASSERT_EQ(::mkfifo((dir / "pipe.sig").c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo((dir / "pipe.png").c_str(), 0600), 0);
    std::filesystem::create_directory(dir / "folder.cmp");
    { std::ofstream huge(dir / "huge.cmp"); }
    std::filesystem::resize_file(dir / "huge.cmp", sigfiles::kMaxInputBytes + 1);
    const auto sig =
        sigfiles::EncodeAs(sigfiles::FileKind::kSig, testsupport::MakeSignature("Cut", 2));
    ASSERT_TRUE(sigfiles::WriteFileReplacing(dir / "cut.sig",
                                             std::span(sig.bytes).first(sig.bytes.size() / 2 + 1))
                    .error.empty());
    const struct {
        std::vector<std::string> args;
        const char* why;
    } cases[] = {
        {{"send-sig", (dir / "pipe.sig").string()}, "FIFO"},
        {{"send-sig", (dir / "folder.cmp").string()}, "directory"},
        {{"send-sig", (dir / "huge.cmp").string()}, "too large"},
        {{"send-sig", (dir / "cut.sig").string()}, "not a valid .sig"},
        {{"image", (dir / "pipe.png").string()}, "FIFO"},
        {{"image", "/dev/zero"}, "device"},
    };
    rig.Engine().TakeTrace();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args[1]);
        const RunResult r = rig.Run(c.args);
        EXPECT_EQ(r.status, padctl::kExitUsage);
        EXPECT_NE(r.err.find(c.why), std::string::npos) << r.err;
    }
    EXPECT_TRUE(rig.Engine().TakeTrace().empty());
}

}  // namespace
}  // namespace vellumix::padsim
