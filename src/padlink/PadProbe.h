// Finding the pad: the probe frame 78 46 01 and its answer, on USB and on
// the serial ports COM0..COM9, in the order the program has always looked
// (USB first; the serial ports only when no USB device with the pad's ids
// is present). One pass of the search lives here so that the app's
// discovery thread and the pad console share it; the app loops over passes.
//
// Thread safety: none of its own. The functions use the transports they are
// given; the caller makes sure nobody else uses them meanwhile (discovery
// runs before the command channel is in use, or under its lock: see
// DiscoveryOptions::guard).
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "padlink/LinkResult.h"
#include "padlink/PadLink.h"
#include "padlink/SerialPort.h"

namespace vellumix::padlink {

// An answer counts as the pad when at least this many bytes came back: the
// 7-byte acknowledgement frame 02 01 00 06 06 06 03.
inline constexpr int kMinPadAnswerBytes = 7;
// The probe's wait for each reply report on USB: 512, not the 500 of the
// ordinary long commands.
inline constexpr std::chrono::milliseconds kUsbProbeWait{512};
// Between writing the probe and reading the answer on a serial port.
inline constexpr std::chrono::milliseconds kSerialProbeReplyPause{100};
// The app sleeps this long before each serial port it tries, and this long
// between passes.
inline constexpr std::chrono::milliseconds kAppPortPause{500};
inline constexpr std::chrono::milliseconds kAppPassPause{200};

// True when reply holds at least 7 bytes and byte 3 is the ACK 0x06.
bool IsPadAnswer(const std::uint8_t* reply, int count);

// Sends the probe over USB (opening the pad's device if it is not open) and
// waits up to `wait` for each reply report.
bool ProbeUsb(HidPort& hid, std::chrono::milliseconds wait = kUsbProbeWait);

// Opens portSpec (a port string as SerialPort::Open takes it), writes the probe,
// pauses, then reads the answer. The port stays open when the pad answered
// and is closed otherwise. A port the object had open before is closed
// first: its Open would refuse while another port is open.
bool ProbeSerialSpec(SerialPort& serial, std::string_view portSpec,
                     std::chrono::milliseconds replyPause = kSerialProbeReplyPause,
                     PortChoice choice = PortChoice::kNamed);
// ProbeSerialSpec on "COM<n>/baud=38400/parity=N/stop=1/data=8", as a scan:
// the console and a ttyS with no UART are not opened.
bool ProbeSerialPort(SerialPort& serial, int n,
                     std::chrono::milliseconds replyPause = kSerialProbeReplyPause);

struct DiscoveryOptions {
    bool tryUsb = true;
    bool trySerial = true;
    // When set, the one serial port tried (a port text as SerialPort::Open
    // takes it), without the pause before it, in place of COM0..COM9.
    std::string_view portSpec;
    // The app keeps the 500 ms pause before each serial port; the console
    // and the tests use shorter ones.
    std::chrono::milliseconds portPause = kAppPortPause;
    std::chrono::milliseconds replyPause = kSerialProbeReplyPause;
    std::chrono::milliseconds usbWait = kUsbProbeWait;
    // Checked before each port: a window closed meanwhile ends the pass.
    const std::atomic<bool>* cancel = nullptr;
    // Runs each probe (never a pause): the command channel's lock when the
    // transports are shared. Empty: the probe runs as it is.
    std::function<void(const std::function<void()>&)> guard;
    // Takes each pause before a serial port; false ends the pass (a window
    // closed meanwhile). Empty: a plain sleep.
    std::function<bool(std::chrono::milliseconds)> pause;
};

struct DiscoveryResult {
    PadLinkKind link = PadLinkKind::kNone;
    int comNumber = -1;  // the serial port that answered, 0..9
    // When no pad answered: why the most telling port failed to open (a
    // port that exists and refused beats one that does not exist; a port a
    // scan left alone is not telling), or kNone when every port there opened
    // and stayed silent. Its reason names the device and, when busy, who
    // holds it (SerialPort::OpenFailureReason).
    OpenFailure openFailure = OpenFailure::kNone;
    std::string openFailureReason;
    // The same for a USB device with the pad's ids that would not open.
    OpenFailure usbFailure = OpenFailure::kNone;
    std::string usbFailureReason;
};

// One pass over the link's transports: USB first; when a device with the
// pad's ids opens, its answer decides and the serial ports are not tried.
// Otherwise COM0..COM9 in turn, pausing before each (or only
// options.portSpec). A transport the link lacks is not tried. On success the
// link uses the transport that answered (the answering serial port stays
// open); on failure its choice is left as it was.
DiscoveryResult DiscoverPad(PadLink& link, const DiscoveryOptions& options = {});

}  // namespace vellumix::padlink
