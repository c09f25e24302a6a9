#include "UsbHost.h"

#include <algorithm>
#include <vector>

#include "padlink/PadProtocol.h"

namespace vellumix::padsim::hosts {

namespace {

using Clock = std::chrono::steady_clock;

namespace hr = padlink::hidreport;

// The longest wait for an output report when nothing else is due: pen input
// from the GUI thread goes out within it.
constexpr std::chrono::milliseconds kIdleWait{10};

}  // namespace

UsbHost::UsbHost(engine::PadEngine& engine, std::shared_ptr<padlink::hid::MemoryHidDevice> device)
    : m_engine(engine), m_device(std::move(device)) {}

UsbHost::~UsbHost() {
    Stop();
}

void UsbHost::Start() {
    if (m_thread.joinable()) {
        return;
    }
    m_stop = false;
    m_thread = std::thread([this] { Run(); });
}

void UsbHost::Stop() {
    m_stop = true;
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

void UsbHost::PushPenOutput(Clock::time_point now) {
    // Pen data goes into the device only while the host has read everything
    // before it: the device's input queue drops its oldest report when full,
    // and a pad must lose no pen report, so the engine's queue keeps them.
    // A command waiting on the OUT endpoint goes first, as on the pad: it
    // takes a command between two pen reports, so only what is already in
    // flight comes ahead of the answer. Streaming on while the host drains
    // each report would bury the answer behind a whole backlog.
    while (m_device->QueuedInputReports() == 0 && m_device->QueuedOutputReports() == 0) {
        const auto pen =
            m_engine.TakePenOutput(now, kPenReportsPerInputReport * capture::kPenReportSize);
        if (pen.empty()) {
            return;
        }
        std::vector<std::uint8_t> report(hr::kDataOffset + pen.size());
        report[0] = hr::kReportId;
        report[hr::kChunkOffset] = static_cast<std::uint8_t>(pen.size());
        std::copy(pen.begin(), pen.end(), report.begin() + hr::kDataOffset);
        m_device->PushInputReport(report.data(), report.size());
    }
}

void UsbHost::Run() {
    std::vector<std::uint8_t> report;
    while (!m_stop) {
        auto now = Clock::now();
        const auto late = m_engine.Tick(now);
        if (!late.empty()) {
            m_device->PushInputData(late.data(), late.size());
        }
        PushPenOutput(now);

        auto waitUntil = now + kIdleWait;
        if (const auto next = m_engine.NextWakeTime()) {
            waitUntil = std::min(waitUntil, std::max(*next, now));
        }
        const auto waitMs = std::chrono::ceil<std::chrono::milliseconds>(waitUntil - now).count();
        if (!m_device->TakeOutputReport(report, static_cast<int>(waitMs))) {
            continue;
        }
        if (report.size() <= hr::kChunkOffset) {
            continue;
        }
        // A chunk count above 63, or above what the report holds, is cut to
        // the bytes that are really there.
        const std::size_t count = std::min<std::size_t>(
            {static_cast<std::size_t>(report[hr::kChunkOffset] & hr::kChunkCountMask),
             hr::kReportDataBytes, report.size() - std::min(report.size(), hr::kDataOffset)});
        now = Clock::now();
        const auto answers = m_engine.Feed(std::span(report.data() + hr::kDataOffset, count), now);
        if (!answers.empty()) {
            m_device->PushInputData(answers.data(), answers.size());
        }
    }
}

}  // namespace vellumix::padsim::hosts
