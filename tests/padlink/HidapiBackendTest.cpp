#include "padlink/hid/HidapiBackend.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <string>

#include "padlink/PadUsbIds.h"
#include "support/TempDir.h"

namespace vellumix::padlink {
namespace {

// The build machines have no USB bus: these check that the real back end
// copes with finding nothing, the state of every machine without a pad.
TEST(HidapiBackendTest, NoPadPresentFindsNothingAndOpensNothing) {
    hid::HidapiBackend backend;
    EXPECT_TRUE(backend.Enumerate(PAD_USB_VENDOR_ID, PAD_USB_PRODUCT_ID).empty());
    EXPECT_EQ(
        backend.Open(HidDeviceInfo{"/nonexistent/hidraw99", PAD_USB_VENDOR_ID, PAD_USB_PRODUCT_ID})
            .device,
        nullptr);
    EXPECT_EQ(backend.Open(HidDeviceInfo{}).device, nullptr);
}

// hidraw lets any number of programs open the pad: the backend's own lock on
// the node refuses a second one, root included, naming the holder. A plain
// file stands in for the node, which hidapi then refuses as no hidraw device.
TEST(HidapiBackendTest, ANodeLockedByAnotherOpenIsBusyNamingItsHolder) {
    testsupport::TempDir dir("vellumix-hidraw");
    const std::filesystem::path node = dir / "hidraw0";
    testsupport::WriteFile(node, "");
    const int other = ::open(node.c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_EQ(::flock(other, LOCK_EX | LOCK_NB), 0);
    hid::HidapiBackend backend;
    const HidDeviceInfo info{node.string(), PAD_USB_VENDOR_ID, PAD_USB_PRODUCT_ID};
    HidOpenResult held = backend.Open(info);
    EXPECT_EQ(held.device, nullptr);
    EXPECT_EQ(held.failure, OpenFailure::kBusy);
    EXPECT_NE(held.reason.find("(pid " + std::to_string(::getpid()) + ")"), std::string::npos)
        << held.reason;
    ::close(other);
    const HidOpenResult free = backend.Open(info);
    EXPECT_EQ(free.device, nullptr);
    EXPECT_EQ(free.failure, OpenFailure::kDeviceError);
}

}  // namespace
}  // namespace vellumix::padlink
