// The small HID device interface under HidPort: find devices by vendor and
// product id (or list them all), open one, write one output report, read one
// input report. Implementations: hidapi (hidraw back end) and an in-memory
// device.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "padlink/LinkResult.h"

namespace vellumix::padlink {

struct HidDeviceInfo {
    std::string path;  // the hidraw node on Linux ("/dev/hidraw3")
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    // The device's product string; empty when it has none. Its {} keeps an
    // initialiser of the first three fields free of a missing-field warning.
    std::string product{};
};

// One opened device.
class HidDevice {
public:
    virtual ~HidDevice() = default;
    // Report lengths including the report id byte (65 for the pad); 0 when
    // the device's capabilities could not be read.
    virtual std::size_t InputReportLength() const = 0;
    virtual std::size_t OutputReportLength() const = 0;
    // Writes one whole output report (byte 0 is the report id). False on failure
    // or when the write does not complete within timeoutMs.
    virtual bool WriteReport(const std::uint8_t* report, std::size_t length, int timeoutMs) = 0;
    // Reads one input report into report (byte 0 the report id). Returns the
    // bytes read, 0 when nothing arrived within waitMs, -1 on failure (unplug).
    virtual int ReadReport(std::uint8_t* report, std::size_t capacity, int waitMs) = 0;
};

// An opened device, or why there is none.
struct HidOpenResult {
    std::unique_ptr<HidDevice> device;
    OpenFailure failure = OpenFailure::kNone;  // set when device is null
    std::string reason;  // the failure in words naming the device; may be empty
};

class HidBackend {
public:
    virtual ~HidBackend() = default;
    // Present devices with these ids, in the order the system lists them.
    virtual std::vector<HidDeviceInfo> Enumerate(std::uint16_t vendorId,
                                                 std::uint16_t productId) = 0;
    // Every present device, whatever its ids, in the order the system lists
    // them: what a HID device is opened by its path from, and what is listed
    // to find a pad's ids. A backend that cannot list them lists none.
    virtual std::vector<HidDeviceInfo> EnumerateAll() { return {}; }
    // Opens a device for this program alone and reads its capabilities. No
    // device when either fails: busy when another program (or another handle
    // in this one) has it, permission denied, or the device refused.
    virtual HidOpenResult Open(const HidDeviceInfo& info) = 0;
};

}  // namespace vellumix::padlink
