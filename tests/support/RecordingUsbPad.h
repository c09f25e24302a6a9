// A USB pad that only listens: it keeps the host's output reports, joins
// them into frames by the continuation bit, and answers each frame as told
// (the ACK frame unless told otherwise; an empty answer is silence).
//
// Thread safety: locked inside; the host's writes run the device's output
// handler on the writing thread.
#pragma once

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "padlink/PadProtocol.h"
#include "padlink/PadUsbIds.h"
#include "padlink/hid/MemoryHidDevice.h"

namespace vellumix::testsupport {

class RecordingUsbPad {
public:
    using Bytes = std::vector<std::uint8_t>;
    using Answer = std::function<Bytes(const Bytes& frame)>;

    explicit RecordingUsbPad(std::shared_ptr<padlink::hid::MemoryHidDevice> device)
        : m_device(std::move(device)) {
        m_device->SetOutputHandler(
            [this](const std::uint8_t* report, std::size_t length) { OnReport(report, length); });
    }
    explicit RecordingUsbPad(padlink::hid::MemoryHidBackend& hid,
                             padlink::UsbIds ids = padlink::kDefaultUsbIds)
        : RecordingUsbPad(hid.AddDevice(ids.vendorId, ids.productId)) {}
    ~RecordingUsbPad() { m_device->SetOutputHandler({}); }
    RecordingUsbPad(const RecordingUsbPad&) = delete;
    RecordingUsbPad& operator=(const RecordingUsbPad&) = delete;

    static Bytes Ack() {
        return Bytes(std::begin(padlink::kAckFrame), std::end(padlink::kAckFrame));
    }

    // pause: held after each answer, widening the window between the answer
    // and the host's read of it.
    void SetAnswer(Answer answer, std::chrono::microseconds pause = {}) {
        std::lock_guard lock(m_mutex);
        m_answer = std::move(answer);
        m_pause = pause;
    }
    std::vector<Bytes> Frames() const {
        std::lock_guard lock(m_mutex);
        return m_frames;
    }
    std::size_t FrameCount() const {
        std::lock_guard lock(m_mutex);
        return m_frames.size();
    }
    std::vector<Bytes> Reports() const {
        std::lock_guard lock(m_mutex);
        return m_reports;
    }
    padlink::hid::MemoryHidDevice& Device() { return *m_device; }

private:
    void OnReport(const std::uint8_t* report, std::size_t length) {
        namespace hidreport = padlink::hidreport;
        Bytes answer;
        std::chrono::microseconds pause{};
        {
            std::lock_guard lock(m_mutex);
            m_reports.emplace_back(report, report + length);
            if (length <= hidreport::kDataOffset) {
                return;
            }
            const std::uint8_t chunk = report[hidreport::kChunkOffset];
            const std::size_t count = std::min<std::size_t>(chunk & hidreport::kChunkCountMask,
                                                            length - hidreport::kDataOffset);
            m_partial.insert(m_partial.end(), report + hidreport::kDataOffset,
                             report + hidreport::kDataOffset + count);
            if ((chunk & hidreport::kChunkMore) != 0) {
                return;
            }
            answer = m_answer ? m_answer(m_partial) : Ack();
            pause = m_pause;
            m_frames.push_back(std::move(m_partial));
            m_partial.clear();
        }
        if (!answer.empty()) {
            m_device->PushInputData(answer.data(), answer.size());
        }
        std::this_thread::sleep_for(pause);
    }

    std::shared_ptr<padlink::hid::MemoryHidDevice> m_device;
    mutable std::mutex m_mutex;
    Answer m_answer;
    std::chrono::microseconds m_pause{};
    Bytes m_partial;
    std::vector<Bytes> m_frames;
    std::vector<Bytes> m_reports;
};

}  // namespace vellumix::testsupport
