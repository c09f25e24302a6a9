// How a decoded pen stream differs from the points the pad sent: the fewest
// points to drop from the sent list and to add to it to get the decoded one
// (Myers' O(ND) difference; no point is ever changed in place, only lost or
// invented), for tests and benchmarks of a damaged line.
#pragma once

#include <cstddef>
#include <span>

#include "sigformats/SignaturePoint.h"

namespace vellumix::testsupport {

struct PointStreamDiff {
    std::size_t kept = 0;      // sent points that came through, in order
    std::size_t lost = 0;      // sent points missing from the decoded stream
    std::size_t invented = 0;  // decoded points the pad never sent (pen lifts too)
};

// Gives up past maxDifferences (returns every point as lost and invented):
// the damage a test or benchmark looks at is a handful of points.
PointStreamDiff DiffPointStreams(std::span<const sigformats::SignaturePoint> sent,
                                 std::span<const sigformats::SignaturePoint> decoded,
                                 std::size_t maxDifferences = 4096);

}  // namespace vellumix::testsupport
