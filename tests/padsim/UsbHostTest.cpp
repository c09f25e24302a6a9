#include "hosts/UsbHost.h"

#include <gtest/gtest.h>

#include "PadTestSupport.h"
#include "padlink/HidPort.h"
#include "padlink/PadUsbIds.h"
#include "support/VirtualPads.h"

namespace vellumix::padsim {
namespace {

namespace pl = padlink;
using namespace std::chrono_literals;
using test::Bytes;

// The program's own USB transport talks to the pad through the memory
// device, as it would to the real one.
class UsbHostTest : public ::testing::Test {
protected:
    Bytes Exchange(const Bytes& frame, int waitMs = 500) {
        std::uint8_t reply[pl::kReplyCapacity] = {};
        const int n = port.Exchange(pl::PAD_USB_VENDOR_ID, pl::PAD_USB_PRODUCT_ID, frame.data(),
                                    frame.size(), reply, sizeof reply, waitMs);
        return Bytes(reply, reply + std::max(n, 0));
    }

    testsupport::PadMachine machine;
    engine::PadEngine& engine = machine.UsbPad().engine;
    pl::HidPort port{machine.HidBackend()};
};

TEST_F(UsbHostTest, PenReportsArriveInWholeReportsAfterTheAck) {
    ASSERT_EQ(Exchange(test::Frame(test::Cmd(0x7A, pl::capturing::kStartCapture,
                                             {0x04, 0x7A, 0, 0, 0, 0xFF, 0xFF, 0xFF}))),
              test::Ack());
    for (int i = 0; i < 20; ++i) {
        engine.PenDown(i, 1023 - i);
    }
    engine.PenUp();
    Bytes got;
    const auto until = std::chrono::steady_clock::now() + 2s;
    while (got.size() < 21 * 5 && std::chrono::steady_clock::now() < until) {
        std::uint8_t buf[pl::kReplyCapacity];
        const int n = port.Read(buf, sizeof buf, static_cast<int>(pl::kPenReadWait.count()));
        ASSERT_EQ(n % 5, 0) << "a read split a pen report";
        got.insert(got.end(), buf, buf + std::max(n, 0));
    }
    ASSERT_EQ(got.size(), 21u * 5);
    EXPECT_EQ(got[5 * 3 + 2], 3);  // x of the fourth report
    EXPECT_EQ(got[5 * 20], 0x80);
}

}  // namespace
}  // namespace vellumix::padsim
