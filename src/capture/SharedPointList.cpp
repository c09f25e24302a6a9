#include "capture/SharedPointList.h"

namespace vellumix::capture {

std::size_t SharedPointList::GetPointCount() const {
    std::lock_guard lock(m_mutex);
    return m_list.Count();
}

SignaturePoint SharedPointList::GetPoint(std::int64_t index) const {
    if (index < 0) {
        return kOutOfRangePoint;
    }
    std::lock_guard lock(m_mutex);
    return m_list.At(static_cast<std::size_t>(index));
}

void SharedPointList::AppendPoints(std::span<const SignaturePoint> points) {
    std::lock_guard lock(m_mutex);
    m_list.AppendPoints(points);
}

void SharedPointList::Clear() {
    std::lock_guard lock(m_mutex);
    m_list.Clear();
}

void SharedPointList::Assign(std::span<const SignaturePoint> points) {
    std::lock_guard lock(m_mutex);
    m_list.Clear();
    m_list.AppendPoints(points);
}

std::vector<SignaturePoint> SharedPointList::CopyPoints(std::size_t from) const {
    std::lock_guard lock(m_mutex);
    const auto points = m_list.Points();
    if (from >= points.size()) {
        return {};
    }
    return {points.begin() + static_cast<std::ptrdiff_t>(from), points.end()};
}

}  // namespace vellumix::capture
