// The one send-and-wait routine: picks the transport on which the pad was
// found and exchanges a frame for the pad's reply.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace vellumix::padlink {

class SerialPort;
class HidPort;
class PadTransport;

// True when the pad was found on USB. Written only by discovery, before any
// command is sent; read by Exchange and ReadPenData.
extern std::atomic<bool> g_usbConnected;

// The process-wide transports, created before the main window and living for
// the whole run.
struct PadPorts {
    SerialPort& serial;
    HidPort& hid;
};

// The transport discovery chose: the USB device when g_usbConnected is set,
// else the serial port.
PadTransport& ChosenTransport(PadPorts ports);

// Number of reply bytes received: 0 when no answer came, -1 when the link is
// down (no port or device, or the write or the line failed). On USB
// timeoutMs is the wait for each reply report; on serial it is not used.
int Exchange(PadPorts ports, const std::uint8_t* frame, std::size_t frameLength,
             std::uint8_t* reply, std::size_t replyCapacity, int timeoutMs);

}  // namespace vellumix::padlink
