#include "app/DiscoveryThread.h"

#include <string_view>

#include "padlink/CommandPayloads.h"
#include "padlink/Frame.h"
#include "padlink/HidPort.h"
#include "padlink/PadUsbIds.h"
#include "padlink/PortResolver.h"
#include "padlink/SerialPort.h"

namespace vellumix::app {

namespace {

namespace pl = vellumix::padlink;

// The welcome screen: the LCD cleared to white, then three lines of blue
// text, drawn in the font the pad's demo screens have always used.
constexpr pl::ColorRef kWelcomeBackground = pl::MakeColorRef(0xFF, 0xFF, 0xFF);
constexpr pl::ColorRef kWelcomeTextColor = pl::MakeColorRef(0x00, 0x00, 0xFF);
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

// Clearing the whole LCD and drawing text take the pad a while: these frames
// get the long wait, the font and text mode settings the short one.
constexpr std::chrono::milliseconds kWelcomeDrawTimeout = pl::kLongReplyTimeout;
constexpr std::chrono::milliseconds kWelcomeSettingTimeout = pl::kShortReplyTimeout;

}  // namespace

DiscoveryThread::DiscoveryThread(pl::PadPorts ports, DiscoveryTiming timing, Announce announce)
    : m_ports(ports), m_timing(timing), m_announce(std::move(announce)) {}

DiscoveryThread::~DiscoveryThread() {
    RequestStop();
    Join();
}

void DiscoveryThread::Start() {
    if (m_thread.joinable()) {
        return;
    }
    m_bRunning = true;
    m_thread = std::thread([this] { Run(); });
}

void DiscoveryThread::RequestStop() {
    {
        // Set under the lock so a worker about to wait in Pause cannot miss it.
        std::lock_guard lock(m_mutex);
        m_bStop = true;
    }
    m_wake.notify_all();
}

void DiscoveryThread::Join(const std::function<void()>& whileWaiting) {
    if (!m_thread.joinable()) {
        return;
    }
    std::unique_lock lock(m_mutex);
    while (!m_bFinished) {
        if (whileWaiting) {
            lock.unlock();
            whileWaiting();
            lock.lock();
            m_wake.wait_for(lock, kJoinPollInterval, [this] { return m_bFinished; });
        } else {
            m_wake.wait(lock, [this] { return m_bFinished; });
        }
    }
    lock.unlock();
    m_thread.join();
}

bool DiscoveryThread::IsFinished() const {
    std::lock_guard lock(m_mutex);
    return m_bFinished;
}

void DiscoveryThread::Run() {
    while (m_bRunning && !StopRequested()) {
        if (PollOnce()) {
            m_bFound = true;
            if (DrawWelcome() && !StopRequested()) {
                m_announce();
            }
            break;
        }
        ++m_passes;
        if (!Pause(m_timing.passPause)) {
            break;
        }
    }
    m_bRunning = false;
    {
        std::lock_guard lock(m_mutex);
        m_bFinished = true;
    }
    m_wake.notify_all();
}

bool DiscoveryThread::PollOnce() {
    // The one discovery pass padctl runs too, with pauses a closing window
    // can cut short.
    pl::DiscoveryOptions options;
    options.portPause = m_timing.portPause;
    options.replyPause = m_timing.replyPause;
    options.usbWait = m_timing.usbWait;
    options.cancel = &m_bStop;
    options.pause = [this](std::chrono::milliseconds pause) { return Pause(pause); };
    const pl::DiscoveryResult found = pl::DiscoverPad(m_ports, options);
    if (found.usbFailure != pl::OpenFailure::kNone) {
        m_lastFailureUsb = true;
        m_lastFailure = found.usbFailure;
    } else if (found.openFailure != pl::OpenFailure::kNone) {
        m_lastFailureUsb = false;
        m_lastFailure = found.openFailure;
    }
    if (found.link == pl::PadLinkKind::kNone) {
        return false;
    }
    m_lastFailure = pl::OpenFailure::kNone;
    m_link = found.link;
    m_comNumber = found.comNumber;
    return true;
}

std::span<std::uint8_t> DiscoveryThread::PayloadSpace() {
    // BuildFrame needs the framing bytes behind the payload.
    return std::span<std::uint8_t>(m_frame).first(m_frame.size() - pl::kLongFrameOverhead);
}

bool DiscoveryThread::Send(std::size_t payloadLength, std::chrono::milliseconds timeout) {
    if (StopRequested()) {
        return false;
    }
    const std::size_t length = pl::BuildFrame(m_frame, payloadLength);
    pl::Exchange(m_ports, m_frame.data(), length, m_reply.data(), m_reply.size(),
                 static_cast<int>(timeout.count()));
    return true;
}

bool DiscoveryThread::DrawWelcome() {
    const auto text = [this](const WelcomeLine& line) {
        return Send(pl::payload::DrawText(PayloadSpace(), line.x, line.y, line.text),
                    kWelcomeDrawTimeout);
    };
    const bool cleared =
        Send(pl::payload::SetFillColor(PayloadSpace(), kWelcomeBackground), kWelcomeDrawTimeout) &&
        Send(pl::payload::FillRectangle(PayloadSpace(), 0, 0, pl::kLcdMaxX, pl::kLcdMaxY),
             kWelcomeDrawTimeout) &&
        Send(pl::payload::SetFont(PayloadSpace(), kWelcomeFont[0], kWelcomeFont[1], kWelcomeFont[2],
                                  kWelcomeFont[3], kWelcomeFont[4], kWelcomeFont[5]),
             kWelcomeSettingTimeout);
    // The search is over from here on; the blink timer belongs to the GUI
    // thread and is stopped there when the pad is announced.
    m_bRunning = false;
    return cleared &&
           Send(pl::payload::SetTextColor(PayloadSpace(), kWelcomeTextColor),
                kWelcomeDrawTimeout) &&
           Send(pl::payload::SetTextMode(PayloadSpace(), kWelcomeTextMode),
                kWelcomeSettingTimeout) &&
           text(kWelcomeMaker) && text(kWelcomeProduct) &&
           // The pad has always been sent the text colour again before the
           // last line.
           Send(pl::payload::SetTextColor(PayloadSpace(), kWelcomeTextColor),
                kWelcomeDrawTimeout) &&
           text(kWelcomeGreeting);
}

bool DiscoveryThread::Pause(std::chrono::milliseconds pause) {
    std::unique_lock lock(m_mutex);
    return !m_wake.wait_for(lock, pause, [this] { return m_bStop.load(); });
}

}  // namespace vellumix::app
