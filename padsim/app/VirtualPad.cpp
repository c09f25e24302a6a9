#include "VirtualPad.h"

#include <QBuffer>
#include <QCommandLineParser>
#include <QFileInfo>
#include <QImage>
#include <algorithm>

#include "cli/UsageError.h"
#include "engine/PadCommand.h"
#include "sigfiles/FileAccess.h"
#include "sigfiles/SignatureFiles.h"

namespace vellumix::padsim::app {

namespace {

using Clock = std::chrono::steady_clock;

constexpr char kListSeparator = ',';
constexpr char kDelaySeparator = '=';
constexpr char kNoiseSeparator = ':';
constexpr double kFullPercent = 100.0;
constexpr double kMillisecondsPerSecond = 1000.0;

std::filesystem::path ToPath(const QString& s) {
    return std::filesystem::path(s.toStdString());
}

// The picture is encoded in memory, in the format the name's extension asks
// for, and only then replaces the file: QImage::save opens (and so empties)
// an existing file before it knows it can write the format, and a failure
// part way left half a picture.
bool SaveReplacing(const QImage& image, const std::filesystem::path& path) {
    const QByteArray format =
        QFileInfo(QString::fromStdString(path.string())).suffix().toLower().toLatin1();
    QByteArray encoded;
    QBuffer buffer(&encoded);
    if (format.isEmpty() || !buffer.open(QIODevice::WriteOnly) ||
        !image.save(&buffer, format.constData())) {
        return false;
    }
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(encoded.constData());
    return sigfiles::WriteFileReplacing(path,
                                        std::span(bytes, static_cast<std::size_t>(encoded.size())))
               .failure == sigfiles::WriteFailure::kNone;
}

// EVERY:LEN[:SEED]: nothing when a field is missing, not a whole number or
// out of range.
std::optional<engine::PenNoiseOptions> ParseNoise(const QString& value) {
    const QStringList fields = value.split(kNoiseSeparator);
    if (fields.size() < 2 || fields.size() > 3) {
        return std::nullopt;
    }
    bool ok = true;
    engine::PenNoiseOptions noise;
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

// What an option does to the options: nothing more, or the usage error.
// values: what followed each use of the option, in order; a value option
// given twice counts its last value, except --answer-delay, which adds up.
using Problem = std::optional<QString>;
using ApplyOption = Problem (*)(const QStringList& values, VirtualPadOptions& o);

QString Text(const char* text) {
    return QString::fromUtf8(text);
}

template <bool VirtualPadOptions::*Flag>
Problem SetFlag(const QStringList& /*values*/, VirtualPadOptions& o) {
    o.*Flag = true;
    return std::nullopt;
}

template <std::filesystem::path VirtualPadOptions::*File>
Problem SetFile(const QStringList& values, VirtualPadOptions& o) {
    o.*File = ToPath(values.last());
    return std::nullopt;
}

// The refusal of a command name that is not one of KnownCommandNames.
Problem CheckCommandName(const QString& name) {
    const std::vector<std::string> known = KnownCommandNames();
    if (std::find(known.begin(), known.end(), name.trimmed().toStdString()) != known.end()) {
        return std::nullopt;
    }
    QStringList knownList;
    for (const auto& k : known) {
        knownList << QString::fromStdString(k);
    }
    return Text(msg::kUnknownFaultCommand).arg(name, knownList.join(kListSeparator));
}

template <std::vector<std::string> VirtualPadOptions::*List>
Problem AddCommands(const QStringList& values, VirtualPadOptions& o) {
    for (const QString& name : values.last().split(kListSeparator, Qt::SkipEmptyParts)) {
        if (Problem problem = CheckCommandName(name)) {
            return problem;
        }
        (o.*List).push_back(name.trimmed().toStdString());
    }
    return std::nullopt;
}

Problem SetCom(const QStringList& values, VirtualPadOptions& o) {
    bool ok = false;
    o.com = values.last().toInt(&ok);
    if (!ok || o.com < hosts::kFirstPublishedCom || o.com > hosts::kLastPublishedCom) {
        return Text(msg::kBadCom);
    }
    return std::nullopt;
}

Problem SetPenRate(const QStringList& values, VirtualPadOptions& o) {
    bool ok = false;
    o.penRate = values.last().toDouble(&ok);
    if (!ok || !(o.penRate > 0)) {
        return Text(msg::kBadRate);
    }
    return std::nullopt;
}

Problem SetDropByteEvery(const QStringList& values, VirtualPadOptions& o) {
    bool ok = false;
    o.dropByteEvery = values.last().toInt(&ok);
    if (!ok || o.dropByteEvery < 1) {
        return Text(msg::kBadDrop);
    }
    return std::nullopt;
}

Problem SetNoise(const QStringList& values, VirtualPadOptions& o) {
    const std::optional<engine::PenNoiseOptions> noise = ParseNoise(values.last());
    if (!noise) {
        return Text(msg::kBadNoise);
    }
    o.noise = *noise;
    return std::nullopt;
}

Problem SetUnplugAfter(const QStringList& values, VirtualPadOptions& o) {
    bool ok = false;
    const double s = values.last().toDouble(&ok);
    if (!ok || !(s > 0)) {
        return Text(msg::kBadUnplug);
    }
    o.unplugAfter = std::chrono::milliseconds(
        std::max<long long>(1, static_cast<long long>(s * kMillisecondsPerSecond)));
    return std::nullopt;
}

Problem SetHoldBack(const QStringList& values, VirtualPadOptions& o) {
    bool ok = false;
    const int ms = values.last().toInt(&ok);
    if (!ok || ms < 0) {
        return Text(msg::kBadHoldBack);
    }
    o.holdBack = std::chrono::milliseconds(ms);
    return std::nullopt;
}

Problem SetLineSlower(const QStringList& values, VirtualPadOptions& o) {
    bool ok = false;
    o.lineSlowerPercent = values.last().toDouble(&ok);
    if (!ok || !(o.lineSlowerPercent > 0) || !(o.lineSlowerPercent < kFullPercent)) {
        return Text(msg::kBadLineSlower);
    }
    return std::nullopt;
}

// MS for every command, NAME=MS for one, comma-separated, in every use.
Problem AddAnswerDelays(const QStringList& values, VirtualPadOptions& o) {
    for (const QString& value : values) {
        for (const QString& item : value.split(kListSeparator, Qt::SkipEmptyParts)) {
            const QStringList parts = item.trimmed().split(kDelaySeparator);
            bool ok = false;
            const int ms = parts.last().trimmed().toInt(&ok);
            if (parts.size() > 2 || !ok || ms < 0 || ms > kMaxAnswerDelay.count()) {
                return Text(msg::kBadAnswerDelay).arg(item);
            }
            if (parts.size() == 1) {
                o.answerDelay = std::chrono::milliseconds(ms);
                continue;
            }
            if (Problem problem = CheckCommandName(parts.first())) {
                return problem;
            }
            o.answerDelays.emplace_back(parts.first().trimmed().toStdString(),
                                        std::chrono::milliseconds(ms));
        }
    }
    return std::nullopt;
}

struct OptionRow {
    const char* name;  // as typed after "--"
    const char* help;
    const char* valueName;  // empty for a switch
    ApplyOption apply;
};

// The options in the order --help lists them and in which they are applied,
// so that of two bad options the first listed is the one reported.
constexpr OptionRow kOptionTable[] = {
    {"headless", "Run without a window.", "", SetFlag<&VirtualPadOptions::headless>},
    {"com", "Publish the pad as COM<n> (1..9; default: the first free).", "n", SetCom},
    {"pen", "Replay the signature in FILE (the converter's .txt form) once capture starts.", "FILE",
     SetFile<&VirtualPadOptions::penFile>},
    {"pen-rate", "Replay at this many points per second (default 100).", "rate", SetPenRate},
    {"pen-on-signal", "Hold the replay until the program receives SIGUSR1.", "",
     SetFlag<&VirtualPadOptions::penOnSignal>},
    {"trace", "Write one line per frame received and sent to FILE.", "FILE",
     SetFile<&VirtualPadOptions::traceFile>},
    {"screenshot", "Save the LCD (the window when shown) to FILE on exit.", "FILE",
     SetFile<&VirtualPadOptions::screenshotFile>},
    {"nak", "Refuse these commands (comma-separated names, e.g. DrawFrame,SetFont).", "CMDS",
     AddCommands<&VirtualPadOptions::nak>},
    {"silent", "Carry out these commands but send no answer.", "CMDS",
     AddCommands<&VirtualPadOptions::silent>},
    {"drop-byte-every", "Lose every Nth byte of pen data on the line.", "N", SetDropByteEvery},
    {"noise",
     "Put LEN random bytes on the line after every EVERY-th pen report, from SEED "
     "(default 1).",
     "EVERY:LEN[:SEED]", SetNoise},
    {"unplug-after", "Pull the cable after S seconds.", "S", SetUnplugAfter},
    {"hold-back", "Hold pen data back MS milliseconds after each answer (default 80).", "MS",
     SetHoldBack},
    {"line-rate", "Move bytes at 38400 baud (3,840 bytes/s) both ways, as a real line.", "",
     SetFlag<&VirtualPadOptions::lineRate>},
    {"line-slower",
     "Run the line PCT percent slower than 38400 baud, as a pad with its own clock "
     "(implies --line-rate).",
     "PCT", SetLineSlower},
    {"answer-delay",
     "Answer MS milliseconds after each command, or NAME=MS for one command "
     "(comma-separated, e.g. 600 or DrawLine=600,SetFont=700).",
     "DELAYS", AddAnswerDelays},
};

// QCommandLineParser's refusal, an unknown option with the one meant.
QString ParseFailureText(const QCommandLineParser& parser) {
    const QStringList unknown = parser.unknownOptionNames();
    if (unknown.isEmpty()) {
        return parser.errorText();
    }
    // QCommandLineParser names an unknown option without its dashes.
    const QString given = (unknown.first().size() == 1 ? "-" : "--") + unknown.first();
    std::vector<std::string> names = {"--help", "--version"};
    for (const OptionRow& row : kOptionTable) {
        names.push_back(std::string("--") + row.name);
    }
    const std::vector<std::string_view> candidates(names.begin(), names.end());
    return QString::fromStdString(
        cli::WithSuggestion(Text(msg::kUnknownOption).arg(given).toStdString(),
                            cli::NearMiss(given.toStdString(), candidates)));
}

}  // namespace

std::vector<std::string> KnownCommandNames() {
    std::vector<std::string> names;
    for (int k = 0; k <= static_cast<int>(engine::CommandKind::kProbe); ++k) {
        engine::PadCommand c;
        c.kind = static_cast<engine::CommandKind>(k);
        names.emplace_back(engine::CommandName(c));
    }
    // DrawText of one character goes by its own name.
    static constexpr std::uint8_t kOneChar[] = {'A'};
    engine::PadCommand one;
    one.kind = engine::CommandKind::kDrawText;
    one.data = kOneChar;
    names.emplace_back(engine::CommandName(one));
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
    for (const OptionRow& row : kOptionTable) {
        parser.addOption({row.name, row.help, row.valueName});
    }
    const auto fail = [&](const QString& text) -> std::optional<VirtualPadOptions> {
        if (error != nullptr) {
            *error = text;
        }
        return std::nullopt;
    };
    if (!parser.parse(arguments)) {
        return fail(ParseFailureText(parser));
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
    for (const OptionRow& row : kOptionTable) {
        if (!parser.isSet(row.name)) {
            continue;
        }
        if (const std::optional<QString> problem = row.apply(parser.values(row.name), o)) {
            return fail(*problem);
        }
    }
    return o;
}

int PaceBytesPerSecond(const VirtualPadOptions& options) {
    if (!options.lineRate && !(options.lineSlowerPercent > 0)) {
        return 0;
    }
    return static_cast<int>(hosts::kLineRateBytesPerSecond *
                            (kFullPercent - options.lineSlowerPercent) / kFullPercent);
}

VirtualPad::VirtualPad(VirtualPadOptions options, QObject* parent)
    : QObject(parent),
      m_options(std::move(options)),
      m_engine(engine::PadEngine::Options{.penHoldBack = m_options.holdBack}),
      m_host(m_engine, hosts::SerialHostOptions{.portFolder = {},
                                                .comNumber = m_options.com,
                                                .paceBytesPerSecond = PaceBytesPerSecond(m_options),
                                                .dropEveryNthPenByte = m_options.dropByteEvery,
                                                .penNoise = m_options.noise,
                                                .unplugAfter = m_options.unplugAfter}) {
    for (const auto& name : m_options.nak) {
        m_engine.SetFault(
            name, engine::FaultRule{.kind = engine::FaultKind::kNak, .skip = 0, .count = -1});
    }
    for (const auto& name : m_options.silent) {
        m_engine.SetFault(
            name, engine::FaultRule{.kind = engine::FaultKind::kSilent, .skip = 0, .count = -1});
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
            !m_penHeld && m_engine.Snapshot().capture == engine::CaptureState::kCapturing;
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
    if (!SaveReplacing(shot, m_options.screenshotFile)) {
        if (error != nullptr) {
            *error = QString::fromUtf8(msg::kCannotSaveScreenshot)
                         .arg(QString::fromStdString(m_options.screenshotFile.string()));
        }
        return false;
    }
    return true;
}

}  // namespace vellumix::padsim::app
