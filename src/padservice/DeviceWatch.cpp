#include "padservice/DeviceWatch.h"

#include <libudev.h>
#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <charconv>
#include <cstring>

#include "padlink/PadUsbIds.h"
#include "padlink/PortResolver.h"
#include "padservice/EventLoop.h"

namespace vellumix::padservice {

namespace {

namespace pl = padlink;

constexpr const char* kUdevEvents = "udev";
constexpr const char* kTtySubsystem = "tty";
constexpr const char* kHidrawSubsystem = "hidraw";
constexpr const char* kHidSubsystem = "hid";
constexpr const char* kHidIdProperty = "HID_ID";
constexpr const char* kRemoveAction = "remove";
// The serial devices a pad sits behind: USB serial bridges and CDC ACM.
// ttySn are left out: one of them is the kernel console here.
constexpr std::array<std::string_view, 2> kSerialDeviceNames = {"ttyUSB", "ttyACM"};
constexpr std::string_view kLockSuffix = ".lock";
// A link made, removed or renamed; a lock file closed by its publisher
// (opened for writing). The service's own look at a lock opens it read-only,
// so its close does not wake the watch again.
constexpr std::uint32_t kFolderEvents = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO |
                                        IN_CLOSE_WRITE | IN_DELETE_SELF | IN_MOVE_SELF;
constexpr std::size_t kInotifyBuffer = 4096;

// "COM3" or "COM3.lock" -> 3; anything else -> -1.
int PortNumber(std::string_view name) {
    if (name.ends_with(kLockSuffix)) {
        name.remove_suffix(kLockSuffix.size());
    }
    if (name.size() != pl::kComPortPrefix.size() + 1 || !name.starts_with(pl::kComPortPrefix)) {
        return -1;
    }
    const char digit = name.back();
    return digit >= '0' && digit <= '9' ? digit - '0' : -1;
}

std::optional<std::uint16_t> Hex16(std::string_view text) {
    std::uint32_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    if (ec != std::errc() || end != text.data() + text.size() || value > 0xFFFF) {
        return std::nullopt;
    }
    return static_cast<std::uint16_t>(value);
}

}  // namespace

std::optional<std::pair<std::uint16_t, std::uint16_t>> ParseHidId(std::string_view hidId) {
    const std::size_t first = hidId.find(':');
    const std::size_t second = hidId.find(':', first == std::string_view::npos ? first : first + 1);
    if (first == std::string_view::npos || second == std::string_view::npos) {
        return std::nullopt;
    }
    const auto vendor = Hex16(hidId.substr(first + 1, second - first - 1));
    const auto product = Hex16(hidId.substr(second + 1));
    if (!vendor || !product || !Hex16(hidId.substr(0, first))) {
        return std::nullopt;
    }
    return std::make_pair(*vendor, *product);
}

DeviceWatch::DeviceWatch(EventLoop& loop, Sink sink, std::filesystem::path portFolder,
                         bool systemDevices, padlink::UsbIds usbIds)
    : m_loop(loop),
      m_sink(std::move(sink)),
      m_portFolder(std::move(portFolder)),
      m_systemDevices(systemDevices),
      m_usbIds(usbIds) {}

DeviceWatch::~DeviceWatch() {
    if (m_inotifyWatch != 0) {
        m_loop.Unwatch(m_inotifyWatch);
    }
    if (m_inotify >= 0) {
        ::close(m_inotify);
    }
    if (m_udevWatch != 0) {
        m_loop.Unwatch(m_udevWatch);
    }
    if (m_monitor != nullptr) {
        udev_monitor_unref(m_monitor);
    }
    if (m_udev != nullptr) {
        udev_unref(m_udev);
    }
}

std::string DeviceWatch::Start() {
    std::string why;
    if (!m_portFolder.empty()) {
        // Made here if no virtual pad has made it yet, so it can be watched.
        if (!pl::CreatePortFolder(m_portFolder)) {
            why = m_portFolder.string() + ": not a folder this user alone controls";
        } else {
            m_inotify = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
            if (m_inotify < 0 ||
                ::inotify_add_watch(m_inotify, m_portFolder.c_str(), kFolderEvents) < 0) {
                why = m_portFolder.string() + ": " + std::strerror(errno);
            } else {
                m_inotifyWatch =
                    m_loop.Watch(m_inotify, POLLIN, [this](short) { PortFolderEvents(); });
                for (int n = pl::kFirstComPort; n < pl::kFirstComPort + pl::kComPortCount; ++n) {
                    CheckPortLink(n);
                }
            }
        }
    }
    if (!m_systemDevices) {
        return why;
    }
    // A machine without udev has none of these devices: nothing to watch.
    m_udev = udev_new();
    if (m_udev == nullptr) {
        return why;
    }
    m_monitor = udev_monitor_new_from_netlink(m_udev, kUdevEvents);
    if (m_monitor != nullptr &&
        udev_monitor_filter_add_match_subsystem_devtype(m_monitor, kTtySubsystem, nullptr) >= 0 &&
        udev_monitor_filter_add_match_subsystem_devtype(m_monitor, kHidrawSubsystem, nullptr) >=
            0 &&
        udev_monitor_enable_receiving(m_monitor) >= 0) {
        m_udevWatch =
            m_loop.Watch(udev_monitor_get_fd(m_monitor), POLLIN, [this](short) { UdevEvent(); });
    }
    // Listed after the monitor started, so nothing plugged in between is
    // missed; one seen twice is reported once.
    udev_enumerate* list = udev_enumerate_new(m_udev);
    if (list != nullptr) {
        udev_enumerate_add_match_subsystem(list, kTtySubsystem);
        udev_enumerate_add_match_subsystem(list, kHidrawSubsystem);
        udev_enumerate_scan_devices(list);
        udev_list_entry* entry = nullptr;
        udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(list)) {
            udev_device* device =
                udev_device_new_from_syspath(m_udev, udev_list_entry_get_name(entry));
            if (device != nullptr) {
                if (const auto candidate = Classify(device)) {
                    Seen(*candidate);
                }
                udev_device_unref(device);
            }
        }
        udev_enumerate_unref(list);
    }
    return why;
}

void DeviceWatch::CheckPortLink(int number) {
    const std::string name = std::string(pl::kComPortPrefix) + std::to_string(number);
    // No system devices: the link alone, if its publisher still holds it.
    if (!pl::ResolvePortName(name, m_portFolder, {}).empty()) {
        Seen({name, Transport::kSerial, name});
    } else {
        Gone(name);
    }
}

void DeviceWatch::PortFolderEvents() {
    alignas(inotify_event) std::array<char, kInotifyBuffer> buffer;
    bool folderGone = false;
    std::array<bool, pl::kComPortCount> touched{};
    for (;;) {
        const ssize_t n = ::read(m_inotify, buffer.data(), buffer.size());
        if (n <= 0) {
            break;
        }
        for (ssize_t at = 0; at < n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer.data() + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            if ((event->mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED)) != 0) {
                folderGone = true;
                continue;
            }
            const int number = event->len > 0 ? PortNumber(event->name) : -1;
            if (number >= 0) {
                touched[static_cast<std::size_t>(number)] = true;
            }
        }
    }
    for (int n = 0; n < pl::kComPortCount; ++n) {
        if (folderGone || touched[static_cast<std::size_t>(n)]) {
            CheckPortLink(n);
        }
    }
    if (folderGone) {
        m_loop.Unwatch(m_inotifyWatch);
        m_inotifyWatch = 0;
    }
}

std::optional<Candidate> DeviceWatch::Classify(udev_device* device) const {
    const char* node = udev_device_get_devnode(device);
    const char* subsystem = udev_device_get_subsystem(device);
    const char* name = udev_device_get_sysname(device);
    if (node == nullptr || subsystem == nullptr || name == nullptr) {
        return std::nullopt;
    }
    const std::string_view sysname = name;
    if (std::strcmp(subsystem, kTtySubsystem) == 0) {
        for (const std::string_view prefix : kSerialDeviceNames) {
            if (sysname.starts_with(prefix)) {
                return Candidate{node, Transport::kSerial, node};
            }
        }
        return std::nullopt;
    }
    if (std::strcmp(subsystem, kHidrawSubsystem) != 0) {
        return std::nullopt;
    }
    udev_device* hid =
        udev_device_get_parent_with_subsystem_devtype(device, kHidSubsystem, nullptr);
    const char* hidId =
        hid != nullptr ? udev_device_get_property_value(hid, kHidIdProperty) : nullptr;
    const auto ids = hidId != nullptr ? ParseHidId(hidId) : std::nullopt;
    if (!ids || pl::UsbIds{ids->first, ids->second} != m_usbIds) {
        return std::nullopt;
    }
    return Candidate{node, Transport::kUsb, node};
}

void DeviceWatch::UdevEvent() {
    udev_device* device = udev_monitor_receive_device(m_monitor);
    if (device == nullptr) {
        return;
    }
    const char* action = udev_device_get_action(device);
    const char* node = udev_device_get_devnode(device);
    if (action != nullptr && std::strcmp(action, kRemoveAction) == 0) {
        if (node != nullptr) {
            Gone(node);
        }
    } else if (const auto candidate = Classify(device)) {
        Seen(*candidate);
    }
    udev_device_unref(device);
}

void DeviceWatch::Seen(const Candidate& candidate) {
    m_present.insert_or_assign(candidate.key, candidate);
    // Reported again for a device already known: a claimed pad that was lost
    // takes it as a sign to look for its return.
    if (m_sink.appeared) {
        m_sink.appeared(candidate);
    }
}

void DeviceWatch::Gone(const std::string& key) {
    if (m_present.erase(key) > 0 && m_sink.vanished) {
        m_sink.vanished(key);
    }
}

}  // namespace vellumix::padservice
