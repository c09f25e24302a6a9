// HID devices through hidapi's hidraw back end (Linux).
//
// Report lengths: hidapi 0.13 has no portable way to read a device's report
// lengths (hid_get_report_descriptor arrived in 0.14), so every opened device
// reports 65 bytes for both directions, the pad's layout: report id and 64
// bytes. The pad uses no numbered reports, so hidraw hands input reports over
// without the id byte and takes output reports with a leading 0x00, which it
// strips; ReadReport puts the 0x00 back in front so the host sees the same
// layout in both directions.
//
// Write time-out: a hidraw write blocks in the kernel until the interrupt OUT
// transfer completes or the USB HID driver gives up; hidapi 0.13 offers no
// time-out of its own, so the timeoutMs of WriteReport is not applied here.
//
// Thread safety: hidapi is initialised once per process, on first use, from
// any thread. Listing and opening may run on several threads at once, in one
// backend or several: they share one lock, since hidapi keeps one error
// string for the process. One opened device is used by one thread at a time
// (HidPort runs under the command channel's lock).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "padlink/HidDevice.h"

namespace vellumix::padlink::hid {

class HidapiBackend : public HidBackend {
public:
    // False when hidapi could not be initialised; Enumerate then finds nothing.
    static bool Initialise();

    std::vector<HidDeviceInfo> Enumerate(std::uint16_t vendorId, std::uint16_t productId) override;
    std::vector<HidDeviceInfo> EnumerateAll() override;
    // Also takes the lock on the hidraw node (see DeviceAccess.h): a second
    // program, root's included, is refused as busy.
    HidOpenResult Open(const HidDeviceInfo& info) override;
};

}  // namespace vellumix::padlink::hid
