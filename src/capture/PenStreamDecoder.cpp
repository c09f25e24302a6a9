#include "capture/PenStreamDecoder.h"

#include <algorithm>
#include <cmath>

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

// Whether what starts at buf[k] carries the stream on: a report that looks
// like one, or an answer frame that is whole and checks out.
enum class Chain { kGoesOn, kBroken, kNotYetKnown };

Chain ChainAt(std::span<const std::uint8_t> buf, std::size_t k) {
    if (k >= buf.size()) {
        return Chain::kNotYetKnown;
    }
    if (IsStatusByte(buf[k])) {
        if (buf.size() - k < kPenReportSize) {
            return Chain::kNotYetKnown;
        }
        return LooksLikeReport(buf.subspan(k).first<kPenReportSize>()) ? Chain::kGoesOn
                                                                       : Chain::kBroken;
    }
    if (buf[k] == kStx) {
        std::size_t length = 0;
        switch (CheckFrame(buf.subspan(k), &length)) {
            case FrameCheck::kWhole:
                return Chain::kGoesOn;
            case FrameCheck::kIncomplete:
                return Chain::kNotYetKnown;
            case FrameCheck::kNotAFrame:
                return Chain::kBroken;
        }
    }
    return Chain::kBroken;
}

double Distance(sigformats::SignaturePoint a, sigformats::SignaturePoint b) {
    return std::hypot(static_cast<double>(a.x - b.x), static_cast<double>(a.y - b.y));
}

}  // namespace

std::size_t PenStreamDecoder::Decode(std::span<const std::uint8_t> bytes,
                                     std::vector<sigformats::SignaturePoint>& out) {
    const std::size_t before = out.size();
    if (m_carry.empty()) {
        const std::size_t used = Process(bytes, out);
        m_carry.assign(bytes.begin() + static_cast<std::ptrdiff_t>(used), bytes.end());
    } else {
        m_carry.insert(m_carry.end(), bytes.begin(), bytes.end());
        const std::size_t used = Process(m_carry, out);
        m_carry.erase(m_carry.begin(), m_carry.begin() + static_cast<std::ptrdiff_t>(used));
    }
    EndOfData(out);
    return out.size() - before;
}

std::size_t PenStreamDecoder::LineQuiet(std::vector<sigformats::SignaturePoint>& out) {
    const std::size_t before = out.size();
    if (!m_carry.empty()) {
        const std::size_t used = Process(m_carry, out, true);
        m_carry.erase(m_carry.begin(), m_carry.begin() + static_cast<std::ptrdiff_t>(used));
    }
    EndOfStream(out);
    return out.size() - before;
}

std::size_t PenStreamDecoder::LinkLost(std::vector<sigformats::SignaturePoint>& out) {
    const std::size_t before = out.size();
    LineQuiet(out);
    m_carry.clear();
    m_synced = true;
    m_cleanReports = kCleanStreamReports;
    if (StrokeOpen()) {
        Accept(sigformats::PEN_UP_POINT, out);
    }
    return out.size() - before;
}

std::size_t PenStreamDecoder::Decode(std::span<const std::uint8_t> bytes,
                                     sigformats::PointTime readTime, ReportClock& clock,
                                     std::vector<sigformats::SignaturePoint>& out,
                                     sigformats::PointTimes& times) {
    const std::size_t n = Decode(bytes, out);
    // Every point comes from one 5-byte report (a skipped answer frame adds
    // none), so the points are the reports to spread over the wire.
    clock.Stamp(readTime, n, times);
    return n;
}

std::size_t PenStreamDecoder::LineQuiet(sigformats::PointTime readTime, ReportClock& clock,
                                        std::vector<sigformats::SignaturePoint>& out,
                                        sigformats::PointTimes& times) {
    const std::size_t n = LineQuiet(out);
    clock.Stamp(readTime, n, times);
    return n;
}

std::size_t PenStreamDecoder::LinkLost(sigformats::PointTime readTime, ReportClock& clock,
                                       std::vector<sigformats::SignaturePoint>& out,
                                       sigformats::PointTimes& times) {
    const std::size_t n = LinkLost(out);
    clock.Stamp(readTime, n, times);
    return n;
}

std::size_t PenStreamDecoder::DecodeRead(int result, std::span<const std::uint8_t> buffer,
                                         sigformats::PointTime readTime, ReportClock& clock,
                                         std::vector<sigformats::SignaturePoint>& out,
                                         sigformats::PointTimes& times) {
    if (result < 0) {
        return LinkLost(readTime, clock, out, times);
    }
    if (result == 0) {
        return LineQuiet(readTime, clock, out, times);
    }
    const std::size_t n = std::min(static_cast<std::size_t>(result), buffer.size());
    return Decode(buffer.first(n), readTime, clock, out, times);
}

void PenStreamDecoder::Reset() {
    m_carry.clear();
    m_synced = true;
    m_held.clear();
}

std::size_t PenStreamDecoder::Process(std::span<const std::uint8_t> buf,
                                      std::vector<sigformats::SignaturePoint>& out, bool quiet) {
    std::size_t i = 0;
    while (i < buf.size()) {
        const std::uint8_t b = buf[i];
        const std::size_t left = buf.size() - i;
        if (IsStatusByte(b)) {
            if (left < kPenReportSize) {
                break;  // the rest of the report comes with the next read
            }
            const auto report = buf.subspan(i).first<kPenReportSize>();
            const std::size_t next = i + kPenReportSize;
            bool take = false;
            if (!LooksLikeReport(report)) {
                // refused on its own bytes
            } else if (m_synced) {
                // A stray byte inside a report pushes its last byte out of the
                // window: one odd byte then stands between the window and the
                // next report or frame, and the window is refused rather than
                // decoded into an invented point. Any other follower means the
                // next report lost its status byte, which costs that one only.
                // A window that ends the data is taken at once, so the last
                // report of a read reaches the page without waiting; one odd
                // byte at the end is decided by the next read.
                const auto startsSomething = [&](std::size_t k) {
                    return IsStatusByte(buf[k]) || buf[k] == kStx;
                };
                // Behind the odd byte a 0x02 is as likely a coordinate byte of
                // a report that lost its status byte: only a whole frame counts.
                const auto startsForSure = [&](std::size_t k) {
                    std::size_t length = 0;
                    return IsStatusByte(buf[k]) ||
                           (buf[k] == kStx &&
                            CheckFrame(buf.subspan(k), &length) == FrameCheck::kWhole);
                };
                if (next < buf.size() && !startsSomething(next) && next + 1 == buf.size() &&
                    !quiet) {
                    break;
                }
                take = next == buf.size() || startsSomething(next) ||
                       (next + 1 < buf.size() && !startsForSure(next + 1)) ||
                       next + 1 == buf.size();
            } else {
                // After garbage a look-alike is as likely noise: the report
                // counts only with the stream going on right behind it.
                switch (ChainAt(buf, next)) {
                    case Chain::kGoesOn:
                        take = true;
                        break;
                    case Chain::kNotYetKnown:
                        if (!quiet) {
                            return i;  // decided by the next read, or by a quiet line
                        }
                        take = true;
                        break;
                    case Chain::kBroken:
                        break;
                }
            }
            if (take) {
                // The status byte was checked above, so this always yields a point.
                OfferReport(DecodePenReport(report).value_or(sigformats::PEN_UP_POINT), out);
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
                OfferFrame(out);
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
        NoteThrownAway(out);
    }
    return i;
}

void PenStreamDecoder::OfferReport(sigformats::SignaturePoint point,
                                   std::vector<sigformats::SignaturePoint>& out) {
    if (!m_held.empty() && m_held.back().follower == Follower::kUnknown) {
        m_held.back().follower = Follower::kReport;
    }
    m_held.push_back({point, !m_synced, Follower::kUnknown});
    m_cleanReports = std::min(m_cleanReports + 1, kCleanStreamReports);
    JudgeHeld(false, false, out);
}

void PenStreamDecoder::OfferFrame(std::vector<sigformats::SignaturePoint>& out) {
    if (!m_held.empty() && m_held.back().follower == Follower::kUnknown) {
        m_held.back().follower = Follower::kFrame;
    }
    JudgeHeld(false, false, out);
}

void PenStreamDecoder::NoteThrownAway(std::vector<sigformats::SignaturePoint>& out) {
    m_cleanReports = 0;
    if (!m_held.empty() && m_held.back().follower == Follower::kUnknown) {
        m_held.back().follower = Follower::kThrownAway;
        JudgeHeld(false, false, out);
    }
}

void PenStreamDecoder::EndOfData(std::vector<sigformats::SignaturePoint>& out) {
    JudgeHeld(true, false, out);
}

void PenStreamDecoder::EndOfStream(std::vector<sigformats::SignaturePoint>& out) {
    if (!m_held.empty() && m_held.back().follower == Follower::kUnknown) {
        m_held.back().follower = Follower::kNothing;
    }
    JudgeHeld(true, true, out);
}

void PenStreamDecoder::JudgeHeld(bool endOfRead, bool ended,
                                 std::vector<sigformats::SignaturePoint>& out) {
    while (!m_held.empty()) {
        const Verdict verdict = JudgeFirst(endOfRead, ended);
        if (verdict == Verdict::kWait) {
            return;
        }
        const Held first = m_held.front();
        m_held.pop_front();
        if (verdict == Verdict::kAccept) {
            Accept(first.point, out);
            continue;
        }
        ++m_refused;
        // Right behind a refused report is as good as right behind noise:
        // look-alikes come in chains now and then.
        if (!m_held.empty() && first.follower == Follower::kReport) {
            m_held.front().afterNoise = true;
        }
    }
}

std::optional<bool> PenStreamDecoder::BesideNoise(bool assumeClean) const {
    const Held& first = m_held.front();
    if (first.afterNoise) {
        return true;
    }
    Follower follower = first.follower;
    if (follower == Follower::kReport && m_held.size() > 1) {
        // Noise right behind the next report: both may be look-alikes that
        // the noise began with.
        const Follower next = m_held[1].follower;
        follower =
            next == Follower::kThrownAway || next == Follower::kUnknown ? next : Follower::kReport;
    }
    switch (follower) {
        case Follower::kThrownAway:
            return true;
        case Follower::kUnknown:
            return assumeClean ? std::optional<bool>(false) : std::nullopt;
        case Follower::kReport:
        case Follower::kFrame:
        case Follower::kNothing:
            break;
    }
    return false;
}

PenStreamDecoder::Verdict PenStreamDecoder::JudgeFirst(bool endOfRead, bool ended) const {
    const Held& first = m_held.front();
    const sigformats::SignaturePoint p = first.point;
    // The last reports of a read are taken at once in a clean stream; where
    // noise was just seen, what follows them is waited for.
    const std::optional<bool> besideNoise =
        BesideNoise(ended || (endOfRead && m_cleanReports >= kCleanStreamReports));
    if (!besideNoise) {
        return Verdict::kWait;
    }
    if (!*besideNoise) {
        // A link of an unbroken chain. One that ends the read is taken at
        // once unless it jumps off its stroke: noise that begins right where
        // a read ends looks just like that, so it waits for what follows.
        if (first.follower == Follower::kUnknown && !ended && !sigformats::IsPenUp(p) &&
            StrokeOpen() && !WithinReach(*m_last, p)) {
            return Verdict::kWait;
        }
        return Verdict::kAccept;
    }
    // Beside noise, the report must fit the stroke around it. The reports
    // after it are looked at a few deep, since one of them may be noise too.
    const std::size_t deepest = std::min(m_held.size(), kLookAhead + 1);
    const bool seenEnough = ended || m_held.size() > kLookAhead;
    if (!sigformats::IsPenUp(p)) {
        if (StrokeOpen() && WithinReach(*m_last, p)) {
            return Verdict::kAccept;
        }
        for (std::size_t k = 1; k < deepest; ++k) {
            const sigformats::SignaturePoint q = m_held[k].point;
            if (sigformats::IsPenUp(q)) {
                return Verdict::kRefuse;  // a lone point: no stroke around it
            }
            if (WithinReach(p, q)) {
                return Verdict::kAccept;
            }
        }
        return seenEnough ? Verdict::kRefuse : Verdict::kWait;
    }
    if (!StrokeOpen()) {
        return Verdict::kRefuse;  // no stroke to end: a second lift
    }
    for (std::size_t k = 1; k < deepest; ++k) {
        const sigformats::SignaturePoint q = m_held[k].point;
        if (sigformats::IsPenUp(q) || CarriesStrokeOn(k)) {
            // The stroke goes on within reach, so the lift would split it; or
            // another lift follows, and one lift is enough.
            return Verdict::kRefuse;
        }
        // Off the stroke: a new stroke if the report after it is within its
        // reach, else noise to look past.
        if (k + 1 < m_held.size()) {
            const sigformats::SignaturePoint r = m_held[k + 1].point;
            if (!sigformats::IsPenUp(r) && WithinReach(q, r)) {
                return Verdict::kAccept;
            }
        } else if (!ended) {
            return Verdict::kWait;
        }
    }
    return seenEnough ? Verdict::kAccept : Verdict::kWait;
}

void PenStreamDecoder::Accept(sigformats::SignaturePoint point,
                              std::vector<sigformats::SignaturePoint>& out) {
    if (sigformats::IsPenUp(point) || !StrokeOpen()) {
        m_lastStep = 0;
    } else {
        m_lastStep = Distance(*m_last, point);
    }
    m_last = point;
    out.push_back(point);
}

bool PenStreamDecoder::WithinReach(sigformats::SignaturePoint a,
                                   sigformats::SignaturePoint b) const {
    return Distance(a, b) <= std::max(kStrokeReachMin, kStrokeReachSteps * m_lastStep);
}

bool PenStreamDecoder::CarriesStrokeOn(std::size_t k) const {
    const sigformats::SignaturePoint q = m_held[k].point;
    double step = m_lastStep;
    if (k + 1 < m_held.size() && !sigformats::IsPenUp(m_held[k + 1].point)) {
        step = std::max(step, Distance(q, m_held[k + 1].point));
    }
    return Distance(*m_last, q) <= std::max(kLiftSplitMin, kLiftSplitSteps * step);
}

}  // namespace vellumix::capture
