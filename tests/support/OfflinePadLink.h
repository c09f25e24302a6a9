// A pad link with no pad behind it, for widget tests that need a command
// channel but no answers: USB over an empty in-memory HID bus, so every
// exchange fails at once, and no serial port that could scan for a device.
#pragma once

#include <memory>

#include "padlink/HidPort.h"
#include "padlink/PadCommandChannel.h"
#include "padlink/PadLink.h"
#include "padlink/hid/MemoryHidDevice.h"

namespace vellumix::testsupport {

class OfflinePadLink {
public:
    OfflinePadLink()
        : link(std::make_unique<padlink::HidPort>(
              std::make_unique<padlink::hid::MemoryHidBackend>())),
          channel(link) {}

    padlink::PadLink link;
    padlink::PadCommandChannel channel;
};

}  // namespace vellumix::testsupport
