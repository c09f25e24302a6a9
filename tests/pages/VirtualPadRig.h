// The program's links end to end against the virtual pad, in process. The
// USB rig: the command channel over HidPort over an in-memory HID device
// whose other side is the virtual pad's USB host; the pad's trace is what
// it received, and timing makes chosen commands slow or their answers late
// (PadTimingHid.h). The serial rig: the pad on COM1 of a pseudo-terminal
// paced as asked, the channel opening the port at its first command.
#pragma once

#include <QCoreApplication>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "padlink/HidPort.h"
#include "padlink/PadCommandChannel.h"
#include "padlink/PadLink.h"
#include "support/PadTimingHid.h"
#include "support/VirtualPads.h"

namespace vellumix::pages::test {

// Runs the GUI thread, which answers the reader's exchanges, until the
// Signature page holds `count` points.
template <class SignaturePage>
bool PumpUntil(const SignaturePage& page, std::size_t count,
               std::chrono::seconds limit = std::chrono::seconds(10)) {
    const auto until = std::chrono::steady_clock::now() + limit;
    // Drawn, not only appended: the reader appends, then hands over to us.
    while ((page.GetPointCount() < count || page.DrawnPointCount() < page.GetPointCount()) &&
           std::chrono::steady_clock::now() < until) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    QCoreApplication::processEvents();
    return page.GetPointCount() == count;
}

class VirtualPadRig {
public:
    VirtualPadRig() { link.Use(padlink::PadLinkKind::kUsb); }
    VirtualPadRig(const VirtualPadRig&) = delete;
    VirtualPadRig& operator=(const VirtualPadRig&) = delete;

    // What the pad received since the last call, one line per command; a
    // refused one carries the engine's verdict (" -> NAK (injected)").
    std::vector<std::string> Commands() { return engine.TakeTrace(); }

    testsupport::PadMachine machine;
    testsupport::VirtualPad& pad = machine.UsbPad();
    padsim::engine::PadEngine& engine = pad.engine;
    std::shared_ptr<padlink::hid::MemoryHidDevice> device = pad.device;
    testsupport::PadTimingHidBackend* timing = nullptr;  // owned by link
    padlink::PadLink link{std::make_unique<padlink::HidPort>(TimedBackend())};
    padlink::PadCommandChannel channel{link};

private:
    std::unique_ptr<padlink::HidBackend> TimedBackend() {
        auto timed = std::make_unique<testsupport::PadTimingHidBackend>(machine.HidBackend());
        timing = timed.get();
        return timed;
    }
};

struct SerialPadRig {
    explicit SerialPadRig(int bytesPerSecond)
        : pad(machine.SerialPad(testsupport::PacedLine(bytesPerSecond))) {}

    testsupport::PadMachine machine;
    testsupport::VirtualPad& pad;
    padlink::PadLink link{machine.SerialPort()};
    padlink::PadCommandChannel channel{link};
};

}  // namespace vellumix::pages::test
