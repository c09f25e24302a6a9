#include "PenOutputQueue.h"

#include <algorithm>

namespace vellumix::padsim::engine {

PenOutputQueue::PenOutputQueue(std::chrono::milliseconds holdBack, std::size_t capacity)
    : m_holdBack(holdBack), m_capacity(std::max<std::size_t>(capacity, 1)) {}

void PenOutputQueue::Push(const capture::PenReport& report) {
    if (m_reports.size() >= m_capacity) {
        m_reports.pop_front();
        ++m_dropped;
    }
    m_reports.push_back(report);
}

void PenOutputQueue::NoteAnswer(Clock::time_point now) {
    m_lastAnswer = now;
}

std::optional<PenOutputQueue::Clock::time_point> PenOutputQueue::ReleaseTime() const {
    if (m_reports.empty()) {
        return std::nullopt;
    }
    if (!m_lastAnswer) {
        return Clock::time_point::min();
    }
    return *m_lastAnswer + m_holdBack;
}

std::vector<std::uint8_t> PenOutputQueue::Take(Clock::time_point now, std::size_t maxReports) {
    std::vector<std::uint8_t> out;
    const auto release = ReleaseTime();
    if (!release || now < *release) {
        return out;
    }
    const std::size_t n = std::min(maxReports, m_reports.size());
    out.reserve(n * capture::kPenReportSize);
    for (std::size_t i = 0; i < n; ++i) {
        out.insert(out.end(), m_reports.front().begin(), m_reports.front().end());
        m_reports.pop_front();
    }
    return out;
}

}  // namespace vellumix::padsim::engine
