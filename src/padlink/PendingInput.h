// Input a transport took off the link before sending a command: pen reports
// the pad had already sent when the command went out. Left on the link, they
// would be read as the command's reply, fail its acknowledgement test and be
// lost; set aside here, they go to the next pen read in arrival order.
//
// Bounded: a pen reader that has stopped while commands keep going out (the
// Display page's patterns send hundreds) must not make it grow without end.
// When full, the oldest bytes are dropped and counted; the pen stream decoder
// finds its footing again on the next status byte.
//
// Thread safety: none of its own; it belongs to its transport and is used
// under the command channel's lock like the transport itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <span>

#include "padlink/PadProtocol.h"

namespace vellumix::padlink {

class PendingInput {
public:
    explicit PendingInput(std::size_t capacity = kPendingInputCapacity) : m_capacity(capacity) {}

    // Keeps bytes behind those already held, dropping the oldest beyond the
    // capacity.
    void Append(std::span<const std::uint8_t> bytes);
    // Moves the oldest bytes into out, as many as fit; returns how many.
    std::size_t Take(std::span<std::uint8_t> out);
    void Clear() { m_bytes.clear(); }

    std::size_t Size() const { return m_bytes.size(); }
    bool Empty() const { return m_bytes.empty(); }
    std::size_t Capacity() const { return m_capacity; }
    // Bytes dropped for want of room since construction.
    std::size_t DroppedBytes() const { return m_dropped; }

private:
    std::size_t m_capacity;
    std::deque<std::uint8_t> m_bytes;
    std::size_t m_dropped = 0;
};

}  // namespace vellumix::padlink
