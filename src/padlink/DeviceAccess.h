// Who may use a pad's device node, and who does. A link takes an advisory
// lock on its device for as long as it is open (flock(LOCK_EX | LOCK_NB)),
// because exclusive mode on a tty does not stop root and a hidraw node has no
// exclusive mode at all: a second program, or a second instance of the app,
// is refused at once instead of sharing the pad's byte stream. When an open
// is refused, the words for it come from the device itself: its owner and
// group for "permission denied", the lock's holder (from /proc) for "busy".
//
// Thread safety: plain functions over the file system; safe from any thread.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "padlink/LinkResult.h"
#include "padlink/SystemRoots.h"

namespace vellumix::padlink {

// The program that holds a device's lock, as /proc names it.
struct DeviceHolder {
    long pid = 0;
    std::string program;  // its comm: at most 15 characters
};

enum class DeviceKind { kSerialPort, kUsbPad };

// An open() error as an open failure.
OpenFailure OpenFailureOfErrno(int error);

// Takes the device's lock on fd without waiting. False when another open
// file description of the device holds it (another program, or another
// open in this one), whoever the caller is.
bool LockDevice(int fd);

// The holder of an flock on the file whose stat gave fsDevice (st_dev) and
// inode: the first FLOCK line of <proc>/locks for it, and <proc>/<pid>/comm.
// Nothing when no such lock is listed. The program is empty when its comm
// cannot be read (it has just ended, or another namespace).
std::optional<DeviceHolder> FindLockHolder(dev_t fsDevice, ino_t inode,
                                           const std::filesystem::path& procRoot);

// The reason for a refused open in words that name the device: `device` is
// the path that was opened (a COMn link is followed to the device it leads
// to). Busy names the lock's holder when /proc has it; permission denied
// names the owner and group, and suggests the 'dialout' group only when that
// is the device's group. Other failures keep their plain texts.
std::string OpenRefusalReason(OpenFailure why, const std::filesystem::path& device, DeviceKind kind,
                              const SystemRoots& roots);

// The permission text for a device with this owner and group.
std::string PermissionDeniedText(std::string_view device, std::string_view owner,
                                 std::string_view group, DeviceKind kind);

}  // namespace vellumix::padlink
