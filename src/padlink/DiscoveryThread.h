// The start-up search for the pad: polls USB, then COM0..COM9 on one pad's
// link, pass after pass until a pad answers the probe; then hands the pad
// to its owner (the app draws its welcome screen and switches views).
//
// Thread safety: Start, RequestStop and Join are called from the owner's
// thread (the GUI thread); the accessors are safe from any thread. The
// worker alone uses the link while it runs, and the announcement runs on
// the worker too, so nobody else may send to the pad until it has returned
// or the worker has ended. The announcement must return promptly once the
// stop token it is given is requested: its commands check it between
// frames, and its hand-over to the owner's thread gives up then
// (capture::PostAndWait does), so a window closed meanwhile abandons it
// instead of deadlocking against it.
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

namespace vellumix::padlink {

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
    // Runs on the worker once a pad answered, the link using the transport
    // it answered on; returns once the owner has taken the pad over or stop
    // is requested.
    using Announce = std::function<void(std::stop_token stop)>;

    // The link must outlive the thread.
    DiscoveryThread(PadLink& link, DiscoveryTiming timing, Announce announce);
    // Stops and joins.
    ~DiscoveryThread();
    DiscoveryThread(const DiscoveryThread&) = delete;
    DiscoveryThread& operator=(const DiscoveryThread&) = delete;

    // Starts the worker; a second call does nothing.
    void Start();
    // Ends the search at the next check: before each port, between passes,
    // and in the announcement. Wakes a pause.
    void RequestStop();
    // Waits for the worker to end. A transport call in progress finishes
    // first: at most one probe (512 ms on USB, 600 ms on a serial port), or
    // what the announcement is sending.
    void Join();

    // Safe from any thread.
    // True while the search runs: until a pad answered or it was stopped.
    bool IsRunning() const { return m_bRunning.load(); }
    // True once a pad answered the probe; set before the announcement.
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
    void SetLastFailure(OpenFailure why, std::string text);
    // Sleeps up to `pause`; false when a stop was asked for meanwhile.
    bool Pause(std::stop_token stop, std::chrono::milliseconds pause);

    PadLink& m_padLink;
    const DiscoveryTiming m_timing;
    const Announce m_announce;

    // The loop runs while set; cleared by the worker once a pad answered.
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
