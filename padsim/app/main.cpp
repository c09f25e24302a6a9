// vellumix-virtual-pad: the signature pad in software, published as a
// serial port for the program, the pad console and the tests.
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QCoreApplication>
#include <QSocketNotifier>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include <vellumix/Version.h>
#include <optional>
#include <string_view>
#include <vector>

#include "PadWindow.h"
#include "VirtualPad.h"
#include "cli/Display.h"
#include "cli/UsageError.h"
#include "res/AppIcon.h"

namespace {

namespace sim = vellumix::padsim;
namespace cli = vellumix::cli;

// SIGINT and SIGTERM end the event loop through this pair, so the link is
// removed by ordinary code rather than from inside a signal handler.
int g_signalPipe[2] = {-1, -1};

// The byte each signal sends down the pipe.
constexpr char kQuitByte = 'q';
constexpr char kReleasePenByte = 'p';

extern "C" void OnSignal(int signal) {
    const char byte = signal == SIGUSR1 ? kReleasePenByte : kQuitByte;
    [[maybe_unused]] const auto n = write(g_signalPipe[0], &byte, sizeof byte);
}

void PrintError(const QString& text) {
    std::fprintf(stderr, "%s%s\n", sim::app::msg::kProgram, text.toLocal8Bit().constData());
}

// Qt's own -platform NAME is for QApplication; the pad's parser, run before
// it, would take it for an unknown option.
QStringList PadArguments(int argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        const QString arg = QString::fromLocal8Bit(argv[i]);
        if ((arg == "-platform" || arg == "--platform") && i + 1 < argc) {
            ++i;
        } else if (!arg.startsWith("-platform=") && !arg.startsWith("--platform=")) {
            arguments << arg;
        }
    }
    return arguments;
}

// A display named but out of reach still ends in Qt's fatal advice about
// reinstalling; turn it into the same plain line as no display at all.
QtMessageHandler previousQtHandler = nullptr;
void OnQtMessage(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type == QtFatalMsg && text.contains("platform plugin")) {
        std::fprintf(stderr, "%s%s\n", sim::app::msg::kProgram, sim::app::msg::kNoDisplay);
        std::_Exit(sim::app::kExitUsage);
    }
    if (previousQtHandler != nullptr) {
        previousQtHandler(type, context, text);
    } else {
        std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
    }
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication::setApplicationName(sim::app::msg::kProgramName);
    QCoreApplication::setApplicationVersion(VELLUMIX_VERSION);
    // The arguments are read before a window can open: --help and --version
    // need no display, and a mistake costs one line.
    std::optional<sim::app::VirtualPadOptions> options;
    QString error;
    {
        QCoreApplication parsing(argc, argv);
        options = sim::app::ParseVirtualPadOptions(PadArguments(argc, argv), &error);
    }
    if (!options) {
        std::fprintf(stderr, "%s\n",
                     cli::UsageLine(sim::app::msg::kProgramName, error.toStdString()).c_str());
        return sim::app::kExitUsage;
    }
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    if (!options->headless && !cli::HasDisplay(args, cli::CurrentDisplayEnvironment())) {
        std::fprintf(stderr, "%s%s\n", sim::app::msg::kProgram, sim::app::msg::kNoDisplay);
        return sim::app::kExitUsage;
    }

    std::unique_ptr<QCoreApplication> app;
    if (options->headless) {
        app = std::make_unique<QCoreApplication>(argc, argv);
    } else {
        previousQtHandler = qInstallMessageHandler(OnQtMessage);
        app = std::make_unique<QApplication>(argc, argv);
        qInstallMessageHandler(previousQtHandler);
        QApplication::setWindowIcon(vellumix::res::AppIcon());
    }

    if (socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) != 0) {
        PrintError(QString::fromLocal8Bit(std::strerror(errno)));
        return sim::app::kExitFailed;
    }
    QSocketNotifier notifier(g_signalPipe[1], QSocketNotifier::Read);
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGUSR1, &action, nullptr);

    sim::app::VirtualPad pad(*options);
    QObject::connect(&notifier, &QSocketNotifier::activated, [&pad] {
        char byte = 0;
        if (read(g_signalPipe[1], &byte, sizeof byte) == 1 && byte == kReleasePenByte) {
            pad.ReleasePen();
        } else {
            QCoreApplication::quit();
        }
    });
    if (!pad.Start(&error)) {
        PrintError(error);
        return sim::app::kExitFailed;
    }
    std::printf("%s\n", pad.PublishedText().toLocal8Bit().constData());
    std::fflush(stdout);

    std::unique_ptr<sim::app::PadWindow> window;
    if (!options->headless) {
        window = std::make_unique<sim::app::PadWindow>(pad);
        window->show();
    }
    const int status = app->exec();
    const QImage shot = window ? window->grab().toImage() : QImage();
    if (!pad.Shutdown(shot, &error)) {
        PrintError(error);
        return sim::app::kExitFailed;
    }
    return status;
}
