// One claimed pad's worker: the thread on which that pad's calls run, one at
// a time and in the order they came, so that a long one (a full-screen
// picture takes 60 s on a 38,400-baud line) holds up only the calls for the
// same pad and never the bus. Calls from clients wait in a bounded queue;
// the service's own steps (open, close, the line check) always get in.
//
// Thread safety: TryPush, Push, DropQueued and Idle are internally locked and
// called from the loop thread; the jobs run on the worker. The destructor
// drops what has not started, waits for the job in progress and joins.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace vellumix::padservice {

class PadWorker {
public:
    using Job = std::function<void()>;

    // capacity: the client calls that may wait at once.
    explicit PadWorker(std::size_t capacity);
    ~PadWorker();
    PadWorker(const PadWorker&) = delete;
    PadWorker& operator=(const PadWorker&) = delete;

    // A client's call; false (and nothing queued) when capacity calls wait.
    bool TryPush(Job job);
    // The service's own step: queued whatever waits.
    void Push(Job job);
    // Forgets the jobs that have not started; the one in progress finishes.
    void DropQueued();
    // Nothing runs and nothing waits.
    bool Idle() const;

private:
    void Run(std::stop_token stop);

    const std::size_t m_capacity;
    mutable std::mutex m_lock;
    std::condition_variable_any m_wake;
    std::deque<std::pair<Job, bool>> m_jobs;  // the job, and whether a client's
    std::size_t m_clientJobs = 0;
    bool m_running = false;
    std::jthread m_thread;
};

}  // namespace vellumix::padservice
