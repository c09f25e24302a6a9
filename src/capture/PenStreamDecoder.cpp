#include "capture/PenStreamDecoder.h"

#include <algorithm>

#include "capture/PenReport.h"
#include "padlink/Frame.h"

namespace vellumix::capture {

namespace {

using padlink::FrameCheck;
using padlink::kShortHeaderLength;
using padlink::kStx;

constexpr std::uint8_t kHighBit = 0x80;

bool IsStatusByte(std::uint8_t b) {
    return b == kPenUpStatus || b == kPenDownStatus;
}

// A status byte is only the start of a report if the rest fits: bytes 1-3
// never have bit 7 set, and byte 4 (sent as 0) is never the start of the next
// report or frame. When a byte of a report is lost, its fifth byte is the
// next report's status byte or a frame's STX, so the damaged report is
// refused here rather than decoded into a wrong point, and the next one is
// found right behind it.
bool LooksLikeReport(std::span<const std::uint8_t, kPenReportSize> r) {
    for (std::size_t k = 1; k < kPenReportSize - 1; ++k) {
        if ((r[k] & kHighBit) != 0) {
            return false;
        }
    }
    const std::uint8_t last = r[kPenReportSize - 1];
    return !IsStatusByte(last) && last != kStx;
}

// Only the short form is possible amid pen data: the payload bound lies far
// below the 0x8000 at which a third length byte appears.
FrameCheck CheckFrame(std::span<const std::uint8_t> s, std::size_t* length) {
    return padlink::CheckShortFrame(s, kMaxStrayFramePayload, length);
}

}  // namespace

std::size_t PenStreamDecoder::Decode(std::span<const std::uint8_t> bytes,
                                     std::vector<SignaturePoint>& out) {
    const std::size_t before = out.size();
    if (m_carry.empty()) {
        const std::size_t used = Process(bytes, out);
        m_carry.assign(bytes.begin() + static_cast<std::ptrdiff_t>(used), bytes.end());
    } else {
        m_carry.insert(m_carry.end(), bytes.begin(), bytes.end());
        const std::size_t used = Process(m_carry, out);
        m_carry.erase(m_carry.begin(), m_carry.begin() + static_cast<std::ptrdiff_t>(used));
    }
    return out.size() - before;
}

std::size_t PenStreamDecoder::Decode(std::span<const std::uint8_t> bytes, PointTime readTime,
                                     ReportClock& clock, std::vector<SignaturePoint>& out,
                                     PointTimes& times) {
    const std::size_t n = Decode(bytes, out);
    // Every point comes from one 5-byte report (a skipped answer frame adds
    // none), so the points are the reports to spread over the wire.
    clock.Stamp(readTime, n, times);
    return n;
}

std::size_t PenStreamDecoder::LinkLost(std::vector<SignaturePoint>& out) {
    m_carry.clear();
    m_synced = true;
    if (!m_last || IsPenUp(*m_last)) {
        return 0;
    }
    m_last = PEN_UP_POINT;
    out.push_back(PEN_UP_POINT);
    return 1;
}

std::size_t PenStreamDecoder::LinkLost(PointTime readTime, ReportClock& clock,
                                       std::vector<SignaturePoint>& out, PointTimes& times) {
    const std::size_t n = LinkLost(out);
    clock.Stamp(readTime, n, times);
    return n;
}

std::size_t PenStreamDecoder::DecodeRead(int result, std::span<const std::uint8_t> buffer,
                                         PointTime readTime, ReportClock& clock,
                                         std::vector<SignaturePoint>& out, PointTimes& times) {
    if (result < 0) {
        return LinkLost(readTime, clock, out, times);
    }
    const std::size_t n = std::min(static_cast<std::size_t>(result), buffer.size());
    return n == 0 ? 0 : Decode(buffer.first(n), readTime, clock, out, times);
}

void PenStreamDecoder::Reset() {
    m_carry.clear();
    m_synced = true;
}

std::size_t PenStreamDecoder::Process(std::span<const std::uint8_t> buf,
                                      std::vector<SignaturePoint>& out) {
    std::size_t i = 0;
    while (i < buf.size()) {
        const std::uint8_t b = buf[i];
        const std::size_t left = buf.size() - i;
        if (IsStatusByte(b)) {
            if (left < kPenReportSize) {
                break;  // the rest of the report comes with the next read
            }
            const auto report = buf.subspan(i).first<kPenReportSize>();
            // A stray byte inside a report pushes its last byte out of the
            // window: one odd byte then stands between the window and the
            // next report or frame, and the window is refused rather than
            // decoded into an invented point. Any other follower means the
            // next report lost its status byte, which costs that one only.
            // A window that ends the data is taken at once, so the last
            // report of a read reaches the page without waiting; one odd
            // byte at the end is decided by the next read.
            const std::size_t next = i + kPenReportSize;
            const auto startsSomething = [&](std::size_t k) {
                return IsStatusByte(buf[k]) || buf[k] == kStx;
            };
            // Behind the odd byte a 0x02 is as likely a coordinate byte of a
            // report that lost its status byte: only a whole frame counts.
            const auto startsForSure = [&](std::size_t k) {
                std::size_t length = 0;
                return IsStatusByte(buf[k]) ||
                       (buf[k] == kStx &&
                        CheckFrame(buf.subspan(k), &length) == FrameCheck::kWhole);
            };
            if (LooksLikeReport(report) && next < buf.size() && !startsSomething(next) &&
                next + 1 == buf.size()) {
                break;
            }
            if (LooksLikeReport(report) &&
                (next == buf.size() || startsSomething(next) || !startsForSure(next + 1))) {
                // The status byte was checked above, so this always yields a point.
                m_last = DecodePenReport(report).value_or(PEN_UP_POINT);
                out.push_back(*m_last);
                i += kPenReportSize;
                m_synced = true;
                continue;
            }
        } else if (b == kStx) {
            std::size_t length = 0;
            const FrameCheck check = CheckFrame(buf.subspan(i), &length);
            if (check == FrameCheck::kWhole) {
                i += length;
                ++m_skippedFrames;
                m_synced = true;
                continue;
            }
            // Where a report or frame just ended, an STX starts a frame and its
            // end is worth waiting for, unless a status byte already shows up
            // where its payload should be: then the 0x02 is the first
            // coordinate byte of a report whose status byte was lost, and
            // waiting for its "length" would hold back the pen data behind
            // it. Amid garbage a 0x02 is as likely a coordinate byte, so there
            // only a frame that is already whole counts.
            if (check == FrameCheck::kIncomplete && m_synced &&
                std::none_of(buf.begin() + static_cast<std::ptrdiff_t>(
                                               i + std::min(left, kShortHeaderLength)),
                             buf.end(), IsStatusByte)) {
                break;
            }
        }
        ++i;
        ++m_discarded;
        m_synced = false;
    }
    return i;
}

}  // namespace vellumix::capture
