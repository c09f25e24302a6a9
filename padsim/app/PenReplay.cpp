#include "PenReplay.h"

namespace vellumix::padsim::app {

PenReplay::PenReplay(std::vector<sigformats::SignaturePoint> points, double pointsPerSecond)
    : m_points(std::move(points)), m_rate(pointsPerSecond > 0 ? pointsPerSecond : kDefaultPenRate) {
    if (!m_points.empty() && !sigformats::IsPenUp(m_points.back())) {
        m_points.push_back(sigformats::PEN_UP_POINT);
    }
}

std::size_t PenReplay::Pump(engine::PadEngine& engine, bool capturing, Clock::time_point now) {
    if (!capturing) {
        m_lastPump.reset();
        return 0;
    }
    if (m_lastPump) {
        m_due += std::chrono::duration<double>(now - *m_lastPump).count() * m_rate;
    }
    m_lastPump = now;
    std::size_t handed = 0;
    while (m_due >= 1.0 && m_next < m_points.size()) {
        const sigformats::SignaturePoint p = m_points[m_next++];
        if (sigformats::IsPenUp(p)) {
            engine.PenUp();
        } else {
            engine.PenDown(p.x, p.y);
        }
        m_due -= 1.0;
        ++handed;
    }
    if (Finished()) {
        m_due = 0.0;
    }
    return handed;
}

}  // namespace vellumix::padsim::app
