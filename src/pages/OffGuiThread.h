// Work that may take longer than a repaint interval (reading and decoding a
// file of up to 64 MB), done on a worker thread while the GUI thread keeps
// painting and running its timers. User input waits in the queue until the
// work is done, so no other command can start on top of a half-done one.
//
// Thread safety: work runs on its own thread and must touch no widget; the
// caller gets its result back on the GUI thread.
#pragma once

#include <QCoreApplication>
#include <QEventLoop>
#include <chrono>
#include <future>
#include <type_traits>
#include <utility>

namespace vellumix::pages {

// How long the GUI thread sleeps between turns of its event loop while it
// waits: well under a frame, so the window stays smooth.
inline constexpr std::chrono::milliseconds kOffGuiPollInterval{10};

template <typename Work>
std::invoke_result_t<Work> RunOffGuiThread(Work&& work) {
    auto result = std::async(std::launch::async, std::forward<Work>(work));
    while (result.wait_for(kOffGuiPollInterval) != std::future_status::ready) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
    return result.get();
}

}  // namespace vellumix::pages
