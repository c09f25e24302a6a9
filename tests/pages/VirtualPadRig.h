// The program's USB path end to end against the virtual pad, in process: the
// command channel over HidPort over an in-memory HID device whose other side
// is the virtual pad's USB host. The pad's trace is what it received; timing
// makes chosen commands slow or their answers late (PadTimingHid.h).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "engine/PadEngine.h"
#include "hosts/UsbHost.h"
#include "padlink/HidPort.h"
#include "padlink/PadCommandChannel.h"
#include "padlink/PadLink.h"
#include "padlink/PadUsbIds.h"
#include "padlink/hid/MemoryHidDevice.h"
#include "support/PadTimingHid.h"

namespace vellumix::pages::test {

class VirtualPadRig {
public:
    VirtualPadRig()
        : link(std::make_unique<padlink::HidPort>(MakeBackend(device, timing))),
          channel(link),
          host(engine, device) {
        link.Use(padlink::PadLinkKind::kUsb);
        host.Start();
    }
    ~VirtualPadRig() { host.Stop(); }
    VirtualPadRig(const VirtualPadRig&) = delete;
    VirtualPadRig& operator=(const VirtualPadRig&) = delete;

    // What the pad received since the last call, one line per command; a
    // refused one carries the engine's verdict (" -> NAK (injected)").
    std::vector<std::string> Commands() { return engine.TakeTrace(); }

    padsim::engine::PadEngine engine;
    std::shared_ptr<padlink::hid::MemoryHidDevice> device;
    testsupport::PadTimingHidBackend* timing = nullptr;  // owned by hid
    padlink::PadLink link;                               // USB only
    padlink::PadCommandChannel channel;
    padsim::hosts::UsbHost host;  // last: stopped before the rest goes

private:
    static std::unique_ptr<padlink::HidBackend> MakeBackend(
        std::shared_ptr<padlink::hid::MemoryHidDevice>& device,
        testsupport::PadTimingHidBackend*& timing) {
        auto backend = std::make_unique<padlink::hid::MemoryHidBackend>();
        device = backend->AddDevice(padlink::PAD_USB_VENDOR_ID, padlink::PAD_USB_PRODUCT_ID);
        auto timed = std::make_unique<testsupport::PadTimingHidBackend>(std::move(backend));
        timing = timed.get();
        return timed;
    }
};

}  // namespace vellumix::pages::test
