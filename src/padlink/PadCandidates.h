// What on this machine could be a pad: the HID devices, the port folder's
// COMn links, the /dev/serial/by-id names and the ttyUSB / ttyACM devices.
// `vellumix-padctl list` shows them, so a user can find a real pad's ids and
// its device; a program serving pads can offer them and open one with
// OpenPadLink (PadLinkOpen.h). Listing opens nothing.
//
// Thread safety: plain functions over the file system and the HID backend.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "padlink/HidDevice.h"
#include "padlink/PadLinkOpen.h"

namespace vellumix::padlink {

// The by-id folder under the device root, and the devices listed there.
inline constexpr std::string_view kSerialByIdFolder = "serial/by-id";
inline constexpr std::string_view kListedDevicePrefixes[] = {"ttyUSB", "ttyACM"};

struct SerialEntry {
    // How the program names it: "COM3", or the path of a by-id link or of a
    // device ("/dev/serial/by-id/usb-FTDI_...", "/dev/ttyUSB0").
    std::string name;
    // The device a link leads to (the device itself for a device).
    std::filesystem::path target;
    // False for a COMn link the program does not follow (its publisher has
    // gone, or the folder is not the user's own: see ResolvePortName).
    bool followed = true;

    // How OpenPadLink reaches it.
    PadCandidate Candidate() const { return SerialCandidate(name); }
};

struct PadCandidateList {
    std::vector<HidDeviceInfo> hid;     // in the order the system lists them
    std::vector<SerialEntry> comLinks;  // COM0..COM9
    std::vector<SerialEntry> byId;      // by name
    std::vector<SerialEntry> devices;   // ttyUSBn, then ttyACMn, by number
};

// hid may be null (no HID listing). devRoot is /dev but for tests.
PadCandidateList ListPadCandidates(HidBackend* hid, const std::filesystem::path& portFolder,
                                   const std::filesystem::path& devRoot);

}  // namespace vellumix::padlink
