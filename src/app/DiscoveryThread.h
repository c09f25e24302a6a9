// The connection view's search for the pad: polls USB, then COM0..COM9, pass
// after pass until a pad answers the probe; then draws the welcome screen on
// the pad's LCD and announces the pad to the GUI thread.
//
// Thread safety: Start, RequestStop and Join are called from the owner's
// thread (the GUI thread); the accessors are safe from any thread. The
// worker alone uses the transports and the frame buffer while it runs, so
// nobody else may send to the pad until it has ended: the command channel
// is used only once the announcement has been handled. The announcement runs
// on the worker and blocks it until the GUI thread has handled it; Join
// therefore lets the owner drain that pending call while it waits, or a
// window closed during the welcome screen would deadlock against it.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <span>
#include <string_view>
#include <thread>

#include "padlink/PadLink.h"
#include "padlink/PadProbe.h"
#include "padlink/PadProtocol.h"

namespace vellumix::app {

struct DiscoveryTiming {
    // Before each serial port, and between passes. Tests shorten them; the
    // program keeps the pad's historical 500 ms and 200 ms.
    std::chrono::milliseconds portPause = padlink::kAppPortPause;
    std::chrono::milliseconds passPause = padlink::kAppPassPause;
    std::chrono::milliseconds replyPause = padlink::kSerialProbeReplyPause;
    std::chrono::milliseconds usbWait = padlink::kUsbProbeWait;
};

// The thread's own frame buffer: the probe and the welcome screen frames are
// all far shorter, so the 2-byte length form always applies.
inline constexpr std::size_t kDiscoveryFrameBufferSize = 512;
// How often Join runs its waiting hook while the worker finishes.
inline constexpr std::chrono::milliseconds kJoinPollInterval{5};

class DiscoveryThread {
public:
    // Runs on the worker once the welcome screen is drawn and must return
    // only when the pad has been taken over (the view switch is done).
    using Announce = std::function<void()>;

    // The transports must outlive the thread.
    DiscoveryThread(padlink::PadPorts ports, DiscoveryTiming timing, Announce announce);
    // Stops and joins (without a waiting hook).
    ~DiscoveryThread();
    DiscoveryThread(const DiscoveryThread&) = delete;
    DiscoveryThread& operator=(const DiscoveryThread&) = delete;

    // Starts the worker; a second call does nothing.
    void Start();
    // Ends the search at the next check: before each port, between passes,
    // between welcome frames, and before the announcement. Wakes a pause.
    void RequestStop();
    // Waits for the worker to end, calling whileWaiting on this thread every
    // kJoinPollInterval until then. A transport call in progress finishes
    // first: at most one probe (512 ms on USB, 600 ms on a serial port) or
    // one welcome frame.
    void Join(const std::function<void()>& whileWaiting = {});

    // Safe from any thread.
    bool IsRunning() const { return m_bRunning.load(); }
    // True once a pad answered the probe; set before the welcome screen.
    bool PadFound() const { return m_bFound.load(); }
    padlink::PadLinkKind Link() const { return m_link.load(); }
    // The serial port that answered (0..9), or -1.
    int ComNumber() const { return m_comNumber.load(); }
    // True once the worker has ended: it touches no transport any more.
    bool IsFinished() const;
    // Completed polling passes without a pad.
    int Passes() const { return m_passes.load(); }
    // Why the last serial port that exists would not open (permission,
    // busy, not a serial device); kNone while every port opened or none
    // exists.
    padlink::OpenFailure LastOpenFailure() const { return m_lastFailure.load(); }
    // Its text, in the USB wording when it was the USB device.
    std::string_view LastOpenFailureText() const {
        return m_lastFailureUsb ? padlink::UsbOpenFailureText(m_lastFailure.load())
                                : padlink::OpenFailureText(m_lastFailure.load());
    }

private:
    void Run();
    bool PollOnce();
    bool DrawWelcome();
    // Frames the payload in m_frame and exchanges it; the reply is not
    // examined. False only when a stop was asked for.
    bool Send(std::size_t payloadLength, std::chrono::milliseconds timeout);
    // Sleeps up to `pause`; false when a stop was asked for meanwhile.
    bool Pause(std::chrono::milliseconds pause);
    bool StopRequested() const { return m_bStop.load(); }
    std::span<std::uint8_t> PayloadSpace();

    padlink::PadPorts m_ports;
    const DiscoveryTiming m_timing;
    const Announce m_announce;

    std::array<std::uint8_t, kDiscoveryFrameBufferSize> m_frame{};  // worker only
    std::array<std::uint8_t, padlink::kReplyCapacity> m_reply{};    // worker only

    // The loop runs while set; cleared by the worker once a pad is found.
    std::atomic<bool> m_bRunning{false};
    std::atomic<bool> m_bStop{false};
    std::atomic<bool> m_bFound{false};
    std::atomic<padlink::PadLinkKind> m_link{padlink::PadLinkKind::kNone};
    std::atomic<int> m_comNumber{-1};
    std::atomic<int> m_passes{0};
    std::atomic<padlink::OpenFailure> m_lastFailure{padlink::OpenFailure::kNone};
    std::atomic<bool> m_lastFailureUsb{false};

    // Guards m_bFinished; m_wake wakes the worker's pauses (stop) and the
    // owner's Join (finished).
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_bFinished = false;
    std::thread m_thread;
};

}  // namespace vellumix::app
