#include "padservice/PadWorker.h"

namespace vellumix::padservice {

PadWorker::PadWorker(std::size_t capacity)
    : m_capacity(capacity), m_thread([this](std::stop_token stop) { Run(stop); }) {}

PadWorker::~PadWorker() {
    DropQueued();
    m_thread.request_stop();
    m_thread.join();
}

bool PadWorker::TryPush(Job job) {
    {
        std::lock_guard lock(m_lock);
        if (m_clientJobs >= m_capacity) {
            return false;
        }
        ++m_clientJobs;
        m_jobs.emplace_back(std::move(job), true);
    }
    m_wake.notify_one();
    return true;
}

void PadWorker::Push(Job job) {
    {
        std::lock_guard lock(m_lock);
        m_jobs.emplace_back(std::move(job), false);
    }
    m_wake.notify_one();
}

void PadWorker::DropQueued() {
    std::deque<std::pair<Job, bool>> dropped;
    {
        std::lock_guard lock(m_lock);
        dropped.swap(m_jobs);
        m_clientJobs = 0;
    }
    // Destroyed outside the lock: a job's captures may be anything.
}

bool PadWorker::Idle() const {
    std::lock_guard lock(m_lock);
    return !m_running && m_jobs.empty();
}

void PadWorker::Run(std::stop_token stop) {
    for (;;) {
        std::pair<Job, bool> next;
        {
            std::unique_lock lock(m_lock);
            m_running = false;
            if (!m_wake.wait(lock, stop, [this] { return !m_jobs.empty(); })) {
                return;
            }
            next = std::move(m_jobs.front());
            m_jobs.pop_front();
            if (next.second) {
                --m_clientJobs;
            }
            m_running = true;
        }
        next.first();
    }
}

}  // namespace vellumix::padservice
