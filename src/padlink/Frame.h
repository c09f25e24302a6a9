// The command frame: STX, payload length (two bytes, or three when the payload
// is 0x8000 bytes or longer), payload, XOR of the payload, 8-bit sum of the
// payload, ETX. The pad frames its replies the same way.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "padlink/PadProtocol.h"

namespace vellumix::padlink {

// Frame length for a payload of payloadLength bytes (n + 6, or n + 7 in the
// long form).
constexpr std::size_t FrameLength(std::size_t payloadLength) {
    return payloadLength +
           (payloadLength >= kLongLengthThreshold ? kLongFrameOverhead : kShortFrameOverhead);
}

// Frames buffer[0 .. payloadLength-1] in place: the payload moves up by three
// or four bytes and header and trailer are written around it. Returns the
// frame length, or 0 (buffer untouched) when the buffer is too short for the
// frame or the payload is too long for the length field.
std::size_t BuildFrame(std::span<std::uint8_t> buffer, std::size_t payloadLength);

enum class FrameCheck { kWhole, kIncomplete, kNotAFrame };

// Checks the short-form frame that starts at bytes[0] (STX, 16-bit length,
// payload, XOR, sum, ETX), allowing payloads of 1..maxPayload bytes. On
// kWhole, *length is the frame's size. The pad's answers are all short form:
// they fit the host's 512-byte reply buffer.
FrameCheck CheckShortFrame(std::span<const std::uint8_t> bytes, std::size_t maxPayload,
                           std::size_t* length);

}  // namespace vellumix::padlink
