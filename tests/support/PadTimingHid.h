// A slow pad for the GUI tests, on the in-memory USB link: a HID backend
// that hands everything to another one and, for the commands named to it,
// holds the pad back. Slow(name, d): the frame's last report reaches the pad
// d later, so the host's exchange lasts d longer and is still answered in
// time (a pad that is busy drawing). A pad that answers after the host
// stopped waiting is the engine's own SetAnswerDelay.
//
// Thread safety: the settings are locked; the device handles are used from
// the command channel's thread, one at a time, as HidPort uses them.
#pragma once

#include <algorithm>
#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/FrameParser.h"
#include "engine/PadCommand.h"
#include "padlink/HidDevice.h"
#include "padlink/PadProtocol.h"

namespace vellumix::testsupport {

class PadTimingHidBackend final : public padlink::HidBackend {
public:
    explicit PadTimingHidBackend(std::unique_ptr<padlink::HidBackend> inner)
        : m_inner(std::move(inner)), m_timing(std::make_shared<Timing>()) {}

    void Slow(const std::string& command, std::chrono::milliseconds delay) {
        std::lock_guard lock(m_timing->mutex);
        m_timing->slow[command] = delay;
    }

    std::vector<padlink::HidDeviceInfo> Enumerate(std::uint16_t vendorId,
                                                  std::uint16_t productId) override {
        return m_inner->Enumerate(vendorId, productId);
    }
    std::vector<padlink::HidDeviceInfo> EnumerateAll() override { return m_inner->EnumerateAll(); }
    padlink::HidOpenResult Open(const padlink::HidDeviceInfo& info) override {
        padlink::HidOpenResult opened = m_inner->Open(info);
        if (opened.device) {
            opened.device = std::make_unique<Device>(std::move(opened.device), m_timing);
        }
        return opened;
    }

private:
    struct Timing {
        std::mutex mutex;
        std::map<std::string, std::chrono::milliseconds> slow;
    };

    class Device final : public padlink::HidDevice {
    public:
        Device(std::unique_ptr<padlink::HidDevice> inner, std::shared_ptr<Timing> timing)
            : m_inner(std::move(inner)), m_timing(std::move(timing)) {}

        std::size_t InputReportLength() const override { return m_inner->InputReportLength(); }
        std::size_t OutputReportLength() const override { return m_inner->OutputReportLength(); }

        bool WriteReport(const std::uint8_t* report, std::size_t length, int timeoutMs) override {
            namespace hidreport = padlink::hidreport;
            std::chrono::milliseconds slow{0};
            bool timed = false;
            {
                std::lock_guard lock(m_timing->mutex);
                timed = !m_timing->slow.empty();
            }
            // Untimed, the reports go straight through. A frame always
            // starts a report, so the parser finds the next one whole.
            if (timed && length > hidreport::kDataOffset) {
                const std::size_t count = std::min<std::size_t>(
                    report[hidreport::kChunkOffset] & hidreport::kChunkCountMask,
                    length - hidreport::kDataOffset);
                for (const auto& payload :
                     m_parser.Feed(std::span(report + hidreport::kDataOffset, count))) {
                    const auto command = padsim::engine::DecodeCommand(payload);
                    if (!command) {
                        continue;
                    }
                    const std::string name(padsim::engine::CommandName(*command));
                    std::lock_guard lock(m_timing->mutex);
                    if (const auto it = m_timing->slow.find(name); it != m_timing->slow.end()) {
                        slow = it->second;
                    }
                }
            }
            std::this_thread::sleep_for(slow);
            return m_inner->WriteReport(report, length, timeoutMs);
        }

        int ReadReport(std::uint8_t* report, std::size_t capacity, int waitMs) override {
            return m_inner->ReadReport(report, capacity, waitMs);
        }

    private:
        std::unique_ptr<padlink::HidDevice> m_inner;
        std::shared_ptr<Timing> m_timing;
        padsim::engine::FrameParser m_parser;
    };

    std::unique_ptr<padlink::HidBackend> m_inner;
    std::shared_ptr<Timing> m_timing;
};

}  // namespace vellumix::testsupport
