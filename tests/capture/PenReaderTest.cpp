#include "capture/PenReader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <deque>
#include <thread>

#include "FakeGuiLoop.h"
#include "capture/PenReport.h"
#include "capture/SharedPointList.h"
#include "padlink/PadProtocol.h"
#include "support/WaitUntil.h"

namespace vellumix::capture {
namespace {

using sigformats::PEN_UP_POINT;
using sigformats::PointTime;
using sigformats::PointTimes;
using sigformats::SignaturePoint;
using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;
using Points = std::vector<SignaturePoint>;

// Hands out scripted reads, then empty ones after the read's wait.
PenReader::ReadFunction ScriptedReads(std::deque<Bytes>& reads, std::mutex& mutex) {
    return [&](std::span<std::uint8_t> buffer, int waitMs) {
        std::unique_lock lock(mutex);
        if (reads.empty()) {
            lock.unlock();
            std::this_thread::sleep_for(std::chrono::milliseconds(waitMs));
            return 0;
        }
        const Bytes read = std::move(reads.front());
        reads.pop_front();
        std::copy(read.begin(), read.end(), buffer.begin());
        return static_cast<int>(read.size());
    };
}

TEST(PenReader, DeliversEveryPointInOrderAcrossSplitReadsAndRestarts) {
    Points points;
    for (int i = 0; i < 40; ++i) {
        points.push_back({i * 25, 1023 - i * 25});
    }
    points.push_back(PEN_UP_POINT);
    Bytes s;
    for (const SignaturePoint p : points) {
        const PenReport r = EncodePenReport(p);
        s.insert(s.end(), r.begin(), r.end());
    }
    std::mutex mutex;
    std::deque<Bytes> reads;
    // Reads of 7 bytes keep the carry busy; a late answer sits between reports.
    for (std::size_t at = 0; at < s.size(); at += 7) {
        if (at == 70) {
            reads.emplace_back(std::begin(padlink::kAckFrame), std::end(padlink::kAckFrame));
        }
        reads.emplace_back(s.begin() + static_cast<std::ptrdiff_t>(at),
                           s.begin() + static_cast<std::ptrdiff_t>(std::min(at + 7, s.size())));
    }
    SharedPointList list;
    std::atomic<int> hooks{0};
    PenReader reader(
        ScriptedReads(reads, mutex),
        [&](std::span<const SignaturePoint> batch, std::span<const PointTime> times) {
            list.AppendPoints(batch, times);
        },
        [&](std::stop_token) { ++hooks; });
    reader.Start();
    reader.Start();  // keeps the one reader: no point twice
    testsupport::WaitUntil([&] { return list.GetPointCount() >= points.size(); }, 3s);
    reader.Stop();
    EXPECT_FALSE(reader.IsRunning());
    EXPECT_EQ(list.CopyPoints(), points);
    EXPECT_GT(hooks.load(), 0);

    const int hooksWhenStopped = hooks.load();
    reader.Start();
    EXPECT_TRUE(testsupport::WaitUntil([&] { return hooks.load() > hooksWhenStopped; }, 3s));
}  // the destructor stops the reader

// A read that brings several reports stamps them one wire time apart,
// ending at the read's time; a report split across reads arrives with the
// read that completes it; stamps never go backwards.
TEST(PenReader, StampsEachReportSpreadOverItsBatchsWireTime) {
    constexpr std::chrono::microseconds kWire{1302};
    Bytes s;
    for (int i = 0; i < 6; ++i) {
        const PenReport r = EncodePenReport({i, i});
        s.insert(s.end(), r.begin(), r.end());
    }
    std::mutex mutex;
    std::deque<Bytes> reads;
    reads.emplace_back(s.begin(), s.begin() + 17);  // three reports and a part
    reads.emplace_back(s.begin() + 17, s.end());    // the rest of it, two more
    std::vector<PointTime> readEnds;
    PointTimes times;
    std::vector<std::size_t> batchSizes;
    PenReader reader(
        [&](std::span<std::uint8_t> buffer, int waitMs) {
            const int n = ScriptedReads(reads, mutex)(buffer, waitMs);
            if (n > 0) {
                readEnds.push_back(ToPointTime(std::chrono::steady_clock::now()));
            }
            return n;
        },
        [&](std::span<const SignaturePoint> batch, std::span<const PointTime> stamps) {
            ASSERT_EQ(batch.size(), stamps.size());
            batchSizes.push_back(batch.size());
            times.insert(times.end(), stamps.begin(), stamps.end());
        },
        {}, [&] { return kWire; });
    reader.Start();
    testsupport::WaitUntil(
        [&] {
            std::lock_guard lock(mutex);
            return reads.empty();
        },
        3s);
    std::this_thread::sleep_for(20ms);
    reader.Stop();
    ASSERT_EQ(batchSizes, (std::vector<std::size_t>{3, 3}));
    ASSERT_EQ(readEnds.size(), 2u);
    // Each batch ends just after its read returned (the stamp is taken
    // right after), and its reports lie one wire time apart before that.
    EXPECT_GE(times[2], readEnds[0]);
    EXPECT_LT(times[2] - readEnds[0], 50'000);
    EXPECT_EQ(times[2] - times[0], 2 * kWire.count());
    EXPECT_GE(times[5], readEnds[1]);
    EXPECT_TRUE(std::is_sorted(times.begin(), times.end()));
}

// The deadlock of a plain blocking call: the reader waits for the GUI thread
// in its hook while the GUI thread waits in Stop() for the reader. The
// queued call is abandoned and never runs.
TEST(PenReader, StopFromTheGuiThreadWhileTheReaderWaitsInTheHook) {
    test::FakeGuiLoop gui;
    const Poster post = gui.MakePoster();
    int ran = 0;
    PenReader reader([](std::span<std::uint8_t>, int) { return 0; }, {},
                     [&](std::stop_token stop) {
                         PostAndWait(
                             post, [&] { ++ran; }, stop);
                     });
    reader.Start();
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(gui.Pump(2s));  // ordinary cycles, the GUI thread answering
    }
    ASSERT_TRUE(gui.Pump(2s, false));  // the reader waits in the hook again
    reader.Stop();
    EXPECT_FALSE(reader.IsRunning());
    EXPECT_TRUE(gui.Pump(0ms));  // the abandoned call is still queued ...
    EXPECT_EQ(ran, 3);           // ... and does nothing

    // Once stop is asked for, nothing is even posted.
    std::stop_source stopped;
    stopped.request_stop();
    EXPECT_FALSE(PostAndWait(
        post, [&] { ++ran; }, stopped.get_token()));
    EXPECT_FALSE(gui.Pump(0ms));
}

// A link that fails at once (no device open) must not turn the reader into a
// busy loop that floods the GUI thread.
TEST(PenReader, ReadsThatFailAtOnceArePaced) {
    std::atomic<int> reads{0};
    PenReader reader(
        [&](std::span<std::uint8_t>, int) {
            ++reads;
            return -1;
        },
        {});
    reader.Start();
    std::this_thread::sleep_for(320ms);
    reader.Stop();
    // About one read per 64 ms; a spinning loop makes millions.
    EXPECT_GE(reads.load(), 1);
    EXPECT_LE(reads.load(), 20);
}

}  // namespace
}  // namespace vellumix::capture
