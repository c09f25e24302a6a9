#include "pages/PadActivity.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QStringList>
#include <QThread>
#include <QTimer>
#include <thread>
#include <utility>

#include "padlink/PadCommandChannel.h"
#include "padlink/PadLink.h"
#include "pages/QueuedHandOver.h"
#include "res/Strings.h"

namespace vellumix::pages {

PadCommands& PadJob::Pad() const {
    return m_activity.m_pad;
}

bool PadJob::StopRequested() const {
    std::lock_guard lock(m_activity.m_stopLock);
    return m_activity.m_bStop;
}

void PadJob::Sleep(std::chrono::milliseconds time) const {
    std::unique_lock lock(m_activity.m_stopLock);
    m_activity.m_stopAsked.wait_for(lock, time, [this] { return m_activity.m_bStop; });
}

void PadJob::Post(std::function<void()> task) const {
    PostQueued(&m_activity, std::move(task));
}

PadActivity::Action::~Action() {
    m_activity.EndAction();
}

PadActivity::PadActivity(padlink::PadCommandChannel& channel, QObject* parent)
    : QObject(parent),
      m_channel(channel),
      m_pad(channel,
            [this](const PadProblem& problem) {
                if (QThread::currentThread() == thread()) {
                    NoteProblem(problem);
                } else {
                    PostQueued(this, [this, problem] { NoteProblem(problem); });
                }
            }),
      m_pProgressTimer(new QTimer(this)) {
    m_pProgressTimer->setInterval(kProgressInterval);
    connect(m_pProgressTimer, &QTimer::timeout, this, &PadActivity::ShowProgress);
}

PadActivity::~PadActivity() = default;

PadActivity::Action PadActivity::BeginAction() {
    if (m_nActions++ == 0) {
        ForgetProblems();
    }
    return Action(*this);
}

void PadActivity::EndAction() {
    if (--m_nActions == 0) {
        RunDeferred();
    }
}

bool PadActivity::Run(const std::function<void(PadJob&)>& work) {
    if (m_bWorking) {
        return false;
    }
    {
        std::lock_guard lock(m_stopLock);
        m_bStop = false;
    }
    m_bWorking = true;
    emit WorkingChanged(true);

    QEventLoop loop;
    PadJob job(*this);
    std::thread worker([&] {
        work(job);
        // After every post of the work: the loop ends once they have run.
        PostQueued(this, [&loop] { loop.quit(); });
    });
    loop.exec();
    worker.join();
    // Only a quit of the whole application ends the loop before the work's
    // last post. The work has ended now (a frame goes out whole), and what
    // it posted runs before Run returns, while what it speaks of still
    // exists.
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);

    m_bWorking = false;
    emit WorkingChanged(false);
    if (m_nActions == 0) {
        RunDeferred();
    }
    return true;
}

void PadActivity::RunSend(QLatin1StringView progressText, std::size_t frameBytes,
                          const std::function<void(PadCommands&)>& send) {
    const bool shown = ExpectedSendTime(frameBytes) > kProgressThreshold;
    if (shown) {
        m_nSent = 0;
        m_nFrameBytes = frameBytes;
        m_progressText = progressText;
        ShowProgress();
        m_pProgressTimer->start();
    }
    // Whichever transport the pad is on reports to the same counters; only
    // the one in use writes.
    const padlink::PadTransport::WriteProgress progress = [this](std::size_t written,
                                                                 std::size_t length) {
        m_nFrameBytes = length;
        m_nSent = written;
    };
    Run([&](PadJob& job) {
        if (shown) {
            m_channel.WithLink([&](padlink::PadLink& link) { link.SetWriteProgress(progress); });
        }
        send(job.Pad());
        if (shown) {
            m_channel.WithLink([](padlink::PadLink& link) { link.SetWriteProgress({}); });
        }
    });
    if (shown) {
        m_pProgressTimer->stop();
        m_progressText = {};
        m_strProgress.clear();
        UpdateStatus();
    }
}

std::chrono::steady_clock::duration PadActivity::ExpectedSendTime(std::size_t frameBytes) {
    const padlink::PadLink& link = m_channel.Link();
    if (link.Kind() != padlink::PadLinkKind::kUsb) {
        return link.WireTime(frameBytes);
    }
    const std::size_t reports = (frameBytes + padlink::hidreport::kReportDataBytes - 1) /
                                padlink::hidreport::kReportDataBytes;
    return static_cast<long>(reports) * kUsbReportInterval;
}

void PadActivity::ShowProgress() {
    const std::size_t length = m_nFrameBytes;
    const std::size_t sent = m_nSent;
    const std::size_t percent = length == 0 ? 0 : sent * 100 / length;
    m_strProgress = QString(m_progressText).arg(percent);
    UpdateStatus();
}

void PadActivity::RequestStop() {
    {
        std::lock_guard lock(m_stopLock);
        m_bStop = true;
    }
    m_stopAsked.notify_all();
}

void PadActivity::WhenIdle(Deferred what, std::function<void()> task) {
    if (!IsBusy()) {
        task();
        return;
    }
    m_deferred[what] = std::move(task);
    UpdateStatus();
}

void PadActivity::RunDeferred() {
    while (!IsBusy() && !m_deferred.empty()) {
        auto next = m_deferred.find(Deferred::kClose);
        if (next == m_deferred.end()) {
            next = m_deferred.begin();
        }
        const std::function<void()> task = std::move(next->second);
        if (next->first == Deferred::kClose) {
            m_deferred.clear();
        } else {
            m_deferred.erase(next);
        }
        UpdateStatus();
        task();
    }
}

void PadActivity::NoteProblem(const PadProblem& problem) {
    for (const PadProblem& p : m_problems) {
        if (p == problem) {
            return;
        }
    }
    m_problems.push_back(problem);
    UpdateStatus();
}

void PadActivity::SayStoppedEarly(QLatin1StringView pattern) {
    m_strStoppedEarly = QString(res::kPatternStoppedEarly).arg(pattern);
    UpdateStatus();
}

void PadActivity::ForgetProblems() {
    m_problems.clear();
    m_strStoppedEarly.clear();
    UpdateStatus();
}

QString PadActivity::Status() const {
    if (m_deferred.contains(Deferred::kClose)) {
        return QString(res::kWaitingToClose);
    }
    if (m_deferred.contains(Deferred::kPageChange)) {
        return QString(res::kWaitingToChangePage);
    }
    if (!m_strProgress.isEmpty()) {
        return m_strProgress;
    }
    QStringList parts;
    if (!m_strStoppedEarly.isEmpty()) {
        parts << m_strStoppedEarly;
    }
    if (const QString problems = DescribeProblems(m_problems); !problems.isEmpty()) {
        parts << problems;
    }
    return parts.join(res::kSentenceSeparator);
}

void PadActivity::UpdateStatus() {
    QString status = Status();
    if (status != m_strShown) {
        m_strShown = std::move(status);
        emit StatusChanged(m_strShown);
    }
}

}  // namespace vellumix::pages
