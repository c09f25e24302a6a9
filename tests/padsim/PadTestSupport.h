// Frames and commands as the host sends them, for the virtual pad's tests.
#pragma once

#include <chrono>
#include <cstdint>
#include <initializer_list>
#include <string_view>
#include <vector>

#include "padlink/PadProtocol.h"

namespace vellumix::padsim::test {

using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

// Written out here rather than taken from the host's framer, so the pad is
// checked against the wire layout and not against the code it talks to.
inline Bytes Frame(const Bytes& payload) {
    const std::size_t n = payload.size();
    Bytes f{padlink::kStx, static_cast<std::uint8_t>(n), static_cast<std::uint8_t>(n >> 8)};
    if (n >= padlink::kLongLengthThreshold) {
        f.push_back(static_cast<std::uint8_t>(n >> 16));
    }
    std::uint8_t x = 0;
    std::uint8_t s = 0;
    for (const std::uint8_t b : payload) {
        x ^= b;
        s = static_cast<std::uint8_t>(s + b);
    }
    f.insert(f.end(), payload.begin(), payload.end());
    f.insert(f.end(), {x, s, padlink::kEtx});
    return f;
}

inline void Put16(Bytes& p, int v) {
    p.push_back(static_cast<std::uint8_t>(v));
    p.push_back(static_cast<std::uint8_t>(v >> 8));
}

inline Bytes Rect(std::uint8_t cls, std::uint8_t cmd, int x1, int y1, int x2, int y2) {
    Bytes p{cls, padlink::kCommandMarker, cmd};
    for (const int v : {x1, y1, x2, y2}) {
        Put16(p, v);
    }
    return p;
}

inline Bytes Cmd(std::uint8_t cls, std::uint8_t cmd,
                 std::initializer_list<std::uint8_t> args = {}) {
    Bytes p{cls, padlink::kCommandMarker, cmd};
    p.insert(p.end(), args.begin(), args.end());
    return p;
}

inline Bytes Text(int x, int y, std::string_view text) {
    Bytes p{padlink::cls::kDraw, padlink::kCommandMarker, padlink::draw::kDrawText};
    Put16(p, x);
    Put16(p, y);
    Put16(p, static_cast<int>(text.size()));
    p.insert(p.end(), text.begin(), text.end());
    return p;
}

inline Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) {
        out.insert(out.end(), p.begin(), p.end());
    }
    return out;
}

inline Bytes Ack() {
    return Bytes(std::begin(padlink::kAckFrame), std::end(padlink::kAckFrame));
}
inline Bytes Nak() {
    return Bytes(std::begin(padlink::kNakFrame), std::end(padlink::kNakFrame));
}

inline const Bytes kProbeFrame{0x02, 0x03, 0x00, 0x78, 0x46, 0x01, 0x3F, 0xBF, 0x03};

}  // namespace vellumix::padsim::test
