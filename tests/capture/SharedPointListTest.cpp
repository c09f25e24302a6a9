#include "capture/SharedPointList.h"

#include <gtest/gtest.h>

namespace vellumix::capture {
namespace {

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

}  // namespace
}  // namespace vellumix::capture
