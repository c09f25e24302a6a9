// One capture as the service keeps it for StopCapture and for the Points it
// owes the holder: every point the pad sent since StartCapture, in order,
// with its time since the capture began, the pen lift a lost pad puts in,
// and whether a loss cut the capture. Nothing is dropped below the cap; the
// points sent as Points are a prefix of the record.
//
// Thread safety: none; the loop thread owns it.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <vector>

#include "sigformats/PointTimes.h"
#include "sigformats/SignaturePoint.h"

namespace vellumix::padservice {

// The most points one capture holds, about 80 minutes of writing at the
// pad's 200 reports a second; one place is kept for the closing pen lift
// the InkML writer adds, so the document never exceeds what InkML readers
// here take.
inline constexpr std::size_t kMaxCapturePoints = sigformats::kMaxDecodedPoints - 1;

class CaptureRecord {
public:
    // Empties the record; times count from start (steady clock, us).
    void Start(sigformats::PointTime start);
    // Appends what fits under the cap; returns how many were taken. Times
    // are steady-clock stamps; they are kept relative to the start, never
    // before it and never going backwards. A pen lift right after a lift is
    // kept once.
    std::size_t Append(std::span<const sigformats::SignaturePoint> points,
                       std::span<const sigformats::PointTime> times);
    // Ends the open stroke with a pen lift at the last point's time; nothing
    // when the record is empty or ends with a lift already.
    void EndStroke();
    void MarkIncomplete() { m_incomplete = true; }

    bool Incomplete() const { return m_incomplete; }
    bool Full() const { return m_points.size() >= kMaxCapturePoints; }
    std::size_t Size() const { return m_points.size(); }
    std::span<const sigformats::SignaturePoint> Points() const { return m_points; }
    // Microseconds since the start, parallel to Points.
    std::span<const sigformats::PointTime> Times() const { return m_times; }

    // The capture as an InkML document with its times, saying it was cut
    // short when it is incomplete; empty when it holds no ink (nothing
    // written, or pen lifts only).
    std::string Inkml() const;

private:
    sigformats::PointTime m_start = 0;
    std::vector<sigformats::SignaturePoint> m_points;
    sigformats::PointTimes m_times;
    bool m_incomplete = false;
};

}  // namespace vellumix::padservice
