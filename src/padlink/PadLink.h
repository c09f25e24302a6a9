// One pad's link: the transports the pad may be reached on, owned here, and
// the one it answered on. Every pad in a process has a link of its own (two
// pads are two links, each with its own command channel and pen reader);
// nothing process-wide chooses a transport.
//
// The app and padctl make a link with both transports and let discovery
// (PadProbe.h) find the pad and choose; a program that knows where its pad
// is opens it with OpenPadLink (PadLinkOpen.h), which probes it.
//
// Before discovery chose, commands go to the serial port when the link has
// one (its Exchange opens the first of COM0..COM9 that a scan may use, as
// the program always did), else to the USB device.
//
// Thread safety: Kind, Transport and WireTime are safe from any thread (the
// kind and the line's rate are atomics, written by Use, which runs only
// while nothing else uses the transports: during discovery, or while the
// channel says the link is down). Every call into a transport follows the
// transports' own rules: on the discovering thread before a channel uses the
// link, under the channel's lock after.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <memory>

#include "padlink/PadTransport.h"

namespace vellumix::padlink {

class SerialPort;
class HidPort;

enum class PadLinkKind { kNone, kUsb, kSerial };

class PadLink {
public:
    // Either transport may be null: a link that only ever looks on one kind
    // of transport. (With neither, every exchange finds the link down.)
    PadLink(std::unique_ptr<SerialPort> serial, std::unique_ptr<HidPort> hid);
    explicit PadLink(std::unique_ptr<SerialPort> serial);
    explicit PadLink(std::unique_ptr<HidPort> hid);
    ~PadLink();
    // Not copied or moved: the command channel and the pen reader keep a
    // reference.
    PadLink(const PadLink&) = delete;
    PadLink& operator=(const PadLink&) = delete;

    // Null when the link has no transport of that kind.
    SerialPort* Serial() const { return m_serial.get(); }
    HidPort* Hid() const { return m_hid.get(); }

    // Which transport the pad answered on; kNone until discovery chose.
    PadLinkKind Kind() const { return m_kind.load(); }
    // The pad answered on this kind of transport (on serial, at the open
    // port's rate). False, and nothing changed, when the link has no
    // transport of that kind.
    bool Use(PadLinkKind kind);
    // The transport in use (see the note above for kNone).
    PadTransport& Transport() const;

    // How long `bytes` take on the link: at the serial port's rate when the
    // pad answered there (the pad's 38400 baud before), and nothing on USB,
    // where a report comes whole in one HID transfer.
    std::chrono::microseconds WireTime(std::size_t bytes) const;

    // Told how far each frame has gone out, on whichever transport writes it
    // (PadTransport::SetWriteProgress); empty to stop.
    void SetWriteProgress(const PadTransport::WriteProgress& progress);
    // Closes both transports.
    void Close();

private:
    std::unique_ptr<SerialPort> m_serial;
    std::unique_ptr<HidPort> m_hid;
    std::atomic<PadLinkKind> m_kind{PadLinkKind::kNone};
    // The serial line's rate as Use found it; 0 before.
    std::atomic<int> m_baud{0};
};

}  // namespace vellumix::padlink
