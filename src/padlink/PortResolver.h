// Where the serial port names COM0..COM9 lead. A name first resolves to the
// link COMn in the per-user port folder (the virtual pad publishes its
// pseudo-terminal there), then to the system devices (on Linux /dev/ttyUSBn,
// /dev/ttyACMn and /dev/ttySn), the first that exists.
//
// The name rules are portable (PortResolver.cpp); what depends on the
// platform (the folder's place and safety, the publisher's lock, the system
// devices and the scan's checks) is defined by the platform's file
// (serial/PosixPortNames.cpp).
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace vellumix::padlink {

// The names the program probes: "COM" and one digit.
inline constexpr std::string_view kComPortPrefix = "COM";
inline constexpr int kFirstComPort = 0;
inline constexpr int kComPortCount = 10;

// The port folder: $XDG_RUNTIME_DIR/vellumix/ports, or
// /tmp/vellumix-<uid>/ports when that variable is unset or empty.
inline constexpr const char* kRuntimeDirVariable = "XDG_RUNTIME_DIR";
inline constexpr std::string_view kRuntimeSubfolder = "vellumix/ports";
inline constexpr std::string_view kFallbackRootPrefix = "/tmp/vellumix-";
inline constexpr std::string_view kFallbackSubfolder = "ports";

std::filesystem::path DefaultPortFolder();

// Creates the port folder (and its parents) with owner-only access, as the
// virtual pad does before publishing a link. False when it cannot be made or
// when what is there is not a folder the user alone controls.
bool CreatePortFolder(const std::filesystem::path& folder);
// True when folder is one the user alone controls: a real folder of theirs
// that others can neither write to nor, through its parent, swap.
bool IsTrustedPortFolder(const std::filesystem::path& folder);

// The link for COM<number> in folder.
std::filesystem::path PortLinkPath(const std::filesystem::path& folder, int number);
// The lock file beside that link ("COM3.lock"). A publisher holds an flock
// on it for as long as its link is good; a killed one leaves it unlocked.
std::filesystem::path PortLockPath(const std::filesystem::path& folder, int number);
// True when the link's lock file is there and nobody holds it: the
// publisher has gone, and the pty number may belong to anyone by now. A
// link without a lock file (made by hand) is not judged.
bool PublisherGone(const std::filesystem::path& folder, int number);

// The system's device folder; tests use a folder of their own.
inline constexpr std::string_view kDevRoot = "/dev";

// <devRoot>/ttyUSB, <devRoot>/ttyACM, <devRoot>/ttyS: the number is appended.
std::vector<std::string> SystemDevicePrefixes(const std::filesystem::path& devRoot = kDevRoot);

// Why a device that a scan of COM0..COM9 led to is not probed. Opening a
// serial port raises DTR and RTS (resetting boards, hanging up modems) and a
// probe frame written into the kernel console lands on its screen, so a scan
// leaves alone the console's devices (matched by device number, so a COMn
// link to one is caught too) and a ttyS with no UART behind it. Decided from
// sysfs without opening the device. A port the user names is used anyway.
enum class ScanSkip {
    kNone,
    kConsole,  // /sys/class/tty/console and the devices listed in its "active"
    kNoUart,   // the serial core's "type" of the device is 0 (no UART found)
};
ScanSkip ScanSkipFor(const std::filesystem::path& device, const std::filesystem::path& sysfsRoot);

// COM0..COM9 (any case) -> the first candidate that exists: the link in
// folder, then each device prefix followed by the digit. A name starting with
// '/' is a device path and comes back unchanged. Anything else, or a COM port
// with no device, gives an empty path. A link whose publisher has gone is
// never followed. The folder's link is skipped unless IsTrustedPortFolder,
// so nobody else can point the program at a device of their choosing.
std::filesystem::path ResolvePortName(std::string_view name, const std::filesystem::path& folder,
                                      const std::vector<std::string>& devicePrefixes);

}  // namespace vellumix::padlink
