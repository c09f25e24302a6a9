#include "TraceWriter.h"

#include <cstdio>

namespace vellumix::padsim::app {

namespace {
std::string Line(double seconds, std::string_view direction, std::string_view text) {
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%10.3f ", seconds);
    std::string line(stamp);
    line.append(direction).append(" ").append(text);
    return line;
}
}  // namespace

std::vector<std::string> TraceLines(std::string_view record, double seconds) {
    std::vector<std::string> lines{Line(seconds, kTraceReceived, record)};
    if (record.find(kEngineSilentNote) != std::string_view::npos) {
        return lines;
    }
    const bool refused = record.starts_with(kEngineRefusedPrefix) ||
                         record.find(kEngineNakNote) != std::string_view::npos;
    lines.push_back(Line(seconds, kTraceSent, refused ? kTraceNak : kTraceAck));
    return lines;
}

void TraceWriter::Write(const std::vector<std::string>& records, Clock::time_point now) {
    const double seconds = std::chrono::duration<double>(now - m_start).count();
    for (const std::string& record : records) {
        for (const std::string& line : TraceLines(record, seconds)) {
            m_out << line << '\n';
        }
    }
    if (!records.empty()) {
        m_out.flush();
    }
}

}  // namespace vellumix::padsim::app
