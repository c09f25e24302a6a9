// When each point of a signature arrived: one stamp per entry of the point
// list, pen-up markers included, kept beside the list so that the formats and
// pages that take bare points stay as they are.
#pragma once

#include <cstdint>
#include <vector>

namespace vellumix::sigformats {

// Microseconds. Stamps from the capture layer count on the monotonic clock
// (capture::ToPointTime); a caller that stores or prints them usually
// subtracts the capture's start first.
using PointTime = std::int64_t;

// Parallel to a point list: times[i] belongs to points[i]. Empty means the
// times are not known (a signature read from a file without them).
using PointTimes = std::vector<PointTime>;

}  // namespace vellumix::sigformats
