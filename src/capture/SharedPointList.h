// The live signature shared between the pen reader and the GUI: a
// SignaturePointList with its point-list lock, and beside it the arrival
// time of each point while every point has one (a captured signature; a
// loaded one has none, and a capture added to it has none either, since
// part of it would be untimed).
//
// Thread safety: every member takes the one mutex for the length of that call
// only, so any member may be called from any thread at any time. The lock is
// never held while calling out, so no other lock can nest inside it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <span>
#include <vector>

#include "capture/SignaturePointList.h"
#include "sigformats/PointTimes.h"
#include "sigformats/SignaturePoint.h"

namespace vellumix::capture {

class SharedPointList {
public:
    std::size_t GetPointCount() const;
    // The point at index, or kOutOfRangePoint (-2, 2) for an index below 0 or
    // at or past the count.
    sigformats::SignaturePoint GetPoint(std::int64_t index) const;
    // Appends the storable points in order under one acquisition of the lock,
    // so a reader of the list never sees half of one batch; others are
    // dropped silently.
    // Untimed: the list holds no times from here until the next Clear.
    void AppendPoints(std::span<const sigformats::SignaturePoint> points);
    // The same with one time per point (times.size() == points.size(), or
    // the points go in untimed); the time of a dropped point goes with it.
    void AppendPoints(std::span<const sigformats::SignaturePoint> points,
                      std::span<const sigformats::PointTime> times);
    // Frees the storage of points and times; count and capacity become 0,
    // and the next points appended with times are timed again.
    void Clear();
    // Replaces the whole list in one step (a loaded signature): untimed.
    void Assign(std::span<const sigformats::SignaturePoint> points);
    // A copy of the points from index `from` on (none when from is past the
    // end): a drawing pass takes its points in one step rather than locking
    // once per point.
    std::vector<sigformats::SignaturePoint> CopyPoints(std::size_t from = 0) const;
    // Points and their times taken under one lock, so the two match: times
    // is empty when they are not known for every point.
    struct TimedCopy {
        std::vector<sigformats::SignaturePoint> points;
        sigformats::PointTimes times;
    };
    TimedCopy CopyTimedPoints() const;

private:
    mutable std::mutex m_mutex;
    SignaturePointList m_list;  // guarded by m_mutex
    // Parallel to m_list while m_timed; guarded by m_mutex.
    sigformats::PointTimes m_times;
    bool m_timed = true;
};

}  // namespace vellumix::capture
