#include "FrameParser.h"

#include <algorithm>

namespace vellumix::padsim::engine {

namespace {

namespace pl = padlink;

// True when the XOR, sum and ETX after a payload at [payload, payload + n)
// are those of the payload. The caller guarantees n + 3 bytes are there.
bool TrailerMatches(const std::uint8_t* payload, std::size_t n) {
    std::uint8_t x = 0;
    std::uint8_t s = 0;
    for (std::size_t i = 0; i < n; ++i) {
        x ^= payload[i];
        s = static_cast<std::uint8_t>(s + payload[i]);
    }
    return payload[n] == x && payload[n + 1] == s && payload[n + 2] == pl::kEtx;
}

}  // namespace

std::vector<Payload> FrameParser::Feed(std::span<const std::uint8_t> bytes) {
    // Compact before growing so a long session does not keep every byte it
    // ever received.
    if (m_start > 0 && m_start * 2 >= m_buffer.size()) {
        m_buffer.erase(m_buffer.begin(), m_buffer.begin() + static_cast<std::ptrdiff_t>(m_start));
        m_start = 0;
    }
    m_buffer.insert(m_buffer.end(), bytes.begin(), bytes.end());
    std::vector<Payload> out;
    Scan(out);
    return out;
}

std::vector<Payload> FrameParser::AbandonPartialFrame() {
    std::vector<Payload> out;
    if (HasPartialFrame()) {
        Drop(1);
        Scan(out);
    }
    return out;
}

void FrameParser::Drop(std::size_t count) {
    m_start += count;
    m_discarded += count;
}

void FrameParser::Scan(std::vector<Payload>& out) {
    while (m_start < m_buffer.size()) {
        const auto begin = m_buffer.begin() + static_cast<std::ptrdiff_t>(m_start);
        const auto stx = std::find(begin, m_buffer.end(), pl::kStx);
        Drop(static_cast<std::size_t>(stx - begin));
        if (m_start == m_buffer.size()) {
            break;
        }
        Payload payload;
        const Reading r = TryRead(payload);
        if (r == Reading::kNeedMore) {
            break;
        }
        if (r == Reading::kNoFrame) {
            Drop(1);
            continue;
        }
        out.push_back(std::move(payload));
    }
    if (m_start == m_buffer.size()) {
        m_buffer.clear();
        m_start = 0;
    }
}

FrameParser::Reading FrameParser::TryRead(Payload& out) {
    const std::uint8_t* f = m_buffer.data() + m_start;
    const std::size_t have = m_buffer.size() - m_start;
    constexpr std::size_t kShortHeader = 3;  // STX, 2 length bytes
    constexpr std::size_t kLongHeader = 4;   // STX, 3 length bytes
    if (have < kShortHeader) {
        return Reading::kNeedMore;
    }
    const std::size_t n2 = std::size_t{f[1]} | std::size_t{f[2]} << 8;
    if (n2 < pl::kLongLengthThreshold) {
        if (have < n2 + pl::kShortFrameOverhead) {
            return Reading::kNeedMore;
        }
        if (TrailerMatches(f + kShortHeader, n2)) {
            out.assign(f + kShortHeader, f + kShortHeader + n2);
            m_start += n2 + pl::kShortFrameOverhead;
            return Reading::kFrame;
        }
    }
    if (have < kLongHeader) {
        return Reading::kNeedMore;
    }
    const std::size_t n3 = n2 | std::size_t{f[3]} << 16;
    if (n3 < pl::kLongLengthThreshold || n3 > kMaxPayload) {
        return Reading::kNoFrame;
    }
    if (have < n3 + pl::kLongFrameOverhead) {
        return Reading::kNeedMore;
    }
    if (!TrailerMatches(f + kLongHeader, n3)) {
        return Reading::kNoFrame;
    }
    out.assign(f + kLongHeader, f + kLongHeader + n3);
    m_start += n3 + pl::kLongFrameOverhead;
    return Reading::kFrame;
}

}  // namespace vellumix::padsim::engine
