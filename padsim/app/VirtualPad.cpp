#include "VirtualPad.h"

#include <QCommandLineParser>
#include <QImage>
#include <algorithm>

#include "cli/UsageError.h"
#include "engine/PadCommand.h"
#include "sigfiles/FileAccess.h"
#include "sigfiles/SignatureFiles.h"

namespace vellumix::padsim {

namespace {

using Clock = std::chrono::steady_clock;

// Option names, as typed after "--".
constexpr const char* kOptHeadless = "headless";
constexpr const char* kOptCom = "com";
constexpr const char* kOptPen = "pen";
constexpr const char* kOptPenRate = "pen-rate";
constexpr const char* kOptTrace = "trace";
constexpr const char* kOptScreenshot = "screenshot";
constexpr const char* kOptNak = "nak";
constexpr const char* kOptSilent = "silent";
constexpr const char* kOptDrop = "drop-byte-every";
constexpr const char* kOptUnplug = "unplug-after";
constexpr const char* kOptPenOnSignal = "pen-on-signal";
constexpr const char* kOptHoldBack = "hold-back";
constexpr const char* kOptLineRate = "line-rate";
constexpr const char* kOptAnswerDelay = "answer-delay";
constexpr const char* kOptLineSlower = "line-slower";
constexpr const char* kOptNoise = "noise";
constexpr char kListSeparator = ',';
constexpr char kDelaySeparator = '=';
constexpr char kNoiseSeparator = ':';
constexpr double kFullPercent = 100.0;
constexpr double kMillisecondsPerSecond = 1000.0;

std::filesystem::path ToPath(const QString& s) {
    return std::filesystem::path(s.toStdString());
}

// EVERY:LEN[:SEED]: nothing when a field is missing, not a whole number or
// out of range.
std::optional<PenNoiseOptions> ParseNoise(const QString& value) {
    const QStringList fields = value.split(kNoiseSeparator);
    if (fields.size() < 2 || fields.size() > 3) {
        return std::nullopt;
    }
    bool ok = true;
    PenNoiseOptions noise;
    noise.every = fields[0].toInt(&ok);
    if (!ok || noise.every < 1) {
        return std::nullopt;
    }
    noise.length = fields[1].toInt(&ok);
    if (!ok || noise.length < 1) {
        return std::nullopt;
    }
    if (fields.size() == 3) {
        noise.seed = fields[2].toUInt(&ok);
        if (!ok) {
            return std::nullopt;
        }
    }
    return noise;
}

}  // namespace

std::vector<std::string> KnownCommandNames() {
    std::vector<std::string> names;
    for (int k = 0; k <= static_cast<int>(CommandKind::kProbe); ++k) {
        PadCommand c;
        c.kind = static_cast<CommandKind>(k);
        names.emplace_back(CommandName(c));
    }
    // DrawText of one character goes by its own name.
    static constexpr std::uint8_t kOneChar[] = {'A'};
    PadCommand one;
    one.kind = CommandKind::kDrawText;
    one.data = kOneChar;
    names.emplace_back(CommandName(one));
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    return names;
}

std::optional<VirtualPadOptions> ParseVirtualPadOptions(const QStringList& arguments,
                                                        QString* error) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromUtf8(msg::kDescription));
    parser.addHelpOption();
    parser.addVersionOption();
    const QList<QCommandLineOption> options = {
        {kOptHeadless, "Run without a window."},
        {kOptCom, "Publish the pad as COM<n> (1..9; default: the first free).", "n"},
        {kOptPen, "Replay the signature in FILE (the converter's .txt form) once capture starts.",
         "FILE"},
        {kOptPenRate, "Replay at this many points per second (default 100).", "rate"},
        {kOptPenOnSignal, "Hold the replay until the program receives SIGUSR1."},
        {kOptTrace, "Write one line per frame received and sent to FILE.", "FILE"},
        {kOptScreenshot, "Save the LCD (the window when shown) to FILE on exit.", "FILE"},
        {kOptNak, "Refuse these commands (comma-separated names, e.g. DrawFrame,SetFont).", "CMDS"},
        {kOptSilent, "Carry out these commands but send no answer.", "CMDS"},
        {kOptDrop, "Lose every Nth byte of pen data on the line.", "N"},
        {kOptNoise,
         "Put LEN random bytes on the line after every EVERY-th pen report, from SEED "
         "(default 1).",
         "EVERY:LEN[:SEED]"},
        {kOptUnplug, "Pull the cable after S seconds.", "S"},
        {kOptHoldBack, "Hold pen data back MS milliseconds after each answer (default 80).", "MS"},
        {kOptLineRate, "Move bytes at 38400 baud (3,840 bytes/s) both ways, as a real line."},
        {kOptLineSlower,
         "Run the line PCT percent slower than 38400 baud, as a pad with its own clock "
         "(implies --line-rate).",
         "PCT"},
        {kOptAnswerDelay,
         "Answer MS milliseconds after each command, or NAME=MS for one command "
         "(comma-separated, e.g. 600 or DrawLine=600,SetFont=700).",
         "DELAYS"},
    };
    parser.addOptions(options);
    const auto fail = [&](const QString& text) -> std::optional<VirtualPadOptions> {
        if (error != nullptr) {
            *error = text;
        }
        return std::nullopt;
    };
    if (!parser.parse(arguments)) {
        const QStringList unknown = parser.unknownOptionNames();
        if (unknown.isEmpty()) {
            return fail(parser.errorText());
        }
        // QCommandLineParser names an unknown option without its dashes.
        const QString given = (unknown.first().size() == 1 ? "-" : "--") + unknown.first();
        std::vector<std::string> names = {"--help", "--version"};
        for (const QCommandLineOption& option : options) {
            names.push_back("--" + option.names().first().toStdString());
        }
        const std::vector<std::string_view> candidates(names.begin(), names.end());
        return fail(QString::fromStdString(
            cli::WithSuggestion(QString::fromUtf8(msg::kUnknownOption).arg(given).toStdString(),
                                cli::NearMiss(given.toStdString(), candidates))));
    }
    if (parser.isSet("help")) {
        parser.showHelp(kExitOk);
    }
    if (parser.isSet("version")) {
        parser.showVersion();
    }
    if (!parser.positionalArguments().isEmpty()) {
        return fail(
            QString::fromUtf8(msg::kUnexpectedArgument).arg(parser.positionalArguments().first()));
    }
    VirtualPadOptions o;
    o.headless = parser.isSet(kOptHeadless);
    o.penOnSignal = parser.isSet(kOptPenOnSignal);
    bool ok = true;
    if (parser.isSet(kOptCom)) {
        o.com = parser.value(kOptCom).toInt(&ok);
        if (!ok || o.com < kFirstPublishedCom || o.com > kLastPublishedCom) {
            return fail(msg::kBadCom);
        }
    }
    o.penFile = ToPath(parser.value(kOptPen));
    if (parser.isSet(kOptPenRate)) {
        o.penRate = parser.value(kOptPenRate).toDouble(&ok);
        if (!ok || !(o.penRate > 0)) {
            return fail(msg::kBadRate);
        }
    }
    o.traceFile = ToPath(parser.value(kOptTrace));
    o.screenshotFile = ToPath(parser.value(kOptScreenshot));
    const std::vector<std::string> known = KnownCommandNames();
    QStringList knownList;
    for (const auto& k : known) {
        knownList << QString::fromStdString(k);
    }
    for (const auto& [option, list] : {std::pair{kOptNak, &o.nak}, {kOptSilent, &o.silent}}) {
        for (const QString& name : parser.value(option).split(kListSeparator, Qt::SkipEmptyParts)) {
            const std::string n = name.trimmed().toStdString();
            if (std::find(known.begin(), known.end(), n) == known.end()) {
                return fail(QString::fromUtf8(msg::kUnknownFaultCommand)
                                .arg(name, knownList.join(kListSeparator)));
            }
            list->push_back(n);
        }
    }
    if (parser.isSet(kOptDrop)) {
        o.dropByteEvery = parser.value(kOptDrop).toInt(&ok);
        if (!ok || o.dropByteEvery < 1) {
            return fail(msg::kBadDrop);
        }
    }
    if (parser.isSet(kOptNoise)) {
        const std::optional<PenNoiseOptions> noise = ParseNoise(parser.value(kOptNoise));
        if (!noise) {
            return fail(msg::kBadNoise);
        }
        o.noise = *noise;
    }
    if (parser.isSet(kOptUnplug)) {
        const double s = parser.value(kOptUnplug).toDouble(&ok);
        if (!ok || !(s > 0)) {
            return fail(msg::kBadUnplug);
        }
        o.unplugAfter = std::chrono::milliseconds(
            std::max<long long>(1, static_cast<long long>(s * kMillisecondsPerSecond)));
    }
    if (parser.isSet(kOptHoldBack)) {
        const int ms = parser.value(kOptHoldBack).toInt(&ok);
        if (!ok || ms < 0) {
            return fail(msg::kBadHoldBack);
        }
        o.holdBack = std::chrono::milliseconds(ms);
    }
    o.lineRate = parser.isSet(kOptLineRate);
    if (parser.isSet(kOptLineSlower)) {
        o.lineSlowerPercent = parser.value(kOptLineSlower).toDouble(&ok);
        if (!ok || !(o.lineSlowerPercent > 0) || !(o.lineSlowerPercent < kFullPercent)) {
            return fail(msg::kBadLineSlower);
        }
    }
    for (const QString& value : parser.values(kOptAnswerDelay)) {
        for (const QString& item : value.split(kListSeparator, Qt::SkipEmptyParts)) {
            const QStringList parts = item.trimmed().split(kDelaySeparator);
            const int ms = parts.last().trimmed().toInt(&ok);
            if (parts.size() > 2 || !ok || ms < 0 || ms > kMaxAnswerDelay.count()) {
                return fail(QString::fromUtf8(msg::kBadAnswerDelay).arg(item));
            }
            if (parts.size() == 1) {
                o.answerDelay = std::chrono::milliseconds(ms);
                continue;
            }
            const std::string n = parts.first().trimmed().toStdString();
            if (std::find(known.begin(), known.end(), n) == known.end()) {
                return fail(QString::fromUtf8(msg::kUnknownFaultCommand)
                                .arg(parts.first(), knownList.join(kListSeparator)));
            }
            o.answerDelays.emplace_back(n, std::chrono::milliseconds(ms));
        }
    }
    return o;
}

int PaceBytesPerSecond(const VirtualPadOptions& options) {
    if (!options.lineRate && !(options.lineSlowerPercent > 0)) {
        return 0;
    }
    return static_cast<int>(kLineRateBytesPerSecond * (kFullPercent - options.lineSlowerPercent) /
                            kFullPercent);
}

VirtualPad::VirtualPad(VirtualPadOptions options, QObject* parent)
    : QObject(parent),
      m_options(std::move(options)),
      m_engine(PadEngine::Options{.penHoldBack = m_options.holdBack}),
      m_host(m_engine, SerialHostOptions{.portFolder = {},
                                         .comNumber = m_options.com,
                                         .paceBytesPerSecond = PaceBytesPerSecond(m_options),
                                         .dropEveryNthPenByte = m_options.dropByteEvery,
                                         .penNoise = m_options.noise,
                                         .unplugAfter = m_options.unplugAfter}) {
    for (const auto& name : m_options.nak) {
        m_engine.SetFault(name, FaultRule{.kind = FaultKind::kNak, .skip = 0, .count = -1});
    }
    for (const auto& name : m_options.silent) {
        m_engine.SetFault(name, FaultRule{.kind = FaultKind::kSilent, .skip = 0, .count = -1});
    }
    m_engine.SetAnswerDelay(m_options.answerDelay);
    for (const auto& [name, delay] : m_options.answerDelays) {
        m_engine.SetAnswerDelay(name, delay);
    }
    m_timer.setInterval(kPumpInterval);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &VirtualPad::Pump);
}

VirtualPad::~VirtualPad() {
    Shutdown();
}

bool VirtualPad::Start(QString* error) {
    const auto fail = [&](const QString& text) {
        if (error != nullptr) {
            *error = text;
        }
        return false;
    };
    if (!m_options.penFile.empty()) {
        const QString name = QString::fromStdString(m_options.penFile.string());
        const sigfiles::ReadResult file = sigfiles::ReadWholeFile(m_options.penFile);
        if (!file.error.empty()) {
            return fail(QString::fromUtf8(msg::kCannotReadPen)
                            .arg(name, QString::fromStdString(file.error)));
        }
        sigfiles::DecodeResult points = sigfiles::ParseTxt(
            std::string_view(reinterpret_cast<const char*>(file.bytes.data()), file.bytes.size()));
        if (!points.error.empty()) {
            return fail(QString::fromUtf8(msg::kCannotReadPen)
                            .arg(name, QString::fromStdString(points.error)));
        }
        m_replay = std::make_unique<PenReplay>(std::move(points.points), m_options.penRate);
        m_penHeld = m_options.penOnSignal;
    }
    if (!m_options.traceFile.empty()) {
        m_traceFile.open(m_options.traceFile, std::ios::out | std::ios::trunc);
        if (!m_traceFile) {
            return fail(QString::fromUtf8(msg::kCannotWriteTrace)
                            .arg(QString::fromStdString(m_options.traceFile.string())));
        }
        m_trace = std::make_unique<TraceWriter>(m_traceFile, Clock::now());
    }
    std::string why;
    if (!m_host.Start(&why)) {
        return fail(QString::fromUtf8(msg::kCannotStart).arg(QString::fromStdString(why)));
    }
    m_started = true;
    m_timer.start();
    return true;
}

QString VirtualPad::PublishedText() const {
    return QString::fromUtf8(msg::kPublished)
        .arg(m_host.ComNumber())
        .arg(QString::fromStdString(m_host.LinkPath().string()),
             QString::fromStdString(m_host.SlavePath()));
}

void VirtualPad::Pump() {
    const auto now = Clock::now();
    if (m_replay && !m_replay->Finished()) {
        // A held replay sees the pad as not capturing: its clock stands still.
        const bool capturing =
            !m_penHeld && m_engine.Snapshot().capture == CaptureState::kCapturing;
        if (m_replay->Pump(m_engine, capturing, now) > 0) {
            m_host.WakeUp();
        }
    }
    if (m_trace) {
        m_trace->Write(m_engine.TakeTrace(), now);
    }
}

bool VirtualPad::Shutdown(const QImage& window, QString* error) {
    if (m_shutDown) {
        return true;
    }
    m_shutDown = true;
    m_timer.stop();
    m_host.Stop();
    if (m_trace) {
        m_trace->Write(m_engine.TakeTrace(), Clock::now());
    }
    if (m_options.screenshotFile.empty()) {
        return true;
    }
    const QImage shot = window.isNull() ? m_engine.Snapshot().lcd : window;
    const QString name = QString::fromStdString(m_options.screenshotFile.string());
    if (!shot.save(name)) {
        if (error != nullptr) {
            *error = QString::fromUtf8(msg::kCannotSaveScreenshot).arg(name);
        }
        return false;
    }
    return true;
}

}  // namespace vellumix::padsim
