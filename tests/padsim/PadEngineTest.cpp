#include "engine/PadEngine.h"

#include <gtest/gtest.h>

#include "PadTestSupport.h"
#include "capture/PenReport.h"

namespace vellumix::padsim {
namespace {

namespace pl = padlink;
using namespace std::chrono_literals;
using test::Ack;
using test::Bytes;
using test::Clock;
using test::Cmd;
using test::Frame;
using test::Nak;

const Bytes kStartCapture =
    Cmd(0x7A, pl::capturing::kStartCapture, {0x04, 0x7A, 0, 0, 0, 0xFF, 0xFF, 0xFF});

class PadEngineTest : public ::testing::Test {
protected:
    Bytes Send(const Bytes& payload) { return engine.Feed(Frame(payload), now); }
    engine::PadEngine engine;
    Clock::time_point now = Clock::now();
};

TEST_F(PadEngineTest, AnswersTheProbeAndEveryCommandWithTheAckFrame) {
    EXPECT_EQ(engine.Feed(test::kProbeFrame, now), Ack());
    Bytes both = Frame(Cmd(0x7A, pl::capturing::kClearDisplay));
    const Bytes more = Frame(test::Rect(0x8A, 0x22, 0, 0, 319, 239));
    both.insert(both.end(), more.begin(), more.end());
    Bytes twoAcks = Ack();
    const Bytes one = Ack();
    twoAcks.insert(twoAcks.end(), one.begin(), one.end());
    EXPECT_EQ(engine.Feed(both, now), twoAcks);
    const auto trace = engine.TakeTrace();
    ASSERT_EQ(trace.size(), 3u);
    EXPECT_EQ(trace[2], "FillRectangle x=0 y=0 x2=319 y2=239");
}

TEST_F(PadEngineTest, RefusesPayloadsThatAreNoCommandAndIgnoresBrokenFrames) {
    EXPECT_EQ(Send({0x8A, 0x46, 0x99}), Nak());
    Bytes broken = Frame(Cmd(0x7A, pl::capturing::kClearDisplay));
    broken[broken.size() - 2] ^= 1;
    EXPECT_TRUE(engine.Feed(broken, now).empty());
}

TEST_F(PadEngineTest, InjectedFaultsHitOnlyTheNamedCommand) {
    engine.SetFault("DrawLine", {engine::FaultKind::kNak, 4, 1});
    const Bytes line = test::Rect(0x8A, 0x11, 0, 0, 10, 10);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(Send(line), Ack()) << i;
    }
    EXPECT_EQ(Send(line), Nak());
    EXPECT_EQ(Send(line), Ack());
    engine.SetFault("DrawFrame", {engine::FaultKind::kSilent});
    EXPECT_TRUE(Send(test::Rect(0x8A, 0x12, 0, 0, 10, 10)).empty());
    EXPECT_EQ(Send(Cmd(0x7A, pl::capturing::kClearDisplay)), Ack());
}

// A slow answer is carried out at once and sent when due; a prompt answer
// behind it waits for it, as the pad answers in order.
TEST_F(PadEngineTest, DelayedAnswersGoOutWhenDueAndInOrder) {
    engine.SetAnswerDelay("DrawLine", 100ms);
    Bytes twoAcks = Ack();
    const Bytes one = Ack();
    twoAcks.insert(twoAcks.end(), one.begin(), one.end());
    EXPECT_TRUE(Send(test::Rect(0x8A, 0x11, 0, 0, 10, 10)).empty());
    EXPECT_TRUE(Send(Cmd(0x7A, pl::capturing::kClearDisplay)).empty());
    EXPECT_EQ(engine.NextWakeTime(), now + 100ms);
    EXPECT_TRUE(engine.Tick(now + 99ms).empty());
    EXPECT_EQ(engine.Tick(now + 100ms), twoAcks);
    EXPECT_EQ(Send(Cmd(0x7A, pl::capturing::kClearDisplay)), Ack());
}

TEST_F(PadEngineTest, PenReportsWaitForTheHoldBackAfterAnAnswer) {
    ASSERT_EQ(Send(kStartCapture), Ack());
    engine.PenDown(1023, 1023);
    engine.PenDown(129, 2);
    engine.PenUp();
    EXPECT_TRUE(engine.TakePenOutput(now + 79ms).empty());
    EXPECT_EQ(engine.NextWakeTime(), now + engine::kPenHoldBack);

    // A command in between restarts the hold-back; nothing queued is lost.
    const auto later = now + 60ms;
    EXPECT_EQ(engine.Feed(Frame(Cmd(0x7A, pl::capturing::kResumeCapture)), later), Ack());
    EXPECT_TRUE(engine.TakePenOutput(now + 100ms).empty());
    const Bytes out = engine.TakePenOutput(later + 80ms);
    const Bytes expected{0x90, 0x3F, 0x7F, 0x7F, 0x00, 0x90, 0x08, 0x01,
                         0x02, 0x00, 0x80, 0x00, 0x00, 0x00, 0x00};
    EXPECT_EQ(out, expected);
    EXPECT_FALSE(engine.NextWakeTime().has_value());
}

TEST_F(PadEngineTest, PenOutputWaitsWhileACommandIsArriving) {
    ASSERT_EQ(Send(kStartCapture), Ack());
    engine.PenDown(5, 5);
    const Bytes f = Frame(Cmd(0x7A, pl::capturing::kClearDisplay));
    EXPECT_TRUE(engine.Feed(std::span(f).first(4), now + 200ms).empty());
    EXPECT_TRUE(engine.TakePenOutput(now + 300ms).empty());
    EXPECT_EQ(engine.Feed(std::span(f).subspan(4), now + 301ms), Ack());
    EXPECT_TRUE(engine.TakePenOutput(now + 302ms).empty());
    EXPECT_EQ(engine.TakePenOutput(now + 381ms).size(), capture::kPenReportSize);
}

TEST_F(PadEngineTest, AStaleFalseStartIsDroppedAndTheFramesBehindItAnswered) {
    Bytes wire{0x02, 0xFF, 0x7F};
    wire.insert(wire.end(), test::kProbeFrame.begin(), test::kProbeFrame.end());
    EXPECT_TRUE(engine.Feed(wire, now).empty());
    EXPECT_TRUE(engine.Tick(now + engine::kStaleFrameTime - 1ms).empty());
    EXPECT_EQ(engine.Tick(now + engine::kStaleFrameTime), Ack());
}

TEST_F(PadEngineTest, SnapshotIsACopy) {
    const engine::PadSnapshot before = engine.Snapshot();
    ASSERT_EQ(Send(Cmd(0x8A, pl::draw::kSetFillColor, {0, 0, 0})), Ack());
    ASSERT_EQ(Send(test::Rect(0x8A, 0x22, 0, 0, 319, 239)), Ack());
    EXPECT_EQ(before.lcd.pixel(5, 5), qRgb(255, 255, 255));
    const engine::PadSnapshot after = engine.Snapshot();
    EXPECT_EQ(after.lcd.pixel(5, 5), qRgb(0, 0, 0));
    EXPECT_GT(after.version, before.version);
}

}  // namespace
}  // namespace vellumix::padsim
