// What became of a command, and why a port would not open. Every channel
// operation yields a PadOutcome; the pages keep their true/false results,
// which CommandResult derives from the outcome and the operation's kind.
#pragma once

#include <string_view>

namespace vellumix::padlink {

enum class PadOutcome {
    kAcknowledged,     // the pad answered 0x06
    kNotAcknowledged,  // the pad answered 0x15 (NAK)
    kNoAnswer,         // the frame went out; no whole answer frame came back
    kSent,             // the frame went out and its answer was neither ACK nor NAK
    kRefused,          // a range check failed: nothing was sent
    kLinkDown,         // no port open, or the write or the line failed
};

// A channel operation's outcome plus the boolean its caller has always been
// given: for ACK commands "acknowledged", for "sent" commands "the frame
// went out".
struct CommandResult {
    PadOutcome outcome = PadOutcome::kLinkDown;
    bool ok = false;

    // The page code's boolean, as before the outcome was kept.
    operator bool() const { return ok; }  // NOLINT(google-explicit-constructor)
    bool WentOut() const {
        return outcome != PadOutcome::kRefused && outcome != PadOutcome::kLinkDown;
    }
};

// Why opening a port failed.
enum class OpenFailure {
    kNone,
    kBadSpec,           // the port text is malformed
    kNoSuchPort,        // nothing by that name
    kPermissionDenied,  // the device exists and this user may not open it
    kBusy,              // another program holds it (its lock or exclusive mode)
    kNotSerial,         // it opened but is no terminal
    kDeviceError,       // the driver refused for another reason
    kLeftAlone,         // found by scanning but not ours to probe: the console, or no UART
};

// One line each, for padctl and the app's connection view, when nothing more
// is known about the device. The texts below name the device, its owner and
// the program holding it, and are what the user sees whenever they can be
// told.
inline constexpr std::string_view kOpenFailureTexts[] = {
    "",
    "the port name is malformed",
    "no such port",
    "permission denied",
    "the port is busy: another program has it open",
    "not a serial device",
    "the device refused to open",
    "left alone: the kernel console, or a serial port with no UART behind it",
};
inline constexpr std::string_view kUsbPermissionText =
    "permission denied on the USB pad: install packaging/udev/70-vellumix-pad.rules "
    "into /etc/udev/rules.d and replug the pad "
    "(other ids: 'vellumix-padctl udev-rule VID:PID' prints their rule)";
inline constexpr std::string_view kUsbBusyText = "the USB pad is busy: another program has it open";

// printf-style, with the device's own path (a COMn link resolved), so the
// same device reads the same whichever name it was given by. Joining the
// group helps only when the group is 'dialout'; otherwise the owner and the
// group are named, and on USB the udev rule that grants access.
inline constexpr const char* kPermissionDialoutText =
    "permission denied on %s: add yourself to the 'dialout' group and log in again";
inline constexpr const char* kPermissionOwnerText =
    "permission denied on %s: it belongs to user '%s' and group '%s'";
inline constexpr const char* kUsbPermissionOwnerText =
    "permission denied on the USB pad %s (user '%s', group '%s'): install "
    "packaging/udev/70-vellumix-pad.rules into /etc/udev/rules.d and replug the pad "
    "(other ids: 'vellumix-padctl udev-rule VID:PID' prints their rule)";
// The group whose members may use serial ports on Debian.
inline constexpr std::string_view kSerialGroup = "dialout";
// Busy: the holder is named from /proc when it can be found there.
inline constexpr const char* kBusyHolderText = "%s is busy: %s (pid %ld) has it open";
inline constexpr const char* kBusyText = "%s is busy: another program has it open";
inline constexpr const char* kUsbBusyHolderText =
    "the USB pad %s is busy: %s (pid %ld) has it open";
inline constexpr const char* kUsbBusyDeviceText =
    "the USB pad %s is busy: another program has it open";
// The capture service holds a pad's port only while a program has claimed
// the pad through it: said as such, since its name alone tells a user
// nothing.
inline constexpr std::string_view kCaptureServiceProgram = "vellumix-padd";
inline constexpr const char* kBusyServiceText =
    "%s is busy: the capture service (vellumix-padd, pid %ld) lends it to a program that "
    "claimed it";
inline constexpr const char* kUsbBusyServiceText =
    "the USB pad %s is busy: the capture service (vellumix-padd, pid %ld) lends it to a "
    "program that claimed it";

constexpr std::string_view OpenFailureText(OpenFailure f) {
    return kOpenFailureTexts[static_cast<int>(f)];
}

// The same on USB, where permission comes from the udev rule.
constexpr std::string_view UsbOpenFailureText(OpenFailure f) {
    switch (f) {
        case OpenFailure::kPermissionDenied:
            return kUsbPermissionText;
        case OpenFailure::kBusy:
            return kUsbBusyText;
        default:
            return OpenFailureText(f);
    }
}

constexpr std::string_view PadOutcomeName(PadOutcome o) {
    switch (o) {
        case PadOutcome::kAcknowledged:
            return "acknowledged";
        case PadOutcome::kNotAcknowledged:
            return "not acknowledged";
        case PadOutcome::kNoAnswer:
            return "no answer";
        case PadOutcome::kSent:
            return "sent";
        case PadOutcome::kRefused:
            return "refused";
        case PadOutcome::kLinkDown:
            return "link down";
    }
    return "";
}

}  // namespace vellumix::padlink
