// The devices that may be pads, as they come and go, seen without opening
// any of them. What is there is padlink's candidate list, the one
// `vellumix-padctl list` prints (padlink/PadCandidates.h):
//   - the port folder's COMn links that are followed (see
//     padlink/PortResolver.h: a link whose publisher has gone is not);
//   - the ttyUSBn and ttyACMn devices;
//   - the HID devices whose USB ids are the pad's (as the service was told
//     them), by path, so two pads with the same ids are two candidates.
// The kernel console's ttySn ports are never candidates.
//
// The list is taken at the start and again whenever something may have
// changed, and never otherwise: inotify on the port folder (links made,
// removed or renamed, and lock files closed by their writer, which is how a
// killed publisher shows) and a udev monitor for tty and hidraw devices.
// Both are descriptors in the event loop; nothing polls.
//
// Thread safety: the loop thread only. The HID backend lists devices from
// the loop thread while pads' links use backends of their own.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <string>

#include "padlink/PadUsbIds.h"
#include "padservice/PadSession.h"

struct udev;
struct udev_monitor;

namespace vellumix::padlink {
class HidBackend;
}

namespace vellumix::padservice {

class EventLoop;

class DeviceWatch {
public:
    struct Sink {
        std::function<void(const Candidate&)> appeared;
        std::function<void(const std::string& key)> vanished;
    };

    // Where pads are looked for; the defaults look nowhere.
    struct Places {
        std::filesystem::path portFolder;  // the COMn links; empty: none
        std::filesystem::path devRoot;     // ttyUSBn and ttyACMn in it; empty: none
        // Lists the HID devices (hidapi in the program, in-memory devices in
        // tests); null: none. Must outlive the watch.
        padlink::HidBackend* hid = nullptr;
        padlink::UsbIds usbIds;
        // Take the list again when udev says a tty or hidraw device came or
        // went (the program); tests have no udev events.
        bool udev = false;
    };

    DeviceWatch(EventLoop& loop, Sink sink, Places places);
    ~DeviceWatch();
    DeviceWatch(const DeviceWatch&) = delete;
    DeviceWatch& operator=(const DeviceWatch&) = delete;

    // Starts watching and reports what is there now. Returns why the port
    // folder cannot be watched, or an empty text.
    std::string Start();

private:
    std::string WatchPortFolder();
    void WatchUdev();
    void PortFolderEvents();
    void UdevEvents();
    // Takes the list and reports the difference.
    void Look();

    EventLoop& m_loop;
    Sink m_sink;
    Places m_places;
    int m_inotify = -1;
    std::uint64_t m_inotifyWatch = 0;
    udev* m_udev = nullptr;
    udev_monitor* m_monitor = nullptr;
    std::uint64_t m_udevWatch = 0;
    // What has been reported present, by key.
    std::map<std::string, Candidate> m_present;
};

}  // namespace vellumix::padservice
