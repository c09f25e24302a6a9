#include "padlink/PendingInput.h"

#include <algorithm>

namespace vellumix::padlink {

void PendingInput::Append(std::span<const std::uint8_t> bytes) {
    // Of an append larger than the whole stash only its newest bytes can stay.
    if (bytes.size() > m_capacity) {
        const std::size_t skip = bytes.size() - m_capacity;
        m_dropped += skip;
        bytes = bytes.subspan(skip);
    }
    const std::size_t room = m_capacity - m_bytes.size();
    if (bytes.size() > room) {
        const std::size_t drop = bytes.size() - room;
        m_bytes.erase(m_bytes.begin(), m_bytes.begin() + static_cast<std::ptrdiff_t>(drop));
        m_dropped += drop;
    }
    m_bytes.insert(m_bytes.end(), bytes.begin(), bytes.end());
}

std::size_t PendingInput::Take(std::span<std::uint8_t> out) {
    const std::size_t n = std::min(out.size(), m_bytes.size());
    const auto end = m_bytes.begin() + static_cast<std::ptrdiff_t>(n);
    std::copy(m_bytes.begin(), end, out.begin());
    m_bytes.erase(m_bytes.begin(), end);
    return n;
}

}  // namespace vellumix::padlink
