// The capture service's D-Bus interface by name: the bus name, the object
// paths, the two interfaces with their members, the named errors and the
// options StartCapture takes. The service and its clients (padctl, the tests)
// spell every name from here; packaging/dbus/org.vellumix.Pad1.xml describes
// the same interface for other programs, and a test holds the two together.
#pragma once

#include <chrono>
#include <cstdint>
#include <string_view>

namespace vellumix::padservice {

// Session bus only: a signature is one user's business.
inline constexpr const char* kBusName = "org.vellumix.Pad1";
inline constexpr const char* kManagerPath = "/org/vellumix/Pad1";
// Pad objects live below the manager: /org/vellumix/Pad1/COM1, .../hidraw3.
inline constexpr std::string_view kPadPathPrefix = "/org/vellumix/Pad1/";

inline constexpr const char* kManagerInterface = "org.vellumix.Pad1.Manager";
inline constexpr const char* kPadInterface = "org.vellumix.Pad1.Pad";

namespace manager {
inline constexpr const char* kPads = "Pads";  // property ao
inline constexpr const char* kPadAdded = "PadAdded";
inline constexpr const char* kPadRemoved = "PadRemoved";
}  // namespace manager

namespace pad {
// Properties.
inline constexpr const char* kPort = "Port";
inline constexpr const char* kTransport = "Transport";
inline constexpr const char* kConnected = "Connected";
inline constexpr const char* kClaimedBy = "ClaimedBy";
inline constexpr const char* kLcdSize = "LcdSize";
// Methods.
inline constexpr const char* kClaim = "Claim";
inline constexpr const char* kRelease = "Release";
inline constexpr const char* kStartCapture = "StartCapture";
inline constexpr const char* kStopCapture = "StopCapture";
inline constexpr const char* kClear = "Clear";
inline constexpr const char* kShowText = "ShowText";
inline constexpr const char* kShowImage = "ShowImage";
inline constexpr const char* kSetLeds = "SetLeds";
// Signals.
inline constexpr const char* kPoints = "Points";
inline constexpr const char* kPadLost = "PadLost";
}  // namespace pad

// D-Bus signatures of the members above that carry more than one plain type.
namespace signature {
inline constexpr const char* kPoints = "a(dqqb)";
inline constexpr const char* kLcdSize = "(uu)";
inline constexpr const char* kCaptureOptions = "a{sv}";
inline constexpr const char* kShowText = "iis";
}  // namespace signature

// The values of Transport.
inline constexpr std::string_view kTransportUsb = "usb";
inline constexpr std::string_view kTransportSerial = "serial";

// StartCapture's options.
namespace option {
inline constexpr std::string_view kPrompt = "prompt";  // s: a line drawn at the LCD's top
inline constexpr std::string_view kClear = "clear";    // b: clear the LCD first
}  // namespace option

// Named errors; every one carries a message saying why.
namespace error {
inline constexpr const char* kBusy = "org.vellumix.Pad1.Error.Busy";
inline constexpr const char* kNotClaimed = "org.vellumix.Pad1.Error.NotClaimed";
inline constexpr const char* kPadLost = "org.vellumix.Pad1.Error.PadLost";
inline constexpr const char* kRefused = "org.vellumix.Pad1.Error.Refused";
inline constexpr const char* kNoAnswer = "org.vellumix.Pad1.Error.NoAnswer";
inline constexpr const char* kBadArgument = "org.vellumix.Pad1.Error.BadArgument";
// More calls wait for one pad than the service queues: the standard name.
inline constexpr const char* kLimitsExceeded = "org.freedesktop.DBus.Error.LimitsExceeded";
}  // namespace error

// The longest each call can take, for clients' time-outs: a call waits for
// the commands queued before it on the same pad, and a full-screen picture
// takes 60 s on a 38,400-baud line. Claim opens and probes the port.
inline constexpr std::chrono::seconds kClaimCallTimeout{10};
inline constexpr std::chrono::seconds kLongCallTimeout{180};

}  // namespace vellumix::padservice
