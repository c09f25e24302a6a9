#include "capture/ReportClock.h"

#include <gtest/gtest.h>

#include <random>

namespace vellumix::capture {
namespace {

using std::chrono::microseconds;

TEST(ReportWireTimeTest, FiveBytesOfTenBitsAtTheLineRate) {
    const struct {
        int baud;
        microseconds expected;
    } cases[] = {
        {38'400, microseconds{1302}}, {9'600, microseconds{5208}},
        {115'200, microseconds{434}}, {0, microseconds{0}},  // USB: no line
        {-1, microseconds{0}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ReportWireTime(c.baud), c.expected) << c.baud;
    }
}

class ReportClockTest : public ::testing::Test {
protected:
    ReportClock clock{microseconds{1302}};
    PointTimes stamps;

    PointTimes Batch(PointTime readTime, std::size_t reports) {
        const std::size_t before = stamps.size();
        clock.Stamp(readTime, reports, stamps);
        return PointTimes(stamps.begin() + static_cast<std::ptrdiff_t>(before), stamps.end());
    }
};

TEST_F(ReportClockTest, FirstBatchEndsAtTheReadAtTheLinePace) {
    EXPECT_EQ(Batch(100'000, 3), (PointTimes{97'396, 98'698, 100'000}));
}

TEST_F(ReportClockTest, BackToBackReadsFollowOnAtTheLinePace) {
    Batch(100'000, 1);
    EXPECT_EQ(Batch(102'604, 2), (PointTimes{101'302, 102'604}));
    EXPECT_EQ(Batch(103'906, 1), (PointTimes{103'906}));
}

TEST_F(ReportClockTest, ReadAfterALongPauseReachesBackOnlyItsOwnWireTime) {
    Batch(100'000, 4);
    EXPECT_EQ(Batch(5'000'000, 2), (PointTimes{4'998'698, 5'000'000}));
}

TEST_F(ReportClockTest, BatchLargerThanTheTimeSinceTheLastIsSpreadOverThatTime) {
    Batch(100'000, 1);
    // Five reports take 6.5 ms on the line but only 1 ms passed: they all came
    // after the last read, so they share that millisecond.
    EXPECT_EQ(Batch(101'000, 5), (PointTimes{100'200, 100'400, 100'600, 100'800, 101'000}));
}

TEST_F(ReportClockTest, ReadTimeBeforeThePreviousBatchNeverStepsBack) {
    Batch(100'000, 1);
    EXPECT_EQ(Batch(99'000, 3), (PointTimes{100'000, 100'000, 100'000}));
    EXPECT_EQ(Batch(100'000, 1), (PointTimes{100'000}));
}

TEST_F(ReportClockTest, EmptyReadLeavesTheClockAsItWas) {
    Batch(100'000, 1);
    EXPECT_TRUE(Batch(200'000, 0).empty());
    // Still measured from 100'000, not from the empty read.
    EXPECT_EQ(Batch(101'000, 2), (PointTimes{100'500, 101'000}));
}

TEST_F(ReportClockTest, ResetForgetsThePreviousBatch) {
    Batch(100'000, 1);
    clock.Reset();
    EXPECT_EQ(Batch(50'000, 2), (PointTimes{48'698, 50'000}));
}

TEST(ReportClockUsbTest, WithoutALineRateEveryReportTakesTheReadTime) {
    ReportClock clock{ReportWireTime(0)};
    PointTimes stamps;
    clock.Stamp(10'000, 3, stamps);
    clock.Stamp(10'000, 1, stamps);
    clock.Stamp(12'000, 2, stamps);
    EXPECT_EQ(stamps, (PointTimes{10'000, 10'000, 10'000, 10'000, 12'000, 12'000}));
}

// Reports sent back to back at the line's pace and read at random moments
// (each read returns the reports complete by then): the spread gives every
// report its true arrival time, and stamps never go backwards.
TEST(ReportClockSimulationTest, ContinuousStreamGetsItsTrueArrivalTimes) {
    constexpr PointTime kStep = 1302;
    ReportClock clock{microseconds{kStep}};
    std::mt19937 random(13);
    std::uniform_int_distribution<PointTime> gap(0, 20'000);
    PointTimes stamps;
    PointTime now = 0;
    std::size_t delivered = 0;
    constexpr std::size_t kReports = 2'000;
    while (delivered < kReports) {
        now += gap(random);
        // Report i's last byte arrives at (i + 1) * kStep.
        const std::size_t complete =
            std::min<std::size_t>(kReports, static_cast<std::size_t>(now / kStep));
        if (complete > delivered) {
            // The read returns as the last complete report lands.
            clock.Stamp(static_cast<PointTime>(complete) * kStep, complete - delivered, stamps);
            delivered = complete;
        }
    }
    ASSERT_EQ(stamps.size(), kReports);
    for (std::size_t i = 0; i < kReports; ++i) {
        ASSERT_EQ(stamps[i], static_cast<PointTime>(i + 1) * kStep) << i;
    }
}

}  // namespace
}  // namespace vellumix::capture
