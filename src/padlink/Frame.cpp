#include "padlink/Frame.h"

#include <algorithm>
#include <cstring>

namespace vellumix::padlink {

namespace {

// Folds the payload into its XOR and 8-bit sum. Eight bytes per step: XOR is
// bytewise in a 64-bit word, and the sum keeps each byte lane in a 16-bit
// accumulator that is folded down before it can carry into the next lane.
void Checksums(const std::uint8_t* data, std::size_t length, std::uint8_t& xorOut,
               std::uint8_t& sumOut) {
    std::uint64_t x = 0;
    std::uint64_t lanesLo = 0;  // bytes 0, 2, 4, 6 of each word, 16 bits each
    std::uint64_t lanesHi = 0;  // bytes 1, 3, 5, 7
    constexpr std::uint64_t kEvenBytes = 0x00FF'00FF'00FF'00FFULL;
    std::uint32_t sum = 0;
    std::size_t i = 0;
    while (length - i >= 8) {
        // A 16-bit lane holds 255 additions of at most 255 before it overflows.
        const std::size_t blockEnd = i + std::min<std::size_t>((length - i) / 8, 255) * 8;
        for (; i < blockEnd; i += 8) {
            std::uint64_t word;
            std::memcpy(&word, data + i, sizeof word);
            x ^= word;
            lanesLo += word & kEvenBytes;
            lanesHi += (word >> 8) & kEvenBytes;
        }
        for (int lane = 0; lane < 4; ++lane) {
            sum += static_cast<std::uint32_t>((lanesLo >> (16 * lane)) & 0xFFFF);
            sum += static_cast<std::uint32_t>((lanesHi >> (16 * lane)) & 0xFFFF);
        }
        lanesLo = 0;
        lanesHi = 0;
    }
    for (; i < length; ++i) {
        x ^= data[i];
        sum += data[i];
    }
    x ^= x >> 32;
    x ^= x >> 16;
    x ^= x >> 8;
    xorOut = static_cast<std::uint8_t>(x);
    sumOut = static_cast<std::uint8_t>(sum);
}

}  // namespace

std::size_t BuildFrame(std::span<std::uint8_t> buffer, std::size_t payloadLength) {
    if (payloadLength > kMaxFramePayload) {
        return 0;
    }
    const std::size_t frameLength = FrameLength(payloadLength);
    if (buffer.size() < frameLength) {
        return 0;
    }
    const bool longForm = payloadLength >= kLongLengthThreshold;
    const std::size_t header = longForm ? kLongHeaderLength : kShortHeaderLength;
    std::uint8_t* const p = buffer.data();

    std::uint8_t x = 0;
    std::uint8_t s = 0;
    Checksums(p, payloadLength, x, s);
    std::memmove(p + header, p, payloadLength);

    p[0] = kStx;
    p[1] = static_cast<std::uint8_t>(payloadLength & 0xFF);
    p[2] = static_cast<std::uint8_t>((payloadLength >> 8) & 0xFF);
    if (longForm) {
        p[3] = static_cast<std::uint8_t>((payloadLength >> 16) & 0xFF);
    }
    p[header + payloadLength] = x;
    p[header + payloadLength + 1] = s;
    p[header + payloadLength + 2] = kEtx;
    return frameLength;
}

FrameCheck CheckShortFrame(std::span<const std::uint8_t> bytes, std::size_t maxPayload,
                           std::size_t* length) {
    if (bytes.empty() || bytes[0] != kStx) {
        return FrameCheck::kNotAFrame;
    }
    if (bytes.size() < kShortHeaderLength) {
        return FrameCheck::kIncomplete;
    }
    const std::size_t n = bytes[1] | (std::size_t{bytes[2]} << 8);
    if (n == 0 || n > maxPayload) {
        return FrameCheck::kNotAFrame;
    }
    const std::size_t total = n + kShortFrameOverhead;
    if (bytes.size() < total) {
        return FrameCheck::kIncomplete;
    }
    std::uint8_t x = 0;
    std::uint8_t s = 0;
    Checksums(bytes.data() + kShortHeaderLength, n, x, s);
    const std::size_t tail = kShortHeaderLength + n;
    if (bytes[tail] != x || bytes[tail + 1] != s || bytes[tail + 2] != kEtx) {
        return FrameCheck::kNotAFrame;
    }
    *length = total;
    return FrameCheck::kWhole;
}

}  // namespace vellumix::padlink
