#include "padctl/PadCtl.h"

#include <QColor>
#include <QString>
#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <functional>
#include <map>
#include <optional>
#include <thread>
#include <variant>

#include <vellumix/Version.h>

#include "capture/PenReport.h"
#include "capture/PenStreamDecoder.h"
#include "capture/ReportClock.h"
#include "cli/Printf.h"
#include "cli/UsageError.h"
#include "padctl/ServicePad.h"
#include "padlink/CommandFailure.h"
#include "padlink/CommandPayloads.h"
#include "padlink/FontPresets.h"
#include "padlink/Frame.h"
#include "padlink/HidPort.h"
#include "padlink/LedWords.h"
#include "padlink/PadCandidates.h"
#include "padlink/PadCommandChannel.h"
#include "padlink/PadLink.h"
#include "padlink/PadLinkOpen.h"
#include "padlink/PadProbe.h"
#include "padlink/PadUsbIds.h"
#include "padlink/SerialPort.h"
#include "padlink/SerialSettings.h"
#include "padlink/hid/HidapiBackend.h"
#include "padpicture/LcdPicture.h"
#include "sigfiles/FileAccess.h"
#include "sigfiles/FileKind.h"
#include "sigfiles/PadFiles.h"
#include "sigfiles/SignatureFiles.h"
#include "sigformats/PointTimes.h"

namespace vellumix::tools::padctl {

namespace {

namespace pl = padlink;
using Clock = std::chrono::steady_clock;

using pl::FontBytes;
constexpr int kByteMax = 255;

constexpr std::string_view kOptPort = "--port";
constexpr std::string_view kOptUsb = "--usb";
constexpr std::string_view kOptUsbId = "--usb-id";
constexpr std::string_view kOptUsbPath = "--usb-path";
constexpr std::string_view kOptHelp = "--help";
constexpr std::string_view kOptHelpShort = "-h";
constexpr std::string_view kOptVersion = "--version";
constexpr std::string_view kOptService = "--service";
// What a near-miss option or command is matched against.
constexpr std::array<std::string_view, 7> kOptions = {
    kOptPort, kOptUsb, kOptUsbId, kOptUsbPath, kOptService, kOptHelp, kOptVersion};
constexpr std::string_view kOptProbe = "--probe";
constexpr std::string_view kOptSeconds = "--seconds";
constexpr std::string_view kOptFormat = "--format";
constexpr std::array<std::string_view, 3> kCaptureFormats = {"txt", "jsonl", "inkml"};
constexpr std::string_view kUsbName = "USB";

std::string Lower(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

std::optional<int> ParseInt(std::string_view text) {
    int value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

// A name Qt knows ("red", "white"), #RRGGBB, or R,G,B with each part 0..255.
std::optional<pl::ColorRef> ParseColour(std::string_view text) {
    if (std::count(text.begin(), text.end(), ',') == 2) {
        std::array<int, 3> rgb{};
        std::size_t start = 0;
        for (int& part : rgb) {
            const std::size_t comma = std::min(text.find(',', start), text.size());
            const auto v = ParseInt(text.substr(start, comma - start));
            if (!v || *v < 0 || *v > kByteMax) {
                return std::nullopt;
            }
            part = *v;
            start = comma + 1;
        }
        return pl::MakeColorRef(static_cast<std::uint8_t>(rgb[0]),
                                static_cast<std::uint8_t>(rgb[1]),
                                static_cast<std::uint8_t>(rgb[2]));
    }
    const QColor c(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
    if (!c.isValid()) {
        return std::nullopt;
    }
    return pl::MakeColorRef(static_cast<std::uint8_t>(c.red()),
                            static_cast<std::uint8_t>(c.green()),
                            static_cast<std::uint8_t>(c.blue()));
}

std::optional<FontBytes> ParseFont(std::string_view text) {
    for (const pl::FontPreset& p : pl::kFontPresets) {
        if (Lower(text) == p.name) {
            return p.bytes;
        }
    }
    FontBytes bytes{};
    std::size_t start = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const std::size_t comma = std::min(text.find(',', start), text.size());
        if (start > text.size()) {
            return std::nullopt;
        }
        const auto v = ParseInt(text.substr(start, comma - start));
        if (!v || *v < 0 || *v > kByteMax || (i + 1 == bytes.size()) != (comma == text.size())) {
            return std::nullopt;
        }
        bytes[i] = *v;
        start = comma + 1;
    }
    return bytes;
}

struct Failure {
    int status = kExitFailed;
    std::string text;
};

// Where the console looks for pads: the environment's folders and roots, the
// run's HID backend and the USB ids chosen.
struct Where {
    std::filesystem::path portFolder;
    std::vector<std::string> devicePrefixes;
    std::filesystem::path devRoot;
    pl::SystemRoots roots;
    pl::HidBackend& hid;
    pl::UsbIds ids;
    std::chrono::milliseconds portPause;
};

// The console's output, where pads are and, once a command needs it, the
// connected pad: what every command runs against. The pad is the console's
// own channel or, with --service, the one the capture service lent it.
struct Session {
    std::ostream& out;
    const std::atomic<bool>* interrupt;
    const Where& where;
    pl::PadCommandChannel* channel = nullptr;  // set before a pad command runs
    ServicePad* service = nullptr;             // or this, with --service
    std::string linkName{};

    bool Connected() const { return channel != nullptr || service != nullptr; }
};

// Lends the run's HID backend to a pad's link, so that list can still use it.
class LentHidBackend final : public pl::HidBackend {
public:
    explicit LentHidBackend(pl::HidBackend& backend) : m_backend(backend) {}
    std::vector<pl::HidDeviceInfo> Enumerate(std::uint16_t vendorId,
                                             std::uint16_t productId) override {
        return m_backend.Enumerate(vendorId, productId);
    }
    std::vector<pl::HidDeviceInfo> EnumerateAll() override { return m_backend.EnumerateAll(); }
    pl::HidOpenResult Open(const pl::HidDeviceInfo& info) override { return m_backend.Open(info); }

private:
    pl::HidBackend& m_backend;
};

pl::PadLinkOptions LinkOptions(const Where& w, pl::PortChoice choice = pl::PortChoice::kNamed) {
    pl::PadLinkOptions options;
    options.portFolder = w.portFolder;
    options.devicePrefixes = w.devicePrefixes;
    options.roots = w.roots;
    options.hidBackend = std::make_unique<LentHidBackend>(w.hid);
    options.portChoice = choice;
    return options;
}

using Step = std::function<std::optional<Failure>(Session&)>;

std::optional<Failure> Fail(std::string text, int status = kExitFailed) {
    return Failure{status, std::move(text)};
}

// NAK, silence and a lost pad fail every command; an ACK-tested one also
// fails on any other answer. `argument` names what the channel refused.
std::optional<Failure> Checked(pl::CommandResult r, std::string_view what, pl::Expect want,
                               std::string_view argument = {}) {
    if (r.outcome == pl::PadOutcome::kRefused) {
        return Fail(cli::Printf(msg::kRefusedArgument, std::string(what).c_str(),
                                std::string(argument).c_str()),
                    kExitUsage);
    }
    if (pl::CommandSucceeded(r.outcome, want)) {
        return std::nullopt;
    }
    return Fail(pl::CommandFailureText(r.outcome, what, want));
}

std::optional<Failure> Acked(pl::CommandResult r, std::string_view what,
                             std::string_view argument = {}) {
    return Checked(r, what, pl::Expect::kAck, argument);
}

std::optional<Failure> Answered(pl::CommandResult r, std::string_view what,
                                std::string_view argument = {}) {
    return Checked(r, what, pl::Expect::kAnswer, argument);
}

std::optional<Failure> FromService(std::optional<ServiceFailure> f) {
    if (!f) {
        return std::nullopt;
    }
    return Fail(std::move(f->text), f->status);
}

std::string Joined(std::span<const int> values) {
    std::string text;
    for (const int v : values) {
        if (!text.empty()) {
            text += ' ';
        }
        text += std::to_string(v);
    }
    return text;
}

bool RectOnLcd(int x, int y, int w, int h) {
    return x >= 0 && y >= 0 && x + w <= pl::kLcdMaxX && y + h <= pl::kLcdMaxY;
}
bool PointOnLcd(int x, int y) {
    return x >= 0 && x <= pl::kLcdMaxX && y >= 0 && y <= pl::kLcdMaxY;
}

// DrawText is no channel operation (the app sends it only while looking for
// the pad), so the console frames it itself; nothing else uses the link
// while a console command runs.
pl::CommandResult SendDrawText(pl::PadCommandChannel& channel, int x, int y,
                               std::string_view text) {
    return channel.DrawText(x, y, text);
}

enum class CaptureFormat { kTxt, kJsonl, kInkml };

// "12.302": microseconds as milliseconds, exact.
std::string Millis(sigformats::PointTime us) {
    return cli::Printf("%lld.%03lld", static_cast<long long>(us / 1000),
                       static_cast<long long>(us % 1000));
}

// The one place the console writes InkML. Times are in microseconds since
// the capture started.
std::optional<Failure> WriteInkml(std::ostream& out,
                                  std::span<const sigformats::SignaturePoint> points,
                                  std::span<const sigformats::PointTime> times,
                                  sigformats::CaptureEnd end = sigformats::CaptureEnd::kComplete) {
    const sigfiles::EncodeResult ink = sigfiles::EncodeInkml(points, times, end);
    if (!ink.error.empty()) {
        return Fail(cli::Printf(msg::kCannotWriteInkml, ink.error.c_str()));
    }
    out.write(reinterpret_cast<const char*>(ink.bytes.data()),
              static_cast<std::streamsize>(ink.bytes.size()));
    return std::nullopt;
}

// What a capture prints in its format: txt and jsonl each batch as it comes
// (flushed, so a script sees the pen at once), inkml the whole at the end.
// Times are microseconds since the capture started.
class CaptureWriter {
public:
    CaptureWriter(std::ostream& out, CaptureFormat format) : m_out(out), m_format(format) {}

    void Batch(std::span<const sigformats::SignaturePoint> points,
               std::span<const sigformats::PointTime> times) {
        if (m_format == CaptureFormat::kInkml) {
            m_points.insert(m_points.end(), points.begin(), points.end());
            m_times.insert(m_times.end(), times.begin(), times.end());
            return;
        }
        for (std::size_t i = 0; i < points.size(); ++i) {
            const sigformats::SignaturePoint p = points[i];
            const bool up = sigformats::IsPenUp(p);
            if (m_format == CaptureFormat::kTxt) {
                if (up) {
                    m_out << sigfiles::kTxtPenUp << '\n';
                } else {
                    m_out << p.x << ' ' << p.y << '\n';
                }
                continue;
            }
            if (up) {
                m_out << cli::Printf(jsonl::kUp, Millis(times[i]).c_str());
            } else {
                m_out << cli::Printf(jsonl::kDown, Millis(times[i]).c_str(), p.x, p.y);
                ++m_downPoints;
                m_strokes += m_inStroke ? 0 : 1;
            }
            m_inStroke = !up;
        }
        m_out.flush();
    }

    // The capture ended as asked, `duration` after it started.
    std::optional<Failure> Finish(sigformats::PointTime duration) {
        if (m_format == CaptureFormat::kJsonl) {
            m_out << cli::Printf(jsonl::kSummary, m_downPoints, m_strokes,
                                 Millis(duration).c_str());
        } else if (m_format == CaptureFormat::kInkml) {
            return WriteInkml(m_out, m_points, m_times);
        }
        return std::nullopt;
    }

    // The pad went away: the ink so far is still written, so none is lost,
    // and a JSON Lines reader sees why the stream ends.
    void Lost(const char* why) {
        if (m_format == CaptureFormat::kJsonl) {
            m_out << cli::Printf(jsonl::kError, why);
        } else if (m_format == CaptureFormat::kInkml) {
            (void)WriteInkml(m_out, m_points, m_times, sigformats::CaptureEnd::kCutShort);
        }
    }

private:
    std::ostream& m_out;
    CaptureFormat m_format;
    std::vector<sigformats::SignaturePoint> m_points;  // inkml: all of them
    sigformats::PointTimes m_times;
    std::size_t m_downPoints = 0;
    std::size_t m_strokes = 0;
    bool m_inStroke = false;
};

std::optional<Failure> Capture(Session& s, int seconds, CaptureFormat format) {
    const sigformats::PointTime start = capture::ToPointTime(Clock::now());
    s.channel->StartCapture();
    const auto deadline = Clock::now() + std::chrono::seconds(seconds);
    capture::PenStreamDecoder decoder;
    // A USB pad sends one report per HID transfer, so only a serial batch is
    // spread over its reports' time on the line.
    capture::ReportClock clock(s.channel->Link().WireTime(capture::kPenReportSize));
    CaptureWriter writer(s.out, format);
    std::vector<std::uint8_t> buffer(pl::kReplyCapacity);
    std::vector<sigformats::SignaturePoint> points;
    sigformats::PointTimes times;
    // One read's points to the writer: bytes decoded, a quiet line settling
    // what the decoder held back, or a lost link ending the open stroke with
    // a lift (so every format shows the stroke ended where the pad went).
    const auto take = [&](int n, sigformats::PointTime readTime) {
        points.clear();
        times.clear();
        decoder.DecodeRead(n, buffer, readTime, clock, points, times);
        for (sigformats::PointTime& t : times) {
            // A report stamped before the start (one the pad had queued
            // before it was told to capture) counts as arriving at it.
            t = std::max<sigformats::PointTime>(t - start, 0);
        }
        writer.Batch(points, times);
    };
    while (Clock::now() < deadline && !(s.interrupt != nullptr && s.interrupt->load())) {
        const int n = s.channel->ReadPenData(buffer, static_cast<int>(pl::kPenReadWait.count()));
        take(n, capture::ToPointTime(Clock::now()));
        // A serial port whose other side went away fails every read; a USB
        // pad that went away leaves the HID port closed.
        if (n < 0) {
            writer.Lost(msg::kLinkLost);
            return Fail(msg::kLinkLost);
        }
        if (n == 0) {
            std::this_thread::sleep_for(kEmptyReadPause);
        }
    }
    // No read follows: what the decoder held for support is settled now.
    take(0, capture::ToPointTime(Clock::now()));
    s.channel->StopCapture();
    return writer.Finish(capture::ToPointTime(Clock::now()) - start);
}

// The capture built from the service's Points, as from the pen stream.
std::optional<Failure> CaptureThroughService(Session& s, int seconds, CaptureFormat format) {
    CaptureWriter writer(s.out, format);
    bool lost = false;
    sigformats::PointTime duration = 0;
    auto failure = s.service->Capture(
        seconds, s.interrupt,
        [&](std::span<const sigformats::SignaturePoint> points,
            std::span<const sigformats::PointTime> times) { writer.Batch(points, times); },
        lost, duration);
    if (lost) {
        writer.Lost(msg::kLinkLost);
        return Fail(msg::kLinkLost);
    }
    if (failure) {
        return FromService(std::move(failure));
    }
    return writer.Finish(duration);
}

std::optional<Failure> SendSignatureFile(Session& s, sigfiles::FileKind kind,
                                         const sigfiles::Bytes& bytes) {
    // The file was checked against the pad's limits when it was read.
    const sigfiles::PadFileSend sent = sigfiles::SendToPad(*s.channel, kind, bytes);
    return Answered(sent.answer, sent.command);
}

// ---- The commands: one row each of name, arguments and action ----

// The arguments as the command line gave them, taken by the row's counts.
struct Taken {
    std::string name;  // the command, lower-cased
    std::array<int, 4> numbers{};
    std::vector<std::string> words;
    // Each "--" option given, with its value (empty for a flag); a later one
    // wins.
    std::map<std::string_view, std::string> options;
};

// A command's "--" options after its arguments; check, when set, judges the
// value as soon as it is taken.
struct OptionSpec {
    enum class Kind { kFlag, kNumber, kWord };
    std::string_view name;
    Kind kind;
    std::optional<Failure> (*check)(const std::string& value) = nullptr;
};

// What a command adds to the run.
struct Planned {
    bool needsPad;
    Step step;
};
using Action = std::optional<Failure> (*)(const Taken& args, std::vector<Step>& steps);

struct CommandSpec {
    std::string_view name;
    int numbers;  // whole numbers first (at most 4)
    int words;    // then words
    std::span<const OptionSpec> options;
    bool needsPad;
    Action action;  // checks the arguments further and plans the steps
    // With --service: plans the command's steps through the capture service
    // instead, once action has checked the arguments. Null: the service
    // does not offer the command, and --service refuses it before anything
    // is touched.
    Action throughService = nullptr;
};

std::optional<Failure> UsageFailure(std::string text) {
    return Fail(std::move(text), kExitUsage);
}

std::optional<Failure> Probe(const Taken&, std::vector<Step>& steps) {
    steps.push_back([](Session& s) -> std::optional<Failure> {
        if (s.linkName == kUsbName) {
            s.out << msg::kFoundUsb;
        } else {
            s.out << cli::Printf(msg::kFoundSerial, s.linkName.c_str());
        }
        return std::nullopt;
    });
    return std::nullopt;
}

std::optional<Failure> Clear(const Taken&, std::vector<Step>& steps) {
    steps.push_back([](Session& s) { return Answered(s.channel->ClearDisplay(), "ClearDisplay"); });
    return std::nullopt;
}

std::optional<Failure> Rectangle(const Taken& a, std::vector<Step>& steps) {
    const std::array<int, 4> v = a.numbers;
    if (!RectOnLcd(v[0], v[1], v[2], v[3])) {
        return UsageFailure(cli::Printf(msg::kOutOfRange, a.name.c_str()));
    }
    const std::string rect = a.name + " " + Joined(v);
    if (a.name == "fill") {
        steps.push_back([v, rect](Session& s) {
            return Answered(s.channel->FillRectangle(v[0], v[1], v[2], v[3]), "FillRectangle",
                            rect);
        });
    } else {
        steps.push_back([v, rect](Session& s) {
            return Acked(s.channel->DrawFrame(v[0], v[1], v[2], v[3]), "DrawFrame", rect);
        });
    }
    return std::nullopt;
}

std::optional<Failure> Line(const Taken& a, std::vector<Step>& steps) {
    const std::array<int, 4> v = a.numbers;
    if (!PointOnLcd(v[0], v[1]) || !PointOnLcd(v[2], v[3])) {
        return UsageFailure(cli::Printf(msg::kOutOfRange, a.name.c_str()));
    }
    steps.push_back([v](Session& s) {
        return Acked(s.channel->DrawLine(v[0], v[1], v[2], v[3]), "DrawLine", "line " + Joined(v));
    });
    return std::nullopt;
}

std::optional<Failure> Text(const Taken& a, std::vector<Step>& steps) {
    const std::array<int, 4> v = a.numbers;
    const std::string& text = a.words[0];
    if (!PointOnLcd(v[0], v[1])) {
        return UsageFailure(cli::Printf(msg::kOutOfRange, a.name.c_str()));
    }
    if (text.empty()) {
        return UsageFailure(msg::kEmptyText);
    }
    if (text.size() > pl::kMaxTextBytes) {
        return UsageFailure(cli::Printf(msg::kTextTooLong, pl::kMaxTextBytes));
    }
    steps.push_back([v, text](Session& s) {
        return Acked(SendDrawText(*s.channel, v[0], v[1], text), "DrawText",
                     "text " + Joined(std::span(v).first(2)));
    });
    return std::nullopt;
}

std::optional<Failure> Colour(const Taken& a, std::vector<Step>& steps) {
    const std::string target = Lower(a.words[0]);
    if (target != "fill" && target != "text" && target != "line" && target != "all") {
        return UsageFailure(cli::Printf(msg::kBadColourTarget, a.words[0].c_str()));
    }
    const auto colour = ParseColour(a.words[1]);
    if (!colour) {
        return UsageFailure(cli::Printf(msg::kBadColour, a.words[1].c_str()));
    }
    const pl::ColorRef c = *colour;
    steps.push_back([c, target](Session& s) -> std::optional<Failure> {
        const bool all = target == "all";
        if (all || target == "fill") {
            if (auto f = Acked(s.channel->SetFillColor(c), "SetFillColor")) {
                return f;
            }
        }
        if (all || target == "text") {
            if (auto f = Acked(s.channel->SetTextColor(c), "SetTextColor")) {
                return f;
            }
        }
        if (all || target == "line") {
            return Acked(s.channel->SetLineColor(c), "SetLineColor");
        }
        return std::nullopt;
    });
    return std::nullopt;
}

std::optional<Failure> Font(const Taken& a, std::vector<Step>& steps) {
    const auto font = ParseFont(a.words[0]);
    if (!font) {
        return UsageFailure(cli::Printf(msg::kBadFont, a.words[0].c_str()));
    }
    const FontBytes b = *font;
    steps.push_back([b](Session& s) {
        return Acked(s.channel->SetFont(b[0], b[1], b[2], b[3], b[4], b[5]), "SetFont");
    });
    return std::nullopt;
}

std::optional<Failure> Leds(const Taken& a, std::vector<Step>& steps) {
    const std::optional<pl::LedWord> word = pl::ParseLedWord(a.words[0]);
    if (!word) {
        return UsageFailure(cli::Printf(msg::kBadLeds, a.words[0].c_str()));
    }
    steps.push_back([w = *word](Session& s) {
        const pl::LedCommand sent = pl::SetLeds(*s.channel, w);
        return Checked(sent.result, sent.command, sent.expect);
    });
    return std::nullopt;
}

std::optional<Failure> Image(const Taken& a, std::vector<Step>& steps) {
    // Read now, so a bad file stops the run before the pad is touched.
    padpicture::PadPixelsResult picture = padpicture::LoadPadPixels(a.words[0]);
    if (!picture.error.empty()) {
        return UsageFailure(
            cli::Printf(msg::kCannotReadPicture, a.words[0].c_str(), picture.error.c_str()));
    }
    auto shared = std::make_shared<const std::vector<std::uint8_t>>(std::move(picture.pixels));
    steps.push_back(
        [shared](Session& s) { return Acked(s.channel->DisplayImage(*shared), "DisplayImage"); });
    return std::nullopt;
}

std::optional<Failure> SendSig(const Taken& a, std::vector<Step>& steps) {
    const std::string& name = a.words[0];
    const std::filesystem::path path = name;
    const auto kind = sigfiles::KindFromPath(path);
    if (!kind || !sigfiles::PadCommandFor(*kind)) {
        return UsageFailure(cli::Printf(msg::kUnknownSigKind, name.c_str()));
    }
    // Read and checked now, so a bad file stops the run before the pad is
    // touched.
    sigfiles::ReadResult file = sigfiles::ReadWholeFile(path);
    if (!file.error.empty()) {
        return UsageFailure(cli::Printf(msg::kBadSigFile, name.c_str(), file.error.c_str()));
    }
    if (sigfiles::CheckForPad(*kind, file.bytes.size()) == sigfiles::PadFileCheck::kTooLarge) {
        return UsageFailure(
            cli::Printf(msg::kSigTooLarge, name.c_str(), file.bytes.size(), pl::kMaxFileBytes));
    }
    // The pad draws what it decodes; a file that does not decode here would
    // only be refused there, after a "sent" that says nothing.
    const sigfiles::DecodeResult decoded = sigfiles::DecodeAs(*kind, file.bytes);
    if (!decoded.error.empty()) {
        return UsageFailure(cli::Printf(msg::kBadSigFile, name.c_str(), decoded.error.c_str()));
    }
    auto shared = std::make_shared<const sigfiles::Bytes>(std::move(file.bytes));
    const sigfiles::FileKind k = *kind;
    steps.push_back([shared, k](Session& s) { return SendSignatureFile(s, k, *shared); });
    return std::nullopt;
}

std::optional<Failure> CheckSeconds(const std::string& value) {
    const int seconds = *ParseInt(value);
    if (seconds < 1 || seconds > kMaxCaptureSeconds) {
        return UsageFailure(msg::kBadSeconds);
    }
    return std::nullopt;
}

std::optional<Failure> CheckFormat(const std::string& value) {
    const std::string wanted = Lower(value);
    if (std::find(kCaptureFormats.begin(), kCaptureFormats.end(), wanted) ==
        kCaptureFormats.end()) {
        return UsageFailure(cli::WithSuggestion(cli::Printf(msg::kBadFormat, value.c_str()),
                                                cli::NearMiss(wanted, kCaptureFormats)));
    }
    return std::nullopt;
}

// capture's options, checked when they were taken.
std::pair<int, CaptureFormat> CaptureRequest(const Taken& a) {
    int seconds = kDefaultCaptureSeconds;
    CaptureFormat format = CaptureFormat::kTxt;
    if (const auto it = a.options.find(kOptSeconds); it != a.options.end()) {
        seconds = *ParseInt(it->second);
    }
    if (const auto it = a.options.find(kOptFormat); it != a.options.end()) {
        const auto at =
            std::find(kCaptureFormats.begin(), kCaptureFormats.end(), Lower(it->second));
        format = static_cast<CaptureFormat>(at - kCaptureFormats.begin());
    }
    return {seconds, format};
}

std::optional<Failure> CaptureCommand(const Taken& a, std::vector<Step>& steps) {
    const auto [seconds, format] = CaptureRequest(a);
    steps.push_back([seconds, format](Session& s) { return Capture(s, seconds, format); });
    return std::nullopt;
}

// ---- The same commands through the capture service (--service) ----

std::optional<Failure> ServiceClear(const Taken&, std::vector<Step>& steps) {
    steps.push_back([](Session& s) { return FromService(s.service->Clear()); });
    return std::nullopt;
}

std::optional<Failure> ServiceText(const Taken& a, std::vector<Step>& steps) {
    steps.push_back([v = a.numbers, text = a.words[0]](Session& s) {
        return FromService(s.service->ShowText(v[0], v[1], text));
    });
    return std::nullopt;
}

std::optional<Failure> ServiceLeds(const Taken& a, std::vector<Step>& steps) {
    steps.push_back([w = *pl::ParseLedWord(a.words[0])](Session& s) {
        return FromService(s.service->SetLeds(w));
    });
    return std::nullopt;
}

std::optional<Failure> ServiceImage(const Taken& a, std::vector<Step>& steps) {
    // The service is handed the file itself and makes the same pixels of it.
    steps.push_back(
        [path = a.words[0]](Session& s) { return FromService(s.service->ShowImage(path)); });
    return std::nullopt;
}

std::optional<Failure> ServiceCapture(const Taken& a, std::vector<Step>& steps) {
    const auto [seconds, format] = CaptureRequest(a);
    steps.push_back(
        [seconds, format](Session& s) { return CaptureThroughService(s, seconds, format); });
    return std::nullopt;
}

// What probing one listed device found, in the listing's words.
std::string Verdict(const pl::OpenedPadLink& opened) {
    if (opened.link) {
        return msg::kListAnswered;
    }
    return opened.failure == pl::OpenFailure::kNone ? msg::kListSilent : opened.reason;
}

// The listing, each line followed by its probe's verdict when asked for.
// A device reached by several names is probed once.
class Listing {
public:
    Listing(Session& s, bool probe) : m_s(s), m_probe(probe) {}

    void Print() {
        const pl::PadCandidateList list =
            pl::ListPadCandidates(&m_s.where.hid, m_s.where.portFolder, m_s.where.devRoot);
        m_s.out << msg::kListHid;
        for (const pl::HidDeviceInfo& d : list.hid) {
            const pl::UsbIds ids{d.vendorId, d.productId};
            m_s.out << cli::Printf(msg::kListHidLine, pl::FormatUsbIds(ids).c_str(), d.path.c_str(),
                                   d.product.c_str());
            if (m_probe) {
                Say(ids == m_s.where.ids
                        ? Verdict(
                              pl::OpenPadLink(pl::UsbPathCandidate(d.path), LinkOptions(m_s.where)))
                        : cli::Printf(msg::kListOtherIds, pl::FormatUsbIds(m_s.where.ids).c_str()));
            }
            m_s.out << '\n';
        }
        None(list.hid.empty());
        m_s.out << cli::Printf(msg::kListComLinks, m_s.where.portFolder.c_str());
        for (const pl::SerialEntry& e : list.comLinks) {
            m_s.out << cli::Printf(msg::kListLinkLine, e.name.c_str(), e.target.c_str());
            if (!e.followed) {
                m_s.out << msg::kListNotFollowed;
            }
            Serial(e);
        }
        None(list.comLinks.empty());
        m_s.out << cli::Printf(msg::kListById, (m_s.where.devRoot / pl::kSerialByIdFolder).c_str());
        for (const pl::SerialEntry& e : list.byId) {
            m_s.out << cli::Printf(msg::kListLinkLine,
                                   std::filesystem::path(e.name).filename().c_str(),
                                   e.target.c_str());
            Serial(e);
        }
        None(list.byId.empty());
        m_s.out << msg::kListDevices;
        for (const pl::SerialEntry& e : list.devices) {
            m_s.out << cli::Printf(msg::kListDeviceLine, e.name.c_str());
            Serial(e);
        }
        None(list.devices.empty());
    }

private:
    void Say(const std::string& verdict) {
        m_s.out << cli::Printf(msg::kListVerdict, verdict.c_str());
    }
    void None(bool empty) {
        if (empty) {
            m_s.out << msg::kListNone;
        }
    }
    void Serial(const pl::SerialEntry& e) {
        if (m_probe && e.followed) {
            auto known = m_verdicts.find(e.target);
            if (known == m_verdicts.end()) {
                // Only the COMn link itself (no system device behind the
                // name), and as a scan: the console is never written to.
                pl::PadLinkOptions options = LinkOptions(m_s.where, pl::PortChoice::kScanned);
                options.devicePrefixes = {};
                known = m_verdicts
                            .emplace(e.target,
                                     Verdict(pl::OpenPadLink(e.Candidate(), std::move(options))))
                            .first;
            }
            Say(known->second);
        }
        m_s.out << '\n';
    }

    Session& m_s;
    bool m_probe;
    std::map<std::filesystem::path, std::string> m_verdicts;
};

std::optional<Failure> List(const Taken& a, std::vector<Step>& steps) {
    const bool probe = a.options.contains(kOptProbe);
    steps.push_back([probe](Session& s) -> std::optional<Failure> {
        Listing(s, probe).Print();
        return std::nullopt;
    });
    return std::nullopt;
}

std::optional<Failure> UdevRule(const Taken& a, std::vector<Step>& steps) {
    const auto ids = pl::ParseUsbIds(a.words[0]);
    if (!ids) {
        return UsageFailure(pl::BadUsbIdsText("udev-rule", a.words[0]));
    }
    const std::string text = pl::FormatUsbIds(*ids);
    const std::string vendor = text.substr(0, text.find(':'));
    const std::string product = text.substr(text.find(':') + 1);
    steps.push_back([=](Session& s) -> std::optional<Failure> {
        s.out << cli::Printf(msg::kUdevRule, text.c_str(), text.c_str(), vendor.c_str(),
                             product.c_str());
        return std::nullopt;
    });
    return std::nullopt;
}

using Kind = OptionSpec::Kind;
constexpr OptionSpec kCaptureOptionSpecs[] = {{kOptSeconds, Kind::kNumber, CheckSeconds},
                                              {kOptFormat, Kind::kWord, CheckFormat}};
constexpr OptionSpec kListOptionSpecs[] = {{kOptProbe, Kind::kFlag}};

// The commands, in the order --help lists them; colour is also color. The
// last column is the command through the capture service, where it offers
// it (msg::kNotThroughService lists them).
constexpr CommandSpec kCommandTable[] = {
    {"probe", 0, 0, {}, true, Probe, Probe},
    {"clear", 0, 0, {}, true, Clear, ServiceClear},
    {"fill", 4, 0, {}, true, Rectangle},
    {"frame", 4, 0, {}, true, Rectangle},
    {"line", 4, 0, {}, true, Line},
    {"text", 2, 1, {}, true, Text, ServiceText},
    {"colour", 0, 2, {}, true, Colour},
    {"color", 0, 2, {}, true, Colour},
    {"font", 0, 1, {}, true, Font},
    {"leds", 0, 1, {}, true, Leds, ServiceLeds},
    {"image", 0, 1, {}, true, Image, ServiceImage},
    {"send-sig", 0, 1, {}, true, SendSig},
    {"capture", 0, 0, kCaptureOptionSpecs, true, CaptureCommand, ServiceCapture},
    {"list", 0, 0, kListOptionSpecs, false, List},
    {"udev-rule", 0, 1, {}, false, UdevRule},
};

constexpr auto kCommandNames = [] {
    std::array<std::string_view, std::size(kCommandTable)> names{};
    for (std::size_t i = 0; i < names.size(); ++i) {
        names[i] = kCommandTable[i].name;
    }
    return names;
}();

// Takes the commands off the command line, checking each fully before the
// pad is touched; with service, planned through the capture service.
class CommandParser {
public:
    CommandParser(std::span<const std::string> args, bool service)
        : m_args(args), m_service(service) {}

    std::optional<Failure> Parse(std::vector<Planned>& plan) {
        while (m_next < m_args.size()) {
            Taken taken;
            taken.name = Lower(m_args[m_next++]);
            const auto row =
                std::find_if(std::begin(kCommandTable), std::end(kCommandTable),
                             [&](const CommandSpec& c) { return c.name == taken.name; });
            if (row == std::end(kCommandTable)) {
                return UsageFailure(
                    cli::WithSuggestion(cli::Printf(msg::kUnknownCommand, taken.name.c_str()),
                                        cli::NearMiss(taken.name, kCommandNames)));
            }
            if (m_service && row->throughService == nullptr) {
                return UsageFailure(cli::Printf(msg::kNotThroughService, taken.name.c_str()));
            }
            std::vector<Step> steps;
            if (auto f = TakeArguments(*row, taken)) {
                return f;
            }
            if (auto f = row->action(taken, steps)) {
                return f;
            }
            if (m_service) {
                steps.clear();
                if (auto f = row->throughService(taken, steps)) {
                    return f;
                }
            }
            for (Step& step : steps) {
                plan.push_back({row->needsPad, std::move(step)});
            }
        }
        if (plan.empty()) {
            return UsageFailure(msg::kNoCommand);
        }
        return std::nullopt;
    }

private:
    std::optional<Failure> TakeArguments(const CommandSpec& row, Taken& taken) {
        std::vector<std::string> numbers;
        if (auto f = Take(taken.name, row.numbers, numbers)) {
            return f;
        }
        for (std::size_t i = 0; i < numbers.size(); ++i) {
            if (auto f = ParseNumber(taken.name, numbers[i], taken.numbers[i])) {
                return f;
            }
        }
        if (auto f = Take(taken.name, row.words, taken.words)) {
            return f;
        }
        while (!row.options.empty() && m_next < m_args.size() && m_args[m_next].starts_with("--")) {
            if (auto f = TakeOption(row, taken)) {
                return f;
            }
        }
        return std::nullopt;
    }

    std::optional<Failure> TakeOption(const CommandSpec& row, Taken& taken) {
        const std::string& given = m_args[m_next++];
        const auto option = std::find_if(row.options.begin(), row.options.end(),
                                         [&](const OptionSpec& o) { return o.name == given; });
        if (option == row.options.end()) {
            std::vector<std::string_view> names;
            for (const OptionSpec& o : row.options) {
                names.push_back(o.name);
            }
            return UsageFailure(cli::WithSuggestion(
                cli::Printf(msg::kUnknownCommandOption, taken.name.c_str(), given.c_str()),
                cli::NearMiss(given, names)));
        }
        std::vector<std::string> value(1);
        if (option->kind != Kind::kFlag) {
            if (auto f = Take(option->name, 1, value)) {
                return f;
            }
            int number = 0;
            if (option->kind == Kind::kNumber) {
                if (auto f = ParseNumber(option->name, value[0], number)) {
                    return f;
                }
            }
            if (option->check != nullptr) {
                if (auto f = option->check(value[0])) {
                    return f;
                }
            }
        }
        taken.options[option->name] = value[0];
        return std::nullopt;
    }

    // The next count words, or the usage failure naming what needs them.
    std::optional<Failure> Take(std::string_view what, int count, std::vector<std::string>& out) {
        if (m_next + static_cast<std::size_t>(count) > m_args.size()) {
            return UsageFailure(
                cli::Printf(msg::kMissingArgument, std::string(what).c_str(), count));
        }
        out.assign(m_args.begin() + static_cast<std::ptrdiff_t>(m_next),
                   m_args.begin() + static_cast<std::ptrdiff_t>(m_next) + count);
        m_next += static_cast<std::size_t>(count);
        return std::nullopt;
    }

    static std::optional<Failure> ParseNumber(std::string_view what, const std::string& text,
                                              int& number) {
        const auto n = ParseInt(text);
        if (!n) {
            return UsageFailure(
                cli::Printf(msg::kNotANumber, std::string(what).c_str(), text.c_str()));
        }
        number = *n;
        return std::nullopt;
    }

    std::span<const std::string> m_args;
    bool m_service;
    std::size_t m_next = 0;
};

// ---- The console's own options, and the pad they lead to ----

struct LinkChoice {
    std::optional<std::string> port;  // --port, as given
    bool usb = false;
    std::optional<std::string> usbPath;
    std::optional<std::string> usbId;
    bool service = false;  // --service: a pad the capture service lends
};

struct GlobalOption {
    std::string_view name;
    const char* needsValue;  // the text when its value is missing; null: a flag
    void (*apply)(LinkChoice& choice, const std::string& value);
};

constexpr GlobalOption kGlobalOptions[] = {
    {kOptPort, msg::kPortNeedsValue, [](LinkChoice& c, const std::string& v) { c.port = v; }},
    {kOptUsb, nullptr, [](LinkChoice& c, const std::string&) { c.usb = true; }},
    {kOptService, nullptr, [](LinkChoice& c, const std::string&) { c.service = true; }},
    {kOptUsbId, msg::kUsbIdNeedsValue, [](LinkChoice& c, const std::string& v) { c.usbId = v; }},
    {kOptUsbPath, msg::kUsbPathNeedsValue,
     [](LinkChoice& c, const std::string& v) { c.usbPath = v; }},
};

// What the options before the first command asked for; Parse returns the
// exit status when they already end the run (help, version, a mistake).
class OptionParser {
public:
    OptionParser(std::span<const std::string> args, std::ostream& out) : m_args(args), m_out(out) {}

    std::optional<std::variant<int, Failure>> Parse(LinkChoice& link) {
        while (m_first < m_args.size() &&
               (m_args[m_first].starts_with("--") || m_args[m_first] == kOptHelpShort)) {
            const std::string& opt = m_args[m_first++];
            if (opt == kOptHelp || opt == kOptHelpShort) {
                m_out << msg::kUsage;
                return kExitOk;
            }
            if (opt == kOptVersion) {
                m_out << msg::kProgramName << ' ' << VELLUMIX_VERSION << '\n';
                return kExitOk;
            }
            const auto row = std::find_if(std::begin(kGlobalOptions), std::end(kGlobalOptions),
                                          [&](const GlobalOption& o) { return o.name == opt; });
            if (row == std::end(kGlobalOptions)) {
                return Failure{kExitUsage,
                               cli::WithSuggestion(cli::Printf(msg::kUnknownOption, opt.c_str()),
                                                   cli::NearMiss(opt, kOptions))};
            }
            std::string value;
            if (row->needsValue != nullptr) {
                if (m_first >= m_args.size()) {
                    return Failure{kExitUsage, row->needsValue};
                }
                value = m_args[m_first++];
            }
            row->apply(link, value);
        }
        return Check(link);
    }

    // The commands after the options.
    std::span<const std::string> Rest() const { return m_args.subspan(m_first); }

private:
    static std::optional<std::variant<int, Failure>> Check(const LinkChoice& link) {
        const int links = (link.port ? 1 : 0) + (link.usb ? 1 : 0) + (link.usbPath ? 1 : 0);
        if (links > 1) {
            return Failure{kExitUsage, link.usbPath ? msg::kOneLink : msg::kTwoLinks};
        }
        if (link.port && !pl::PortSpecForName(*link.port)) {
            return Failure{kExitUsage, msg::kBadPort};
        }
        if (link.usbId && !pl::ParseUsbIds(*link.usbId)) {
            return Failure{kExitUsage, pl::BadUsbIdsText(pl::kUsbIdOptionName, *link.usbId)};
        }
        if (link.usbId && link.service) {
            return Failure{kExitUsage, msg::kServiceUsbId};
        }
        return std::nullopt;
    }

    std::span<const std::string> m_args;
    std::ostream& m_out;
    std::size_t m_first = 0;
};

// The pad the options name, opened when the first command needs it: the
// port or the USB device given, or else the app's search, USB first. With
// --service, the first of the capture service's pads that they allow,
// claimed for the run.
class PadConnection {
public:
    PadConnection(const LinkChoice& choice, std::string busAddress)
        : m_choice(choice), m_busAddress(std::move(busAddress)) {}

    std::optional<Failure> Open(Session& s) {
        if (m_choice.service) {
            return Claim(s);
        }
        if (m_choice.port || m_choice.usb || m_choice.usbPath) {
            if (auto f = OpenNamed(s)) {
                return f;
            }
        } else if (auto f = Search(s)) {
            return f;
        }
        m_channel = std::make_unique<pl::PadCommandChannel>(*m_link);
        s.channel = m_channel.get();
        return std::nullopt;
    }

private:
    std::optional<Failure> Claim(Session& s) {
        ServiceFailure failure;
        // The service's Port is the HID device's path for a USB pad.
        const ServiceChoice wanted{m_choice.usb || m_choice.usbPath.has_value(),
                                   m_choice.port.value_or(m_choice.usbPath.value_or(""))};
        m_service = ServicePad::Claim(m_busAddress, wanted, failure);
        if (!m_service) {
            return Fail(failure.text, failure.status);
        }
        s.service = m_service.get();
        s.linkName = m_service->LinkName();
        return std::nullopt;
    }

    std::optional<Failure> OpenNamed(Session& s) {
        const Where& w = s.where;
        const pl::PadCandidate candidate = m_choice.port ? pl::SerialCandidate(*m_choice.port)
                                           : m_choice.usbPath
                                               ? pl::UsbPathCandidate(*m_choice.usbPath)
                                               : pl::UsbCandidate(w.ids);
        pl::OpenedPadLink opened = pl::OpenPadLink(candidate, LinkOptions(w));
        if (!opened.link) {
            std::string text = m_choice.usb
                                   ? cli::Printf(msg::kNoPadOnUsb, pl::FormatUsbIds(w.ids).c_str())
                                   : cli::Printf(msg::kNoPadOnPort, candidate.location.c_str());
            // A USB device with the ids that is not there at all is said by
            // the text alone, as before.
            const bool absent = m_choice.usb && opened.failure == pl::OpenFailure::kNoSuchPort;
            if (opened.failure != pl::OpenFailure::kNone && !absent) {
                text += cli::Printf(msg::kBecause, opened.reason.c_str());
            }
            return Fail(text, kExitNoPad);
        }
        m_link = std::move(opened.link);
        s.linkName = m_choice.port ? *m_choice.port : std::string(kUsbName);
        return std::nullopt;
    }

    std::optional<Failure> Search(Session& s) {
        const Where& w = s.where;
        m_link = std::make_unique<pl::PadLink>(
            std::make_unique<pl::SerialPort>(w.portFolder, w.devicePrefixes, w.roots),
            std::make_unique<pl::HidPort>(std::make_unique<LentHidBackend>(w.hid),
                                          pl::HidTarget{w.ids, {}}));
        pl::DiscoveryOptions options;
        options.portPause = w.portPause;
        const pl::DiscoveryResult found = pl::DiscoverPad(*m_link, options);
        if (found.link == pl::PadLinkKind::kNone) {
            std::string text = cli::Printf(msg::kNoPad, pl::FormatUsbIds(w.ids).c_str());
            if (found.usbFailure != pl::OpenFailure::kNone) {
                text += cli::Printf(msg::kBecause, found.usbFailureReason.c_str());
            } else if (found.openFailure != pl::OpenFailure::kNone) {
                text += cli::Printf(msg::kBecause, found.openFailureReason.c_str());
            }
            return Fail(text, kExitNoPad);
        }
        s.linkName = found.link == pl::PadLinkKind::kUsb
                         ? std::string(kUsbName)
                         : std::string(pl::kComPortPrefix) + std::to_string(found.comNumber);
        return std::nullopt;
    }

    const LinkChoice& m_choice;
    std::string m_busAddress;
    std::unique_ptr<pl::PadLink> m_link;
    std::unique_ptr<pl::PadCommandChannel> m_channel;
    std::unique_ptr<ServicePad> m_service;  // released when the run ends
};

}  // namespace

int RunPadCtl(std::span<const std::string> args, std::ostream& out, std::ostream& err,
              PadCtlEnvironment env) {
    const auto report = [&](const Failure& f) {
        if (f.status == kExitUsage) {
            err << cli::UsageLine(msg::kProgramName, f.text) << '\n';
        } else {
            err << msg::kProgram << f.text << '\n';
        }
        return f.status;
    };

    LinkChoice choice;
    OptionParser options(args, out);
    if (const auto ended = options.Parse(choice)) {
        if (const Failure* f = std::get_if<Failure>(&*ended)) {
            return report(*f);
        }
        return std::get<int>(*ended);
    }
    const pl::UsbIdChoice ids = pl::ChooseUsbIds(choice.usbId, env.usbIdVariable, std::nullopt);
    if (!ids.error.empty()) {
        return report({kExitUsage, ids.error});
    }
    std::vector<Planned> plan;
    if (auto f = CommandParser(options.Rest(), choice.service).Parse(plan)) {
        return report(*f);
    }

    const std::unique_ptr<pl::HidBackend> hid =
        env.hidBackend ? std::move(env.hidBackend) : std::make_unique<pl::hid::HidapiBackend>();
    const Where where{env.portFolder.empty() ? pl::DefaultPortFolder() : env.portFolder,
                      env.devicePrefixes,
                      env.devRoot,
                      env.roots,
                      *hid,
                      ids.ids,
                      env.portPause};
    Session session{.out = out, .interrupt = env.interrupt, .where = where};
    PadConnection pad(choice, env.busAddress);
    for (const Planned& planned : plan) {
        std::optional<Failure> f;
        if (planned.needsPad && !session.Connected()) {
            f = pad.Open(session);
        }
        if (!f) {
            f = planned.step(session);
        }
        if (f) {
            out.flush();
            return report(*f);
        }
    }
    out.flush();
    return kExitOk;
}

}  // namespace vellumix::tools::padctl
