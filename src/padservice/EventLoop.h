// The service's one thread for all bus traffic. sd-bus is not thread-safe,
// and sdbus-c++ 1.2 serialises its calls with a lock but does not wake a
// poll loop it does not own when another thread queues a message: a signal
// sent from a worker could sit in the write queue until the next unrelated
// wake-up. So the bus is read, written and dispatched here only, and other
// threads hand their results in with Post (an eventfd wakes the poll).
// Descriptors (the device watchers') and one-shot timers run here as well.
//
// Nothing polls: the thread sleeps in poll() until the bus, a watched
// descriptor, a posted task, a timer or sd-bus's own deadline (a pending
// call's time-out) is due.
//
// Thread safety: Post and Quit are internally locked and safe from any
// thread. Watch, Unwatch, After, Cancel and Run belong to the loop thread
// (or to the owner before Run starts).
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

namespace sdbus {
class IConnection;
}

namespace vellumix::padservice {

// The loop carries every pen point from the pad's reader to the holder, so
// it runs a few steps above normal, as the pen reader does; unprivileged
// processes may not raise their priority, and then it runs at normal.
inline constexpr int kLoopNice = -5;

class EventLoop {
public:
    using Task = std::function<void()>;
    using Clock = std::chrono::steady_clock;
    using Id = std::uint64_t;

    // The connection must outlive the loop.
    explicit EventLoop(sdbus::IConnection& bus);
    ~EventLoop();
    EventLoop(const EventLoop&) = delete;
    EventLoop& operator=(const EventLoop&) = delete;

    // Runs task on the loop thread, after the tasks posted before it.
    // Safe from any thread.
    void Post(Task task);
    // Ends Run after the current step. Safe from any thread.
    void Quit();

    // Calls handler with poll's revents whenever fd has one of events.
    Id Watch(int fd, short events, std::function<void(short revents)> handler);
    void Unwatch(Id id);
    // Runs task once, delay from now.
    Id After(Clock::duration delay, Task task);
    void Cancel(Id id);

    // Serves the bus and the rest until Quit, at kLoopNice. A failure of the
    // bus (the daemon went away) ends it with the library's exception.
    void Run();
    bool OnLoopThread() const { return m_thread.load() == std::this_thread::get_id(); }
    sdbus::IConnection& Bus() const { return m_bus; }

private:
    struct Watcher {
        Id id;
        int fd;
        short events;
        std::function<void(short)> handler;
    };
    void RunPosted();
    void RunDueTimers();
    int PollTimeoutMs(std::chrono::microseconds busTimeout, bool busHasDeadline) const;

    sdbus::IConnection& m_bus;
    int m_wakeFd = -1;
    std::atomic<bool> m_quit{false};
    std::atomic<std::thread::id> m_thread{};

    std::mutex m_postLock;
    std::deque<Task> m_posted;

    Id m_nextId = 1;
    std::vector<Watcher> m_watchers;
    std::multimap<Clock::time_point, Id> m_timerOrder;
    std::map<Id, std::pair<Clock::time_point, Task>> m_timers;
};

}  // namespace vellumix::padservice
