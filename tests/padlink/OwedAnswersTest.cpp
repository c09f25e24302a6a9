// Owed answers picked out of the bytes a transport reads, in the pieces the
// link hands over; the transports' use of them runs over real links in the
// virtual pad's serial link tests.
#include "padlink/OwedAnswers.h"
#include "padsim/PadTestSupport.h"

#include <gtest/gtest.h>

#include <vector>

namespace vellumix::padlink {
namespace {

using padsim::test::Concat;

using Bytes = std::vector<std::uint8_t>;
using Clock = OwedAnswers::Clock;
using namespace std::chrono_literals;

const Bytes kAck(std::begin(kAckFrame), std::end(kAckFrame));
const Bytes kPen = {0x90, 0x02, 0x06, 0x02, 0x01};  // STX-like bytes inside a report
const Bytes kUp = {0x80, 0x00, 0x00, 0x00, 0x00};

TEST(OwedAnswersTest, EachWholeAnswerPaysOneDebtAndThePenBytesPassInOrder) {
    const Bytes wire = Concat({kPen, kAck, kUp, kAck, kPen});
    const Bytes falseStart = Concat({{0x90, 0x02, 0x05, 0x00, 0x01}, kUp, kUp});
    const struct {
        const char* name;
        std::size_t owed;
        std::vector<Bytes> pieces;
        Bytes pen;
        std::size_t paid;
    } cases[] = {
        {"one owed", 1, {wire}, Concat({kPen, kUp, kAck, kPen}), 1},
        {"two owed", 2, {wire}, Concat({kPen, kUp, kPen}), 2},
        {"none owed", 0, {wire}, wire, 0},
        {"answer split across reads",
         1,
         {Concat({kPen, Bytes(kAck.begin(), kAck.begin() + 3)}),
          Concat({Bytes(kAck.begin() + 3, kAck.end()), kUp})},
         Concat({kPen, kUp}),
         1},
        // Looks like the start of a short frame, then its checks fail.
        {"false start",
         1,
         {Bytes(falseStart.begin(), falseStart.begin() + 4),
          Bytes(falseStart.begin() + 4, falseStart.end())},
         falseStart,
         0},
    };
    const auto now = Clock::now();
    for (const auto& c : cases) {
        OwedAnswers owed;
        for (std::size_t i = 0; i < c.owed; ++i) {
            owed.Owe(now);
        }
        Bytes pen;
        for (const Bytes& piece : c.pieces) {
            owed.Filter(piece, now, pen);
        }
        EXPECT_EQ(pen, c.pen) << c.name;
        EXPECT_EQ(owed.Paid(), c.paid) << c.name;
        EXPECT_EQ(owed.Count(now), c.owed - c.paid) << c.name;
    }
}

// A debt is written off after the grace; what it kept back as a possible
// answer then goes on as pen data.
TEST(OwedAnswersTest, ADebtIsWrittenOffAfterTheGraceAndReleasesWhatItHeldBack) {
    OwedAnswers owed;
    const auto now = Clock::now();
    owed.Owe(now);
    Bytes pen;
    const Bytes start(kAck.begin(), kAck.begin() + 2);
    owed.Filter(Concat({kUp, start}), now, pen);
    EXPECT_EQ(pen, kUp);
    owed.Release(now, pen);
    EXPECT_EQ(pen, kUp);  // still owed: kept back
    EXPECT_EQ(owed.NextWriteOff(), now + kLateAnswerGrace);
    owed.Release(now + kLateAnswerGrace, pen);
    EXPECT_EQ(pen, Concat({kUp, start}));
    EXPECT_EQ(owed.WrittenOff(), 1u);
    EXPECT_FALSE(owed.Active(now + kLateAnswerGrace));
}

}  // namespace
}  // namespace vellumix::padlink
