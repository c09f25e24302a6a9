#include "padlink/hid/HidapiBackend.h"

#include <gtest/gtest.h>

#include <memory>

#include "padlink/HidPort.h"
#include "padlink/PadUsbIds.h"

namespace vellumix::padlink {
namespace {

// The build machines have no USB bus: these check that the real back end
// copes with finding nothing, the state of every machine without a pad.
TEST(HidapiBackendTest, NoPadPresentFindsNothingAndOpensNothing) {
    HidapiBackend backend;
    EXPECT_TRUE(backend.Enumerate(PAD_USB_VENDOR_ID, PAD_USB_PRODUCT_ID).empty());
    EXPECT_EQ(
        backend.Open(HidDeviceInfo{"/nonexistent/hidraw99", PAD_USB_VENDOR_ID, PAD_USB_PRODUCT_ID}),
        nullptr);
    EXPECT_EQ(backend.Open(HidDeviceInfo{}), nullptr);
}

TEST(HidapiBackendTest, PortOverHidapiFailsCleanlyWithoutAPad) {
    HidPort port(std::make_unique<HidapiBackend>());
    EXPECT_FALSE(port.Open(PAD_USB_VENDOR_ID, PAD_USB_PRODUCT_ID));
    const std::uint8_t frame[] = {0x02, 0x03, 0x00, 0x78, 0x46, 0x01, 0x3F, 0xBF, 0x03};
    std::uint8_t reply[16];
    EXPECT_EQ(port.Exchange(PAD_USB_VENDOR_ID, PAD_USB_PRODUCT_ID, frame, sizeof frame, reply,
                            sizeof reply, 10),
              -1);
}

}  // namespace
}  // namespace vellumix::padlink
