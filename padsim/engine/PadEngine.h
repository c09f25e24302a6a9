// The virtual pad: bytes from the host in, answers and pen reports out.
// Ties the frame parser, the command decoder, the pad model and the pen
// output queue together. Hosts (a pseudo-terminal, an in-memory HID device)
// move the bytes; the engine does no I/O and reads no clock: every call that
// depends on time takes `now`, so tests drive time themselves.
//
// Thread safety: every public member takes the engine's one mutex, so a
// host thread may feed bytes and take pen output while the GUI thread sends
// pen input and reads Snapshot(). Internally locked; safe to call from any
// thread. The mutex is never held while calling out of the engine.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include <QImage>

#include "FrameParser.h"
#include "PadModel.h"
#include "PenOutputQueue.h"

namespace vellumix::padsim::engine {

// What the pad does with a command the test asked it to fail.
enum class FaultKind {
    kNak,     // refuses it: answers 02 01 00 15 15 15 03 and does not carry it out
    kSilent,  // carries it out but the answer is lost: nothing goes back
};

struct FaultRule {
    FaultKind kind = FaultKind::kNak;
    int skip = 0;    // let this many matching commands pass first
    int count = -1;  // then fail this many; -1 for every one after
};

// A consistent copy of what the pad shows, for a display thread.
struct PadSnapshot {
    QImage lcd;  // Format_RGB888, 320 x 240; a copy, independent of the engine
    LedState leds;
    CaptureState capture = CaptureState::kStopped;
    CalibrationStep calibration = CalibrationStep::kNone;
    std::size_t queuedPenReports = 0;
    std::uint64_t version = 0;  // changes whenever anything above may have changed
};

// A frame that starts but does not finish within this time is taken for a
// false STX in line noise and skipped, so it cannot swallow the frames after
// it. Longer than any gap inside one frame, even at 38400 baud.
inline constexpr std::chrono::milliseconds kStaleFrameTime{1000};
inline constexpr std::size_t kTraceCapacity = 1000;

class PadEngine {
public:
    using Clock = std::chrono::steady_clock;

    struct Options {
        std::chrono::milliseconds penHoldBack = kPenHoldBack;
        std::chrono::milliseconds staleFrameTime = kStaleFrameTime;
        std::size_t penQueueCapacity = kPenQueueCapacity;
    };

    PadEngine();
    explicit PadEngine(Options options);

    // Bytes from the host. Returns what goes back at once: one answer per
    // complete frame, in order (ACK, NAK, or nothing for a silent fault),
    // behind any delayed answer that has come due. A frame that fails its
    // checks is skipped without an answer.
    std::vector<std::uint8_t> Feed(std::span<const std::uint8_t> bytes, Clock::time_point now);
    // Lets time pass without bytes: skips a stale partial frame and answers
    // the frames found behind it, and sends the delayed answers that have
    // come due. Hosts call it whenever they wake.
    std::vector<std::uint8_t> Tick(Clock::time_point now);

    // The pen, in pad units 0..1023 (clamped). Queue a report while capturing.
    void PenDown(int x, int y);
    void PenUp();
    // Pen reports due at `now` (whole reports, at most maxBytes / 5 of
    // them). Nothing while a frame is coming in or within the hold-back
    // after the last answer, so a reply is never followed by pen data the
    // host's reply read would swallow.
    std::vector<std::uint8_t> TakePenOutput(Clock::time_point now, std::size_t maxBytes = SIZE_MAX);
    // The next time TakePenOutput or Tick has something to do; nothing when
    // the engine waits only for bytes or pen input.
    std::optional<Clock::time_point> NextWakeTime() const;

    // Fault injection by command name as CommandName() spells it.
    void SetFault(const std::string& commandName, FaultRule rule);
    void ClearFaults();
    // A slow pad: each command is carried out at once but answered this long
    // after its frame came in; answers still go out in the order of their
    // commands (one behind a later-due answer waits for it). The second
    // form sets one command's delay, which wins over the first's.
    void SetAnswerDelay(std::chrono::milliseconds delay);
    void SetAnswerDelay(const std::string& commandName, std::chrono::milliseconds delay);

    // Trace lines ("FillRectangle x=0 y=0 x2=319 y2=239") since the last call;
    // the oldest go when more than kTraceCapacity pile up.
    std::vector<std::string> TakeTrace();

    PadSnapshot Snapshot() const;
    std::size_t DiscardedBytes() const;
    std::size_t DroppedPenReports() const;

private:
    void HandlePayloads(const std::vector<Payload>& payloads, Clock::time_point now,
                        std::vector<std::uint8_t>& answers);
    void HandleOne(const Payload& payload, Clock::time_point now,
                   std::vector<std::uint8_t>& answers);
    // Sends `frame` now or queues it behind the delayed answers.
    void Answer(std::span<const std::uint8_t> frame, std::chrono::milliseconds delay,
                Clock::time_point now, std::vector<std::uint8_t>& answers);
    void ReleaseDueAnswers(Clock::time_point now, std::vector<std::uint8_t>& answers);
    std::chrono::milliseconds AnswerDelayFor(std::string_view name) const;
    std::optional<FaultKind> MatchFault(std::string_view name);
    void AbandonIfStale(Clock::time_point now, std::vector<std::uint8_t>& answers);
    void Trace(std::string line);

    mutable std::mutex m_mutex;
    Options m_options;
    FrameParser m_parser;
    PadModel m_model;
    PenOutputQueue m_pen;
    std::map<std::string, FaultRule, std::less<>> m_faults;
    struct DelayedAnswer {
        Clock::time_point due;
        std::vector<std::uint8_t> frame;
    };
    std::chrono::milliseconds m_answerDelay{0};
    std::map<std::string, std::chrono::milliseconds, std::less<>> m_answerDelays;
    std::deque<DelayedAnswer> m_delayed;
    std::deque<std::string> m_trace;
    std::optional<Clock::time_point> m_lastBytes;
    std::uint64_t m_version = 0;
};

}  // namespace vellumix::padsim::engine
