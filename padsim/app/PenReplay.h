// Replays a stored signature through the virtual pad's pen, at a fixed
// number of points per second, while the pad captures. Time stands still
// while it does not: a replay that starts before the host's StartCapture,
// or runs across a SuspendCapture, loses no point.
//
// Thread safety: none; the owner's timer drives it. The engine locks itself.
#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <vector>

#include "engine/PadEngine.h"
#include "sigformats/SignaturePoint.h"

namespace vellumix::padsim::app {

// The pad samples the pen about 100 times a second.
inline constexpr double kDefaultPenRate = 100.0;

class PenReplay {
public:
    using Clock = std::chrono::steady_clock;

    // points: pad units, PEN_UP_POINT between strokes. A final stroke
    // without its lift gets one at the end, as a hand lifts the pen.
    PenReplay(std::vector<sigformats::SignaturePoint> points, double pointsPerSecond);

    // Hands the engine the points due at `now`, counting only the time
    // spent capturing. Returns how many it handed over.
    std::size_t Pump(engine::PadEngine& engine, bool capturing, Clock::time_point now);

    bool Finished() const { return m_next >= m_points.size(); }
    std::size_t Total() const { return m_points.size(); }

private:
    std::vector<sigformats::SignaturePoint> m_points;
    double m_rate;
    std::size_t m_next = 0;
    double m_due = 0.0;  // points owed, fractional
    std::optional<Clock::time_point> m_lastPump;
};

}  // namespace vellumix::padsim::app
