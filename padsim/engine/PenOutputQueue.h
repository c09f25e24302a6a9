// Pen reports waiting to go to the host. After every answer the queue holds
// its reports back for a while: the host reads a command's reply on the
// serial line until 50 ms pass without a byte, so pen data sent sooner would
// run into that read and the reply would no longer end with the
// acknowledgement. Holding back 80 ms leaves the line quiet past the host's
// gap; the reports wait, none is lost.
//
// Thread safety: none of its own; PadEngine holds it under its lock.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

#include "capture/PenReport.h"

namespace vellumix::padsim::engine {

inline constexpr std::chrono::milliseconds kPenHoldBack{80};
// About 15 minutes of continuous writing at 100 reports a second. Past it
// the oldest report goes, so a host that never reads cannot make the pad
// grow without bound; Dropped() counts them.
inline constexpr std::size_t kPenQueueCapacity = 100'000;

class PenOutputQueue {
public:
    using Clock = std::chrono::steady_clock;

    explicit PenOutputQueue(std::chrono::milliseconds holdBack = kPenHoldBack,
                            std::size_t capacity = kPenQueueCapacity);

    void Push(const capture::PenReport& report);
    // An answer went out at `now`: hold the queue back from then on.
    void NoteAnswer(Clock::time_point now);
    // Whole reports that may go out at `now`, oldest first, at most
    // maxReports of them; empty while held back.
    std::vector<std::uint8_t> Take(Clock::time_point now, std::size_t maxReports = SIZE_MAX);
    // When the queued reports may go out; nothing when the queue is empty.
    std::optional<Clock::time_point> ReleaseTime() const;

    std::size_t Size() const { return m_reports.size(); }
    std::size_t Dropped() const { return m_dropped; }

private:
    std::chrono::milliseconds m_holdBack;
    std::size_t m_capacity;
    std::deque<capture::PenReport> m_reports;
    std::optional<Clock::time_point> m_lastAnswer;
    std::size_t m_dropped = 0;
};

}  // namespace vellumix::padsim::engine
