// The command line of vellumix-padctl, the scriptable pad console, kept out
// of main() so the tests can drive it without starting a process.
//
//   vellumix-padctl [--service] [--port COMn|PATH | --usb | --usb-path PATH]
//                   [--usb-id VID:PID] COMMAND [ARGS] [COMMAND [ARGS]]...
//
// Without --port, --usb or --usb-path the pad is looked for as the app does:
// USB first, then COM0..COM9. With --service the pad is one the capture
// service on the session bus serves, claimed for the run (ServicePad.h).
// Every command is checked before the pad is touched; they then run in
// order, the pad opened (or claimed) when the first one that needs it runs
// (list and udev-rule need none), and the first failure ends the run.
#pragma once

#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "padlink/DeviceAccess.h"
#include "padlink/HidDevice.h"
#include "padlink/PortResolver.h"

namespace vellumix::tools::padctl {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed =
    1;  // a command was refused (NAK), not answered, or the pad was lost
inline constexpr int kExitUsage = 2;  // wrong arguments or unreadable input
// No pad answered the probe, or its port would not open: busy (another
// program holds the pad), permission denied, and so on.
inline constexpr int kExitNoPad = 3;

// How long padctl pauses before each serial port when it searches: the app's
// 500 ms pause gives a slow pad time to settle after the app starts, which a
// console run by hand or by a script does not need.
inline constexpr std::chrono::milliseconds kConsolePortPause{20};
inline constexpr int kDefaultCaptureSeconds = 10;
inline constexpr int kMaxCaptureSeconds = 24 * 60 * 60;
// After a pen read that brought nothing at once (a USB pad gone), so the
// capture loop does not spin.
inline constexpr std::chrono::milliseconds kEmptyReadPause{10};

// Everything the console says, one named text each. printf-style where a
// value goes in.
namespace msg {
inline constexpr const char* kProgramName = "vellumix-padctl";
inline constexpr const char* kProgram = "vellumix-padctl: ";
inline constexpr const char* kUsage =
    "Usage: vellumix-padctl [--service] [--port COMn|PATH | --usb | --usb-path PATH]\n"
    "                       [--usb-id VID:PID] COMMAND [ARGS] [COMMAND [ARGS]]...\n"
    "       vellumix-padctl --help | --version\n"
    "Without --port, --usb or --usb-path the pad is looked for on USB, then COM0..COM9.\n"
    "On USB it is the device with the ids --usb-id or VELLUMIX_USB_ID give (1209:0001\n"
    "without them), or the HID device --usb-path names (as list shows it).\n"
    "With --service the commands go through the capture service (vellumix-padd):\n"
    "probe, clear, text, image, leds and capture.\n"
    "Commands (run in order; the first failure ends the run):\n"
    "  probe                       say where the pad answered\n"
    "  clear                       clear the LCD\n"
    "  fill X Y W H                fill a rectangle in the fill colour\n"
    "  frame X Y W H               draw a rectangle's outline\n"
    "  line X1 Y1 X2 Y2            draw a line\n"
    "  text X Y TEXT               draw text in the text colour\n"
    "  colour fill|text|line|all C set a colour: a name, #RRGGBB or R,G,B\n"
    "  font small|medium|large|welcome|B1,B2,B3,B4,B5,B6\n"
    "  leds on|off|green|red       set the LEDs\n"
    "  image FILE                  show a picture, stretched to 320 x 240\n"
    "  send-sig FILE               send a .sig, .cmp, .vbc or .nlc file\n"
    "  capture [--seconds N] [--format txt|jsonl|inkml]\n"
    "                              print pen points: txt \"x y\" lines (\"-1 -1\" for a\n"
    "                              lift), jsonl one JSON object a point and a summary,\n"
    "                              inkml one InkML document with the times at the end\n"
    "  list [--probe]              list what could be a pad: HID devices with their ids,\n"
    "                              COMn links, /dev/serial/by-id names, ttyUSB and ttyACM\n"
    "                              devices; --probe says which answer the pad's probe\n"
    "                              (HID devices with the ids looked for only)\n"
    "  udev-rule VID:PID           print the udev rule that lets the user at the seat\n"
    "                              use a pad with these ids\n"
    "LCD coordinates: x 0..319, y 0..239.\n";
inline constexpr const char* kFoundUsb = "Pad found on USB\n";
inline constexpr const char* kFoundSerial = "Pad found on %s\n";
inline constexpr const char* kNoPad = "no pad answered (tried USB %s and COM0 to COM9)";
inline constexpr const char* kNoPadOnUsb = "no pad answered on USB (looked for %s)";
inline constexpr const char* kNoPadOnPort = "no pad answered on %s";
// Why the port did not open, after one of the texts above.
inline constexpr const char* kBecause = ": %s";
// A pad command that failed is worded by padlink::CommandFailureText, as the
// capture service words it.
inline constexpr const char* kRefusedArgument = "%s: %s is outside the 320 x 240 LCD; nothing sent";
inline constexpr const char* kOutOfRange = "%s: outside the 320 x 240 LCD";
inline constexpr const char* kNoCommand = "no command given";
inline constexpr const char* kUnknownCommand = "unknown command '%s'";
inline constexpr const char* kUnknownOption = "unknown option '%s'";
inline constexpr const char* kMissingArgument = "%s needs %d argument(s)";
inline constexpr const char* kNotANumber = "%s: '%s' is not a whole number";
inline constexpr const char* kBadColour = "'%s' is not a colour (a name, #RRGGBB or R,G,B)";
inline constexpr const char* kBadColourTarget = "colour: '%s' is not fill, text, line or all";
inline constexpr const char* kBadFont =
    "font: '%s' is not small, medium, large, welcome or six bytes B1,...,B6";
inline constexpr const char* kBadLeds = "leds: '%s' is not on, off, green or red";
inline constexpr const char* kBadSeconds = "capture: --seconds takes 1 to 86400";
inline constexpr const char* kBadPort =
    "--port takes COM0 to COM9 or a device path starting with /";
inline constexpr const char* kTwoLinks = "give --port or --usb, not both";
inline constexpr const char* kOneLink = "give one of --port, --usb and --usb-path";
inline constexpr const char* kEmptyText = "text: nothing to draw";
inline constexpr const char* kTextTooLong = "text: at most %zu bytes fit in one command";
inline constexpr const char* kPortNeedsValue = "--port needs COMn or a device path";
inline constexpr const char* kUsbIdNeedsValue = "--usb-id needs VID:PID";
inline constexpr const char* kUsbPathNeedsValue = "--usb-path needs the HID device's path";
inline constexpr const char* kCannotReadPicture = "%s: %s";
inline constexpr const char* kUnknownSigKind = "%s: send-sig takes .sig, .cmp, .vbc or .nlc";
inline constexpr const char* kBadSigFile = "%s: %s";
inline constexpr const char* kSigTooLarge = "%s: %zu bytes; the pad takes files of at most %zu";
inline constexpr const char* kLinkLost = "lost the pad during capture";
inline constexpr const char* kBadFormat = "capture: --format takes txt, jsonl or inkml, not '%s'";
inline constexpr const char* kUnknownCommandOption = "%s: unknown option '%s'";
inline constexpr const char* kCannotWriteInkml = "capture: no InkML written: %s";
// list: four sections, "  none" under an empty one; with --probe each
// device's line ends with ": " and what its probe found.
inline constexpr const char* kListHid = "HID devices:\n";
inline constexpr const char* kListHidLine = "  %s  %s  \"%s\"";  // ids, path, product
inline constexpr const char* kListComLinks = "COM links in %s:\n";
inline constexpr const char* kListById = "Names in %s:\n";
inline constexpr const char* kListDevices = "ttyUSB and ttyACM devices:\n";
inline constexpr const char* kListLinkLine = "  %s -> %s";
inline constexpr const char* kListDeviceLine = "  %s";
inline constexpr const char* kListNone = "  none\n";
inline constexpr const char* kListNotFollowed =
    " (not followed: its publisher has gone, or the folder is not the user's own)";
inline constexpr const char* kListVerdict = ": %s";
inline constexpr const char* kListAnswered = "the pad answered";
inline constexpr const char* kListSilent = "no answer";
inline constexpr const char* kListOtherIds = "not probed (looking for %s)";
// udev-rule: the ids as lsusb shows them (twice), then vendor and product.
// packaging/udev/70-vellumix-pad.rules is this for 1209:0001, byte for byte.
inline constexpr const char* kUdevRule =
    "# Signature pad on USB (HID class, ids %s): lets the user at the seat\n"
    "# open its hidraw node without root. TAG+=\"uaccess\" is turned into an ACL for\n"
    "# the active session by 73-seat-late.rules, so this file must sort before 73.\n"
    "# Made by: vellumix-padctl udev-rule %s\n"
    "SUBSYSTEM==\"hidraw\", KERNEL==\"hidraw*\", ATTRS{idVendor}==\"%s\", "
    "ATTRS{idProduct}==\"%s\", TAG+=\"uaccess\"\n";
inline constexpr const char* kNoService = "no capture service on the session bus: %s";
inline constexpr const char* kNoServicePad = "no pad answered among the capture service's pads";
inline constexpr const char* kNoServiceUsbPad =
    "no pad answered among the capture service's USB pads";
inline constexpr const char* kNoSuchServicePort = "the capture service serves no such port";
inline constexpr const char* kNotThroughService =
    "%s is not offered through the capture service (--service takes probe, clear, text, "
    "image, leds and capture)";
inline constexpr const char* kServiceUsbId =
    "--usb-id does not go with --service: the capture service looks for the ids it was "
    "started with (vellumix-padd --usb-id)";
}  // namespace msg

// The JSON Lines stream of capture --format jsonl: one object a point as it
// arrives, then one summary object, or an error object when the pad is lost.
//   {"t":12.302,"x":512,"y":300,"pen":"down"}   t: ms since capture started
//   {"t":40.112,"x":null,"y":null,"pen":"up"}   a lift has no position
//   {"summary":{"points":812,"strokes":9,"duration":10000.118}}
//   {"error":"lost the pad during capture"}
// points counts pen-down points, strokes their runs between lifts, duration
// the ms from the capture's start to its end.
namespace jsonl {
inline constexpr const char* kDown = "{\"t\":%s,\"x\":%d,\"y\":%d,\"pen\":\"down\"}\n";
inline constexpr const char* kUp = "{\"t\":%s,\"x\":null,\"y\":null,\"pen\":\"up\"}\n";
inline constexpr const char* kSummary =
    "{\"summary\":{\"points\":%zu,\"strokes\":%zu,\"duration\":%s}}\n";
inline constexpr const char* kError = "{\"error\":\"%s\"}\n";
}  // namespace jsonl

// Where the console looks for the pad. The defaults are the real machine's;
// tests point it at a temporary port folder, no system devices and an
// in-memory USB device.
struct PadCtlEnvironment {
    std::filesystem::path portFolder;  // empty: padlink::DefaultPortFolder()
    std::vector<std::string> devicePrefixes = padlink::SystemDevicePrefixes();
    std::unique_ptr<padlink::HidBackend> hidBackend;  // null: hidapi
    // Where list looks for /dev/serial/by-id and the ttyUSB / ttyACM devices.
    std::filesystem::path devRoot{padlink::kDevRoot};
    // sysfs (the console, never probed) and /proc (who holds a busy port).
    padlink::SystemRoots roots;
    // VELLUMIX_USB_ID's value; main() hands in the process's.
    std::optional<std::string> usbIdVariable;
    std::chrono::milliseconds portPause = kConsolePortPause;
    // Set from a signal handler: ends a capture early (still stopping it on
    // the pad).
    const std::atomic<bool>* interrupt = nullptr;
    // --service: the bus to find the capture service on; empty for the
    // session bus.
    std::string busAddress;
};

// args without the program name. Points and the probe's answer go to out;
// a failure is one line on err, "vellumix-padctl: ..." (a usage error ends
// "; see --help"). Returns the exit status.
int RunPadCtl(std::span<const std::string> args, std::ostream& out, std::ostream& err,
              PadCtlEnvironment env = {});

}  // namespace vellumix::tools::padctl
