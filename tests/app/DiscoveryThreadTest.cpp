#include "padlink/DiscoveryThread.h"

#include <atomic>

#include "ShellTestSupport.h"

namespace vellumix::app {
namespace {

namespace pt = padsim::test;
using test::Bytes;

// The probe, then the welcome screen, as the pad must receive them.
std::vector<Bytes> ExpectedWelcomeFrames() {
    namespace draw = padlink::draw;
    constexpr std::uint8_t kDraw = padlink::cls::kDraw;
    const auto text = [](int x, int y, std::string_view s) { return pt::Frame(pt::Text(x, y, s)); };
    return {
        pt::kProbeFrame,
        pt::Frame(pt::Cmd(kDraw, draw::kSetFillColor, {0xFF, 0xFF, 0xFF})),
        pt::Frame(pt::Rect(kDraw, draw::kFillRectangle, 0, 0, 319, 239)),
        pt::Frame(pt::Cmd(kDraw, draw::kSetFont, {16, 12, 16, 0, 0, 3})),
        pt::Frame(pt::Cmd(kDraw, draw::kSetTextColor, {0x00, 0x00, 0xFF})),
        pt::Frame(pt::Cmd(kDraw, draw::kSetTextMode, {1})),
        text(105, 30, "NORVALE"),
        text(75, 60, "Vellumix Demo"),
        pt::Frame(pt::Cmd(kDraw, draw::kSetTextColor, {0x00, 0x00, 0xFF})),
        text(100, 160, "Welcome"),
    };
}

// The welcome screen through the core's discovery thread, against frames
// built here byte by byte: all of it is out before the GUI hears of the pad.
TEST(DiscoveryThreadTest, WelcomeFramesGoOutByteForByteAndInOrderBeforeTheAnnouncement) {
    test::MemoryUsb usb;
    test::TempPortFolder ports;
    test::RecordingUsbPad pad(usb);
    padlink::PadLink link(ports.MakeSerialPort(), std::move(usb.hid));
    padlink::PadCommandChannel channel{link};
    std::atomic<int> announced{0};
    std::atomic<std::size_t> framesAtAnnounce{0};
    padlink::DiscoveryThread thread(channel, test::FastTiming(), [&](std::stop_token) {
        framesAtAnnounce = pad.FrameCount();
        ++announced;
    });
    thread.Start();
    ASSERT_TRUE(test::WaitUntil([&] { return announced == 1; }));
    thread.Join();
    const std::vector<Bytes> expected = ExpectedWelcomeFrames();
    EXPECT_EQ(pad.Frames(), expected);
    EXPECT_EQ(framesAtAnnounce, expected.size());
    EXPECT_EQ(link.Kind(), padlink::PadLinkKind::kUsb);
    EXPECT_EQ(thread.Link(), padlink::PadLinkKind::kUsb);
}

}  // namespace
}  // namespace vellumix::app
