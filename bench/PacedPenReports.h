// Pen reports put on a virtual pad at a steady rate, and when each one's
// turn on the line came: at once, or, on a line full of reports, once the
// one before it has crossed. A report's latency is measured from its turn,
// so a full line does not count as the host's delay.
#pragma once

#include <algorithm>
#include <chrono>
#include <functional>
#include <thread>
#include <vector>

namespace vellumix::bench {

// put(i) puts report i on the pad; it is called at rate a second. wire:
// one report's time on the line.
inline std::vector<std::chrono::steady_clock::time_point> PacePenReports(
    int rate, int count, std::chrono::steady_clock::duration wire,
    const std::function<void(int)>& put) {
    using Clock = std::chrono::steady_clock;
    const auto period = std::chrono::nanoseconds(1'000'000'000LL / rate);
    std::vector<Clock::time_point> turns;
    turns.reserve(static_cast<std::size_t>(count));
    auto next = Clock::now();
    Clock::time_point lineFree = next;
    for (int i = 0; i < count; ++i) {
        std::this_thread::sleep_until(next);
        const auto now = Clock::now();
        put(i);
        lineFree = std::max(now, lineFree);
        turns.push_back(lineFree);
        lineFree += wire;
        next += period;
    }
    return turns;
}

}  // namespace vellumix::bench
