#include "PadEngine.h"

#include <algorithm>
#include <cstdio>

#include "padlink/PadProtocol.h"

namespace vellumix::padsim::engine {

namespace pl = padlink;

PadEngine::PadEngine() : PadEngine(Options{}) {}

PadEngine::PadEngine(Options options)
    : m_options(options), m_pen(options.penHoldBack, options.penQueueCapacity) {}

std::vector<std::uint8_t> PadEngine::Feed(std::span<const std::uint8_t> bytes,
                                          Clock::time_point now) {
    std::lock_guard lock(m_mutex);
    std::vector<std::uint8_t> answers;
    ReleaseDueAnswers(now, answers);
    AbandonIfStale(now, answers);
    if (!bytes.empty()) {
        m_lastBytes = now;
        HandlePayloads(m_parser.Feed(bytes), now, answers);
    }
    return answers;
}

std::vector<std::uint8_t> PadEngine::Tick(Clock::time_point now) {
    std::lock_guard lock(m_mutex);
    std::vector<std::uint8_t> answers;
    ReleaseDueAnswers(now, answers);
    AbandonIfStale(now, answers);
    return answers;
}

void PadEngine::ReleaseDueAnswers(Clock::time_point now, std::vector<std::uint8_t>& answers) {
    while (!m_delayed.empty() && m_delayed.front().due <= now) {
        const std::vector<std::uint8_t>& frame = m_delayed.front().frame;
        answers.insert(answers.end(), frame.begin(), frame.end());
        m_pen.NoteAnswer(now);
        m_delayed.pop_front();
    }
}

void PadEngine::Answer(std::span<const std::uint8_t> frame, std::chrono::milliseconds delay,
                       Clock::time_point now, std::vector<std::uint8_t>& answers) {
    if (delay.count() <= 0 && m_delayed.empty()) {
        answers.insert(answers.end(), frame.begin(), frame.end());
        m_pen.NoteAnswer(now);
        return;
    }
    // The pad answers its commands in order: a prompt answer behind a slow
    // one waits for it.
    Clock::time_point due = now + std::max(delay, std::chrono::milliseconds{0});
    if (!m_delayed.empty()) {
        due = std::max(due, m_delayed.back().due);
    }
    m_delayed.push_back({due, std::vector<std::uint8_t>(frame.begin(), frame.end())});
}

std::chrono::milliseconds PadEngine::AnswerDelayFor(std::string_view name) const {
    const auto it = m_answerDelays.find(name);
    return it != m_answerDelays.end() ? it->second : m_answerDelay;
}

void PadEngine::AbandonIfStale(Clock::time_point now, std::vector<std::uint8_t>& answers) {
    // Each abandoned STX may uncover another false one further on; the bytes
    // behind all of them arrived at the same stale time, so keep going.
    while (m_parser.HasPartialFrame() && m_lastBytes &&
           now - *m_lastBytes >= m_options.staleFrameTime) {
        HandlePayloads(m_parser.AbandonPartialFrame(), now, answers);
    }
}

void PadEngine::HandlePayloads(const std::vector<Payload>& payloads, Clock::time_point now,
                               std::vector<std::uint8_t>& answers) {
    for (const Payload& p : payloads) {
        HandleOne(p, now, answers);
    }
}

void PadEngine::HandleOne(const Payload& payload, Clock::time_point now,
                          std::vector<std::uint8_t>& answers) {
    std::string error;
    const auto command = DecodeCommand(payload, &error);
    const std::string_view name = command ? CommandName(*command) : std::string_view();
    const std::chrono::milliseconds delay = AnswerDelayFor(name);
    const auto nak = [&] { Answer(pl::kNakFrame, delay, now, answers); };
    // A slow answer is noted in the trace, which still shows its ACK or NAK.
    const auto noted = [&](std::string line) {
        if (delay.count() > 0) {
            line += " (answer after " + std::to_string(delay.count()) + " ms)";
        }
        return line;
    };
    if (!command) {
        // A well-framed payload that is no command this pad knows: refuse
        // it rather than acknowledge something that was not done.
        char head[32];
        std::snprintf(head, sizeof head, "%zu bytes", payload.size());
        Trace(noted("Refused (" + error + ", " + head + ")"));
        nak();
        return;
    }
    std::string line = TraceText(*command);
    const auto fault = MatchFault(name);
    if (fault == FaultKind::kNak) {
        Trace(noted(line + " -> NAK (injected)"));
        nak();
        return;
    }
    ++m_version;
    if (!m_model.Execute(*command)) {
        Trace(noted(line + " -> NAK (file not readable)"));
        nak();
        return;
    }
    if (fault == FaultKind::kSilent) {
        Trace(line + " -> no answer (injected)");
        return;
    }
    Trace(noted(std::move(line)));
    Answer(pl::kAckFrame, delay, now, answers);
}

std::optional<FaultKind> PadEngine::MatchFault(std::string_view name) {
    const auto it = m_faults.find(name);
    if (it == m_faults.end()) {
        return std::nullopt;
    }
    FaultRule& rule = it->second;
    if (rule.skip > 0) {
        --rule.skip;
        return std::nullopt;
    }
    if (rule.count == 0) {
        return std::nullopt;
    }
    if (rule.count > 0) {
        --rule.count;
    }
    return rule.kind;
}

void PadEngine::PenDown(int x, int y) {
    std::lock_guard lock(m_mutex);
    ++m_version;
    if (const auto report = m_model.PenDown({x, y})) {
        m_pen.Push(*report);
    }
}

void PadEngine::PenUp() {
    std::lock_guard lock(m_mutex);
    ++m_version;
    if (const auto report = m_model.PenUp()) {
        m_pen.Push(*report);
    }
}

std::vector<std::uint8_t> PadEngine::TakePenOutput(Clock::time_point now, std::size_t maxBytes) {
    std::lock_guard lock(m_mutex);
    if (m_parser.HasPartialFrame()) {
        // A command is on its way in: its answer must come before any more
        // pen data.
        return {};
    }
    return m_pen.Take(now, maxBytes / capture::kPenReportSize);
}

std::optional<PadEngine::Clock::time_point> PadEngine::NextWakeTime() const {
    std::lock_guard lock(m_mutex);
    std::optional<Clock::time_point> wake;
    if (m_parser.HasPartialFrame() && m_lastBytes) {
        wake = *m_lastBytes + m_options.staleFrameTime;
    } else {
        wake = m_pen.ReleaseTime();
    }
    if (!m_delayed.empty() && (!wake || m_delayed.front().due < *wake)) {
        wake = m_delayed.front().due;
    }
    return wake;
}

void PadEngine::SetFault(const std::string& commandName, FaultRule rule) {
    std::lock_guard lock(m_mutex);
    m_faults[commandName] = rule;
}

void PadEngine::ClearFaults() {
    std::lock_guard lock(m_mutex);
    m_faults.clear();
}

void PadEngine::SetAnswerDelay(std::chrono::milliseconds delay) {
    std::lock_guard lock(m_mutex);
    m_answerDelay = delay;
}

void PadEngine::SetAnswerDelay(const std::string& commandName, std::chrono::milliseconds delay) {
    std::lock_guard lock(m_mutex);
    m_answerDelays[commandName] = delay;
}

void PadEngine::Trace(std::string line) {
    if (m_trace.size() >= kTraceCapacity) {
        m_trace.pop_front();
    }
    m_trace.push_back(std::move(line));
}

std::vector<std::string> PadEngine::TakeTrace() {
    std::lock_guard lock(m_mutex);
    std::vector<std::string> out(std::make_move_iterator(m_trace.begin()),
                                 std::make_move_iterator(m_trace.end()));
    m_trace.clear();
    return out;
}

PadSnapshot PadEngine::Snapshot() const {
    std::lock_guard lock(m_mutex);
    PadSnapshot s;
    // A deep copy: QImage's implicit sharing would otherwise hand the GUI
    // thread the very pixels the host thread is about to draw into.
    s.lcd = m_model.Lcd().copy();
    s.leds = m_model.Leds();
    s.capture = m_model.Capture();
    s.calibration = m_model.Calibration();
    s.queuedPenReports = m_pen.Size();
    s.version = m_version;
    return s;
}

std::size_t PadEngine::DiscardedBytes() const {
    std::lock_guard lock(m_mutex);
    return m_parser.DiscardedBytes();
}

std::size_t PadEngine::DroppedPenReports() const {
    std::lock_guard lock(m_mutex);
    return m_pen.Dropped();
}

}  // namespace vellumix::padsim::engine
