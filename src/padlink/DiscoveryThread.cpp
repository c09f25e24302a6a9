#include "padlink/DiscoveryThread.h"

#include "padlink/PadCommandChannel.h"

namespace vellumix::padlink {

namespace {

// The welcome screen: the LCD cleared to white, then three lines of blue
// text, drawn in the font the pad's demo screens have always used.
constexpr ColorRef kWelcomeBackground = MakeColorRef(0xFF, 0xFF, 0xFF);
constexpr ColorRef kWelcomeTextColor = MakeColorRef(0x00, 0x00, 0xFF);
constexpr int kWelcomeFont[6] = {16, 12, 16, 0, 0, 3};
// 1 draws text over what is there, without filling its cells.
constexpr int kWelcomeTextMode = 1;

struct WelcomeLine {
    int x;
    int y;
    std::string_view text;
};
constexpr WelcomeLine kWelcomeMaker{105, 30, "NORVALE"};
constexpr WelcomeLine kWelcomeProduct{75, 60, "Vellumix Demo"};
constexpr WelcomeLine kWelcomeGreeting{100, 160, "Welcome"};

// Clearing the whole LCD and drawing text take the pad a while: the welcome
// screen's colours and its clear get the long wait (the pages' own use of
// these commands waits less); the font and text mode take the usual short one.
constexpr std::chrono::milliseconds kWelcomeDrawTimeout = kLongReplyTimeout;

}  // namespace

DiscoveryThread::DiscoveryThread(PadCommandChannel& channel, DiscoveryTiming timing,
                                 Announce announce)
    : m_channel(channel), m_timing(timing), m_announce(std::move(announce)) {}

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
            if (DrawWelcome(stop) && !stop.stop_requested()) {
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
    const DiscoveryResult found = DiscoverPad(m_channel.Link(), options);
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

bool DiscoveryThread::DrawWelcome(std::stop_token stop) {
    // Each frame goes out unless a stop came first; what the pad answers is
    // not examined, as it never was.
    const auto send = [&stop](auto&& command) {
        if (stop.stop_requested()) {
            return false;
        }
        command();
        return true;
    };
    const auto text = [&](const WelcomeLine& line) {
        return send([&] { m_channel.DrawText(line.x, line.y, line.text); });
    };
    const auto textColor = [&] {
        return send([&] { m_channel.SetTextColor(kWelcomeTextColor, kWelcomeDrawTimeout); });
    };
    const bool cleared =
        send([&] { m_channel.SetFillColor(kWelcomeBackground, kWelcomeDrawTimeout); }) &&
        send([&] { m_channel.FillRectangle(0, 0, kLcdMaxX, kLcdMaxY, kWelcomeDrawTimeout); }) &&
        send([&] {
            m_channel.SetFont(kWelcomeFont[0], kWelcomeFont[1], kWelcomeFont[2], kWelcomeFont[3],
                              kWelcomeFont[4], kWelcomeFont[5]);
        });
    // The search is over from here on; the blink timer belongs to the GUI
    // thread and is stopped there when the pad is announced.
    m_bRunning = false;
    return cleared && textColor() && send([&] { m_channel.SetTextMode(kWelcomeTextMode); }) &&
           text(kWelcomeMaker) && text(kWelcomeProduct) &&
           // The pad has always been sent the text colour again before the
           // last line.
           textColor() && text(kWelcomeGreeting);
}

bool DiscoveryThread::Pause(std::stop_token stop, std::chrono::milliseconds pause) {
    std::unique_lock lock(m_pauseMutex);
    return !m_pauseWake.wait_for(lock, stop, pause, [this] { return m_bStop.load(); });
}

}  // namespace vellumix::padlink
