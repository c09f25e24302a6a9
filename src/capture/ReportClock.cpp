#include "capture/ReportClock.h"

#include <algorithm>

#include "capture/PenReport.h"

namespace vellumix::capture {

std::chrono::microseconds ReportWireTime(int baud, int bitsPerByte) {
    if (baud <= 0 || bitsPerByte <= 0) {
        return std::chrono::microseconds{0};
    }
    const auto bits = static_cast<std::int64_t>(kPenReportSize) * bitsPerByte;
    return std::chrono::microseconds{bits * 1'000'000 / baud};
}

void ReportClock::Stamp(sigformats::PointTime readTime, std::size_t reports,
                        sigformats::PointTimes& out) {
    if (reports == 0) {
        return;
    }
    const auto n = static_cast<sigformats::PointTime>(reports);
    if (m_haveLast && readTime < m_last) {
        // The clock is monotonic, but a caller may hand in a time taken
        // before the previous batch was stamped: never step back.
        readTime = m_last;
    }
    const sigformats::PointTime step = m_perReport.count();
    const sigformats::PointTime first = readTime - (n - 1) * step;
    out.reserve(out.size() + reports);
    if (!m_haveLast || first > m_last || step == 0) {
        for (sigformats::PointTime i = 0; i < n; ++i) {
            out.push_back(std::max(first + i * step, m_haveLast ? m_last : first));
        }
    } else {
        // More reports than fit since the previous batch at the line's pace:
        // they all came after that batch's read, so share that span out.
        const sigformats::PointTime span = readTime - m_last;
        for (sigformats::PointTime i = 1; i <= n; ++i) {
            out.push_back(m_last + span * i / n);
        }
    }
    m_last = readTime;
    m_haveLast = true;
}

}  // namespace vellumix::capture
