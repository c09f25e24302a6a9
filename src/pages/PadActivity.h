// The pad work of the pages of one main view: which user action runs, what
// the pad made of its commands, and the long work that goes off the GUI
// thread.
//
// Actions: every button handler and tab change begins one (BeginAction).
// The commands the pad refused or did not answer during an action, or that
// found the link down, are the status until the next action begins; so is a
// pattern that stopped early (SayStoppedEarly).
//
// Long work (a picture or a signature file on its way to the pad, a test
// pattern) runs on a worker thread (Run, RunSend) while the GUI thread waits
// for it in a local event loop: the window paints, its timers run and it
// takes input, but the pages' pad buttons are disabled (WorkingChanged) and
// a page change, a pad that came back, or closing the window is put off
// until the action has ended (WhenIdle). A pattern ends before its next
// command once RequestStop is called; a frame on its way always goes out
// whole. A send expected to take longer than kProgressThreshold shows the
// share of its frame handed to the line so far.
//
// Thread safety: a GUI-thread object. The work given to Run reaches the pad
// only through its PadJob, on the worker; meanwhile the GUI thread sends
// nothing, so the command channel is used from one thread at a time. What a
// job posts runs on the GUI thread in order, all of it before Run returns.
// The activity must not be destroyed while Run runs.
#pragma once

#include <QLatin1StringView>
#include <QObject>
#include <QString>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <map>
#include <mutex>
#include <vector>

#include "pages/PadCommands.h"

class QTimer;

namespace vellumix::padlink {
class PadCommandChannel;
}

namespace vellumix::pages {

// A send expected to take longer than this shows its progress: a shorter
// one is over before the user could read it.
inline constexpr std::chrono::milliseconds kProgressThreshold{1000};
// How often the share sent is shown while a long send runs.
inline constexpr std::chrono::milliseconds kProgressInterval{200};
// The pad's interrupt OUT endpoint takes one output report per frame of the
// full-speed bus, that is per millisecond: the 230 KB picture takes 3.7 s.
inline constexpr std::chrono::milliseconds kUsbReportInterval{1};

class PadActivity;

// What work on the worker thread has of the activity. Worker thread only.
class PadJob {
public:
    PadCommands& Pad() const;
    // True once RequestStop was called: a pattern ends before its next command.
    bool StopRequested() const;
    // Sleeps for time, or until a stop is asked for.
    void Sleep(std::chrono::milliseconds time) const;
    // Runs task on the GUI thread, after everything posted before it.
    void Post(std::function<void()> task) const;

private:
    friend class PadActivity;
    explicit PadJob(PadActivity& activity) : m_activity(activity) {}
    PadActivity& m_activity;
};

class PadActivity : public QObject {
    Q_OBJECT
public:
    // What may wait for the end of an action, run in this order; a close
    // that waits drops the others.
    enum class Deferred { kPageChange, kPadSetup, kClose };

    // An action from BeginAction until it goes out of scope.
    class Action {
    public:
        ~Action();
        Action(const Action&) = delete;
        Action& operator=(const Action&) = delete;

    private:
        friend class PadActivity;
        explicit Action(PadActivity& activity) : m_activity(activity) {}
        PadActivity& m_activity;
    };

    // The channel must outlive the activity.
    explicit PadActivity(padlink::PadCommandChannel& channel, QObject* parent = nullptr);
    ~PadActivity() override;

    // Every pad command of the pages goes through these.
    PadCommands& Pad() { return m_pad; }

    // A user action begins: the last one's problems are forgotten. Actions
    // begun inside an action belong to it.
    [[nodiscard]] Action BeginAction();

    // Runs work on a worker thread and returns once it has ended, everything
    // it posted included; the GUI thread keeps handling events meanwhile.
    // False, without running it, while other work runs.
    bool Run(const std::function<void(PadJob&)>& work);
    // Run for a send of one long frame of frameBytes bytes (a picture, a
    // signature file), with progressText ("...: %1%") showing the share sent
    // when the send is expected to take longer than kProgressThreshold on
    // the pad's link.
    void RunSend(QLatin1StringView progressText, std::size_t frameBytes,
                 const std::function<void(PadCommands&)>& send);

    // An action or work runs.
    bool IsBusy() const { return m_nActions > 0 || m_bWorking; }
    bool IsWorking() const { return m_bWorking; }
    // Asks the running work to end as soon as it can without cutting a frame.
    void RequestStop();
    // Runs task now when nothing is busy, else once the action has ended;
    // a later task of the same kind replaces an earlier one. While a page
    // change or a close waits, the status says so.
    void WhenIdle(Deferred what, std::function<void()> task);

    // The current action's pattern (named by its button) ended early.
    void SayStoppedEarly(QLatin1StringView pattern);
    // The link went down or came back: what the last action met is old news.
    void ForgetProblems();
    // What the status bar shows for the pages; empty when there is nothing
    // to say.
    QString Status() const;

signals:
    void StatusChanged(const QString& text);
    // Work began (true) or ended (false).
    void WorkingChanged(bool working);

private:
    friend class PadJob;

    void NoteProblem(const PadProblem& problem);
    void EndAction();
    void RunDeferred();
    void UpdateStatus();
    void ShowProgress();
    // How long frameBytes take to go out on the pad's link.
    std::chrono::steady_clock::duration ExpectedSendTime(std::size_t frameBytes);

    padlink::PadCommandChannel& m_channel;
    PadCommands m_pad;
    int m_nActions = 0;
    bool m_bWorking = false;

    mutable std::mutex m_stopLock;  // guards m_bStop
    std::condition_variable m_stopAsked;
    bool m_bStop = false;

    // The current action's problems, each once.
    std::vector<PadProblem> m_problems;
    QString m_strStoppedEarly;
    QLatin1StringView m_progressText;
    QString m_strProgress;
    // Written by the sending thread's write loop, read by the progress timer.
    std::atomic<std::size_t> m_nSent{0};
    std::atomic<std::size_t> m_nFrameBytes{0};
    QTimer* m_pProgressTimer = nullptr;
    std::map<Deferred, std::function<void()>> m_deferred;
    QString m_strShown;
};

}  // namespace vellumix::pages
