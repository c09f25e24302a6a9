#include "capture/ReportClock.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace vellumix::capture {
namespace {

using sigformats::PointTime;
using sigformats::PointTimes;
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

// One read of `reports` reports at `read`, after a Reset() if `reset`.
struct Read {
    PointTime read;
    std::size_t reports;
    PointTimes stamps;
    bool reset = false;
};

TEST(ReportClockTest, StampsEachBatchAtTheLinePaceWithoutSteppingBack) {
    const struct {
        const char* what;
        std::vector<Read> reads;
    } cases[] = {
        {"the first batch ends at the read", {{100'000, 3, {97'396, 98'698, 100'000}}}},
        {"back-to-back reads follow on",
         {{100'000, 1, {100'000}}, {102'604, 2, {101'302, 102'604}}, {103'906, 1, {103'906}}}},
        {"after a long pause a read reaches back only its own wire time",
         {{100'000, 4, {96'094, 97'396, 98'698, 100'000}}, {5'000'000, 2, {4'998'698, 5'000'000}}}},
        // Five reports take 6.5 ms on the line but only 1 ms passed: they all
        // came after the last read, so they share that millisecond.
        {"a batch larger than the time since the last is spread over that time",
         {{100'000, 1, {100'000}}, {101'000, 5, {100'200, 100'400, 100'600, 100'800, 101'000}}}},
        {"a read time before the previous batch never steps back",
         {{100'000, 1, {100'000}},
          {99'000, 3, {100'000, 100'000, 100'000}},
          {100'000, 1, {100'000}}}},
        // Still measured from 100'000, not from the empty read.
        {"an empty read leaves the clock as it was",
         {{100'000, 1, {100'000}}, {200'000, 0, {}}, {101'000, 2, {100'500, 101'000}}}},
        {"reset forgets the previous batch",
         {{100'000, 1, {100'000}}, {50'000, 2, {48'698, 50'000}, true}}},
    };
    for (const auto& c : cases) {
        ReportClock clock{microseconds{1302}};
        for (std::size_t i = 0; i < c.reads.size(); ++i) {
            const Read& r = c.reads[i];
            if (r.reset) {
                clock.Reset();
            }
            PointTimes stamps;
            clock.Stamp(r.read, r.reports, stamps);
            EXPECT_EQ(stamps, r.stamps) << c.what << ", read " << i;
        }
    }
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
