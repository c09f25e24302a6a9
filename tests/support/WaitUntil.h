// Waits for what another thread does (a pad's host, a reader): polls `done`
// every millisecond or two until it holds or `limit` has passed, and says
// whether it held. A wait on the test's own event loop pumps it instead.
#pragma once

#include <chrono>
#include <thread>

namespace vellumix::testsupport {

template <typename Predicate>
bool WaitUntil(Predicate done, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

}  // namespace vellumix::testsupport
