#include "app/WelcomeScreen.h"

#include <atomic>

#include "ShellTestSupport.h"
#include "support/RecordingUsbPad.h"

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

// The welcome screen drawn in the discovery thread's announcement, as the
// connection view draws it, against frames built here byte by byte; and
// nothing at all once a stop was asked for.
TEST(WelcomeScreenTest, WelcomeFramesGoOutByteForByteAndInOrderAfterTheProbe) {
    testsupport::PadMachine machine;
    testsupport::RecordingUsbPad pad(*machine.hid);
    padlink::PadLink link(machine.SerialPort(),
                          std::make_unique<padlink::HidPort>(machine.HidBackend()));
    padlink::PadCommandChannel channel{link};
    std::atomic<bool> drawn{false};
    padlink::DiscoveryThread thread(link, test::FastTiming(), [&](std::stop_token stop) {
        drawn = DrawWelcomeScreen(channel, stop);
    });
    thread.Start();
    thread.Join();
    EXPECT_TRUE(drawn);
    EXPECT_EQ(pad.Frames(), ExpectedWelcomeFrames());

    std::stop_source stopped;
    stopped.request_stop();
    EXPECT_FALSE(DrawWelcomeScreen(channel, stopped.get_token()));
    EXPECT_EQ(pad.FrameCount(), ExpectedWelcomeFrames().size());
}

}  // namespace
}  // namespace vellumix::app
