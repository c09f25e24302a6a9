// The start-up search on its own thread, with no GUI: an in-memory USB pad
// that acknowledges every frame, and announcements that block as the GUI's
// hand-over does. Runs under the sanitizers with the rest of the core. (What
// the app draws once the pad is found is the app's test.)
#include "padlink/DiscoveryThread.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "padlink/CommandPayloads.h"
#include "padlink/Frame.h"
#include "padlink/HidPort.h"
#include "padlink/PadLink.h"
#include "padlink/PadProtocol.h"
#include "padlink/PadUsbIds.h"
#include "padlink/SerialPort.h"
#include "padlink/hid/MemoryHidDevice.h"
#include "support/RecordingUsbPad.h"
#include "support/TempDir.h"

namespace vellumix::padlink {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

using RecordingPad = testsupport::RecordingUsbPad;

Bytes Probe() {
    std::array<std::uint8_t, 16> buffer{};
    return Bytes(buffer.begin(), buffer.begin() + BuildFrame(buffer, payload::Probe(buffer)));
}

DiscoveryTiming Fast() {
    DiscoveryTiming timing;
    timing.portPause = 1ms;
    timing.passPause = 1ms;
    timing.replyPause = 5ms;
    timing.usbWait = 50ms;
    return timing;
}

// The pad's link, with no serial port at all (the folder is empty and no
// system device is tried).
struct Rig {
    Rig() {
        auto b = std::make_unique<hid::MemoryHidBackend>();
        backend = b.get();
        link = std::make_unique<PadLink>(std::make_unique<SerialPort>(folder.path(), Prefixes{}),
                                         std::make_unique<HidPort>(std::move(b)));
    }
    using Prefixes = std::vector<std::string>;
    testsupport::TempDir folder;
    hid::MemoryHidBackend* backend = nullptr;
    std::unique_ptr<PadLink> link;
};

TEST(DiscoveryThreadTest, AnnouncesThePadRightAfterItsProbeWithTheLinkOnItsTransport) {
    Rig rig;
    RecordingPad pad(*rig.backend);
    std::vector<Bytes> framesAtAnnounce;
    PadLinkKind linkAtAnnounce = PadLinkKind::kNone;
    DiscoveryThread thread(*rig.link, Fast(), [&](std::stop_token) {
        framesAtAnnounce = pad.Frames();
        linkAtAnnounce = rig.link->Kind();
    });
    thread.Start();
    thread.Join();
    EXPECT_EQ(framesAtAnnounce, std::vector<Bytes>{Probe()});
    EXPECT_EQ(linkAtAnnounce, PadLinkKind::kUsb);
    EXPECT_EQ(thread.Link(), PadLinkKind::kUsb);
    EXPECT_TRUE(thread.IsFinished());
}

// An announcement the GUI never gets to: it waits until the stop comes, as
// the pen reader's hand-over does while the GUI thread is busy closing.
void WaitForStop(std::stop_token stop) {
    std::mutex mutex;
    std::condition_variable_any never;
    std::unique_lock lock(mutex);
    never.wait(lock, stop, [] { return false; });
}

TEST(DiscoveryThreadTest, StoppingAtAnyPointEndsTheThreadAndSendsNothingAfter) {
    struct Case {
        bool pad;
        std::chrono::milliseconds portPause;
        std::chrono::milliseconds stopAfter;
    };
    // With a pad: during the probe and the announcement.
    // Without one: inside a port pause far longer than the test may take.
    const Case cases[] = {{true, 1ms, 0ms},  {true, 1ms, 1ms},  {true, 1ms, 3ms},
                          {true, 1ms, 8ms},  {true, 1ms, 20ms}, {true, 1ms, 200ms},
                          {false, 60s, 0ms}, {false, 60s, 20ms}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "pad " << c.pad << " stop after " << c.stopAfter.count());
        Rig rig;
        std::unique_ptr<RecordingPad> pad;
        if (c.pad) {
            pad = std::make_unique<RecordingPad>(*rig.backend);
        }
        DiscoveryTiming timing = Fast();
        timing.portPause = c.portPause;
        DiscoveryThread thread(*rig.link, timing, WaitForStop);
        thread.Start();
        std::this_thread::sleep_for(c.stopAfter);
        const auto start = Clock::now();
        thread.RequestStop();
        thread.Join();
        // Generous: one probe or one frame may still finish first.
        EXPECT_LT(Clock::now() - start, 5s);
        EXPECT_TRUE(thread.IsFinished());
        if (pad) {
            const std::size_t sent = pad->Frames().size();
            std::this_thread::sleep_for(20ms);
            EXPECT_EQ(pad->Frames().size(), sent);
            EXPECT_LE(sent, 1u);
        }
    }
}

}  // namespace
}  // namespace vellumix::padlink
