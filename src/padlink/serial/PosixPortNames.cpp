// The serial port names on POSIX systems: the port folder's place and
// ownership checks, the publisher's lock beside a link, the devices behind
// COM0..COM9 and the devices a scan leaves alone, all from the file system
// and sysfs without opening a device.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <system_error>

#include "padlink/PortResolver.h"

namespace vellumix::padlink::serial {

namespace {

// The folder must be a real folder (not a link someone else could swap)
// owned by us and closed to writes from group and others; its parent must
// not let anyone else rename it away (root's or ours, or sticky like /tmp).
bool IsPrivateFolder(const std::filesystem::path& folder) {
    struct stat info {};
    if (::lstat(folder.c_str(), &info) != 0) {
        return false;
    }
    return S_ISDIR(info.st_mode) && info.st_uid == ::geteuid() &&
           (info.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

bool IsSafeParent(const std::filesystem::path& folder) {
    struct stat info {};
    if (::stat(folder.parent_path().c_str(), &info) != 0) {
        return false;
    }
    const bool trustedOwner = info.st_uid == ::geteuid() || info.st_uid == 0;
    const bool othersCannotRename =
        (info.st_mode & (S_IWGRP | S_IWOTH)) == 0 || (info.st_mode & S_ISVTX) != 0;
    return trustedOwner && othersCannotRename;
}

// sysfs: /sys/class/tty/<name>/dev holds "major:minor"; the console's own
// entry names the devices it writes to in "active" ("tty0 ttyS0"); a port of
// the serial core has "type", 0 when no UART answered at its address.
constexpr std::string_view kTtyClass = "class/tty";
constexpr std::string_view kConsoleName = "console";
constexpr std::string_view kActiveFile = "active";
constexpr std::string_view kDevFile = "dev";
constexpr std::string_view kCharDevices = "dev/char";
constexpr std::string_view kPortTypeFile = "type";
constexpr int kPortTypeUnknown = 0;

std::optional<dev_t> ReadDeviceNumber(const std::filesystem::path& file) {
    std::ifstream in(file);
    unsigned int major = 0;
    unsigned int minor = 0;
    char colon = 0;
    if (in >> major >> colon >> minor && colon == ':') {
        return makedev(major, minor);
    }
    return std::nullopt;
}

// A name from "active" used as a folder name: one plain component only.
bool IsPlainName(std::string_view name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos;
}

std::vector<dev_t> ConsoleDevices(const std::filesystem::path& sysfsRoot) {
    const std::filesystem::path ttys = sysfsRoot / kTtyClass;
    std::vector<dev_t> devices;
    if (const auto own = ReadDeviceNumber(ttys / kConsoleName / kDevFile)) {
        devices.push_back(*own);
    }
    std::ifstream active(ttys / kConsoleName / kActiveFile);
    std::string name;
    while (active >> name) {
        if (!IsPlainName(name)) {
            continue;
        }
        if (const auto device = ReadDeviceNumber(ttys / name / kDevFile)) {
            devices.push_back(*device);
        }
    }
    return devices;
}

}  // namespace

}  // namespace vellumix::padlink::serial

// PortResolver.h declares these for every platform; these are the POSIX ones.
namespace vellumix::padlink {

std::filesystem::path DefaultPortFolder() {
    const char* runtimeDir = std::getenv(kRuntimeDirVariable);
    if (runtimeDir != nullptr && *runtimeDir != '\0') {
        return std::filesystem::path(runtimeDir) / kRuntimeSubfolder;
    }
    return std::filesystem::path(std::string(kFallbackRootPrefix) + std::to_string(::getuid())) /
           kFallbackSubfolder;
}

bool CreatePortFolder(const std::filesystem::path& folder) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) {
        return false;
    }
    // Refused (and harmless) when the folder is someone else's; the check
    // below then reports it.
    ::chmod(folder.c_str(), S_IRWXU);
    return IsTrustedPortFolder(folder);
}

bool IsTrustedPortFolder(const std::filesystem::path& folder) {
    return serial::IsPrivateFolder(folder) && serial::IsSafeParent(folder);
}

bool PublisherGone(const std::filesystem::path& folder, int number) {
    const std::filesystem::path lock = PortLockPath(folder, number);
    const int fd = ::open(lock.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        return false;
    }
    // Taken at once only when nobody holds it; given straight back.
    const bool gone = ::flock(fd, LOCK_SH | LOCK_NB) == 0;
    ::close(fd);
    return gone;
}

std::vector<std::string> SystemDevicePrefixes(const std::filesystem::path& devRoot) {
    return {(devRoot / "ttyUSB").string(), (devRoot / "ttyACM").string(),
            (devRoot / "ttyS").string()};
}

ScanSkip ScanSkipFor(const std::filesystem::path& device, const std::filesystem::path& sysfsRoot) {
    // stat() follows a COMn link to the device without opening it.
    struct stat info {};
    if (::stat(device.c_str(), &info) != 0 || !S_ISCHR(info.st_mode)) {
        return ScanSkip::kNone;
    }
    const std::vector<dev_t> console = serial::ConsoleDevices(sysfsRoot);
    if (std::find(console.begin(), console.end(), info.st_rdev) != console.end()) {
        return ScanSkip::kConsole;
    }
    const std::string number =
        std::to_string(major(info.st_rdev)) + ":" + std::to_string(minor(info.st_rdev));
    std::ifstream type(sysfsRoot / serial::kCharDevices / number / serial::kPortTypeFile);
    int portType = 0;
    if (type >> portType && portType == serial::kPortTypeUnknown) {
        return ScanSkip::kNoUart;
    }
    return ScanSkip::kNone;
}

}  // namespace vellumix::padlink
