#include "capture/SharedPointList.h"

#include <gtest/gtest.h>

namespace vellumix::capture {
namespace {

using sigformats::PEN_UP_POINT;
using sigformats::PointTimes;
using sigformats::SignaturePoint;
using Points = std::vector<SignaturePoint>;

TEST(SharedPointList, KeepsStorablePointsAndMarksBadIndexes) {
    SharedPointList list;
    EXPECT_EQ(list.GetPoint(0), kOutOfRangePoint);
    list.AppendPoints(Points{{1025, 0}, {-1, -1}, {0, -2}, {0, 0}, {1024, 1024}});
    EXPECT_EQ(list.CopyPoints(), (Points{PEN_UP_POINT, {0, 0}, {1024, 1024}}));
    EXPECT_EQ(list.GetPoint(-1), kOutOfRangePoint);
    EXPECT_EQ(list.GetPoint(3), kOutOfRangePoint);
    EXPECT_EQ(list.GetPoint(2), (SignaturePoint{1024, 1024}));
    EXPECT_EQ(list.CopyPoints(2), (Points{{1024, 1024}}));
    EXPECT_TRUE(list.CopyPoints(5).empty());
    list.Assign(Points{{7, 7}, {2000, 5}});
    EXPECT_EQ(list.CopyPoints(), (Points{{7, 7}}));
}

// The times travel beside the points only while every point has one: a
// loaded signature, or a capture written over it, has none; a clear starts
// a timed signature again.
TEST(SharedPointList, KeepsTimesBesideThePointsOnlyWhileEveryPointHasOne) {
    using Times = PointTimes;
    SharedPointList list;
    list.AppendPoints(Points{{1, 1}, {2000, 0}, PEN_UP_POINT}, Times{10, 11, 12});
    list.AppendPoints(Points{{3, 3}}, Times{20});
    auto copy = list.CopyTimedPoints();
    EXPECT_EQ(copy.points, (Points{{1, 1}, PEN_UP_POINT, {3, 3}}));
    EXPECT_EQ(copy.times, (Times{10, 12, 20}));  // the dropped point took its time along

    list.AppendPoints(Points{{4, 4}, {5, 5}}, Times{30});  // a count that does not match
    EXPECT_EQ(list.CopyTimedPoints().points.size(), 5u);
    EXPECT_TRUE(list.CopyTimedPoints().times.empty());
    list.AppendPoints(Points{{6, 6}}, Times{40});  // stays untimed until cleared
    EXPECT_TRUE(list.CopyTimedPoints().times.empty());

    list.Clear();
    list.AppendPoints(Points{{7, 7}}, Times{50});
    EXPECT_EQ(list.CopyTimedPoints().times, (Times{50}));
    list.AppendPoints(Points{{8, 8}});  // an untimed append ends the times
    EXPECT_TRUE(list.CopyTimedPoints().times.empty());

    list.Assign(Points{{9, 9}});  // a loaded file
    list.AppendPoints(Points{{10, 10}}, Times{60});
    EXPECT_TRUE(list.CopyTimedPoints().times.empty());
    list.Assign({});
    list.AppendPoints(Points{{11, 11}}, Times{70});
    EXPECT_EQ(list.CopyTimedPoints().times, (Times{70}));
}

}  // namespace
}  // namespace vellumix::capture
