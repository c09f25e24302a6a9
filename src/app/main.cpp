// vellumix-demo: the signature pad demonstration program.
#include <QApplication>
#include <QMessageBox>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "app/CommandLine.h"
#include "app/VellumixDemoApp.h"
#include "cli/Display.h"
#include "cli/UsageError.h"
#include "padlink/HidPort.h"
#include "padlink/PadLink.h"
#include "padlink/PadUsbIds.h"
#include "padlink/PortResolver.h"
#include "padlink/SerialPort.h"
#include "padlink/hid/HidapiBackend.h"
#include "res/AppIcon.h"
#include "res/Strings.h"

namespace app = vellumix::app;
namespace cli = vellumix::cli;
namespace pl = vellumix::padlink;

int main(int argc, char** argv) {
    // Before anything opens: --help and --version answer on the terminal, a
    // mistake is one line, and a missing display is said in plain words.
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    const app::CommandLine command = app::ParseCommandLine(args);
    switch (command.action) {
        case app::CommandLine::Action::kHelp:
        case app::CommandLine::Action::kVersion:
            std::fputs(command.text.c_str(), stdout);
            return 0;
        case app::CommandLine::Action::kUsageError:
            std::fprintf(stderr, "%s\n", command.text.c_str());
            return cli::kExitUsage;
        case app::CommandLine::Action::kRun:
            break;
    }
    if (!cli::HasDisplay(args, cli::CurrentDisplayEnvironment())) {
        std::fprintf(stderr, "%s: %s\n", app::msg::kProgramName, app::msg::kNoDisplay);
        return cli::kExitUsage;
    }
    const char* usbIdVariable = std::getenv(pl::kUsbIdVariable);
    const pl::UsbIdChoice usbIds = pl::ChooseUsbIds(
        command.usbId,
        usbIdVariable != nullptr ? std::optional<std::string_view>(usbIdVariable) : std::nullopt,
        app::CVellumixDemoApp::ProfileUsbId());

    // The process-wide objects, in the order the program has always built
    // them: the serial port (closed), the application, the HID port (no
    // device), the last two joined as the pad's link. They go in the
    // opposite order, after the frame.
    auto serialPort = std::make_unique<pl::SerialPort>(pl::DefaultPortFolder());
    QApplication qtApp(argc, argv);
    QApplication::setWindowIcon(vellumix::res::AppIcon());
    if (!usbIds.error.empty()) {
        // A bad value from the environment or the profile stops the program
        // before it looks for a pad with the wrong ids; started from the
        // menu, only a window can say why.
        std::fprintf(stderr, "%s: %s\n", app::msg::kProgramName, usbIds.error.c_str());
        QMessageBox::critical(nullptr, QString(vellumix::res::kErrorCaption),
                              QString::fromStdString(usbIds.error));
        return cli::kExitUsage;
    }
    app::CVellumixDemoApp theApp;
    pl::PadLink padLink(std::move(serialPort),
                        std::make_unique<pl::HidPort>(std::make_unique<pl::hid::HidapiBackend>(),
                                                      pl::HidTarget{usbIds.ids, {}}));

    if (!theApp.InitInstance(padLink)) {
        return 1;
    }
    const int status = QApplication::exec();
    theApp.ExitInstance();
    return status;
}
