// USB ids of the pad.
//
// 0x1209 is the open vendor id that pid.codes hands out to open hardware; its
// product ids 0x0000-0x0FFF are kept back for common tasks, and 0x0001 is the
// registry's published test id, never assigned to a product. Using it means
// the host can never mistake somebody's real device for the pad, and the pad
// firmware and the virtual pad's USB side present the same pair. A pad that
// ships to customers needs its own allocated product id, changed here and in
// packaging/udev/70-vellumix-pad.rules.
#pragma once

#include <cstdint>

namespace vellumix::padlink {

inline constexpr std::uint16_t PAD_USB_VENDOR_ID = 0x1209;
inline constexpr std::uint16_t PAD_USB_PRODUCT_ID = 0x0001;

}  // namespace vellumix::padlink
