// USB ids of the pad, and how the program is told other ones.
//
// 0x1209 is the open vendor id that pid.codes hands out to open hardware; its
// product ids 0x0000-0x0FFF are kept back for common tasks, and 0x0001 is the
// registry's published test id, never assigned to a product. Using it means
// the host can never mistake somebody's real device for the pad, and the pad
// firmware and the virtual pad's USB side present the same pair.
//
// A pad that ships with its maker's ids is used without a rebuild: the ids
// come from --usb-id VID:PID, else from the environment variable
// VELLUMIX_USB_ID, else (in the app) from its profile, else they are these.
// `vellumix-padctl udev-rule VID:PID` prints the udev rule for other ids
// (packaging/udev/70-vellumix-pad.rules is its output for these).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vellumix::padlink {

inline constexpr std::uint16_t PAD_USB_VENDOR_ID = 0x1209;
inline constexpr std::uint16_t PAD_USB_PRODUCT_ID = 0x0001;

struct UsbIds {
    std::uint16_t vendorId = PAD_USB_VENDOR_ID;
    std::uint16_t productId = PAD_USB_PRODUCT_ID;
    friend bool operator==(const UsbIds&, const UsbIds&) = default;
};

inline constexpr UsbIds kDefaultUsbIds{};

inline constexpr const char* kUsbIdVariable = "VELLUMIX_USB_ID";

// "1209:0001": four lower-case hex digits each, as lsusb and sysfs write them.
std::string FormatUsbIds(UsbIds ids);
// "VID:PID", one to four hex digits each, any case ("1209:0001",
// "2A3B:42"); nothing for anything else.
std::optional<UsbIds> ParseUsbIds(std::string_view text);

// Where the ids in use came from, highest precedence first.
enum class UsbIdSource { kOption, kEnvironment, kProfile, kDefault };

struct UsbIdChoice {
    UsbIds ids;
    UsbIdSource source = UsbIdSource::kDefault;
    // Set when the value that decides is no VID:PID: says where it came
    // from and what was wrong, and ids is left at the default. The value
    // does not fall through to the next source: a mistake is shown, not
    // quietly replaced by other ids.
    std::string error;
};

// The option wins over the environment variable, the variable over the
// profile, the profile over the default. An absent value (or an empty
// variable, as `VELLUMIX_USB_ID= program` gives) leaves the choice to the
// next.
UsbIdChoice ChooseUsbIds(std::optional<std::string_view> option,
                         std::optional<std::string_view> environment,
                         std::optional<std::string_view> profile);

// The error for a value from `source` that is no VID:PID.
std::string BadUsbIdsText(const char* source, std::string_view value);

// What each source is called in an error ("--usb-id: 'x' is not VID:PID ...").
inline constexpr const char* kUsbIdOptionName = "--usb-id";
inline constexpr const char* kUsbIdProfileName = "the profile's Pad/UsbId";
inline constexpr const char* kBadUsbIdText =
    "%s: '%s' is not VID:PID (the vendor and product ids in hex, as lsusb shows them, "
    "such as 1209:0001)";

}  // namespace vellumix::padlink
