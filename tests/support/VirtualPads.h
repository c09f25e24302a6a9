// Virtual pads on a test machine of the test's own: a temporary port folder
// for the pads on pseudo-terminals (COMn links), and the in-memory USB
// devices every link and console of the test shares, as one machine's
// hidapi lists them to every program (SharedHidBackend.h). Nothing here
// looks at a real port or device. For test programs that link the virtual
// pad's hosts.
//
// A pad or folder that cannot be put up throws std::runtime_error saying
// why, which fails the test (and stops a benchmark).
//
// Thread safety: each pad's host runs a thread of its own (see its header);
// the machine is set up and torn down on the test's thread.
#pragma once

#include <filesystem>
#include <list>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/PadEngine.h"
#include "hosts/SerialHost.h"
#include "hosts/UsbHost.h"
#include "padlink/PadUsbIds.h"
#include "padlink/PortResolver.h"
#include "padlink/SerialPort.h"
#include "padlink/hid/MemoryHidDevice.h"
#include "support/SharedHidBackend.h"
#include "support/TempDir.h"

namespace vellumix::testsupport {

// One virtual pad and the host that puts it on its line: serial or USB.
struct VirtualPad {
    explicit VirtualPad(padsim::engine::PadEngine::Options options) : engine(options) {}

    // The pen writes the points (PEN_UP_POINT lifts it); a serial host is
    // woken, else it looks for pen output at its next poll.
    void Write(std::span<const sigformats::SignaturePoint> points) {
        for (const sigformats::SignaturePoint p : points) {
            sigformats::IsPenUp(p) ? engine.PenUp() : engine.PenDown(p.x, p.y);
        }
        WakeUp();
    }
    void WakeUp() {
        if (serial) {
            serial->WakeUp();
        }
    }

    padsim::engine::PadEngine engine;
    std::unique_ptr<padsim::hosts::SerialHost> serial;
    std::shared_ptr<padlink::hid::MemoryHidDevice> device;
    std::unique_ptr<padsim::hosts::UsbHost> usb;  // last: stopped before the rest goes
};

// A serial line paced at bytesPerSecond in both directions (0: as fast as
// the pseudo-terminal moves bytes).
inline padsim::hosts::SerialHostOptions PacedLine(int bytesPerSecond) {
    padsim::hosts::SerialHostOptions options;
    options.paceBytesPerSecond = bytesPerSecond;
    return options;
}

class PadMachine {
public:
    PadMachine() {
        if (!padlink::CreatePortFolder(ports)) {
            throw std::runtime_error("no port folder at " + ports.string());
        }
    }
    PadMachine(const PadMachine&) = delete;
    PadMachine& operator=(const PadMachine&) = delete;

    // A pad on COMn of the port folder (options.comNumber, else COM1),
    // started.
    VirtualPad& SerialPad(padsim::hosts::SerialHostOptions options = {},
                          padsim::engine::PadEngine::Options engine = {}) {
        VirtualPad& pad = m_pads.emplace_back(engine);
        options.portFolder = ports;
        options.comNumber = options.comNumber != 0 ? options.comNumber : 1;
        pad.serial = std::make_unique<padsim::hosts::SerialHost>(pad.engine, options);
        if (std::string error; !pad.serial->Start(&error)) {
            throw std::runtime_error("the virtual pad did not start: " + error);
        }
        return pad;
    }
    // A pad on a USB device with these ids, the next "memory:N", started.
    VirtualPad& UsbPad(padlink::UsbIds ids = padlink::kDefaultUsbIds,
                       padlink::hid::MemoryHidOptions device = {},
                       padsim::engine::PadEngine::Options engine = {}) {
        VirtualPad& pad = m_pads.emplace_back(engine);
        pad.device = hid->AddDevice(ids.vendorId, ids.productId, device);
        pad.usb = std::make_unique<padsim::hosts::UsbHost>(pad.engine, pad.device);
        pad.usb->Start();
        return pad;
    }

    // What a link or a console on this machine sees of its USB devices.
    std::unique_ptr<padlink::HidBackend> HidBackend() const {
        return std::make_unique<SharedHidBackend>(hid);
    }
    // A serial port that looks in the port folder alone.
    std::unique_ptr<padlink::SerialPort> SerialPort() const {
        return std::make_unique<padlink::SerialPort>(ports, std::vector<std::string>{});
    }

    TempDir dir{"vellumix-pads"};
    std::filesystem::path ports = dir / "ports";
    std::shared_ptr<padlink::hid::MemoryHidBackend> hid =
        std::make_shared<padlink::hid::MemoryHidBackend>();

private:
    std::list<VirtualPad> m_pads;  // last: the hosts stop before the rest goes
};

}  // namespace vellumix::testsupport
