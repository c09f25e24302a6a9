// Answers the pad still owes. An answer names no command: the pad answers
// its commands in order, so an answer that comes after its command's wait
// ended would be taken for the next command's. A command whose wait ended
// without an answer therefore leaves a debt (so does one sent without waiting
// for its answer); the transport, before it sends the next command, waits for
// the debt to be paid, and every answer frame that turns up while one is
// owed, in whichever read, is set aside as that late answer while the pen
// bytes read with it go on to the pen stream. A debt is written off
// kLateAnswerGrace after it was made, so a pad that never answers one
// command costs the next command that long and shifts no later answer.
//
// Thread safety: none of its own; it belongs to its transport and is used
// under the command channel's lock like the transport itself.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <vector>

#include "padlink/PadProtocol.h"

namespace vellumix::padlink {

class OwedAnswers {
public:
    using Clock = std::chrono::steady_clock;

    // One more answer is owed from `now`; written off at now + grace.
    void Owe(Clock::time_point now);
    // Answers still owed at `now`, once those past their grace are written off.
    std::size_t Count(Clock::time_point now);
    // When the oldest debt is written off; nothing when none is owed.
    std::optional<Clock::time_point> NextWriteOff() const;
    // Bytes read off the link while answers may be owed: each whole answer
    // frame among them pays one debt and is dropped; the rest, pen data, is
    // appended to `pen` in order. The start of a frame still coming is kept
    // back for the next call (or for Release once nothing is owed).
    void Filter(std::span<const std::uint8_t> bytes, Clock::time_point now,
                std::vector<std::uint8_t>& pen);
    // Once nothing is owed: hands the bytes kept back to `pen`.
    void Release(Clock::time_point now, std::vector<std::uint8_t>& pen);
    // True when debts or bytes kept back need the link's bytes to pass here.
    bool Active(Clock::time_point now) { return Count(now) > 0 || !m_partial.empty(); }
    // Forgets everything: the link was closed.
    void Clear();

    std::size_t Paid() const { return m_paid; }
    std::size_t WrittenOff() const { return m_writtenOff; }

private:
    std::deque<Clock::time_point> m_writeOff;
    std::vector<std::uint8_t> m_partial;
    std::size_t m_paid = 0;
    std::size_t m_writtenOff = 0;
};

}  // namespace vellumix::padlink
