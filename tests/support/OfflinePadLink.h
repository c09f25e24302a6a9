// A pad link with no pad behind it, for widget tests that need a command
// channel but no answers: USB over an empty in-memory HID bus (every exchange
// fails at once), and a serial port that can never open a real device.
#pragma once

#include <filesystem>
#include <memory>

#include "padlink/HidPort.h"
#include "padlink/PadCommandChannel.h"
#include "padlink/PadLink.h"
#include "padlink/SerialPort.h"
#include "padlink/hid/MemoryHidDevice.h"

namespace vellumix::testsupport {

class OfflinePadLink {
public:
    OfflinePadLink()
        : serial(std::filesystem::temp_directory_path() / "vellumix-no-ports", {}),
          hid(std::make_unique<padlink::MemoryHidBackend>()),
          channel(padlink::PadPorts{serial, hid}) {
        // USB: an exchange with no device returns at once; the serial path would
        // scan COM0..COM9, so keep it out of the way.
        padlink::g_usbConnected = true;
    }
    ~OfflinePadLink() { padlink::g_usbConnected = false; }

    padlink::SerialPort serial;
    padlink::HidPort hid;
    padlink::PadCommandChannel channel;
};

}  // namespace vellumix::testsupport
