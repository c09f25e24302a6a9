#include "padctl/PenStream.h"

#include <algorithm>
#include <iterator>

#include "capture/PenReport.h"
#include "padlink/PadProtocol.h"

namespace vellumix::tools {

namespace {

namespace pl = padlink;
using capture::kPenReportSize;

constexpr std::size_t kReplyFrameSize = sizeof pl::kAckFrame;
static_assert(sizeof pl::kNakFrame == kReplyFrameSize);

enum class Match { kNo, kPartial, kWhole };

// Whether the bytes at `at` are (the start of) the pad's one-byte answer
// frame, 02 01 00 06 06 06 03 or its 0x15 twin.
Match MatchReplyFrame(std::span<const std::uint8_t> at) {
    for (const auto* frame : {pl::kAckFrame, pl::kNakFrame}) {
        const std::size_t n = std::min(at.size(), kReplyFrameSize);
        if (std::equal(at.begin(), at.begin() + static_cast<std::ptrdiff_t>(n), frame)) {
            return n == kReplyFrameSize ? Match::kWhole : Match::kPartial;
        }
    }
    return Match::kNo;
}

bool IsStatus(std::uint8_t b) {
    return b == capture::kPenDownStatus || b == capture::kPenUpStatus;
}

// Bytes 1..3 of a real report never have bit 7 set (the pad leaves it clear
// and our own pad zeroes byte 4 as well), while every status byte has it:
// a candidate with bit 7 in bytes 1..3 is a misaligned cut.
bool LooksAligned(std::span<const std::uint8_t> report) {
    return std::none_of(report.begin() + 1, report.begin() + 4,
                        [](std::uint8_t b) { return (b & 0x80) != 0; });
}

}  // namespace

void PenStreamDecoder::Feed(std::span<const std::uint8_t> bytes,
                            std::vector<capture::SignaturePoint>& out) {
    m_carry.insert(m_carry.end(), bytes.begin(), bytes.end());
    const std::span<const std::uint8_t> all(m_carry);
    std::size_t i = 0;
    while (i < all.size()) {
        const auto rest = all.subspan(i);
        if (rest[0] == pl::kStx) {
            const Match m = MatchReplyFrame(rest);
            if (m == Match::kWhole) {
                i += kReplyFrameSize;
                ++m_frames;
                continue;
            }
            if (m == Match::kPartial) {
                break;  // the rest of the frame is still on its way
            }
        }
        if (IsStatus(rest[0])) {
            if (rest.size() < kPenReportSize) {
                break;
            }
            const auto report = rest.first<kPenReportSize>();
            if (LooksAligned(report)) {
                if (const auto p = capture::DecodePenReport(report)) {
                    out.push_back(*p);
                }
                i += kPenReportSize;
                continue;
            }
        }
        ++m_skipped;
        ++i;
    }
    m_carry.erase(m_carry.begin(), m_carry.begin() + static_cast<std::ptrdiff_t>(i));
}

}  // namespace vellumix::tools
