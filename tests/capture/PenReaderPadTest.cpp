// The reader against the virtual pad on the USB path: the program's own
// channel, HidPort and memory HID device, with the pad's USB host behind it.
#include <gtest/gtest.h>

#include <filesystem>

#include "FakeGuiLoop.h"
#include "capture/PenReader.h"
#include "capture/SharedPointList.h"
#include "hosts/UsbHost.h"
#include "padlink/HidPort.h"
#include "padlink/PadCommandChannel.h"
#include "padlink/PadUsbIds.h"
#include "padlink/SerialPort.h"
#include "padlink/hid/MemoryHidDevice.h"
#include "support/SignatureSynth.h"

namespace vellumix::capture {
namespace {

namespace pl = padlink;
using namespace std::chrono_literals;

// The page's arrangement: the sink appends on the reader thread, the hook is
// a blocking call into the GUI thread. Stop comes while the reader reads or
// waits in the hook, whichever it is doing.
TEST(PenReaderPad, AReplayedSignatureComesBackExactly) {
    padsim::PadEngine engine;
    pl::SerialPort serial(std::filesystem::temp_directory_path() / "no-ports", {});
    auto backend = std::make_unique<pl::MemoryHidBackend>();
    const auto device = backend->AddDevice(pl::PAD_USB_VENDOR_ID, pl::PAD_USB_PRODUCT_ID);
    pl::HidPort hid(std::move(backend));
    pl::PadCommandChannel channel(pl::PadPorts{serial, hid});
    padsim::UsbHost host(engine, device);
    host.Start();
    pl::g_usbConnected = true;
    ASSERT_TRUE(hid.Open(pl::PAD_USB_VENDOR_ID, pl::PAD_USB_PRODUCT_ID));
    channel.StartCapture();
    channel.SetCaptureArea(0, 0, pl::kLcdMaxX, pl::kLcdMaxY, 0, 0, 0, 0);

    const auto points = testsupport::MakeSignature("Pen", 7, 400);
    for (const SignaturePoint p : points) {
        IsPenUp(p) ? engine.PenUp() : engine.PenDown(p.x, p.y);
    }
    SharedPointList list;
    test::FakeGuiLoop gui;
    const Poster post = gui.MakePoster();
    PenReader reader(
        channel, [&](std::span<const SignaturePoint> batch) { list.AppendPoints(batch); },
        [&](std::stop_token stop) {
            PostAndWait(
                post, [] {}, stop);
        });
    reader.Start();
    const auto until = std::chrono::steady_clock::now() + 20s;
    while (list.GetPointCount() < points.size() && std::chrono::steady_clock::now() < until) {
        gui.Pump(100ms);
    }
    reader.Stop();
    EXPECT_EQ(list.CopyPoints(), points);
    // With the reader gone, the pad's answer goes to the command again.
    EXPECT_TRUE(channel.SetLedState(true));
    host.Stop();
    pl::g_usbConnected = false;
}

}  // namespace
}  // namespace vellumix::capture
