#include "PadEngine.h"

#include <cstdio>

#include "padlink/PadProtocol.h"

namespace vellumix::padsim {

namespace pl = padlink;

PadEngine::PadEngine() : PadEngine(Options{}) {}

PadEngine::PadEngine(Options options)
    : m_options(options), m_pen(options.penHoldBack, options.penQueueCapacity) {}

std::vector<std::uint8_t> PadEngine::Feed(std::span<const std::uint8_t> bytes,
                                          Clock::time_point now) {
    std::lock_guard lock(m_mutex);
    std::vector<std::uint8_t> answers;
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
    AbandonIfStale(now, answers);
    return answers;
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
    const auto nak = [&] {
        answers.insert(answers.end(), std::begin(pl::kNakFrame), std::end(pl::kNakFrame));
        m_pen.NoteAnswer(now);
    };
    std::string error;
    const auto command = DecodeCommand(payload, &error);
    if (!command) {
        // A well-framed payload that is no command this pad knows: refuse
        // it rather than acknowledge something that was not done.
        char head[32];
        std::snprintf(head, sizeof head, "%zu bytes", payload.size());
        Trace("Refused (" + error + ", " + head + ")");
        nak();
        return;
    }
    std::string line = TraceText(*command);
    const std::string_view name = CommandName(*command);
    const auto fault = MatchFault(name);
    if (fault == FaultKind::kNak) {
        Trace(line + " -> NAK (injected)");
        nak();
        return;
    }
    ++m_version;
    if (!m_model.Execute(*command)) {
        Trace(line + " -> NAK (file not readable)");
        nak();
        return;
    }
    if (fault == FaultKind::kSilent) {
        Trace(line + " -> no answer (injected)");
        return;
    }
    Trace(std::move(line));
    answers.insert(answers.end(), std::begin(pl::kAckFrame), std::end(pl::kAckFrame));
    m_pen.NoteAnswer(now);
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

}  // namespace vellumix::padsim
