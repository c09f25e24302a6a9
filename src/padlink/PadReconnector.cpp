#include "padlink/PadReconnector.h"

#include <condition_variable>

#include "padlink/PadCommandChannel.h"

namespace vellumix::padlink {

PadReconnector::PadReconnector(PadCommandChannel& channel, DiscoveryOptions options,
                               std::chrono::milliseconds passPause, Found found)
    : m_channel(channel),
      m_options(std::move(options)),
      m_passPause(passPause),
      m_found(std::move(found)) {
    m_options.cancel = &m_cancel;
    m_options.guard = [this](const std::function<void()>& probe) {
        m_channel.WithLink([&](PadLink&) { probe(); });
    };
}

PadReconnector::~PadReconnector() {
    Stop();
}

void PadReconnector::Start() {
    std::lock_guard lock(m_control);
    if (m_searching) {
        return;
    }
    if (m_thread.joinable()) {
        m_thread.join();  // a search that found the pad has ended
    }
    m_cancel = false;
    m_searching = true;
    m_thread = std::jthread([this](std::stop_token stop) { Run(stop); });
}

void PadReconnector::Stop() {
    std::lock_guard lock(m_control);
    m_cancel = true;
    if (m_thread.joinable()) {
        m_thread.request_stop();
        m_thread.join();
    }
    m_searching = false;
}

void PadReconnector::Run(std::stop_token stop) {
    std::mutex mutex;
    std::condition_variable_any pause;
    while (!stop.stop_requested()) {
        // The transports of the lost link: a fresh start for the probe.
        m_channel.WithLink([](PadLink& link) { link.Close(); });
        // Every probe of the pass runs under the channel's lock (the guard).
        const DiscoveryResult found = DiscoverPad(m_channel.Link(), m_options);
        if (found.link != PadLinkKind::kNone && !stop.stop_requested()) {
            m_channel.MarkLinkUp();
            m_searching = false;
            if (m_found) {
                m_found(found);
            }
            return;
        }
        std::unique_lock lock(mutex);
        pause.wait_for(lock, stop, m_passPause, [] { return false; });
    }
    m_searching = false;
}

}  // namespace vellumix::padlink
