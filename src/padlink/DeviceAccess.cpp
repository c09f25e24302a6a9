#include "padlink/DeviceAccess.h"

#include <grp.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <system_error>
#include <vector>

#include "cli/Printf.h"

namespace vellumix::padlink {

namespace {

// getpwuid_r and getgrgid_r want a buffer; this holds any ordinary entry,
// and a name that does not fit is shown by number.
constexpr std::size_t kNameBufferSize = 4096;
// /proc/locks: "1: FLOCK  ADVISORY  WRITE 4242 00:1a:3 0 EOF", the device
// as hex major:minor and the inode in decimal. A blocked waiter's line has
// "->" after the number and is not a holder.
constexpr std::string_view kLocksFile = "locks";
constexpr std::string_view kCommFile = "comm";
constexpr std::string_view kFlockType = "FLOCK";
constexpr std::string_view kWaiterMark = "->";
constexpr int kHex = 16;
constexpr int kDecimal = 10;

std::string UserName(uid_t uid) {
    passwd entry{};
    passwd* found = nullptr;
    std::vector<char> buffer(kNameBufferSize);
    if (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr) {
        return entry.pw_name;
    }
    return std::to_string(uid);
}

std::string GroupName(gid_t gid) {
    group entry{};
    group* found = nullptr;
    std::vector<char> buffer(kNameBufferSize);
    if (::getgrgid_r(gid, &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr) {
        return entry.gr_name;
    }
    return std::to_string(gid);
}

// "00:1a:3" -> device and inode; false for anything else.
bool ParseLockedFile(const std::string& field, dev_t& device, ino_t& inode) {
    const std::size_t first = field.find(':');
    const std::size_t second = field.find(':', first == std::string::npos ? first : first + 1);
    if (first == std::string::npos || second == std::string::npos) {
        return false;
    }
    char* end = nullptr;
    const unsigned long major = std::strtoul(field.c_str(), &end, kHex);
    if (end != field.c_str() + first) {
        return false;
    }
    const unsigned long minor = std::strtoul(field.c_str() + first + 1, &end, kHex);
    if (end != field.c_str() + second) {
        return false;
    }
    const unsigned long long number = std::strtoull(field.c_str() + second + 1, &end, kDecimal);
    if (*end != '\0') {
        return false;
    }
    device = makedev(major, minor);
    inode = static_cast<ino_t>(number);
    return true;
}

// The path the user's name for the device leads to: a COMn link is
// followed, so both names of one device give the same words.
std::string DeviceName(const std::filesystem::path& device) {
    std::error_code error;
    const std::filesystem::path real = std::filesystem::canonical(device, error);
    return error ? device.string() : real.string();
}

std::string BusyText(const std::string& device, const std::optional<DeviceHolder>& holder,
                     DeviceKind kind) {
    const bool usb = kind == DeviceKind::kUsbPad;
    if (holder && holder->program == kCaptureServiceProgram) {
        return cli::Printf(usb ? kUsbBusyServiceText : kBusyServiceText, device.c_str(),
                           holder->pid);
    }
    if (holder && !holder->program.empty()) {
        return cli::Printf(usb ? kUsbBusyHolderText : kBusyHolderText, device.c_str(),
                           holder->program.c_str(), holder->pid);
    }
    return cli::Printf(usb ? kUsbBusyDeviceText : kBusyText, device.c_str());
}

}  // namespace

OpenFailure OpenFailureOfErrno(int error) {
    switch (error) {
        case EACCES:
        case EPERM:
            return OpenFailure::kPermissionDenied;
        case EBUSY:
            return OpenFailure::kBusy;
        case ENOENT:
        case ENXIO:
        case ENODEV:
            return OpenFailure::kNoSuchPort;
        default:
            return OpenFailure::kDeviceError;
    }
}

bool LockDevice(int fd) {
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            return true;
        }
        if (errno != EINTR) {
            return false;
        }
    }
}

std::optional<DeviceHolder> FindLockHolder(dev_t fsDevice, ino_t inode,
                                           const std::filesystem::path& procRoot) {
    std::ifstream locks(procRoot / kLocksFile);
    std::string line;
    while (std::getline(locks, line)) {
        std::istringstream fields(line);
        std::string number;
        std::string type;
        fields >> number >> type;
        if (type == kWaiterMark || type != kFlockType) {
            continue;
        }
        std::string mode;
        std::string access;
        long pid = 0;
        std::string file;
        if (!(fields >> mode >> access >> pid >> file)) {
            continue;
        }
        dev_t device = 0;
        ino_t node = 0;
        if (!ParseLockedFile(file, device, node) || device != fsDevice || node != inode) {
            continue;
        }
        DeviceHolder holder;
        holder.pid = pid;
        std::ifstream comm(procRoot / std::to_string(pid) / kCommFile);
        std::getline(comm, holder.program);
        return holder;
    }
    return std::nullopt;
}

std::string PermissionDeniedText(std::string_view device, std::string_view owner,
                                 std::string_view group, DeviceKind kind) {
    const std::string d(device);
    const std::string o(owner);
    const std::string g(group);
    if (kind == DeviceKind::kUsbPad) {
        return cli::Printf(kUsbPermissionOwnerText, d.c_str(), o.c_str(), g.c_str());
    }
    if (group == kSerialGroup) {
        return cli::Printf(kPermissionDialoutText, d.c_str());
    }
    return cli::Printf(kPermissionOwnerText, d.c_str(), o.c_str(), g.c_str());
}

std::string OpenRefusalReason(OpenFailure why, const std::filesystem::path& device, DeviceKind kind,
                              const SystemRoots& roots) {
    const bool usb = kind == DeviceKind::kUsbPad;
    const std::string_view plain = usb ? UsbOpenFailureText(why) : OpenFailureText(why);
    if (why != OpenFailure::kBusy && why != OpenFailure::kPermissionDenied) {
        return std::string(plain);
    }
    // stat() neither opens the device nor needs permission on it.
    struct stat info {};
    if (::stat(device.c_str(), &info) != 0) {
        return std::string(plain);
    }
    const std::string name = DeviceName(device);
    if (why == OpenFailure::kPermissionDenied) {
        return PermissionDeniedText(name, UserName(info.st_uid), GroupName(info.st_gid), kind);
    }
    return BusyText(name, FindLockHolder(info.st_dev, info.st_ino, roots.proc), kind);
}

}  // namespace vellumix::padlink
