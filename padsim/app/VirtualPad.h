// The vellumix-virtual-pad program without its window: the engine behind a
// pseudo-terminal published as COMn, the --pen replay, the --trace file,
// the fault switches and the --screenshot on exit. The window (PadWindow)
// only shows the engine's state and feeds it mouse or tablet input.
//
// Thread safety: lives on the GUI (main) thread. The serial host's thread
// reaches only the engine, which locks itself.
#pragma once

#include <QObject>
#include <QStringList>
#include <QTimer>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "PenReplay.h"
#include "TraceWriter.h"
#include "engine/PadEngine.h"
#include "hosts/SerialHost.h"

namespace vellumix::padsim::app {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;  // the pad could not start
inline constexpr int kExitUsage = 2;

// How often the replay, the trace and the window are brought up to date.
inline constexpr std::chrono::milliseconds kPumpInterval{10};

// Texts the program prints.
namespace msg {
inline constexpr const char* kDescription =
    "The virtual signature pad: a pseudo-terminal published as COMn, with a window showing "
    "its LCD and LEDs and taking pen input from the mouse.";
inline constexpr const char* kPublished = "Virtual pad on COM%1 (%2 -> %3)";
inline constexpr const char* kProgramName = "vellumix-virtual-pad";
inline constexpr const char* kProgram = "vellumix-virtual-pad: ";
inline constexpr const char* kUnknownOption = "unknown option '%1'";
inline constexpr const char* kUnexpectedArgument = "unexpected argument '%1'";
inline constexpr const char* kNoDisplay =
    "no display to open the window on; run with --headless to do without one";
inline constexpr const char* kBadCom = "--com takes 1 to 9";
inline constexpr const char* kBadRate = "--pen-rate takes a number of points per second above 0";
inline constexpr const char* kBadDrop = "--drop-byte-every takes a whole number above 0";
inline constexpr const char* kBadUnplug = "--unplug-after takes a number of seconds above 0";
inline constexpr const char* kBadHoldBack =
    "--hold-back takes a whole number of milliseconds, 0 or more";
inline constexpr const char* kBadNoise =
    "--noise takes EVERY:LEN[:SEED], whole numbers: EVERY and LEN above 0, SEED 0 or more";
inline constexpr const char* kUnknownFaultCommand = "unknown command '%1' (known: %2)";
inline constexpr const char* kBadAnswerDelay =
    "--answer-delay takes MS or NAME=MS (comma-separated), MS a whole number of milliseconds "
    "from 0 to 60000, not '%1'";
inline constexpr const char* kBadLineSlower =
    "--line-slower takes a percentage above 0 and below 100";
inline constexpr const char* kCannotReadPen = "cannot read the pen file %1: %2";
inline constexpr const char* kCannotWriteTrace = "cannot write the trace file %1";
inline constexpr const char* kCannotStart = "cannot start: %1";
inline constexpr const char* kCannotSaveScreenshot = "cannot save the screenshot %1";
}  // namespace msg

struct VirtualPadOptions {
    bool headless = false;
    int com = 0;  // 0: the first free number from 1
    std::filesystem::path penFile;
    double penRate = kDefaultPenRate;
    // The replay waits for ReleasePen() (SIGUSR1 to the program), so a script
    // can start the writing once the host has finished setting up the LCD.
    bool penOnSignal = false;
    std::filesystem::path traceFile;
    std::filesystem::path screenshotFile;
    std::vector<std::string> nak;     // command names as the trace spells them
    std::vector<std::string> silent;  // ditto
    int dropByteEvery = 0;
    engine::PenNoiseOptions noise;  // --noise EVERY:LEN[:SEED]
    std::chrono::milliseconds unplugAfter{0};
    std::chrono::milliseconds holdBack = engine::kPenHoldBack;
    bool lineRate = false;  // pace the pty at 38400 baud
    // A line that runs this many percent slower than 38400 baud (the pad's
    // own clock); above 0 it implies lineRate.
    double lineSlowerPercent = 0;
    // Answers go out this long after their command: all commands, and
    // named ones (which win).
    std::chrono::milliseconds answerDelay{0};
    std::vector<std::pair<std::string, std::chrono::milliseconds>> answerDelays;
};

// The longest --answer-delay accepted: a minute, as long as the host waits
// for the largest frame.
inline constexpr std::chrono::milliseconds kMaxAnswerDelay{60'000};

// The bytes a second the pty moves for these options: 0 unpaced, else
// 38400 baud less the percentage the line runs slower.
int PaceBytesPerSecond(const VirtualPadOptions& options);

// The command names --nak, --silent and --answer-delay accept ("DrawFrame",
// "SetLedFlags", ...).
std::vector<std::string> KnownCommandNames();

// Parses the program's arguments (arguments[0] is the program). On a usage
// error returns nothing with the text in *error; --help and --version print
// and exit as QCommandLineParser does.
std::optional<VirtualPadOptions> ParseVirtualPadOptions(const QStringList& arguments,
                                                        QString* error);

class VirtualPad : public QObject {
    Q_OBJECT
public:
    explicit VirtualPad(VirtualPadOptions options, QObject* parent = nullptr);
    ~VirtualPad() override;

    // Loads the pen file, opens the trace, publishes the port and starts the
    // timer. False with the reason in *error.
    bool Start(QString* error);
    // Stops the host (removing the link) and writes the screenshot: the LCD
    // itself, or `window` when a window is shown. Safe to call twice.
    bool Shutdown(const QImage& window = {}, QString* error = nullptr);

    // "Virtual pad on COM1 (<link> -> /dev/pts/3)".
    QString PublishedText() const;
    // n of the COMn the pad is published as, once started; 0 before.
    int ComNumber() const { return m_host.ComNumber(); }
    engine::PadEngine& Engine() { return m_engine; }
    bool Unplugged() const { return m_started && !m_host.IsRunning(); }
    // Safe from any thread: makes the host send queued pen reports now.
    void WakeHost() { m_host.WakeUp(); }
    // Lets a replay held by penOnSignal begin.
    void ReleasePen() { m_penHeld = false; }

private:
    void Pump();

    VirtualPadOptions m_options;
    engine::PadEngine m_engine;
    hosts::SerialHost m_host;
    std::unique_ptr<PenReplay> m_replay;
    std::ofstream m_traceFile;
    std::unique_ptr<TraceWriter> m_trace;
    QTimer m_timer;
    bool m_started = false;
    bool m_shutDown = false;
    bool m_penHeld = false;
};

}  // namespace vellumix::padsim::app
