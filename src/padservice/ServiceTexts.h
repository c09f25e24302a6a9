// Everything the capture service says: the messages of its named errors,
// printf-style where a value goes in. The pad's own failures (NAK, silence,
// a lost link) use padlink/CommandFailure.h, the words padctl prints.
#pragma once

namespace vellumix::padservice::text {

// %s: the pad's port.
inline constexpr const char* kClaimedBy = "the pad on %s is claimed by %s";
inline constexpr const char* kBeingReleased = "the pad on %s is being released; claim it again";
inline constexpr const char* kNotClaimed = "claim the pad on %s first";
inline constexpr const char* kReleasedFirst = "the pad on %s was released before the claim ended";
inline constexpr const char* kLost = "the pad on %s is lost; waiting for it to return";
inline constexpr const char* kQueueFull = "%zu calls already wait for the pad on %s";
// The holder as Busy names it: bus name, program and pid.
inline constexpr const char* kHolder = "%s (%s, pid %u)";

inline constexpr const char* kOffLcd = "%s: %s %d is outside 0..%d";
inline constexpr const char* kNoText = "%s: no text to draw";
inline constexpr const char* kTextTooLong = "%s: more than %zu bytes of text";
inline constexpr const char* kBadLeds = "SetLeds: '%s' is not on, off, green or red";
inline constexpr const char* kUnknownOption = "StartCapture: unknown option '%s'";
inline constexpr const char* kOptionType = "StartCapture: option '%s' takes type '%s', not '%s'";
inline constexpr const char* kCapturing = "StartCapture: a capture is running; StopCapture ends it";
inline constexpr const char* kNotCapturing = "StopCapture: no capture is running";
inline constexpr const char* kBadPicture = "ShowImage: %s";
inline constexpr const char* kNoPictures = "ShowImage: this service shows no pictures";

// Opening a pad whose device would not open (a pad that did not answer is
// padlink's "no pad answered on %s"). %s: the port, then why.
inline constexpr const char* kPortFailed = "no pad answered on %s: %s";
// %s: the HID device's path, its ids, the pad's.
inline constexpr const char* kOtherDevice =
    "no pad answered on %s: the device there has the USB ids %s, not the pad's %s";
// %s: the command the link refused to send.
inline constexpr const char* kNothingSent = "%s: an argument is out of range; nothing sent";

}  // namespace vellumix::padservice::text
