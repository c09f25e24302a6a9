// The program's own command line, read before Qt starts so that --help,
// --version and a mistyped option never open a window. Qt's own options
// (-platform NAME, -style NAME, -reverse, ...) are left for QApplication.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace vellumix::app {

namespace msg {
inline constexpr const char* kProgramName = "vellumix-demo";
inline constexpr const char* kHelp =
    "Usage: vellumix-demo [--usb-id VID:PID] [Qt options]\n"
    "       vellumix-demo --help | --version\n"
    "The signature pad demonstration program. It looks for the pad on USB, then on\n"
    "the serial ports COM0..COM9, mirrors the ink live, saves signatures (.sig,\n"
    ".cmp, .vbc, .nlc, .bmp, and .inkml: W3C InkML with the time of each point),\n"
    "loads them back (all but .inkml) and draws test patterns and pictures on the\n"
    "pad's LCD.\n"
    "\n"
    "  --usb-id VID:PID  look on USB for the pad by these ids (in hex, as lsusb and\n"
    "                    vellumix-padctl list show them) instead of 1209:0001; also\n"
    "                    from VELLUMIX_USB_ID, else from the profile's Pad/UsbId\n"
    "  --help            show this text and exit\n"
    "  --version         show the version and exit\n"
    "\n"
    "Qt's own options, such as -platform NAME or -style NAME, are passed on to Qt.\n"
    "No pad at hand? Start vellumix-virtual-pad, a pad in software, and the\n"
    "program finds it.\n";
inline constexpr const char* kUnknownOption = "unknown option '%s'";
inline constexpr const char* kUnexpectedArgument = "unexpected argument '%s'";
inline constexpr const char* kNeedsValue = "%s needs a value";
inline constexpr const char* kNoDisplay =
    "no display to open the window on (neither DISPLAY nor WAYLAND_DISPLAY is set)";
}  // namespace msg

struct CommandLine {
    enum class Action { kRun, kHelp, kVersion, kUsageError };
    Action action = Action::kRun;
    std::string text;  // what to print: the help, the version or the error line
    // --usb-id's value, checked to be VID:PID.
    std::optional<std::string> usbId{};
};

// args excludes the program name.
CommandLine ParseCommandLine(std::span<const std::string_view> args);

}  // namespace vellumix::app
