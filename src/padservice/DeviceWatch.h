// The devices that may be pads, as they come and go, seen without opening
// any of them:
//   - the port folder's COMn links (see padlink/PortResolver.h), watched with
//     inotify: links made, removed or renamed, and lock files closed by their
//     writer, which is how a killed publisher shows (its lock is no longer
//     held, the link is stale);
//   - ttyUSBn and ttyACMn devices, and hidraw devices whose USB ids are the
//     pad's (as the service was told them), listed through udev at the start
//     and watched with a udev monitor afterwards.
// The kernel console's ttySn ports are never candidates. Nothing polls:
// both watches are descriptors in the event loop.
//
// Thread safety: the loop thread only.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "padlink/PadUsbIds.h"
#include "padservice/PadSession.h"

struct udev;
struct udev_monitor;
struct udev_device;

namespace vellumix::padservice {

class EventLoop;

// udev's HID_ID property, "0003:00001209:00000001" (bus, vendor, product in
// hex), as vendor and product; nothing when it is not that form.
std::optional<std::pair<std::uint16_t, std::uint16_t>> ParseHidId(std::string_view hidId);

class DeviceWatch {
public:
    struct Sink {
        std::function<void(const Candidate&)> appeared;
        std::function<void(const std::string& key)> vanished;
    };

    // portFolder: empty for none. systemDevices: watch udev's tty and hidraw
    // devices (the program); tests leave them alone. usbIds: the pad's.
    DeviceWatch(EventLoop& loop, Sink sink, std::filesystem::path portFolder, bool systemDevices,
                padlink::UsbIds usbIds = padlink::kDefaultUsbIds);
    ~DeviceWatch();
    DeviceWatch(const DeviceWatch&) = delete;
    DeviceWatch& operator=(const DeviceWatch&) = delete;

    // Reports what is there now and starts watching. Returns why the port
    // folder cannot be watched, or an empty text.
    std::string Start();

private:
    void CheckPortLink(int number);
    void PortFolderEvents();
    void UdevEvent();
    std::optional<Candidate> Classify(udev_device* device) const;
    void Seen(const Candidate& candidate);
    void Gone(const std::string& key);

    EventLoop& m_loop;
    Sink m_sink;
    std::filesystem::path m_portFolder;
    bool m_systemDevices;
    padlink::UsbIds m_usbIds;
    int m_inotify = -1;
    std::uint64_t m_inotifyWatch = 0;
    udev* m_udev = nullptr;
    udev_monitor* m_monitor = nullptr;
    std::uint64_t m_udevWatch = 0;
    // What has been reported present, by key.
    std::map<std::string, Candidate> m_present;
};

}  // namespace vellumix::padservice
