#include "capture/SignaturePointList.h"

#include <algorithm>

namespace vellumix::capture {

void SignaturePointList::Grow(std::size_t needed) {
    // An empty list takes exactly the room asked for (1, 5, 9, ... follow);
    // after that the step applies.
    const std::size_t step = Capacity() == 0 ? 0 : std::max(m_count / kGrowDivisor, kMinGrowStep);
    const std::size_t newCapacity = std::max(needed, Capacity() + step);
    // Copy into storage of exactly the new capacity: reserve() may round up,
    // and the capacity sequence is part of the list's contract.
    std::vector<sigformats::SignaturePoint> grown(newCapacity);
    std::copy_n(m_storage.begin(), m_count, grown.begin());
    m_storage = std::move(grown);
}

void SignaturePointList::Append(sigformats::SignaturePoint point) {
    if (m_count == Capacity()) {
        Grow(m_count + 1);
    }
    m_storage[m_count++] = point;
}

void SignaturePointList::AppendPoints(std::span<const sigformats::SignaturePoint> points) {
    const auto storable = static_cast<std::size_t>(
        std::count_if(points.begin(), points.end(), sigformats::IsStorablePoint));
    if (m_count + storable > Capacity()) {
        Grow(m_count + storable);
    }
    for (const sigformats::SignaturePoint& p : points) {
        if (sigformats::IsStorablePoint(p)) {
            m_storage[m_count++] = p;
        }
    }
}

void SignaturePointList::Clear() {
    m_storage = {};
    m_count = 0;
}

sigformats::SignaturePoint SignaturePointList::At(std::size_t index) const {
    return index < m_count ? m_storage[index] : kOutOfRangePoint;
}

bool operator==(const SignaturePointList& a, const SignaturePointList& b) {
    return std::ranges::equal(a.Points(), b.Points());
}

}  // namespace vellumix::capture
