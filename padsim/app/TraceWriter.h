// The virtual pad's --trace file: one line per frame received and per
// answer sent, with the seconds since the pad started:
//
//      1.234 < FillRectangle x=0 y=0 x2=319 y2=239
//      1.234 > ACK
//      1.301 < DrawFrame x=10 y=10 x2=60 y2=60 -> NAK (injected)
//      1.301 > NAK
//
// The engine records each command it decodes, with a note when it refused
// the command or kept its answer back; the answer line follows from that.
//
// Thread safety: none; the owner's timer drains the engine into it.
#pragma once

#include <chrono>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace vellumix::padsim::app {

inline constexpr std::string_view kTraceReceived = "<";
inline constexpr std::string_view kTraceSent = ">";
inline constexpr std::string_view kTraceAck = "ACK";
inline constexpr std::string_view kTraceNak = "NAK";
// The engine's notes, as it writes them after a command's text.
inline constexpr std::string_view kEngineNakNote = " -> NAK";
inline constexpr std::string_view kEngineSilentNote = " -> no answer";
inline constexpr std::string_view kEngineRefusedPrefix = "Refused";

// The trace lines for one engine record at `seconds` since start.
std::vector<std::string> TraceLines(std::string_view record, double seconds);

class TraceWriter {
public:
    using Clock = std::chrono::steady_clock;
    TraceWriter(std::ostream& out, Clock::time_point start) : m_out(out), m_start(start) {}
    void Write(const std::vector<std::string>& records, Clock::time_point now);

private:
    std::ostream& m_out;
    Clock::time_point m_start;
};

}  // namespace vellumix::padsim::app
