#include "padlink/DiscoveryThread.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>

#include "ShellTestSupport.h"
#include "hosts/SerialHost.h"

namespace vellumix::app {
namespace {

namespace pt = padsim::test;
using test::Bytes;
using namespace std::chrono_literals;

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

class DiscoveryThreadTest : public ::testing::Test {
protected:
    void SetUp() override { padlink::g_usbConnected = false; }

    std::unique_ptr<padlink::DiscoveryThread> MakeThread(
        padlink::DiscoveryTiming timing = test::FastTiming()) {
        return std::make_unique<padlink::DiscoveryThread>(
            channel, timing, [this](std::stop_token) { OnAnnounce(); });
    }
    virtual void OnAnnounce() { ++announced; }

    test::MemoryUsb usb;
    test::TempPortFolder ports;
    std::unique_ptr<padlink::SerialPort> serial = ports.MakeSerialPort();
    padlink::PadCommandChannel channel{padlink::PadPorts{*serial, *usb.hid}};
    std::atomic<int> announced{0};
};

TEST_F(DiscoveryThreadTest, FindsTheVirtualPadOnUsbAndDrawsTheWelcomeScreen) {
    test::VirtualUsbPad pad(usb);
    auto thread = MakeThread();
    thread->Start();
    ASSERT_TRUE(test::WaitUntil([&] { return announced == 1; }));
    thread->Join();

    EXPECT_EQ(pad.Trace(), test::kProbeAndWelcomeTrace);
    EXPECT_TRUE(padlink::g_usbConnected);
    EXPECT_EQ(thread->Link(), padlink::PadLinkKind::kUsb);
    EXPECT_FALSE(thread->IsRunning());
}

class AnnounceSnapshot : public DiscoveryThreadTest {
protected:
    void OnAnnounce() override {
        framesAtAnnounce = pad->FrameCount();
        ++announced;
    }
    std::unique_ptr<test::RecordingUsbPad> pad = std::make_unique<test::RecordingUsbPad>(usb);
    std::size_t framesAtAnnounce = 0;
};

TEST_F(AnnounceSnapshot, WelcomeFramesGoOutByteForByteAndInOrderBeforeTheAnnouncement) {
    auto thread = MakeThread();
    thread->Start();
    ASSERT_TRUE(test::WaitUntil([&] { return announced == 1; }));
    thread->Join();
    const std::vector<Bytes> expected = ExpectedWelcomeFrames();
    EXPECT_EQ(pad->Frames(), expected);
    EXPECT_EQ(framesAtAnnounce, expected.size());
}

// Replies to the probe and whether they make a pad.
struct ProbeCase {
    const char* name;
    Bytes reply;
    bool isPad;
    friend void PrintTo(const ProbeCase& c, std::ostream* os) { *os << c.name; }
};

class ProbeReplies : public DiscoveryThreadTest, public ::testing::WithParamInterface<ProbeCase> {};

TEST_P(ProbeReplies, OnlySevenBytesWithAckInByteThreeMakeAPad) {
    test::RecordingUsbPad pad(usb, GetParam().reply);
    auto thread = MakeThread();
    thread->Start();
    if (GetParam().isPad) {
        ASSERT_TRUE(test::WaitUntil([&] { return announced == 1; }));
        thread->Join();
        EXPECT_EQ(pad.FrameCount(), ExpectedWelcomeFrames().size());
        return;
    }
    // Not a pad: asked again pass after pass, and nothing else is sent.
    ASSERT_TRUE(test::WaitUntil([&] { return pad.FrameCount() >= 3; }));
    thread->RequestStop();
    thread->Join();
    EXPECT_EQ(announced, 0);
    EXPECT_FALSE(thread->PadFound());
    EXPECT_GE(thread->Passes(), 2);
    for (const Bytes& frame : pad.Frames()) {
        EXPECT_EQ(frame, pt::kProbeFrame);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Replies, ProbeReplies,
    ::testing::Values(ProbeCase{"Ack", pt::Ack(), true},
                      ProbeCase{"SixBytes", Bytes{0x02, 0x01, 0x00, 0x06, 0x06, 0x06}, false},
                      ProbeCase{"Nak", pt::Nak(), false}, ProbeCase{"Silence", Bytes{}, false}),
    [](const auto& info) { return std::string(info.param.name); });

// A pseudo-terminal published as COMn whose other side never answers.
class SilentPort {
public:
    SilentPort(const std::filesystem::path& folder, int com) {
        m_master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        EXPECT_GE(m_master, 0);
        EXPECT_EQ(grantpt(m_master), 0);
        EXPECT_EQ(unlockpt(m_master), 0);
        char name[128] = {};
        EXPECT_EQ(ptsname_r(m_master, name, sizeof name), 0);
        std::filesystem::create_symlink(name, padlink::PortLinkPath(folder, com));
    }
    ~SilentPort() { close(m_master); }

    Bytes Received() const {
        Bytes bytes;
        std::uint8_t buffer[256];
        ssize_t n = 0;
        while ((n = read(m_master, buffer, sizeof buffer)) > 0) {
            bytes.insert(bytes.end(), buffer, buffer + n);
        }
        return bytes;
    }
    // No process holds the terminal's other side open any more.
    bool HungUp() const {
        pollfd fd{m_master, POLLIN, 0};
        return poll(&fd, 1, 0) == 1 && (fd.revents & POLLHUP) != 0;
    }

private:
    int m_master = -1;
};

TEST_F(DiscoveryThreadTest, SilentCom1IsClosedAndThePadOnCom4IsFoundInTheSamePass) {
    SilentPort com1(ports.path, 1);
    padsim::PadEngine engine;
    padsim::SerialHostOptions options;
    options.portFolder = ports.path;
    options.comNumber = 4;
    padsim::SerialHost host(engine, options);
    std::string error;
    ASSERT_TRUE(host.Start(&error)) << error;

    auto thread = MakeThread();
    thread->Start();
    ASSERT_TRUE(test::WaitUntil([&] { return announced == 1; }));
    thread->Join();

    EXPECT_EQ(com1.Received(), pt::kProbeFrame);
    EXPECT_TRUE(com1.HungUp());
    EXPECT_EQ(thread->Link(), padlink::PadLinkKind::kSerial);
    EXPECT_EQ(thread->ComNumber(), 4);
    EXPECT_EQ(thread->Passes(), 0);
    EXPECT_FALSE(padlink::g_usbConnected);
    // The port that answered stays open for the command channel.
    EXPECT_TRUE(serial->IsOpen());
    EXPECT_EQ(engine.TakeTrace(), test::kProbeAndWelcomeTrace);
}

TEST_F(DiscoveryThreadTest, StopWakesTheThreadOutOfItsPause) {
    // No pad anywhere and a port pause far longer than the test may take:
    // only a stop that wakes the pause ends the thread in time.
    padlink::DiscoveryTiming timing = test::FastTiming();
    timing.portPause = 60s;
    auto thread = MakeThread(timing);
    thread->Start();
    ASSERT_TRUE(thread->IsRunning());
    std::this_thread::sleep_for(20ms);
    const auto start = std::chrono::steady_clock::now();
    thread->RequestStop();
    thread->Join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    EXPECT_TRUE(thread->IsFinished());
    EXPECT_FALSE(thread->PadFound());
    EXPECT_EQ(announced, 0);
}

}  // namespace
}  // namespace vellumix::app
