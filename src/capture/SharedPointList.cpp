#include "capture/SharedPointList.h"

namespace vellumix::capture {

std::size_t SharedPointList::GetPointCount() const {
    std::lock_guard lock(m_mutex);
    return m_list.Count();
}

sigformats::SignaturePoint SharedPointList::GetPoint(std::int64_t index) const {
    if (index < 0) {
        return kOutOfRangePoint;
    }
    std::lock_guard lock(m_mutex);
    return m_list.At(static_cast<std::size_t>(index));
}

void SharedPointList::AppendPoints(std::span<const sigformats::SignaturePoint> points) {
    AppendPoints(points, {});
}

void SharedPointList::AppendPoints(std::span<const sigformats::SignaturePoint> points,
                                   std::span<const sigformats::PointTime> times) {
    std::lock_guard lock(m_mutex);
    const std::size_t before = m_list.Count();
    m_list.AppendPoints(points);
    if (m_list.Count() == before) {
        return;  // nothing stored, so nothing untimed either
    }
    if (!m_timed || times.size() != points.size()) {
        m_timed = false;
        m_times = {};
        return;
    }
    for (std::size_t i = 0; i < points.size(); ++i) {
        if (sigformats::IsStorablePoint(points[i])) {
            m_times.push_back(times[i]);
        }
    }
}

void SharedPointList::Clear() {
    std::lock_guard lock(m_mutex);
    m_list.Clear();
    m_times = {};
    m_timed = true;
}

void SharedPointList::Assign(std::span<const sigformats::SignaturePoint> points) {
    std::lock_guard lock(m_mutex);
    m_list.Clear();
    m_list.AppendPoints(points);
    m_times = {};
    m_timed = m_list.Empty();
}

std::vector<sigformats::SignaturePoint> SharedPointList::CopyPoints(std::size_t from) const {
    std::lock_guard lock(m_mutex);
    const auto points = m_list.Points();
    if (from >= points.size()) {
        return {};
    }
    return {points.begin() + static_cast<std::ptrdiff_t>(from), points.end()};
}

SharedPointList::TimedCopy SharedPointList::CopyTimedPoints() const {
    std::lock_guard lock(m_mutex);
    const auto points = m_list.Points();
    TimedCopy copy;
    copy.points.assign(points.begin(), points.end());
    if (m_timed && m_times.size() == points.size()) {
        copy.times = m_times;
    }
    return copy;
}

}  // namespace vellumix::capture
