// The GUI thread's event queue for the reader's tests: tasks posted from the
// reader run only when the test's own thread (the "GUI thread") pumps them.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

#include "capture/PenReader.h"

namespace vellumix::capture::test {

class FakeGuiLoop {
public:
    Poster MakePoster() {
        return [this](std::function<void()> task) {
            std::lock_guard lock(m_mutex);
            m_tasks.push_back(std::move(task));
            m_cv.notify_all();
        };
    }
    // Waits up to `wait` for a task; runs it when `run`. False when none came.
    bool Pump(std::chrono::milliseconds wait, bool run = true) {
        std::unique_lock lock(m_mutex);
        if (!m_cv.wait_for(lock, wait, [&] { return !m_tasks.empty(); })) {
            return false;
        }
        if (!run) {
            return true;
        }
        auto task = std::move(m_tasks.front());
        m_tasks.pop_front();
        lock.unlock();
        task();
        return true;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::deque<std::function<void()>> m_tasks;
};

}  // namespace vellumix::capture::test
