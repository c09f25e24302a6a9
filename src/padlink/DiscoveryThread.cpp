#include "padlink/DiscoveryThread.h"

#include "padlink/PadLink.h"

namespace vellumix::padlink {

DiscoveryThread::DiscoveryThread(PadLink& link, DiscoveryTiming timing, Announce announce)
    : m_padLink(link), m_timing(timing), m_announce(std::move(announce)) {}

DiscoveryThread::~DiscoveryThread() {
    RequestStop();
    Join();
}

void DiscoveryThread::Start() {
    if (m_thread.joinable()) {
        return;
    }
    m_bRunning = true;
    m_thread = std::jthread([this](std::stop_token stop) { Run(stop); });
}

void DiscoveryThread::RequestStop() {
    {
        // Under the pause's lock so a worker about to wait cannot miss it.
        std::lock_guard lock(m_pauseMutex);
        m_bStop = true;
    }
    m_thread.request_stop();
}

void DiscoveryThread::Join() {
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

void DiscoveryThread::Run(std::stop_token stop) {
    while (m_bRunning && !stop.stop_requested()) {
        if (PollOnce(stop)) {
            m_bFound = true;
            m_bRunning = false;
            if (!stop.stop_requested()) {
                m_announce(stop);
            }
            break;
        }
        ++m_passes;
        if (!Pause(stop, m_timing.passPause)) {
            break;
        }
    }
    m_bRunning = false;
    m_bFinished = true;
}

bool DiscoveryThread::PollOnce(std::stop_token stop) {
    // The one discovery pass padctl runs too, with pauses a closing window
    // can cut short.
    DiscoveryOptions options;
    options.portPause = m_timing.portPause;
    options.replyPause = m_timing.replyPause;
    options.usbWait = m_timing.usbWait;
    options.cancel = &m_bStop;
    options.pause = [this, stop](std::chrono::milliseconds pause) { return Pause(stop, pause); };
    const DiscoveryResult found = DiscoverPad(m_padLink, options);
    if (found.usbFailure != OpenFailure::kNone) {
        SetLastFailure(found.usbFailure, found.usbFailureReason);
    } else if (found.openFailure != OpenFailure::kNone) {
        SetLastFailure(found.openFailure, found.openFailureReason);
    }
    if (found.link == PadLinkKind::kNone) {
        return false;
    }
    SetLastFailure(OpenFailure::kNone, {});
    m_link = found.link;
    m_comNumber = found.comNumber;
    return true;
}

void DiscoveryThread::SetLastFailure(OpenFailure why, std::string text) {
    std::lock_guard lock(m_failureMutex);
    m_lastFailure = why;
    m_lastFailureText = std::move(text);
}

std::string DiscoveryThread::LastOpenFailureText() const {
    std::lock_guard lock(m_failureMutex);
    return m_lastFailureText;
}

bool DiscoveryThread::Pause(std::stop_token stop, std::chrono::milliseconds pause) {
    std::unique_lock lock(m_pauseMutex);
    return !m_pauseWake.wait_for(lock, stop, pause, [this] { return m_bStop.load(); });
}

}  // namespace vellumix::padlink
