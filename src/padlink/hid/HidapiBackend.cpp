#include "padlink/hid/HidapiBackend.h"

#include <fcntl.h>
#include <hidapi/hidapi.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <mutex>

#include "padlink/DeviceAccess.h"
#include "padlink/PadProtocol.h"

namespace vellumix::padlink::hid {

namespace {

// hid_enumerate (through the hid_init it calls) and hid_open_path each free
// and replace hidapi's one process-wide error string: two threads in them
// at once may free it twice. Every backend in the process takes this lock
// around them (a capture service lists devices on one thread while a pad's
// worker opens its device on another).
std::mutex g_hidapiGlobals;

class HidapiDevice : public HidDevice {
public:
    // lockFd: our own descriptor of the hidraw node, holding its lock.
    HidapiDevice(hid_device* device, int lockFd) : m_device(device), m_lockFd(lockFd) {}
    ~HidapiDevice() override {
        hid_close(m_device);
        ::close(m_lockFd);
    }
    HidapiDevice(const HidapiDevice&) = delete;
    HidapiDevice& operator=(const HidapiDevice&) = delete;

    std::size_t InputReportLength() const override { return hidreport::kReportLength; }
    std::size_t OutputReportLength() const override { return hidreport::kReportLength; }

    bool WriteReport(const std::uint8_t* report, std::size_t length, int /*timeoutMs*/) override {
        if (report == nullptr || length == 0 || length > INT_MAX) {
            return false;
        }
        return hid_write(m_device, report, length) == static_cast<int>(length);
    }

    int ReadReport(std::uint8_t* report, std::size_t capacity, int waitMs) override {
        if (report == nullptr || capacity < 2) {
            return 0;
        }
        // hidraw delivers an unnumbered report without its id byte: read
        // behind a 0x00 so byte 1 is the chunk byte, as on every other path.
        report[0] = hidreport::kReportId;
        const int got =
            hid_read_timeout(m_device, report + 1, std::min<std::size_t>(capacity - 1, INT_MAX),
                             std::max(waitMs, 0));
        if (got < 0) {
            return -1;  // the device is gone or the handle broke
        }
        return got == 0 ? 0 : got + 1;
    }

private:
    hid_device* const m_device;
    const int m_lockFd;
};

// hidapi hands the product string out as a wide string; the listing keeps
// its ASCII and shows the rest as '?'.
std::string Narrow(const wchar_t* text) {
    std::string out;
    for (; text != nullptr && *text != L'\0'; ++text) {
        out += *text >= 0x20 && *text < 0x7F ? static_cast<char>(*text) : '?';
    }
    return out;
}

HidDeviceInfo InfoOf(const hid_device_info& it) {
    return HidDeviceInfo{it.path, it.vendor_id, it.product_id, Narrow(it.product_string)};
}

}  // namespace

bool HidapiBackend::Initialise() {
    // hid_init is not safe to race; a function-local static runs it once.
    static const bool initialised = hid_init() == 0;
    return initialised;
}

std::vector<HidDeviceInfo> HidapiBackend::Enumerate(std::uint16_t vendorId,
                                                    std::uint16_t productId) {
    std::vector<HidDeviceInfo> found;
    if (!Initialise()) {
        return found;
    }
    std::lock_guard lock(g_hidapiGlobals);
    hid_device_info* list = hid_enumerate(vendorId, productId);
    for (const hid_device_info* it = list; it != nullptr; it = it->next) {
        // hidapi treats 0 as "any"; the pad's ids are matched exactly.
        if (it->vendor_id == vendorId && it->product_id == productId && it->path != nullptr) {
            found.push_back(InfoOf(*it));
        }
    }
    hid_free_enumeration(list);
    return found;
}

std::vector<HidDeviceInfo> HidapiBackend::EnumerateAll() {
    std::vector<HidDeviceInfo> found;
    if (!Initialise()) {
        return found;
    }
    std::lock_guard lock(g_hidapiGlobals);
    // 0 and 0: every device.
    hid_device_info* list = hid_enumerate(0, 0);
    for (const hid_device_info* it = list; it != nullptr; it = it->next) {
        if (it->path != nullptr) {
            found.push_back(InfoOf(*it));
        }
    }
    hid_free_enumeration(list);
    return found;
}

HidOpenResult HidapiBackend::Open(const HidDeviceInfo& info) {
    HidOpenResult result;
    result.failure = OpenFailure::kDeviceError;
    if (!Initialise() || info.path.empty()) {
        return result;
    }
    const auto refuse = [&](OpenFailure why) {
        result.failure = why;
        result.reason = OpenRefusalReason(why, info.path, DeviceKind::kUsbPad, SystemRoots{});
        return std::move(result);
    };
    // hidraw lets any number of programs open the pad, and hidapi hands out
    // no descriptor: the lock is held on a descriptor of our own for as long
    // as the device is open. It also tells why an open is refused, which
    // hid_open_path does not.
    const int lockFd = ::open(info.path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (lockFd < 0) {
        return refuse(OpenFailureOfErrno(errno));
    }
    if (!LockDevice(lockFd)) {
        ::close(lockFd);
        return refuse(OpenFailure::kBusy);
    }
    // hidapi 0.13 refuses a node that is no hidraw device only after it has
    // allocated its handle, which it then never frees: a path that is not
    // even a character device (a file named with --usb-path) stops here.
    struct stat node {};
    if (::fstat(lockFd, &node) != 0 || !S_ISCHR(node.st_mode)) {
        ::close(lockFd);
        return result;
    }
    hid_device* device = nullptr;
    {
        std::lock_guard lock(g_hidapiGlobals);
        device = hid_open_path(info.path.c_str());
    }
    if (device == nullptr) {
        ::close(lockFd);
        return result;
    }
    result.failure = OpenFailure::kNone;
    result.device = std::make_unique<HidapiDevice>(device, lockFd);
    return result;
}

}  // namespace vellumix::padlink::hid
