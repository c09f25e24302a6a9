// The start-up search for the pad: polls USB, then COM0..COM9, pass after
// pass until a pad answers the probe; then draws the welcome screen on the
// pad's LCD through the command channel and announces the pad.
//
// Thread safety: Start, RequestStop and Join are called from the owner's
// thread (the GUI thread); the accessors are safe from any thread. The
// worker alone uses the transports and the channel while it runs, so nobody
// else may send to the pad until the announcement has been handled or the
// worker has ended. The announcement runs on the worker and must block until
// the owner's thread has handled it, or until the stop token it is given is
// requested (capture::PostAndWait does both): a window closed during the
// welcome screen then abandons it instead of deadlocking against it.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <stop_token>
#include <string>
#include <thread>

#include "padlink/PadProbe.h"
#include "padlink/PadProtocol.h"

namespace vellumix::padlink {

class PadCommandChannel;

struct DiscoveryTiming {
    // Before each serial port, and between passes. Tests shorten them; the
    // program keeps the pad's historical 500 ms and 200 ms.
    std::chrono::milliseconds portPause = kAppPortPause;
    std::chrono::milliseconds passPause = kAppPassPause;
    std::chrono::milliseconds replyPause = kSerialProbeReplyPause;
    std::chrono::milliseconds usbWait = kUsbProbeWait;
};

class DiscoveryThread {
public:
    // Runs on the worker once the welcome screen is drawn; returns once the
    // pad has been taken over (the view switch is done) or stop is requested.
    using Announce = std::function<void(std::stop_token stop)>;

    // The channel (and its link) must outlive the thread; the search runs on
    // the channel's link.
    DiscoveryThread(PadCommandChannel& channel, DiscoveryTiming timing, Announce announce);
    // Stops and joins.
    ~DiscoveryThread();
    DiscoveryThread(const DiscoveryThread&) = delete;
    DiscoveryThread& operator=(const DiscoveryThread&) = delete;

    // Starts the worker; a second call does nothing.
    void Start();
    // Ends the search at the next check: before each port, between passes,
    // between welcome frames, and in the announcement. Wakes a pause.
    void RequestStop();
    // Waits for the worker to end. A transport call in progress finishes
    // first: at most one probe (512 ms on USB, 600 ms on a serial port) or
    // one welcome frame.
    void Join();

    // Safe from any thread.
    bool IsRunning() const { return m_bRunning.load(); }
    // True once a pad answered the probe; set before the welcome screen.
    bool PadFound() const { return m_bFound.load(); }
    PadLinkKind Link() const { return m_link.load(); }
    // The serial port that answered (0..9), or -1.
    int ComNumber() const { return m_comNumber.load(); }
    // True once the worker has ended: it touches no transport any more.
    bool IsFinished() const { return m_bFinished.load(); }
    // Completed polling passes without a pad.
    int Passes() const { return m_passes.load(); }
    // Why the last port that exists would not open (permission, busy, not a
    // serial device); kNone while every port opened or none exists.
    OpenFailure LastOpenFailure() const { return m_lastFailure.load(); }
    // Its text, in the USB wording when it was the USB device, naming the
    // device and, when busy, the program that holds it. Empty with kNone.
    std::string LastOpenFailureText() const;

private:
    void Run(std::stop_token stop);
    bool PollOnce(std::stop_token stop);
    bool DrawWelcome(std::stop_token stop);
    void SetLastFailure(OpenFailure why, std::string text);
    // Sleeps up to `pause`; false when a stop was asked for meanwhile.
    bool Pause(std::stop_token stop, std::chrono::milliseconds pause);

    PadCommandChannel& m_channel;
    const DiscoveryTiming m_timing;
    const Announce m_announce;

    // The loop runs while set; cleared by the worker once a pad is found.
    std::atomic<bool> m_bRunning{false};
    // Mirrors the stop request for the discovery pass's cancel check.
    std::atomic<bool> m_bStop{false};
    std::atomic<bool> m_bFound{false};
    std::atomic<bool> m_bFinished{false};
    std::atomic<PadLinkKind> m_link{PadLinkKind::kNone};
    std::atomic<int> m_comNumber{-1};
    std::atomic<int> m_passes{0};
    std::atomic<OpenFailure> m_lastFailure{OpenFailure::kNone};
    // Guards m_lastFailureText, written by the worker, read by the GUI thread.
    mutable std::mutex m_failureMutex;
    std::string m_lastFailureText;

    std::mutex m_pauseMutex;
    std::condition_variable_any m_pauseWake;
    std::jthread m_thread;
};

}  // namespace vellumix::padlink
