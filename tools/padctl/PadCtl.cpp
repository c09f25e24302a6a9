#include "padctl/PadCtl.h"

#include <QColor>
#include <QString>
#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <functional>
#include <optional>
#include <thread>

#include <vellumix/Version.h>

#include "capture/PenReport.h"
#include "capture/PenStreamDecoder.h"
#include "capture/PointTimes.h"
#include "capture/ReportClock.h"
#include "cli/UsageError.h"
#include "padlink/CommandPayloads.h"
#include "padlink/FontPresets.h"
#include "padlink/Frame.h"
#include "padlink/HidPort.h"
#include "padlink/PadCommandChannel.h"
#include "padlink/PadLink.h"
#include "padlink/PadProbe.h"
#include "padlink/SerialPort.h"
#include "padlink/SerialSettings.h"
#include "padlink/hid/HidapiBackend.h"
#include "padpicture/LcdPicture.h"
#include "sigfiles/FileAccess.h"
#include "sigfiles/FileKind.h"
#include "sigfiles/PadFiles.h"
#include "sigfiles/SignatureFiles.h"

namespace vellumix::tools {

namespace {

namespace pl = padlink;
using Clock = std::chrono::steady_clock;

using pl::FontBytes;
constexpr int kByteMax = 255;

constexpr std::string_view kOptPort = "--port";
constexpr std::string_view kOptUsb = "--usb";
constexpr std::string_view kOptHelp = "--help";
constexpr std::string_view kOptHelpShort = "-h";
constexpr std::string_view kOptVersion = "--version";
// What a near-miss option or command is matched against.
constexpr std::array<std::string_view, 4> kOptions = {kOptPort, kOptUsb, kOptHelp, kOptVersion};
constexpr std::array<std::string_view, 13> kCommands = {
    "probe", "clear", "fill", "frame", "line",     "text",   "colour",
    "color", "font",  "leds", "image", "send-sig", "capture"};
constexpr std::string_view kOptSeconds = "--seconds";
constexpr std::string_view kOptFormat = "--format";
constexpr std::array<std::string_view, 2> kCaptureOptions = {kOptSeconds, kOptFormat};
constexpr std::array<std::string_view, 3> kCaptureFormats = {"txt", "jsonl", "inkml"};
constexpr std::string_view kUsbName = "USB";

template <typename... Args>
std::string Format(const char* format, Args... args) {
    const int n = std::snprintf(nullptr, 0, format, args...);
    std::string text(static_cast<std::size_t>(std::max(n, 0)), '\0');
    std::snprintf(text.data(), text.size() + 1, format, args...);
    return text;
}

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

// One connected pad and the console's output: what every command runs
// against.
struct Session {
    pl::PadCommandChannel& channel;
    std::string linkName;
    std::ostream& out;
    const std::atomic<bool>* interrupt;
};

using Step = std::function<std::optional<Failure>(Session&)>;

std::optional<Failure> Fail(std::string text, int status = kExitFailed) {
    return Failure{status, std::move(text)};
}

enum class Want { kAck, kAnswer };

// NAK, silence and a lost pad fail every command; an ACK-tested one also
// fails on any other answer. `argument` names what the channel refused.
std::optional<Failure> Checked(pl::CommandResult r, std::string_view what, Want want,
                               std::string_view argument = {}) {
    const std::string name(what);
    switch (r.outcome) {
        case pl::PadOutcome::kAcknowledged:
            return std::nullopt;
        case pl::PadOutcome::kSent:
            if (want == Want::kAnswer) {
                return std::nullopt;
            }
            return Fail(Format(msg::kNotAcknowledged, name.c_str()));
        case pl::PadOutcome::kNotAcknowledged:
            return Fail(Format(msg::kRefusedByPad, name.c_str()));
        case pl::PadOutcome::kNoAnswer:
            return Fail(Format(msg::kNoAnswer, name.c_str()));
        case pl::PadOutcome::kRefused:
            return Fail(Format(msg::kRefusedArgument, name.c_str(), std::string(argument).c_str()),
                        kExitUsage);
        case pl::PadOutcome::kLinkDown:
            break;
    }
    return Fail(Format(msg::kLinkDown, name.c_str()));
}

std::optional<Failure> Acked(pl::CommandResult r, std::string_view what,
                             std::string_view argument = {}) {
    return Checked(r, what, Want::kAck, argument);
}

std::optional<Failure> Answered(pl::CommandResult r, std::string_view what,
                                std::string_view argument = {}) {
    return Checked(r, what, Want::kAnswer, argument);
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
std::string Millis(capture::PointTime us) {
    return Format("%lld.%03lld", static_cast<long long>(us / 1000),
                  static_cast<long long>(us % 1000));
}

// The one place the console writes InkML. Times are in microseconds since
// the capture started.
std::optional<Failure> WriteInkml(std::ostream& out,
                                  std::span<const capture::SignaturePoint> points,
                                  std::span<const capture::PointTime> times,
                                  sigformats::CaptureEnd end = sigformats::CaptureEnd::kComplete) {
    const sigfiles::EncodeResult ink = sigfiles::EncodeInkml(points, times, end);
    if (!ink.error.empty()) {
        return Fail(Format(msg::kCannotWriteInkml, ink.error.c_str()));
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

    void Batch(std::span<const capture::SignaturePoint> points,
               std::span<const capture::PointTime> times) {
        if (m_format == CaptureFormat::kInkml) {
            m_points.insert(m_points.end(), points.begin(), points.end());
            m_times.insert(m_times.end(), times.begin(), times.end());
            return;
        }
        for (std::size_t i = 0; i < points.size(); ++i) {
            const capture::SignaturePoint p = points[i];
            const bool up = capture::IsPenUp(p);
            if (m_format == CaptureFormat::kTxt) {
                if (up) {
                    m_out << sigfiles::kTxtPenUp << '\n';
                } else {
                    m_out << p.x << ' ' << p.y << '\n';
                }
                continue;
            }
            if (up) {
                m_out << Format(jsonl::kUp, Millis(times[i]).c_str());
            } else {
                m_out << Format(jsonl::kDown, Millis(times[i]).c_str(), p.x, p.y);
                ++m_downPoints;
                m_strokes += m_inStroke ? 0 : 1;
            }
            m_inStroke = !up;
        }
        m_out.flush();
    }

    // The capture ended as asked, `duration` after it started.
    std::optional<Failure> Finish(capture::PointTime duration) {
        if (m_format == CaptureFormat::kJsonl) {
            m_out << Format(jsonl::kSummary, m_downPoints, m_strokes, Millis(duration).c_str());
        } else if (m_format == CaptureFormat::kInkml) {
            return WriteInkml(m_out, m_points, m_times);
        }
        return std::nullopt;
    }

    // The pad went away: the ink so far is still written, so none is lost,
    // and a JSON Lines reader sees why the stream ends.
    void Lost(const char* why) {
        if (m_format == CaptureFormat::kJsonl) {
            m_out << Format(jsonl::kError, why);
        } else if (m_format == CaptureFormat::kInkml) {
            (void)WriteInkml(m_out, m_points, m_times, sigformats::CaptureEnd::kCutShort);
        }
    }

private:
    std::ostream& m_out;
    CaptureFormat m_format;
    std::vector<capture::SignaturePoint> m_points;  // inkml: all of them
    capture::PointTimes m_times;
    std::size_t m_downPoints = 0;
    std::size_t m_strokes = 0;
    bool m_inStroke = false;
};

std::optional<Failure> Capture(Session& s, int seconds, CaptureFormat format) {
    const capture::PointTime start = capture::ToPointTime(Clock::now());
    s.channel.StartCapture();
    const auto deadline = Clock::now() + std::chrono::seconds(seconds);
    capture::PenStreamDecoder decoder;
    // A USB pad sends one report per HID transfer, so only a serial batch is
    // spread over its reports' time on the line.
    capture::ReportClock clock(s.channel.Link().WireTime(capture::kPenReportSize));
    CaptureWriter writer(s.out, format);
    std::vector<std::uint8_t> buffer(pl::kReplyCapacity);
    std::vector<capture::SignaturePoint> points;
    capture::PointTimes times;
    // One read's points to the writer: bytes decoded, a quiet line settling
    // what the decoder held back, or a lost link ending the open stroke with
    // a lift (so every format shows the stroke ended where the pad went).
    const auto take = [&](int n, capture::PointTime readTime) {
        points.clear();
        times.clear();
        decoder.DecodeRead(n, buffer, readTime, clock, points, times);
        for (capture::PointTime& t : times) {
            // A report stamped before the start (one the pad had queued
            // before it was told to capture) counts as arriving at it.
            t = std::max<capture::PointTime>(t - start, 0);
        }
        writer.Batch(points, times);
    };
    while (Clock::now() < deadline && !(s.interrupt != nullptr && s.interrupt->load())) {
        const int n = s.channel.ReadPenData(buffer, static_cast<int>(pl::kPenReadWait.count()));
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
    s.channel.StopCapture();
    return writer.Finish(capture::ToPointTime(Clock::now()) - start);
}

std::optional<Failure> SendSignatureFile(Session& s, sigfiles::FileKind kind,
                                         const sigfiles::Bytes& bytes) {
    // The file was checked against the pad's limits when it was read.
    const sigfiles::PadFileSend sent = sigfiles::SendToPad(s.channel, kind, bytes);
    return Answered(sent.answer, sent.command);
}

class Parser {
public:
    Parser(std::span<const std::string> args) : m_args(args) {}

    // Steps for every command, or the usage failure of the first bad one.
    std::optional<Failure> Parse(std::vector<Step>& steps) {
        while (m_next < m_args.size()) {
            const std::string name = Lower(m_args[m_next++]);
            auto failure = ParseOne(name, steps);
            if (failure) {
                return failure;
            }
        }
        if (steps.empty()) {
            return Fail(msg::kNoCommand, kExitUsage);
        }
        return std::nullopt;
    }

private:
    bool Take(std::string_view command, int count, std::vector<std::string>& values,
              std::optional<Failure>& failure) {
        if (m_next + static_cast<std::size_t>(count) > m_args.size()) {
            failure = Fail(Format(msg::kMissingArgument, std::string(command).c_str(), count),
                           kExitUsage);
            return false;
        }
        values.assign(m_args.begin() + static_cast<std::ptrdiff_t>(m_next),
                      m_args.begin() + static_cast<std::ptrdiff_t>(m_next) + count);
        m_next += static_cast<std::size_t>(count);
        return true;
    }

    bool Numbers(std::string_view command, int count, std::array<int, 4>& v,
                 std::optional<Failure>& failure) {
        std::vector<std::string> values;
        if (!Take(command, count, values, failure)) {
            return false;
        }
        for (int i = 0; i < count; ++i) {
            const auto n = ParseInt(values[static_cast<std::size_t>(i)]);
            if (!n) {
                failure = Fail(Format(msg::kNotANumber, std::string(command).c_str(),
                                      values[static_cast<std::size_t>(i)].c_str()),
                               kExitUsage);
                return false;
            }
            v[static_cast<std::size_t>(i)] = *n;
        }
        return true;
    }

    std::optional<Failure> ParseOne(const std::string& name, std::vector<Step>& steps);

    std::span<const std::string> m_args;
    std::size_t m_next = 0;
};

std::optional<Failure> Parser::ParseOne(const std::string& name, std::vector<Step>& steps) {
    std::optional<Failure> failure;
    std::array<int, 4> v{};
    std::vector<std::string> values;
    if (name == "probe") {
        steps.push_back([](Session& s) -> std::optional<Failure> {
            if (s.linkName == kUsbName) {
                s.out << msg::kFoundUsb;
            } else {
                s.out << Format(msg::kFoundSerial, s.linkName.c_str());
            }
            return std::nullopt;
        });
    } else if (name == "clear") {
        steps.push_back(
            [](Session& s) { return Answered(s.channel.ClearDisplay(), "ClearDisplay"); });
    } else if (name == "fill" || name == "frame") {
        if (!Numbers(name, 4, v, failure)) {
            return failure;
        }
        if (!RectOnLcd(v[0], v[1], v[2], v[3])) {
            return Fail(Format(msg::kOutOfRange, name.c_str()), kExitUsage);
        }
        const bool fill = name == "fill";
        steps.push_back([v, fill, name](Session& s) -> std::optional<Failure> {
            const std::string rect = name + " " + Joined(v);
            if (fill) {
                return Answered(s.channel.FillRectangle(v[0], v[1], v[2], v[3]), "FillRectangle",
                                rect);
            }
            return Acked(s.channel.DrawFrame(v[0], v[1], v[2], v[3]), "DrawFrame", rect);
        });
    } else if (name == "line") {
        if (!Numbers(name, 4, v, failure)) {
            return failure;
        }
        if (!PointOnLcd(v[0], v[1]) || !PointOnLcd(v[2], v[3])) {
            return Fail(Format(msg::kOutOfRange, name.c_str()), kExitUsage);
        }
        steps.push_back([v](Session& s) {
            return Acked(s.channel.DrawLine(v[0], v[1], v[2], v[3]), "DrawLine",
                         "line " + Joined(v));
        });
    } else if (name == "text") {
        if (!Numbers(name, 2, v, failure) || !Take(name, 1, values, failure)) {
            return failure;
        }
        if (!PointOnLcd(v[0], v[1])) {
            return Fail(Format(msg::kOutOfRange, name.c_str()), kExitUsage);
        }
        if (values[0].empty()) {
            return Fail(msg::kEmptyText, kExitUsage);
        }
        if (values[0].size() > pl::kMaxTextBytes) {
            return Fail(Format(msg::kTextTooLong, pl::kMaxTextBytes), kExitUsage);
        }
        const std::string text = values[0];
        steps.push_back([v, text](Session& s) {
            return Acked(SendDrawText(s.channel, v[0], v[1], text), "DrawText",
                         "text " + Joined(std::span(v).first(2)));
        });
    } else if (name == "colour" || name == "color") {
        if (!Take(name, 2, values, failure)) {
            return failure;
        }
        const std::string target = Lower(values[0]);
        if (target != "fill" && target != "text" && target != "line" && target != "all") {
            return Fail(Format(msg::kBadColourTarget, values[0].c_str()), kExitUsage);
        }
        const auto colour = ParseColour(values[1]);
        if (!colour) {
            return Fail(Format(msg::kBadColour, values[1].c_str()), kExitUsage);
        }
        const pl::ColorRef c = *colour;
        steps.push_back([c, target](Session& s) -> std::optional<Failure> {
            const bool all = target == "all";
            if (all || target == "fill") {
                if (auto f = Acked(s.channel.SetFillColor(c), "SetFillColor")) {
                    return f;
                }
            }
            if (all || target == "text") {
                if (auto f = Acked(s.channel.SetTextColor(c), "SetTextColor")) {
                    return f;
                }
            }
            if (all || target == "line") {
                return Acked(s.channel.SetLineColor(c), "SetLineColor");
            }
            return std::nullopt;
        });
    } else if (name == "font") {
        if (!Take(name, 1, values, failure)) {
            return failure;
        }
        const auto font = ParseFont(values[0]);
        if (!font) {
            return Fail(Format(msg::kBadFont, values[0].c_str()), kExitUsage);
        }
        const FontBytes b = *font;
        steps.push_back([b](Session& s) {
            return Acked(s.channel.SetFont(b[0], b[1], b[2], b[3], b[4], b[5]), "SetFont");
        });
    } else if (name == "leds") {
        if (!Take(name, 1, values, failure)) {
            return failure;
        }
        const std::string what = Lower(values[0]);
        if (what == "on" || what == "off") {
            const bool on = what == "on";
            steps.push_back(
                [on](Session& s) { return Acked(s.channel.SetLedState(on), "SetLedState"); });
        } else if (what == "green" || what == "red") {
            // The Display page's LED cycle: 0x44 lights the green LED, 0x66
            // the red one.
            const bool red = what == "red";
            steps.push_back([red](Session& s) {
                return Answered(s.channel.SetLedFlags(true, red, false, true, red, false),
                                "SetLedFlags");
            });
        } else {
            return Fail(Format(msg::kBadLeds, values[0].c_str()), kExitUsage);
        }
    } else if (name == "image") {
        if (!Take(name, 1, values, failure)) {
            return failure;
        }
        // Read now, so a bad file stops the run before the pad is touched.
        padpicture::PadPixelsResult picture = padpicture::LoadPadPixels(values[0]);
        if (!picture.error.empty()) {
            return Fail(Format(msg::kCannotReadPicture, values[0].c_str(), picture.error.c_str()),
                        kExitUsage);
        }
        auto shared = std::make_shared<const std::vector<std::uint8_t>>(std::move(picture.pixels));
        steps.push_back([shared](Session& s) {
            return Acked(s.channel.DisplayImage(*shared), "DisplayImage");
        });
    } else if (name == "send-sig") {
        if (!Take(name, 1, values, failure)) {
            return failure;
        }
        const std::filesystem::path path = values[0];
        const auto kind = sigfiles::KindFromPath(path);
        if (!kind || !sigfiles::PadCommandFor(*kind)) {
            return Fail(Format(msg::kUnknownSigKind, values[0].c_str()), kExitUsage);
        }
        // Read and checked now, so a bad file stops the run before the pad
        // is touched.
        sigfiles::ReadResult file = sigfiles::ReadWholeFile(path);
        if (!file.error.empty()) {
            return Fail(Format(msg::kBadSigFile, values[0].c_str(), file.error.c_str()),
                        kExitUsage);
        }
        if (sigfiles::CheckForPad(*kind, file.bytes.size()) == sigfiles::PadFileCheck::kTooLarge) {
            return Fail(
                Format(msg::kSigTooLarge, values[0].c_str(), file.bytes.size(), pl::kMaxFileBytes),
                kExitUsage);
        }
        // The pad draws what it decodes; a file that does not decode here
        // would only be refused there, after a "sent" that says nothing.
        const sigfiles::DecodeResult decoded = sigfiles::DecodeAs(*kind, file.bytes);
        if (!decoded.error.empty()) {
            return Fail(Format(msg::kBadSigFile, values[0].c_str(), decoded.error.c_str()),
                        kExitUsage);
        }
        auto shared = std::make_shared<const sigfiles::Bytes>(std::move(file.bytes));
        const sigfiles::FileKind k = *kind;
        steps.push_back([shared, k](Session& s) { return SendSignatureFile(s, k, *shared); });
    } else if (name == "capture") {
        int seconds = kDefaultCaptureSeconds;
        CaptureFormat format = CaptureFormat::kTxt;
        while (m_next < m_args.size() && m_args[m_next].starts_with("--")) {
            const std::string opt = m_args[m_next++];
            if (opt == kOptSeconds) {
                if (!Numbers(kOptSeconds, 1, v, failure)) {
                    return failure;
                }
                if (v[0] < 1 || v[0] > kMaxCaptureSeconds) {
                    return Fail(msg::kBadSeconds, kExitUsage);
                }
                seconds = v[0];
            } else if (opt == kOptFormat) {
                if (!Take(kOptFormat, 1, values, failure)) {
                    return failure;
                }
                const std::string wanted = Lower(values[0]);
                const auto at = std::find(kCaptureFormats.begin(), kCaptureFormats.end(), wanted);
                if (at == kCaptureFormats.end()) {
                    return Fail(cli::WithSuggestion(Format(msg::kBadFormat, values[0].c_str()),
                                                    cli::NearMiss(wanted, kCaptureFormats)),
                                kExitUsage);
                }
                format = static_cast<CaptureFormat>(at - kCaptureFormats.begin());
            } else {
                return Fail(cli::WithSuggestion(Format(msg::kUnknownCaptureOption, opt.c_str()),
                                                cli::NearMiss(opt, kCaptureOptions)),
                            kExitUsage);
            }
        }
        steps.push_back([seconds, format](Session& s) { return Capture(s, seconds, format); });
    } else {
        return Fail(cli::WithSuggestion(Format(msg::kUnknownCommand, name.c_str()),
                                        cli::NearMiss(name, kCommands)),
                    kExitUsage);
    }
    return std::nullopt;
}

// "COM3" (any case) -> its default port string; "/dev/..." -> the path with
// the default settings.
std::optional<std::string> PortSpecFor(std::string_view port) {
    const std::string lower = Lower(port);
    const std::string prefix = Lower(pl::kComPortPrefix);
    if (lower.size() == prefix.size() + 1 && lower.starts_with(prefix) &&
        std::isdigit(static_cast<unsigned char>(lower.back())) != 0) {
        return pl::DefaultPortSpec(lower.back() - '0');
    }
    if (port.starts_with('/')) {
        return std::string(port) + std::string(pl::kDefaultPortSettings);
    }
    return std::nullopt;
}

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

    std::optional<std::string> port;
    bool usb = false;
    std::size_t first = 0;
    while (first < args.size() && (args[first].starts_with("--") || args[first] == kOptHelpShort)) {
        const std::string& opt = args[first];
        if (opt == kOptHelp || opt == kOptHelpShort) {
            out << msg::kUsage;
            return kExitOk;
        }
        if (opt == kOptVersion) {
            out << msg::kProgramName << ' ' << VELLUMIX_VERSION << '\n';
            return kExitOk;
        }
        if (opt == kOptUsb) {
            usb = true;
            ++first;
        } else if (opt == kOptPort) {
            if (first + 1 >= args.size()) {
                return report({kExitUsage, msg::kPortNeedsValue});
            }
            port = args[first + 1];
            first += 2;
        } else {
            return report({kExitUsage, cli::WithSuggestion(Format(msg::kUnknownOption, opt.c_str()),
                                                           cli::NearMiss(opt, kOptions))});
        }
    }
    if (usb && port) {
        return report({kExitUsage, msg::kTwoLinks});
    }
    std::optional<std::string> portSpec;
    if (port) {
        portSpec = PortSpecFor(*port);
        if (!portSpec) {
            return report({kExitUsage, msg::kBadPort});
        }
    }
    std::vector<Step> steps;
    if (auto f = Parser(args.subspan(first)).Parse(steps)) {
        return report(*f);
    }

    if (!env.hidBackend && (usb || !port)) {
        pl::HidapiBackend::Initialise();
        env.hidBackend = std::make_unique<pl::HidapiBackend>();
    }
    pl::PadLink link(
        std::make_unique<pl::SerialPort>(
            env.portFolder.empty() ? pl::DefaultPortFolder() : env.portFolder, env.devicePrefixes),
        std::make_unique<pl::HidPort>(env.hidBackend ? std::move(env.hidBackend)
                                                     : std::make_unique<pl::HidapiBackend>()));

    std::string linkName;
    if (port) {
        pl::DiscoveryOptions options;
        options.tryUsb = false;
        options.portSpec = *portSpec;
        const pl::DiscoveryResult found = pl::DiscoverPad(link, options);
        if (found.link == pl::PadLinkKind::kNone) {
            std::string text = Format(msg::kNoPadOnPort, port->c_str());
            if (found.openFailure != pl::OpenFailure::kNone) {
                text += Format(msg::kBecause, found.openFailureReason.c_str());
            }
            return report({kExitNoPad, text});
        }
        linkName = *port;
    } else if (usb) {
        pl::DiscoveryOptions options;
        options.trySerial = false;
        const pl::DiscoveryResult found = pl::DiscoverPad(link, options);
        if (found.link == pl::PadLinkKind::kNone) {
            std::string text = msg::kNoPadOnUsb;
            if (found.usbFailure != pl::OpenFailure::kNone) {
                text += Format(msg::kBecause, found.usbFailureReason.c_str());
            }
            return report({kExitNoPad, text});
        }
        linkName = kUsbName;
    } else {
        pl::DiscoveryOptions options;
        options.portPause = env.portPause;
        const pl::DiscoveryResult found = pl::DiscoverPad(link, options);
        if (found.link == pl::PadLinkKind::kNone) {
            std::string text = msg::kNoPad;
            if (found.usbFailure != pl::OpenFailure::kNone) {
                text += Format(msg::kBecause, found.usbFailureReason.c_str());
            } else if (found.openFailure != pl::OpenFailure::kNone) {
                text += Format(msg::kBecause, found.openFailureReason.c_str());
            }
            return report({kExitNoPad, text});
        }
        linkName = found.link == pl::PadLinkKind::kUsb
                       ? std::string(kUsbName)
                       : std::string(pl::kComPortPrefix) + std::to_string(found.comNumber);
    }

    pl::PadCommandChannel channel(link);
    Session session{channel, linkName, out, env.interrupt};
    for (const Step& step : steps) {
        if (auto f = step(session)) {
            out.flush();
            return report(*f);
        }
    }
    out.flush();
    return kExitOk;
}

}  // namespace vellumix::tools
