// Who holds a device, read from a /proc of the test's own making, and the
// words for a port the user may not open. The lock itself is checked on
// real pseudo-terminals in SerialPortTest and end to end with padctl.
#include "padlink/DeviceAccess.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cstdio>

#include <filesystem>
#include <optional>
#include <string>

#include "support/TempDir.h"

namespace vellumix::padlink {
namespace {

namespace fs = std::filesystem;

TEST(FindLockHolderTest, NamesTheFlockHolderOfThatDeviceAndInodeOnly) {
    testsupport::TempDir proc("vellumix-proc");
    // A POSIX lock and a blocked waiter on the same file are not the holder;
    // the device is hex major:minor, the inode decimal.
    testsupport::WriteFile(proc / "locks",
                           "1: POSIX  ADVISORY  WRITE 111 00:1a:3 0 EOF\n"
                           "2: FLOCK  ADVISORY  WRITE 222 00:1b:3 0 EOF\n"
                           "3: -> FLOCK  ADVISORY  WRITE 333 00:1a:3 0 EOF\n"
                           "4: FLOCK  ADVISORY  WRITE 4242 00:1a:3 0 EOF\n"
                           "5: FLOCK  ADVISORY  WRITE 515 103:1a:77 0 EOF\n"
                           "garbage\n");
    fs::create_directory(proc / "4242");
    testsupport::WriteFile(proc / "4242" / "comm", "vellumix-padctl\n");
    const struct {
        dev_t device;
        ino_t inode;
        std::optional<long> pid;
        std::string program;
    } cases[] = {
        {makedev(0, 0x1a), 3, 4242, "vellumix-padctl"},
        {makedev(0, 0x1b), 3, 222, ""},  // its comm is gone: the pid alone
        {makedev(0x103, 0x1a), 77, 515, ""},
        {makedev(0, 0x1a), 4, std::nullopt, ""},
        {makedev(0, 0x1c), 3, std::nullopt, ""},
    };
    for (const auto& c : cases) {
        const auto holder = FindLockHolder(c.device, c.inode, proc.path());
        ASSERT_EQ(holder.has_value(), c.pid.has_value()) << c.inode;
        if (holder) {
            EXPECT_EQ(holder->pid, *c.pid);
            EXPECT_EQ(holder->program, c.program);
        }
    }
    EXPECT_FALSE(FindLockHolder(makedev(0, 0x1a), 3, proc / "missing").has_value());
}

// A busy device names its holder, and the capture service as what it is: the
// pad is lent to a program that claimed it.
TEST(OpenRefusalReasonTest, ABusyDeviceNamesItsHolderAndTheCaptureServiceAsSuch) {
    testsupport::TempDir dir("vellumix-busy");
    testsupport::WriteFile(dir / "tty", "");
    struct stat info {};
    ASSERT_EQ(::stat((dir / "tty").c_str(), &info), 0);
    char lock[128];
    std::snprintf(lock, sizeof lock, "1: FLOCK  ADVISORY  WRITE 77 %02x:%02x:%lu 0 EOF\n",
                  major(info.st_dev), minor(info.st_dev), static_cast<unsigned long>(info.st_ino));
    testsupport::WriteFile(dir / "locks", lock);
    fs::create_directory(dir / "77");
    const struct {
        const char* program;
        DeviceKind kind;
        const char* says;
    } cases[] = {
        {"vellumix-demo", DeviceKind::kSerialPort, "is busy: vellumix-demo (pid 77) has it open"},
        {"vellumix-padd", DeviceKind::kSerialPort,
         "is busy: the capture service (vellumix-padd, pid 77) lends it to a program"},
        {"vellumix-padd", DeviceKind::kUsbPad, "the USB pad "},
    };
    for (const auto& c : cases) {
        testsupport::WriteFile(dir / "77" / "comm", std::string(c.program) + "\n");
        const std::string text =
            OpenRefusalReason(OpenFailure::kBusy, dir / "tty", c.kind, {dir.path(), dir.path()});
        EXPECT_NE(text.find(c.says), std::string::npos) << text;
    }
}

// The 'dialout' group is suggested only when it is the device's group; the
// USB text always points at the udev rule.
TEST(PermissionDeniedTextTest, SuggestsTheGroupOnlyWhenItWouldHelp) {
    const struct {
        const char* group;
        DeviceKind kind;
        const char* says;
        bool dialout;
    } cases[] = {
        {"dialout", DeviceKind::kSerialPort, "add yourself to the 'dialout' group", true},
        {"root", DeviceKind::kSerialPort, "belongs to user 'root' and group 'root'", false},
        {"tty", DeviceKind::kSerialPort, "group 'tty'", false},
        {"root", DeviceKind::kUsbPad, "70-vellumix-pad.rules", false},
    };
    for (const auto& c : cases) {
        const std::string text = PermissionDeniedText("/dev/ttyS4", "root", c.group, c.kind);
        EXPECT_NE(text.find("/dev/ttyS4"), std::string::npos) << text;
        EXPECT_NE(text.find(c.says), std::string::npos) << text;
        EXPECT_EQ(text.find("dialout") != std::string::npos, c.dialout) << text;
    }
}

}  // namespace
}  // namespace vellumix::padlink
