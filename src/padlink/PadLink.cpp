#include "padlink/PadLink.h"

#include "padlink/HidPort.h"
#include "padlink/PadUsbIds.h"
#include "padlink/SerialPort.h"

namespace vellumix::padlink {

std::atomic<bool> g_usbConnected{false};

int Exchange(PadPorts ports, const std::uint8_t* frame, std::size_t frameLength,
             std::uint8_t* reply, std::size_t replyCapacity, int timeoutMs) {
    if (g_usbConnected.load()) {
        // The capacity bounds the joined input reports: a pad that keeps the
        // continuation bit set cannot run the reply past the caller's buffer.
        return ports.hid.Exchange(PAD_USB_VENDOR_ID, PAD_USB_PRODUCT_ID, frame, frameLength, reply,
                                  replyCapacity, timeoutMs);
    }
    return ports.serial.Exchange(frame, frameLength, reply, replyCapacity, timeoutMs);
}

}  // namespace vellumix::padlink
