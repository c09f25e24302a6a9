#include "capture/SignaturePointList.h"

#include <gtest/gtest.h>

#include <vector>

namespace vellumix::capture {
namespace {

using sigformats::IsPenUp;
using sigformats::IsStorablePoint;
using sigformats::PEN_UP_POINT;
using sigformats::SignaturePoint;

// A file's million points must not be copied a thousand times over: the
// step grows with the list, so the number of regrowths stays logarithmic and
// the room beyond the points stays within an eighth.
TEST(SignaturePointListGrowth, StepGrowsWithTheListAndAppendingIsLinear) {
    SignaturePointList list;
    std::size_t regrowths = 0;
    for (int i = 0; i < 1'000'000; ++i) {
        const std::size_t before = list.Capacity();
        list.Append({i % 1024, 0});
        if (list.Capacity() != before) {
            ++regrowths;
            ASSERT_LE(list.Capacity(), list.Count() + list.Count() / 8 + 4);
        }
    }
    EXPECT_LT(regrowths, 150u);
    // Growing keeps every point in order.
    for (std::size_t i = 0; i < list.Count(); ++i) {
        ASSERT_EQ(list.At(i), (SignaturePoint{static_cast<int>(i % 1024), 0}));
    }
    // A bulk append grows once, to fit, and drops what no file may hold.
    SignaturePointList bulk;
    bulk.Append({1, 1});
    const std::vector<SignaturePoint> more = {{2, 2}, {1025, 0}, PEN_UP_POINT, {-3, 5}, {4, 4}};
    bulk.AppendPoints(more);
    EXPECT_EQ(bulk.Capacity(), 5u);  // 1 + the smallest step
    EXPECT_EQ(bulk.Count(), 4u);
    EXPECT_EQ(bulk.At(3), (SignaturePoint{4, 4}));
}

TEST(SignaturePointListGrowth, ClearFreesAndStartsOver) {
    SignaturePointList list;
    for (int i = 0; i < 10; ++i) {
        list.Append({i, i});
    }
    list.Clear();
    EXPECT_EQ(list.Count(), 0u);
    EXPECT_EQ(list.Capacity(), 0u);
    EXPECT_TRUE(list.Points().empty());
    list.Append({7, 8});
    EXPECT_EQ(list.Capacity(), 1u);
    EXPECT_EQ(list.At(0), (SignaturePoint{7, 8}));
}

TEST(SignaturePointListAccess, OutOfRangeGivesMarkerThatIsNeitherStrokeNorPenUp) {
    SignaturePointList list;
    EXPECT_EQ(list.At(0), kOutOfRangePoint);
    list.Append({3, 4});
    // GetPoint(-1) arrives here as a huge unsigned index.
    EXPECT_EQ(list.At(static_cast<std::size_t>(-1)), kOutOfRangePoint);
    EXPECT_EQ(list.At(1), kOutOfRangePoint);
    EXPECT_FALSE(IsPenUp(kOutOfRangePoint));
    EXPECT_FALSE(IsStorablePoint(kOutOfRangePoint));
}

struct StorableCase {
    SignaturePoint point;
    bool kept;
    bool penUp;  // a pen lift needs -1 on both axes
};

TEST(SignaturePointListAppendPoints, KeepsOnlyStorablePointsInOrder) {
    const std::vector<StorableCase> cases = {
        {{1025, 0}, false, false}, {{0, -2}, false, false},     {{-1, -1}, true, true},
        {{0, 0}, true, false},     {{1024, 1024}, true, false}, {{-2, 5}, false, false},
        {{5, 1025}, false, false}, {{-1, 1024}, true, false},   {{-1, 0}, true, false},
        {{0, -1}, true, false},
    };
    std::vector<SignaturePoint> input;
    std::vector<SignaturePoint> expected;
    for (const StorableCase& c : cases) {
        input.push_back(c.point);
        if (c.kept) {
            expected.push_back(c.point);
        }
        EXPECT_EQ(IsStorablePoint(c.point), c.kept) << c.point.x << "," << c.point.y;
        EXPECT_EQ(IsPenUp(c.point), c.penUp) << c.point.x << "," << c.point.y;
    }
    SignaturePointList list;
    list.AppendPoints(input);
    EXPECT_EQ(std::vector<SignaturePoint>(list.Points().begin(), list.Points().end()), expected);
}

}  // namespace
}  // namespace vellumix::capture
