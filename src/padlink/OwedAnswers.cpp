#include "padlink/OwedAnswers.h"

#include "padlink/Frame.h"

namespace vellumix::padlink {

void OwedAnswers::Owe(Clock::time_point now) {
    m_writeOff.push_back(now + kLateAnswerGrace);
}

std::size_t OwedAnswers::Count(Clock::time_point now) {
    while (!m_writeOff.empty() && m_writeOff.front() <= now) {
        m_writeOff.pop_front();
        ++m_writtenOff;
    }
    return m_writeOff.size();
}

std::optional<OwedAnswers::Clock::time_point> OwedAnswers::NextWriteOff() const {
    if (m_writeOff.empty()) {
        return std::nullopt;
    }
    return m_writeOff.front();
}

void OwedAnswers::Filter(std::span<const std::uint8_t> bytes, Clock::time_point now,
                         std::vector<std::uint8_t>& pen) {
    m_partial.insert(m_partial.end(), bytes.begin(), bytes.end());
    const auto at = [this](std::size_t i) {
        return m_partial.begin() + static_cast<std::ptrdiff_t>(i);
    };
    std::size_t handed = 0;  // bytes before this one have gone to `pen`
    std::size_t i = 0;
    while (i < m_partial.size()) {
        if (m_partial[i] != kStx || Count(now) == 0) {
            ++i;
            continue;
        }
        std::size_t length = 0;
        const FrameCheck check =
            CheckShortFrame(std::span(m_partial).subspan(i), kMaxLateAnswerPayload, &length);
        if (check == FrameCheck::kWhole) {
            pen.insert(pen.end(), at(handed), at(i));
            m_writeOff.pop_front();
            ++m_paid;
            i += length;
            handed = i;
            continue;
        }
        if (check == FrameCheck::kIncomplete) {
            // The rest of this frame is still on its way.
            pen.insert(pen.end(), at(handed), at(i));
            m_partial.erase(m_partial.begin(), at(i));
            return;
        }
        ++i;
    }
    pen.insert(pen.end(), at(handed), m_partial.end());
    m_partial.clear();
}

void OwedAnswers::Release(Clock::time_point now, std::vector<std::uint8_t>& pen) {
    if (Count(now) == 0 && !m_partial.empty()) {
        pen.insert(pen.end(), m_partial.begin(), m_partial.end());
        m_partial.clear();
    }
}

void OwedAnswers::Clear() {
    m_writeOff.clear();
    m_partial.clear();
}

}  // namespace vellumix::padlink
