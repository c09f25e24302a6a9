// The live signature shared between the pen reader and the GUI: a
// SignaturePointList with its point-list lock.
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
#include "sigformats/SignaturePoint.h"

namespace vellumix::capture {

class SharedPointList {
public:
    std::size_t GetPointCount() const;
    // The point at index, or kOutOfRangePoint (-2, 2) for an index below 0 or
    // at or past the count.
    SignaturePoint GetPoint(std::int64_t index) const;
    // Appends the storable points in order under one acquisition of the lock,
    // so a reader of the list never sees half of one batch; others are
    // dropped silently.
    void AppendPoints(std::span<const SignaturePoint> points);
    // Frees the storage; count and capacity become 0.
    void Clear();
    // Replaces the whole list in one step (a loaded signature).
    void Assign(std::span<const SignaturePoint> points);
    // A copy of the points from index `from` on (none when from is past the
    // end): a drawing pass takes its points in one step rather than locking
    // once per point.
    std::vector<SignaturePoint> CopyPoints(std::size_t from = 0) const;

private:
    mutable std::mutex m_mutex;
    SignaturePointList m_list;  // guarded by m_mutex
};

}  // namespace vellumix::capture
