#include "padservice/CaptureRecord.h"

#include <algorithm>

#include "sigfiles/SignatureFiles.h"

namespace vellumix::padservice {

void CaptureRecord::Start(sigformats::PointTime start) {
    m_start = start;
    m_points.clear();
    m_times.clear();
    m_incomplete = false;
}

std::size_t CaptureRecord::Append(std::span<const sigformats::SignaturePoint> points,
                                  std::span<const sigformats::PointTime> times) {
    const std::size_t room = kMaxCapturePoints - std::min(m_points.size(), kMaxCapturePoints);
    const std::size_t n = std::min({room, points.size(), times.size()});
    for (std::size_t i = 0; i < n; ++i) {
        // The lift a loss put in and the pen reader's own for the same loss
        // (which arrives after it) are one lift.
        if (sigformats::IsPenUp(points[i]) && !m_points.empty() &&
            sigformats::IsPenUp(m_points.back())) {
            continue;
        }
        // A report the pad had queued before it was told to capture counts
        // as arriving at the start; a reader found again after a loss
        // stamps afresh, never before what came earlier.
        sigformats::PointTime t = std::max<sigformats::PointTime>(times[i] - m_start, 0);
        if (!m_times.empty()) {
            t = std::max(t, m_times.back());
        }
        m_points.push_back(points[i]);
        m_times.push_back(t);
    }
    return n;
}

void CaptureRecord::EndStroke() {
    if (m_points.empty() || sigformats::IsPenUp(m_points.back()) ||
        m_points.size() >= kMaxCapturePoints) {
        return;
    }
    m_points.push_back(sigformats::PEN_UP_POINT);
    m_times.push_back(m_times.back());
}

std::string CaptureRecord::Inkml() const {
    if (std::none_of(m_points.begin(), m_points.end(),
                     [](sigformats::SignaturePoint p) { return !sigformats::IsPenUp(p); })) {
        return {};
    }
    // Cut short where the pad was lost during it, as padctl writes a capture
    // the loss ended: the document says so itself.
    const sigfiles::EncodeResult ink = sigfiles::EncodeInkml(
        m_points, m_times,
        m_incomplete ? sigformats::CaptureEnd::kCutShort : sigformats::CaptureEnd::kComplete);
    return std::string(ink.bytes.begin(), ink.bytes.end());
}

}  // namespace vellumix::padservice
