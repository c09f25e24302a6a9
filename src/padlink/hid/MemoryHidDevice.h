// An in-memory HID device: the host side is an ordinary HidDevice that HidPort
// opens through MemoryHidBackend; the pad side takes each output report (from
// a queue or through a callback) and pushes input reports back. Tests use it
// in place of USB, and the virtual pad's USB host puts its pad behind it.
//
// Thread safety: every member of MemoryHidDevice and MemoryHidBackend may be
// called from any thread. One mutex per device guards its queues, its plug
// state and its flags; a condition variable wakes host reads (input arrived),
// pad-side takes (output arrived) and host writes (queue space freed). The
// output handler runs on the writing thread without the device's lock held,
// so it may push input reports from inside.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "padlink/HidDevice.h"

namespace vellumix::padlink::hid {

struct MemoryHidOptions {
    std::size_t inputReportLength = 65;
    std::size_t outputReportLength = 65;
    // Input reports the host has not read yet. When full, the oldest is
    // dropped: a host that never reads must not make the pad side grow
    // without end.
    std::size_t inputQueueCapacity = 4096;
    // Output reports the pad side has not taken yet (no handler set). When
    // full, a host write waits for room up to its time-out, as a real pad
    // that stops draining its endpoint makes a write stay pending.
    std::size_t outputQueueCapacity = 4096;
    // The product string the device is listed with.
    std::string product;
};

class MemoryHidDevice : public std::enable_shared_from_this<MemoryHidDevice> {
public:
    // Called with one whole output report (byte 0 the report id).
    using OutputHandler = std::function<void(const std::uint8_t* report, std::size_t length)>;

    MemoryHidDevice(HidDeviceInfo info, MemoryHidOptions options);
    MemoryHidDevice(const MemoryHidDevice&) = delete;
    MemoryHidDevice& operator=(const MemoryHidDevice&) = delete;

    const HidDeviceInfo& Info() const { return m_info; }

    // Host side: a handle as the backend hands it out. None while unplugged
    // (no such port) or while opening is made to fail (busy). Like the
    // hidraw node under its lock, one handle at a time: a second open while
    // a handle of this plug-in lives is refused as busy. Opening starts with
    // an empty input queue: like a fresh OS handle, it does not see reports
    // queued before.
    HidOpenResult OpenHost();

    // Pad side. With a handler set, output reports go to it instead of the
    // queue; an empty handler switches back to the queue.
    void SetOutputHandler(OutputHandler handler);
    // Takes the oldest output report; false when none arrived within waitMs.
    bool TakeOutputReport(std::vector<std::uint8_t>& report, int waitMs);
    // Queues one input report as given (cut to the input report length). A
    // report shorter than the length reads back short.
    void PushInputReport(const std::uint8_t* report, std::size_t length);
    // Queues data as the pad sends a reply: reports of up to 63 bytes, chunk
    // byte with 0x80 on all but the last. Nothing is queued for no data.
    void PushInputData(const std::uint8_t* data, std::size_t length);

    // Unplugging kills every open host handle for good (their reads and
    // writes fail with -1 / false), empties both queues and hides the device
    // from enumeration until it is plugged in again.
    void Unplug();
    void Plug();
    bool IsPlugged() const;

    // Fault switches: opening is refused as busy, as when another program
    // holds the pad; or the opened handle reports report lengths of 0, as
    // when the capabilities cannot be read.
    void SetOpenFails(bool fail);
    void SetCapabilitiesFail(bool fail);

    std::size_t QueuedInputReports() const;
    std::size_t QueuedOutputReports() const;
    std::size_t DroppedInputReports() const;
    std::size_t OutputReportCount() const;  // every report the host wrote
    std::size_t OpenCount() const;          // successful OpenHost calls

private:
    class HostHandle;
    void HostClosed(std::uint64_t generation);
    bool HostWrite(std::uint64_t generation, const std::uint8_t* report, std::size_t length,
                   int timeoutMs);
    int HostRead(std::uint64_t generation, std::uint8_t* report, std::size_t capacity, int waitMs);

    const HidDeviceInfo m_info;
    const MemoryHidOptions m_options;

    mutable std::mutex m_mutex;
    std::condition_variable m_inputArrived;
    std::condition_variable m_outputChanged;  // arrived or taken
    std::deque<std::vector<std::uint8_t>> m_input;
    std::deque<std::vector<std::uint8_t>> m_output;
    std::shared_ptr<const OutputHandler> m_handler;
    // Bumped by Unplug: handles opened under an older generation are dead.
    std::uint64_t m_generation = 0;
    bool m_plugged = true;
    // A handle of the current generation is open.
    bool m_held = false;
    bool m_openFails = false;
    bool m_capabilitiesFail = false;
    std::size_t m_droppedInput = 0;
    std::size_t m_outputCount = 0;
    std::size_t m_openCount = 0;
};

// Zero or more in-memory devices, listed in the order they were added.
class MemoryHidBackend : public HidBackend {
public:
    // Adds a plugged-in device; its path is "memory:N", N counting from 0.
    std::shared_ptr<MemoryHidDevice> AddDevice(std::uint16_t vendorId, std::uint16_t productId,
                                               MemoryHidOptions options = {});

    std::vector<HidDeviceInfo> Enumerate(std::uint16_t vendorId, std::uint16_t productId) override;
    std::vector<HidDeviceInfo> EnumerateAll() override;
    HidOpenResult Open(const HidDeviceInfo& info) override;

private:
    std::mutex m_mutex;  // guards the list, not the devices
    std::vector<std::shared_ptr<MemoryHidDevice>> m_devices;
};

}  // namespace vellumix::padlink::hid
