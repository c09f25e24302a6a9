// Cuts the pad's pen byte stream into 5-byte reports and turns them into
// points. The stream is fed read by read, as the transport hands it over; a
// report or an answer frame split across reads is carried to the next one.
//
// What the stream can hold: pen reports (status 0x80 or 0x90, then three
// bytes whose bit 7 is never set, then byte 4, which the pad sends as 0), and
// now and then an answer frame of a command whose reply read ended early
// (STX 0x02, 16-bit length n, n payload bytes, XOR, sum, ETX). So 0x80 and
// 0x90 show up only as status bytes of a clean stream; that is what lets the
// decoder find its footing again after a lost or mangled byte instead of
// dropping reads until chance realigns it. A report is refused when one odd
// byte stands between it and the next report or frame (a stray byte landed
// inside it): a dropped or inserted byte costs at most the report it hit.
//
// The stream ends when the link goes down: the bytes carried then are
// dropped (a report cut by the loss must not be completed by bytes from the
// pad that comes back), and an open stroke is ended with PEN_UP_POINT, so
// ink after the reconnection starts a stroke of its own.
//
// Thread safety: none; one decoder belongs to one reader thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "capture/PointTimes.h"
#include "capture/ReportClock.h"
#include "padlink/PadProtocol.h"
#include "sigformats/SignaturePoint.h"

namespace vellumix::capture {

// The largest answer frame skipped amid pen data: any answer of the pad fits
// the host's 512-byte reply buffer. A header promising more is line noise;
// trusting it would hold back up to 32 KB of pen data while waiting for an
// end that never comes.
inline constexpr std::size_t kMaxStrayFramePayload =
    padlink::kReplyCapacity - padlink::kShortFrameOverhead;

class PenStreamDecoder {
public:
    // Decodes what the carried bytes and `bytes` hold and appends the points
    // to `out` in stream order: (x, y) for a pen-down report, PEN_UP_POINT for
    // a pen-up one. An incomplete report or frame at the end is carried into
    // the next call. Returns the number of points appended.
    std::size_t Decode(std::span<const std::uint8_t> bytes, std::vector<SignaturePoint>& out);
    // The same, and one arrival time per appended point in `times`: the
    // reports that `bytes` completed, spread by `clock` back from readTime,
    // the moment the read that brought `bytes` returned. A report split
    // across reads arrived with the read that completed it.
    std::size_t Decode(std::span<const std::uint8_t> bytes, PointTime readTime, ReportClock& clock,
                       std::vector<SignaturePoint>& out, PointTimes& times);
    // The link went down (or was found down): drops the carried bytes and
    // appends PEN_UP_POINT when the last point handed out is a pen-down one.
    // Returns the points appended.
    std::size_t LinkLost(std::vector<SignaturePoint>& out);
    // The same, the lift stamped by `clock` at readTime, when the read that
    // found the link down returned.
    std::size_t LinkLost(PointTime readTime, ReportClock& clock, std::vector<SignaturePoint>& out,
                         PointTimes& times);
    // One read as the pad command channel's ReadPenData returns it: `result`
    // bytes at the start of `buffer` (Decode), 0 for a read that brought
    // nothing, or -1 for a link that is down (LinkLost). Every reader of the
    // pen stream goes through here, so each of them sees a lost pad end the
    // stroke.
    std::size_t DecodeRead(int result, std::span<const std::uint8_t> buffer, PointTime readTime,
                           ReportClock& clock, std::vector<SignaturePoint>& out, PointTimes& times);

    // Forgets the carried bytes, e.g. when reading starts again after a
    // pause. Whether a stroke is open is kept, so a LinkLost after it still
    // ends that stroke.
    void Reset();

    // Bytes held back for the next call: 0-4 of a report, or the start of an
    // answer frame (at most kMaxStrayFramePayload + 5).
    std::size_t CarriedBytes() const { return m_carry.size(); }
    // Bytes thrown away because they fitted neither a report nor a frame.
    std::size_t DiscardedBytes() const { return m_discarded; }
    // Answer frames recognised and skipped.
    std::size_t SkippedFrames() const { return m_skippedFrames; }

private:
    // Decodes from the start of buf; returns how many bytes were used up.
    std::size_t Process(std::span<const std::uint8_t> buf, std::vector<SignaturePoint>& out);

    std::vector<std::uint8_t> m_carry;
    // False after garbage: then only a status byte, or an answer frame that
    // is whole and checks out, counts as a new start.
    bool m_synced = true;
    // The last point handed out; none before the first.
    std::optional<SignaturePoint> m_last;
    std::size_t m_discarded = 0;
    std::size_t m_skippedFrames = 0;
};

}  // namespace vellumix::capture
