#include "padservice/DeviceWatch.h"

#include <libudev.h>
#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>

#include "padlink/PadCandidates.h"
#include "padlink/PortResolver.h"
#include "padservice/EventLoop.h"

namespace vellumix::padservice {

namespace {

namespace pl = padlink;

constexpr const char* kUdevEvents = "udev";
constexpr const char* kTtySubsystem = "tty";
constexpr const char* kHidrawSubsystem = "hidraw";
constexpr std::string_view kLockSuffix = ".lock";
// A link made, removed or renamed; a lock file closed by its publisher
// (opened for writing). The service's own look at a lock opens it read-only,
// so its close does not wake the watch again.
constexpr std::uint32_t kFolderEvents = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO |
                                        IN_CLOSE_WRITE | IN_DELETE_SELF | IN_MOVE_SELF;
constexpr std::size_t kInotifyBuffer = 4096;

// "COM3" or "COM3.lock": a name the candidate list reads.
bool PortName(std::string_view name) {
    if (name.ends_with(kLockSuffix)) {
        name.remove_suffix(kLockSuffix.size());
    }
    return name.size() == pl::kComPortPrefix.size() + 1 && name.starts_with(pl::kComPortPrefix) &&
           name.back() >= '0' && name.back() <= '9';
}

}  // namespace

DeviceWatch::DeviceWatch(EventLoop& loop, Sink sink, Places places)
    : m_loop(loop), m_sink(std::move(sink)), m_places(std::move(places)) {}

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
    const std::string why = WatchPortFolder();
    if (m_places.udev) {
        WatchUdev();
    }
    // Listed after the watches started, so nothing that comes in between is
    // missed; one seen twice is reported once more, which does no harm.
    Look();
    return why;
}

std::string DeviceWatch::WatchPortFolder() {
    const std::filesystem::path& folder = m_places.portFolder;
    if (folder.empty()) {
        return {};
    }
    // Made here if no virtual pad has made it yet, so it can be watched.
    if (!pl::CreatePortFolder(folder)) {
        return folder.string() + ": not a folder this user alone controls";
    }
    m_inotify = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_inotify < 0 || ::inotify_add_watch(m_inotify, folder.c_str(), kFolderEvents) < 0) {
        return folder.string() + ": " + std::strerror(errno);
    }
    m_inotifyWatch = m_loop.Watch(m_inotify, POLLIN, [this](short) { PortFolderEvents(); });
    return {};
}

void DeviceWatch::WatchUdev() {
    // A machine without udev has none of these devices: nothing to watch.
    m_udev = udev_new();
    if (m_udev == nullptr) {
        return;
    }
    m_monitor = udev_monitor_new_from_netlink(m_udev, kUdevEvents);
    if (m_monitor != nullptr &&
        udev_monitor_filter_add_match_subsystem_devtype(m_monitor, kTtySubsystem, nullptr) >= 0 &&
        udev_monitor_filter_add_match_subsystem_devtype(m_monitor, kHidrawSubsystem, nullptr) >=
            0 &&
        udev_monitor_enable_receiving(m_monitor) >= 0) {
        m_udevWatch =
            m_loop.Watch(udev_monitor_get_fd(m_monitor), POLLIN, [this](short) { UdevEvents(); });
    }
}

void DeviceWatch::PortFolderEvents() {
    alignas(inotify_event) std::array<char, kInotifyBuffer> buffer;
    bool folderGone = false;
    bool portTouched = false;
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
            } else if (event->len > 0 && PortName(event->name)) {
                portTouched = true;
            }
        }
    }
    if (folderGone) {
        m_loop.Unwatch(m_inotifyWatch);
        m_inotifyWatch = 0;
    }
    if (folderGone || portTouched) {
        Look();
    }
}

void DeviceWatch::UdevEvents() {
    // The event only says that something changed; the list says what is
    // there. The events are read to the end so one look serves them all.
    bool any = false;
    while (udev_device* device = udev_monitor_receive_device(m_monitor)) {
        udev_device_unref(device);
        any = true;
    }
    if (any) {
        Look();
    }
}

void DeviceWatch::Look() {
    const pl::PadCandidateList list =
        pl::ListPadCandidates(m_places.hid, m_places.portFolder, m_places.devRoot);
    std::map<std::string, Candidate> now;
    for (const pl::HidDeviceInfo& device : list.hid) {
        if (pl::UsbIds{device.vendorId, device.productId} == m_places.usbIds) {
            now.emplace(device.path, Candidate{device.path, Transport::kUsb, device.path});
        }
    }
    for (const pl::SerialEntry& link : list.comLinks) {
        if (link.followed) {
            now.emplace(link.name, Candidate{link.name, Transport::kSerial, link.name});
        }
    }
    if (!m_places.devRoot.empty()) {
        for (const pl::SerialEntry& device : list.devices) {
            now.emplace(device.name, Candidate{device.name, Transport::kSerial, device.name});
        }
    }
    for (auto it = m_present.begin(); it != m_present.end();) {
        if (now.contains(it->first)) {
            ++it;
            continue;
        }
        const std::string key = it->first;
        it = m_present.erase(it);
        if (m_sink.vanished) {
            m_sink.vanished(key);
        }
    }
    // Each one there is reported, also one already known: a claimed pad
    // that was lost takes it as a sign to look for its return.
    for (const auto& [key, candidate] : now) {
        m_present.insert_or_assign(key, candidate);
        if (m_sink.appeared) {
            m_sink.appeared(candidate);
        }
    }
}

}  // namespace vellumix::padservice
