// The reader against the virtual pad on the USB path: the program's own
// channel, HidPort and memory HID device, with the pad's USB host behind it.
#include <gtest/gtest.h>

#include <algorithm>
#include <span>
#include <thread>

#include "FakeGuiLoop.h"
#include "capture/PenReader.h"
#include "capture/SharedPointList.h"
#include "padlink/HidPort.h"
#include "padlink/PadCommandChannel.h"
#include "padlink/PadLink.h"
#include "padlink/PadUsbIds.h"
#include "support/SignatureSynth.h"
#include "support/VirtualPads.h"
#include "support/WaitUntil.h"

namespace vellumix::capture {
namespace {

using sigformats::IsPenUp;
using sigformats::PEN_UP_POINT;
using sigformats::PointTime;
using sigformats::SignaturePoint;
namespace pl = padlink;
using namespace std::chrono_literals;
using Points = std::vector<SignaturePoint>;

// The page's arrangement: the sink appends on the reader thread, the hook is
// a blocking call into the GUI thread (the test's thread). Stop comes while
// the reader reads or waits in the hook, whichever it is doing.
class PenReaderPad : public ::testing::Test {
protected:
    PenReaderPad() : m_link(std::make_unique<pl::HidPort>(m_machine.HidBackend())) {}
    void SetUp() override {
        ASSERT_TRUE(m_link.Hid()->Open(pl::PAD_USB_VENDOR_ID, pl::PAD_USB_PRODUCT_ID));
        m_channel.StartCapture();
        m_channel.SetCaptureArea(0, 0, pl::kLcdMaxX, pl::kLcdMaxY, 0, 0, 0, 0);
    }
    void TearDown() override { m_reader.reset(); }
    void Write(std::span<const SignaturePoint> points) { m_pad.Write(points); }
    void StartReader() {
        m_reader = std::make_unique<PenReader>(
            m_channel,
            [this](std::span<const SignaturePoint> batch, std::span<const PointTime> times) {
                m_list.AppendPoints(batch, times);
            },
            [this](std::stop_token stop) {
                PostAndWait(
                    m_post, [] {}, stop);
            });
        m_reader->Start();
    }
    // Runs the GUI thread's side until `count` points arrived, then stops
    // the reader unless told to keep it.
    void PumpUntil(std::size_t count, bool stop = true) {
        const auto until = std::chrono::steady_clock::now() + 20s;
        while (m_list.GetPointCount() < count && std::chrono::steady_clock::now() < until) {
            m_gui.Pump(100ms);
        }
        if (stop) {
            m_reader->Stop();
        }
    }

    testsupport::PadMachine m_machine;
    testsupport::VirtualPad& m_pad = m_machine.UsbPad();
    pl::PadLink m_link;  // USB only
    pl::PadCommandChannel m_channel{m_link};
    SharedPointList m_list;
    test::FakeGuiLoop m_gui;
    Poster m_post = m_gui.MakePoster();
    std::unique_ptr<PenReader> m_reader;
};

// Commands go out while pen reports already wait on the link, as when the
// user clicks a button while writing: each command still sees its answer,
// and the waiting reports reach the reader afterwards, none lost.
TEST_F(PenReaderPad, CommandsBehindWaitingPenDataAreAnsweredAndLoseNoPoint) {
    const auto points = testsupport::MakeSignature("Ink", 11, 400);
    constexpr int kCommands = 5;
    // A share of the signature before each command: the exchange sets aside
    // whatever the pad streams meanwhile, which may be all it had written.
    const std::size_t share = points.size() / kCommands + 1;
    for (int i = 0; i < kCommands; ++i) {
        const std::size_t from = std::min(points.size(), i * share);
        Write(std::span(points).subspan(from, std::min(share, points.size() - from)));
        ASSERT_TRUE(testsupport::WaitUntil([&] { return m_pad.device->QueuedInputReports() > 0; }))
            << "the pad sent no pen data";
        EXPECT_TRUE(m_channel.SetLedState(i % 2 == 0)) << "command " << i;
    }
    StartReader();
    PumpUntil(points.size());
    EXPECT_EQ(m_list.CopyPoints(), points);
    // With the reader gone, the pad's answer goes to the command again.
    EXPECT_TRUE(m_channel.SetLedState(true));
}

// The pad is unplugged with the pen down and plugged in again, the pen
// still down: the points from before and after are two strokes, whether
// the reader read through the loss or was stopped while it happened (as
// during a file dialog), and nothing of a report cut by the loss survives.
TEST_F(PenReaderPad, ALostPadEndsTheOpenStroke) {
    const Points before{{100, 100}, {104, 102}, {108, 105}};
    const Points after{{112, 108}, {116, 110}};
    Points expected = before;
    expected.push_back(PEN_UP_POINT);
    expected.insert(expected.end(), after.begin(), after.end());
    m_channel.SetLinkDownHandler([] {});  // as the app watches the link
    for (const bool readerStopped : {false, true}) {
        SCOPED_TRACE(readerStopped ? "reader stopped meanwhile" : "reader reading");
        m_list.Clear();
        Write(before);
        StartReader();
        PumpUntil(before.size(), readerStopped);
        ASSERT_EQ(m_list.CopyPoints(), before);

        m_pad.device->Unplug();
        if (readerStopped) {
            m_channel.CheckLink();  // the app's idle check finds it gone
        }
        const auto until = std::chrono::steady_clock::now() + 5s;
        while (!m_channel.LinkDown() && std::chrono::steady_clock::now() < until) {
            m_gui.Pump(10ms);
        }
        ASSERT_TRUE(m_channel.LinkDown());
        m_pad.device->Plug();
        m_channel.WithLink([](pl::PadLink& link) {
            link.Hid()->Open(pl::PAD_USB_VENDOR_ID, pl::PAD_USB_PRODUCT_ID);
        });
        m_channel.MarkLinkUp();
        if (readerStopped) {
            m_reader->Start();
        }
        Write(after);
        PumpUntil(expected.size());
        EXPECT_EQ(m_list.CopyPoints(), expected);
    }
}

}  // namespace
}  // namespace vellumix::capture
