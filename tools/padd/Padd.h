// The command line and the set-up of vellumix-padd, the pad capture service,
// kept out of main() so tests could drive it without starting a process.
//
//   vellumix-padd [--idle-exit SECONDS] [--usb-id VID:PID]
//
// Owns org.vellumix.Pad1 on the session bus (never the system bus), serves
// until it has been idle that long, or until SIGTERM or SIGINT, and exits 0.
// Started on demand by the bus (its activation file) or by systemd (its
// user unit); starting it by hand works the same.
#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <span>
#include <string>

namespace vellumix::padlink {
class HidBackend;
}

namespace vellumix::tools::padd {

inline constexpr int kPaddExitOk = 0;
inline constexpr int kPaddExitFailed = 1;  // the bus cannot be had
inline constexpr int kPaddExitUsage = 2;
inline constexpr int kMaxIdleExitSeconds = 24 * 60 * 60;

namespace msg {
inline constexpr const char* kProgramName = "vellumix-padd";
inline constexpr const char* kProgram = "vellumix-padd: ";
inline constexpr const char* kUsage =
    "Usage: vellumix-padd [--idle-exit SECONDS] [--usb-id VID:PID]\n"
    "       vellumix-padd --help | --version\n"
    "The pad capture service: serves signature pads to programs on the session\n"
    "bus as org.vellumix.Pad1. The bus starts it when a program first calls it.\n"
    "  --idle-exit SECONDS  exit after this long with no claim and no call\n"
    "                       (default 60; 0: never)\n"
    "  --usb-id VID:PID     the pad's USB ids, in hex as lsusb shows them (else\n"
    "                       VELLUMIX_USB_ID, else 1209:0001)\n";
inline constexpr const char* kBadIdleExit = "--idle-exit takes 0 to 86400 seconds, not '%s'";
inline constexpr const char* kIdleExitNeedsValue = "--idle-exit needs a number of seconds";
inline constexpr const char* kUsbIdNeedsValue = "--usb-id needs VID:PID";
inline constexpr const char* kUnknownOption = "unknown option '%s'";
inline constexpr const char* kUnexpected = "unexpected argument '%s'";
inline constexpr const char* kNoBus = "cannot reach the session bus: %s";
inline constexpr const char* kNameTaken =
    "cannot own org.vellumix.Pad1 (%s): is another vellumix-padd serving this session?";
inline constexpr const char* kBusLost = "lost the session bus: %s";
inline constexpr const char* kNoPortFolder = "not watching the port folder: %s";
}  // namespace msg

// Where the service looks for pads. The defaults are the real machine's.
struct PaddEnvironment {
    std::string busAddress;            // empty: the session bus
    std::filesystem::path portFolder;  // empty: padlink::DefaultPortFolder()
    // ttyUSB and ttyACM devices and HID devices, watched through udev.
    bool systemDevices = true;
    std::function<std::unique_ptr<padlink::HidBackend>()> hidBackend;  // empty: hidapi
    // VELLUMIX_USB_ID's value; main() hands in the process's.
    std::optional<std::string> usbIdVariable;
    // A descriptor (a signalfd) whose becoming readable ends the service.
    int stopFd = -1;
};

// args without the program name. Returns the exit status.
int RunPadd(std::span<const std::string> args, std::ostream& out, std::ostream& err,
            PaddEnvironment env = {});

}  // namespace vellumix::tools::padd
