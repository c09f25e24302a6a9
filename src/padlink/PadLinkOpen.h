// Opening one pad where it is known to be: a serial port, or a USB device by
// its ids or by its path. The result is the pad's own link, probed and set
// to the transport it answered on, ready for a command channel and a pen
// reader of its own; a program that serves several pads opens one link per
// pad.
//
//   auto opened = padlink::OpenPadLink(padlink::UsbPathCandidate("/dev/hidraw3"));
//   if (!opened.link) {
//       // opened.failure tells busy, permission denied, no such port ...
//       // apart (kNone: it opened, no pad answered); opened.reason says it
//       // in words that name the device.
//   }
//   padlink::PadCommandChannel channel(*opened.link);  // the link outlives it
//   capture::PenReader reader(channel, sink, beforeRead);
//
// The app and padctl, which look for the pad on every transport in turn,
// use a link with both transports and a discovery pass (PadProbe.h) instead.
//
// Thread safety: OpenPadLink runs the probe on the calling thread; the
// links it returns are independent of each other.
#pragma once

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "padlink/DeviceAccess.h"
#include "padlink/HidDevice.h"
#include "padlink/LinkResult.h"
#include "padlink/PadLink.h"
#include "padlink/PadProbe.h"
#include "padlink/PadUsbIds.h"
#include "padlink/PortResolver.h"
#include "padlink/SerialPort.h"

namespace vellumix::padlink {

// Where one pad may be.
struct PadCandidate {
    enum class Kind { kSerialPort, kUsbIds, kUsbPath };
    Kind kind = Kind::kUsbIds;
    // kSerialPort: COM0..COM9 (any case) or a device path ("/dev/ttyUSB0");
    // kUsbPath: the HID device's path, as `vellumix-padctl list` shows it.
    std::string location;
    UsbIds ids;  // kUsbIds: the first device with these ids that opens
};

inline PadCandidate SerialCandidate(std::string port) {
    return {PadCandidate::Kind::kSerialPort, std::move(port), {}};
}
inline PadCandidate UsbCandidate(UsbIds ids = kDefaultUsbIds) {
    return {PadCandidate::Kind::kUsbIds, {}, ids};
}
inline PadCandidate UsbPathCandidate(std::string path) {
    return {PadCandidate::Kind::kUsbPath, std::move(path), {}};
}

struct PadLinkOptions {
    // Where COM0..COM9 lead (PortResolver.h); empty: DefaultPortFolder().
    std::filesystem::path portFolder;
    std::vector<std::string> devicePrefixes = SystemDevicePrefixes();
    SystemRoots roots;
    // Null: hidapi's hidraw back end.
    std::unique_ptr<HidBackend> hidBackend;
    // kScanned when the candidate came from a listing rather than from the
    // user: the kernel console and a ttyS without a UART are then left alone
    // (OpenFailure::kLeftAlone), never written to.
    PortChoice portChoice = PortChoice::kNamed;
    std::chrono::milliseconds replyPause = kSerialProbeReplyPause;
    std::chrono::milliseconds usbWait = kUsbProbeWait;
};

struct OpenedPadLink {
    // The pad's link, its device open and in use; null when no pad answered.
    std::unique_ptr<PadLink> link;
    // Why there is no link: how the device's open failed, or kNone when it
    // opened and no pad answered the probe. A USB candidate that lists no
    // device is kNoSuchPort.
    OpenFailure failure = OpenFailure::kNone;
    // The same in words, naming the device (and who holds it when busy).
    std::string reason;
};

inline constexpr const char* kNoPadAnsweredText = "no pad answered on %s";

// Opens the candidate's device and probes it.
OpenedPadLink OpenPadLink(const PadCandidate& candidate, PadLinkOptions options = {});

// The port text SerialPort::Open takes for a port name: COM0..COM9 (any
// case) with the pad's line settings, or a device path (starting with '/')
// with them; nothing for anything else.
std::optional<std::string> PortSpecForName(std::string_view name);

}  // namespace vellumix::padlink
