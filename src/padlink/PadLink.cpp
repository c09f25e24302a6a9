#include "padlink/PadLink.h"

#include "padlink/HidPort.h"
#include "padlink/SerialPort.h"

namespace vellumix::padlink {

std::atomic<bool> g_usbConnected{false};

PadTransport& ChosenTransport(PadPorts ports) {
    if (g_usbConnected.load()) {
        return ports.hid;
    }
    return ports.serial;
}

int Exchange(PadPorts ports, const std::uint8_t* frame, std::size_t frameLength,
             std::uint8_t* reply, std::size_t replyCapacity, int timeoutMs) {
    return ChosenTransport(ports).Exchange(frame, frameLength, reply, replyCapacity, timeoutMs);
}

}  // namespace vellumix::padlink
