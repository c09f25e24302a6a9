// vellumix-virtual-pad: the signature pad in software, published as a
// serial port for the program, the pad console and the tests.
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QCoreApplication>
#include <QSocketNotifier>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>

#include "PadWindow.h"
#include "VirtualPad.h"

namespace {

namespace ps = vellumix::padsim;

// SIGINT and SIGTERM end the event loop through this pair, so the link is
// removed by ordinary code rather than from inside a signal handler.
int g_signalPipe[2] = {-1, -1};

extern "C" void OnSignal(int) {
    const char one = 1;
    [[maybe_unused]] const auto n = write(g_signalPipe[0], &one, sizeof one);
}

bool WantsHeadless(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--headless") == 0) {
            return true;
        }
    }
    return false;
}

void PrintError(const QString& text) {
    std::fprintf(stderr, "%s%s\n", ps::msg::kProgram, text.toLocal8Bit().constData());
}

}  // namespace

int main(int argc, char** argv) {
    const bool headless = WantsHeadless(argc, argv);
    std::unique_ptr<QCoreApplication> app;
    if (headless) {
        app = std::make_unique<QCoreApplication>(argc, argv);
    } else {
        app = std::make_unique<QApplication>(argc, argv);
    }
    QCoreApplication::setApplicationName("vellumix-virtual-pad");
    QCoreApplication::setApplicationVersion("1.0");

    QString error;
    auto options = ps::ParseVirtualPadOptions(QCoreApplication::arguments(), &error);
    if (!options) {
        PrintError(error);
        return ps::kExitUsage;
    }
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) != 0) {
        PrintError(QString::fromLocal8Bit(std::strerror(errno)));
        return ps::kExitFailed;
    }
    QSocketNotifier notifier(g_signalPipe[1], QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, [] { QCoreApplication::quit(); });
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    ps::VirtualPad pad(*options);
    if (!pad.Start(&error)) {
        PrintError(error);
        return ps::kExitFailed;
    }
    std::printf("%s\n", pad.PublishedText().toLocal8Bit().constData());
    std::fflush(stdout);

    std::unique_ptr<ps::PadWindow> window;
    if (!headless) {
        window = std::make_unique<ps::PadWindow>(pad);
        window->show();
    }
    const int status = app->exec();
    const QImage shot = window ? window->grab().toImage() : QImage();
    if (!pad.Shutdown(shot, &error)) {
        PrintError(error);
        return ps::kExitFailed;
    }
    return status;
}
