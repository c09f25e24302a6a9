// Cuts the byte stream the host sends into frame payloads. Does no I/O.
//
// The two length forms cannot be told apart from the length bytes: the
// parser reads the 2-byte form first and accepts it only when the XOR, the
// sum and the ETX behind it match, otherwise tries the 3-byte form. A host
// uses the 3-byte form only for payloads of 0x8000 bytes and more, so a
// 2-byte reading of that size, or a 3-byte reading below it, is no frame.
// The 2-byte reading is always the shorter one, so the parser waits for it
// first. A STX that starts no frame is dropped and the search for the next
// STX starts at the byte after it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "padlink/PadProtocol.h"

namespace vellumix::padsim::engine {

using Payload = std::vector<std::uint8_t>;

class FrameParser {
public:
    // Large enough for the full-screen image frame (230,411-byte payload).
    static constexpr std::size_t kMaxPayload =
        padlink::kFrameBufferSize - padlink::kLongFrameOverhead;

    // Appends bytes and returns the payloads of all frames completed by them,
    // in order. Bytes of an incomplete frame are kept for the next call.
    std::vector<Payload> Feed(std::span<const std::uint8_t> bytes);

    // True while part of a frame is buffered.
    bool HasPartialFrame() const { return m_start < m_buffer.size(); }
    // Gives up on the frame in progress: its STX is dropped and the bytes
    // after it are searched again. Returns the payloads found there. For a
    // false STX in garbage whose length field promises more than ever comes.
    std::vector<Payload> AbandonPartialFrame();
    // Bytes thrown away so far: garbage, false STXs and frames that failed
    // their checks.
    std::size_t DiscardedBytes() const { return m_discarded; }

private:
    enum class Reading { kFrame, kNeedMore, kNoFrame };
    Reading TryRead(Payload& out);
    void Scan(std::vector<Payload>& out);
    void Drop(std::size_t count);

    std::vector<std::uint8_t> m_buffer;
    std::size_t m_start = 0;  // bytes before m_start are consumed
    std::size_t m_discarded = 0;
};

}  // namespace vellumix::padsim::engine
