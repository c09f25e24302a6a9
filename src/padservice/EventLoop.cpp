#include "padservice/EventLoop.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <unistd.h>

#include <sdbus-c++/IConnection.h>
#include <algorithm>
#include <cerrno>
#include <limits>
#include <system_error>

namespace vellumix::padservice {

EventLoop::EventLoop(sdbus::IConnection& bus)
    : m_bus(bus), m_wakeFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    if (m_wakeFd < 0) {
        throw std::system_error(errno, std::generic_category(), "eventfd");
    }
}

EventLoop::~EventLoop() {
    ::close(m_wakeFd);
}

void EventLoop::Post(Task task) {
    {
        std::lock_guard lock(m_postLock);
        m_posted.push_back(std::move(task));
    }
    const std::uint64_t one = 1;
    // Cannot fail short of the counter's 2^64 - 2 overflow, which the loop
    // drains long before.
    [[maybe_unused]] const ssize_t n = ::write(m_wakeFd, &one, sizeof one);
}

void EventLoop::Quit() {
    m_quit = true;
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(m_wakeFd, &one, sizeof one);
}

EventLoop::Id EventLoop::Watch(int fd, short events, std::function<void(short)> handler) {
    const Id id = m_nextId++;
    m_watchers.push_back({id, fd, events, std::move(handler)});
    return id;
}

void EventLoop::Unwatch(Id id) {
    std::erase_if(m_watchers, [id](const Watcher& w) { return w.id == id; });
}

EventLoop::Id EventLoop::After(Clock::duration delay, Task task) {
    const Id id = m_nextId++;
    const Clock::time_point due = Clock::now() + delay;
    m_timerOrder.emplace(due, id);
    m_timers.emplace(id, std::make_pair(due, std::move(task)));
    return id;
}

void EventLoop::Cancel(Id id) {
    const auto it = m_timers.find(id);
    if (it == m_timers.end()) {
        return;
    }
    const auto [first, last] = m_timerOrder.equal_range(it->second.first);
    for (auto o = first; o != last; ++o) {
        if (o->second == id) {
            m_timerOrder.erase(o);
            break;
        }
    }
    m_timers.erase(it);
}

void EventLoop::RunPosted() {
    std::deque<Task> tasks;
    {
        std::lock_guard lock(m_postLock);
        tasks.swap(m_posted);
    }
    for (Task& task : tasks) {
        task();
    }
}

void EventLoop::RunDueTimers() {
    const Clock::time_point now = Clock::now();
    while (!m_timerOrder.empty() && m_timerOrder.begin()->first <= now) {
        const Id id = m_timerOrder.begin()->second;
        m_timerOrder.erase(m_timerOrder.begin());
        auto node = m_timers.extract(id);
        if (!node.empty()) {
            node.mapped().second();
        }
    }
}

int EventLoop::PollTimeoutMs(std::chrono::microseconds busTimeout, bool busHasDeadline) const {
    using std::chrono::microseconds;
    std::optional<microseconds> wait;
    if (busHasDeadline) {
        wait = busTimeout;
    }
    if (!m_timerOrder.empty()) {
        const auto timer =
            std::chrono::duration_cast<microseconds>(m_timerOrder.begin()->first - Clock::now());
        wait = wait ? std::min(*wait, timer) : timer;
    }
    if (!wait) {
        return -1;
    }
    // Rounded up, so the loop does not wake a little early and spin.
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(std::max(*wait, microseconds{0}));
    return static_cast<int>(std::min<std::int64_t>(ms.count(), std::numeric_limits<int>::max()));
}

void EventLoop::Run() {
    m_thread = std::this_thread::get_id();
    // Per thread on Linux, addressed by its id; a refusal (EACCES) is fine.
    (void)::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), kLoopNice);
    std::vector<pollfd> fds;
    while (!m_quit) {
        RunDueTimers();
        RunPosted();
        // One message per call; handlers may post, queue replies or quit.
        while (!m_quit && m_bus.processPendingRequest()) {
        }
        if (m_quit) {
            break;
        }
        const sdbus::IConnection::PollData bus = m_bus.getEventLoopPollData();
        const std::optional<std::chrono::microseconds> busTimeout = bus.getRelativeTimeout();
        fds.clear();
        fds.push_back({bus.fd, bus.events, 0});
        fds.push_back({m_wakeFd, POLLIN, 0});
        for (const Watcher& w : m_watchers) {
            fds.push_back({w.fd, w.events, 0});
        }
        const int timeout = PollTimeoutMs(busTimeout.value_or(std::chrono::microseconds{0}),
                                          busTimeout.has_value());
        const int n = ::poll(fds.data(), fds.size(), timeout);
        if (n < 0 && errno != EINTR) {
            throw std::system_error(errno, std::generic_category(), "poll");
        }
        if (n <= 0) {
            continue;
        }
        if ((fds[1].revents & POLLIN) != 0) {
            std::uint64_t count = 0;
            [[maybe_unused]] const ssize_t drained = ::read(m_wakeFd, &count, sizeof count);
        }
        // A handler may add or remove watchers: call by id, from a copy.
        std::vector<std::pair<Id, short>> ready;
        for (std::size_t i = 2; i < fds.size(); ++i) {
            if (fds[i].revents != 0) {
                ready.emplace_back(m_watchers[i - 2].id, fds[i].revents);
            }
        }
        for (const auto& [id, revents] : ready) {
            const auto it = std::find_if(m_watchers.begin(), m_watchers.end(),
                                         [id = id](const Watcher& w) { return w.id == id; });
            if (it != m_watchers.end()) {
                auto handler = it->handler;
                handler(revents);
            }
        }
    }
    m_thread = std::thread::id{};
}

}  // namespace vellumix::padservice
