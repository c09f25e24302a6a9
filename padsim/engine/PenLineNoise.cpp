#include "PenLineNoise.h"

#include <algorithm>

#include "capture/PenReport.h"

namespace vellumix::padsim::engine {

namespace {

// The top byte of a 32-bit draw: mt19937's high bits are as good as its low ones.
constexpr int kByteShift = 24;

}  // namespace

PenLineNoise::PenLineNoise(PenNoiseOptions options) : m_options(options), m_random(options.seed) {}

void PenLineNoise::Apply(std::vector<std::uint8_t>& reports) {
    if (!Enabled() || reports.empty()) {
        return;
    }
    std::vector<std::uint8_t> out;
    out.reserve(reports.size() + static_cast<std::size_t>(m_options.length));
    for (std::size_t at = 0; at < reports.size(); at += capture::kPenReportSize) {
        const std::size_t end = std::min(at + capture::kPenReportSize, reports.size());
        out.insert(out.end(), reports.begin() + static_cast<std::ptrdiff_t>(at),
                   reports.begin() + static_cast<std::ptrdiff_t>(end));
        if (++m_reports % static_cast<std::uint64_t>(m_options.every) != 0) {
            continue;
        }
        for (int k = 0; k < m_options.length; ++k) {
            out.push_back(static_cast<std::uint8_t>(m_random() >> kByteShift));
        }
        m_noiseBytes += static_cast<std::uint64_t>(m_options.length);
    }
    reports.swap(out);
}

}  // namespace vellumix::padsim::engine
