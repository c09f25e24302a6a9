// Cuts the raw bytes that ReadPenData returns into pen points. Unlike the
// Signature page's reader, which trusts the carry count alone, this one
// looks at what it cuts: an acknowledgement frame that shows up in the
// stream (the reply to a command sent while the pad was streaming) is
// skipped by its header, and after a lost byte it realigns on the next
// status byte instead of throwing away whole chunks until luck realigns it.
//
// Thread safety: none; one decoder belongs to one reading loop.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "capture/SignaturePoint.h"

namespace vellumix::tools {

class PenStreamDecoder {
public:
    // Appends the points of every whole report in carry + bytes to out;
    // bytes that may still start a report or a frame are carried over.
    void Feed(std::span<const std::uint8_t> bytes, std::vector<capture::SignaturePoint>& out);

    // Bytes dropped while looking for the next report.
    std::size_t SkippedBytes() const { return m_skipped; }
    // Acknowledgement or refusal frames found in the stream.
    std::size_t SkippedFrames() const { return m_frames; }
    std::size_t CarriedBytes() const { return m_carry.size(); }

private:
    std::vector<std::uint8_t> m_carry;
    std::size_t m_skipped = 0;
    std::size_t m_frames = 0;
};

}  // namespace vellumix::tools
