#include "padlink/hid/MemoryHidDevice.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <string>
#include <utility>

#include "padlink/PadProtocol.h"

namespace vellumix::padlink::hid {

namespace {

constexpr char kPathPrefix[] = "memory:";

std::chrono::milliseconds WaitFor(int waitMs) {
    return std::chrono::milliseconds{std::max(waitMs, 0)};
}

}  // namespace

// What HidPort holds: a view on the device bound to the generation it was
// opened in, so that an unplug kills it even after the device is back.
class MemoryHidDevice::HostHandle : public HidDevice {
public:
    HostHandle(std::shared_ptr<MemoryHidDevice> device, std::uint64_t generation,
               std::size_t inputLength, std::size_t outputLength)
        : m_device(std::move(device)),
          m_generation(generation),
          m_inputLength(inputLength),
          m_outputLength(outputLength) {}

    ~HostHandle() override { m_device->HostClosed(m_generation); }

    std::size_t InputReportLength() const override { return m_inputLength; }
    std::size_t OutputReportLength() const override { return m_outputLength; }

    bool WriteReport(const std::uint8_t* report, std::size_t length, int timeoutMs) override {
        return m_device->HostWrite(m_generation, report, length, timeoutMs);
    }

    int ReadReport(std::uint8_t* report, std::size_t capacity, int waitMs) override {
        return m_device->HostRead(m_generation, report, capacity, waitMs);
    }

private:
    const std::shared_ptr<MemoryHidDevice> m_device;
    const std::uint64_t m_generation;
    const std::size_t m_inputLength;
    const std::size_t m_outputLength;
};

MemoryHidDevice::MemoryHidDevice(HidDeviceInfo info, MemoryHidOptions options)
    : m_info(std::move(info)), m_options(options) {}

HidOpenResult MemoryHidDevice::OpenHost() {
    std::lock_guard lock(m_mutex);
    HidOpenResult result;
    if (!m_plugged) {
        result.failure = OpenFailure::kNoSuchPort;
        return result;
    }
    if (m_openFails || m_held) {
        result.failure = OpenFailure::kBusy;
        return result;
    }
    m_input.clear();
    ++m_openCount;
    m_held = true;
    const std::size_t in = m_capabilitiesFail ? 0 : m_options.inputReportLength;
    const std::size_t out = m_capabilitiesFail ? 0 : m_options.outputReportLength;
    result.device = std::make_unique<HostHandle>(shared_from_this(), m_generation, in, out);
    return result;
}

void MemoryHidDevice::HostClosed(std::uint64_t generation) {
    std::lock_guard lock(m_mutex);
    // A handle that an unplug killed no longer holds the device that came back.
    if (generation == m_generation) {
        m_held = false;
    }
}

bool MemoryHidDevice::HostWrite(std::uint64_t generation, const std::uint8_t* report,
                                std::size_t length, int timeoutMs) {
    if (report == nullptr || length == 0) {
        return false;
    }
    std::shared_ptr<const OutputHandler> handler;
    {
        std::unique_lock lock(m_mutex);
        auto alive = [&] { return m_plugged && generation == m_generation; };
        if (!alive()) {
            return false;
        }
        if (!m_handler) {
            const bool room = m_outputChanged.wait_for(lock, WaitFor(timeoutMs), [&] {
                return !alive() || m_handler || m_output.size() < m_options.outputQueueCapacity;
            });
            if (!room || !alive()) {
                return false;
            }
        }
        ++m_outputCount;
        handler = m_handler;
        if (!handler) {
            m_output.emplace_back(report, report + length);
            m_outputChanged.notify_all();
            return true;
        }
    }
    // Outside the lock: the pad side answers by pushing input from here.
    (*handler)(report, length);
    return true;
}

int MemoryHidDevice::HostRead(std::uint64_t generation, std::uint8_t* report, std::size_t capacity,
                              int waitMs) {
    std::unique_lock lock(m_mutex);
    auto alive = [&] { return m_plugged && generation == m_generation; };
    m_inputArrived.wait_for(lock, WaitFor(waitMs), [&] { return !alive() || !m_input.empty(); });
    if (!alive()) {
        return -1;
    }
    if (m_input.empty() || report == nullptr) {
        return 0;
    }
    const std::vector<std::uint8_t>& front = m_input.front();
    const std::size_t n = std::min(front.size(), capacity);
    std::copy_n(front.begin(), n, report);
    m_input.pop_front();
    return static_cast<int>(n);
}

void MemoryHidDevice::SetOutputHandler(OutputHandler handler) {
    std::lock_guard lock(m_mutex);
    if (handler) {
        m_handler = std::make_shared<const OutputHandler>(std::move(handler));
    } else {
        m_handler.reset();
    }
    m_outputChanged.notify_all();
}

bool MemoryHidDevice::TakeOutputReport(std::vector<std::uint8_t>& report, int waitMs) {
    std::unique_lock lock(m_mutex);
    if (!m_outputChanged.wait_for(lock, WaitFor(waitMs), [&] { return !m_output.empty(); })) {
        return false;
    }
    report = std::move(m_output.front());
    m_output.pop_front();
    m_outputChanged.notify_all();  // a writer may wait for room
    return true;
}

void MemoryHidDevice::PushInputReport(const std::uint8_t* report, std::size_t length) {
    if (report == nullptr) {
        return;
    }
    std::lock_guard lock(m_mutex);
    if (!m_plugged) {
        return;  // an unplugged pad sends nothing
    }
    // Pop one off when the queue is full, so a host that never reads cannot
    // make it grow for ever.
    if (m_options.inputQueueCapacity == 0) {
        ++m_droppedInput;
        return;
    }
    if (m_input.size() >= m_options.inputQueueCapacity) {
        m_input.pop_front();
        ++m_droppedInput;
    }
    m_input.emplace_back(report, report + std::min(length, m_options.inputReportLength));
    m_inputArrived.notify_all();
}

void MemoryHidDevice::PushInputData(const std::uint8_t* data, std::size_t length) {
    if (data == nullptr) {
        return;
    }
    std::uint8_t report[hidreport::kReportLength] = {};
    for (std::size_t offset = 0; offset < length; offset += hidreport::kReportDataBytes) {
        const std::size_t n = std::min(length - offset, hidreport::kReportDataBytes);
        const bool more = offset + n < length;
        std::memset(report, 0, sizeof report);
        report[0] = hidreport::kReportId;
        report[hidreport::kChunkOffset] =
            static_cast<std::uint8_t>(n | (more ? hidreport::kChunkMore : 0));
        std::memcpy(report + hidreport::kDataOffset, data + offset, n);
        PushInputReport(report, sizeof report);
    }
}

void MemoryHidDevice::Unplug() {
    std::lock_guard lock(m_mutex);
    m_plugged = false;
    ++m_generation;
    m_held = false;
    m_input.clear();
    m_output.clear();
    m_inputArrived.notify_all();
    m_outputChanged.notify_all();
}

void MemoryHidDevice::Plug() {
    std::lock_guard lock(m_mutex);
    m_plugged = true;
}

bool MemoryHidDevice::IsPlugged() const {
    std::lock_guard lock(m_mutex);
    return m_plugged;
}

void MemoryHidDevice::SetOpenFails(bool fail) {
    std::lock_guard lock(m_mutex);
    m_openFails = fail;
}

void MemoryHidDevice::SetCapabilitiesFail(bool fail) {
    std::lock_guard lock(m_mutex);
    m_capabilitiesFail = fail;
}

std::size_t MemoryHidDevice::QueuedInputReports() const {
    std::lock_guard lock(m_mutex);
    return m_input.size();
}

std::size_t MemoryHidDevice::QueuedOutputReports() const {
    std::lock_guard lock(m_mutex);
    return m_output.size();
}

std::size_t MemoryHidDevice::DroppedInputReports() const {
    std::lock_guard lock(m_mutex);
    return m_droppedInput;
}

std::size_t MemoryHidDevice::OutputReportCount() const {
    std::lock_guard lock(m_mutex);
    return m_outputCount;
}

std::size_t MemoryHidDevice::OpenCount() const {
    std::lock_guard lock(m_mutex);
    return m_openCount;
}

std::shared_ptr<MemoryHidDevice> MemoryHidBackend::AddDevice(std::uint16_t vendorId,
                                                             std::uint16_t productId,
                                                             MemoryHidOptions options) {
    std::lock_guard lock(m_mutex);
    HidDeviceInfo info{kPathPrefix + std::to_string(m_devices.size()), vendorId, productId,
                       options.product};
    auto device = std::make_shared<MemoryHidDevice>(std::move(info), options);
    m_devices.push_back(device);
    return device;
}

std::vector<HidDeviceInfo> MemoryHidBackend::Enumerate(std::uint16_t vendorId,
                                                       std::uint16_t productId) {
    std::lock_guard lock(m_mutex);
    std::vector<HidDeviceInfo> found;
    for (const auto& device : m_devices) {
        const HidDeviceInfo& info = device->Info();
        if (info.vendorId == vendorId && info.productId == productId && device->IsPlugged()) {
            found.push_back(info);
        }
    }
    return found;
}

std::vector<HidDeviceInfo> MemoryHidBackend::EnumerateAll() {
    std::lock_guard lock(m_mutex);
    std::vector<HidDeviceInfo> found;
    for (const auto& device : m_devices) {
        if (device->IsPlugged()) {
            found.push_back(device->Info());
        }
    }
    return found;
}

HidOpenResult MemoryHidBackend::Open(const HidDeviceInfo& info) {
    std::shared_ptr<MemoryHidDevice> device;
    {
        std::lock_guard lock(m_mutex);
        auto it = std::find_if(m_devices.begin(), m_devices.end(),
                               [&](const auto& d) { return d->Info().path == info.path; });
        if (it == m_devices.end()) {
            HidOpenResult none;
            none.failure = OpenFailure::kNoSuchPort;
            return none;
        }
        device = *it;
    }
    return device->OpenHost();
}

}  // namespace vellumix::padlink::hid
