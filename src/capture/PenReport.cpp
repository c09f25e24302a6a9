#include "capture/PenReport.h"

#include <algorithm>

namespace vellumix::capture {

PenReport EncodePenReport(sigformats::SignaturePoint point) {
    if (sigformats::IsPenUp(point)) {
        return PenReport{kPenUpStatus, 0, 0, 0, 0};
    }
    const auto x = static_cast<std::uint32_t>(std::clamp(point.x, 0, sigformats::kPadUnitMax));
    const auto y = static_cast<std::uint32_t>(std::clamp(point.y, 0, sigformats::kPadUnitMax));
    const auto high =
        static_cast<std::uint8_t>(((x >> kPenLowBits) & kPenHighMask) << kPenXHighShift |
                                  ((y >> kPenLowBits) & kPenHighMask));
    return PenReport{kPenDownStatus, high, static_cast<std::uint8_t>(x & kPenLowMask),
                     static_cast<std::uint8_t>(y & kPenLowMask), 0};
}

std::optional<sigformats::SignaturePoint> DecodePenReport(
    std::span<const std::uint8_t, kPenReportSize> report) {
    if (report[0] == kPenUpStatus) {
        return sigformats::PEN_UP_POINT;
    }
    if (report[0] != kPenDownStatus) {
        return std::nullopt;
    }
    const std::int32_t x =
        ((report[1] >> kPenXHighShift) & kPenHighMask) << kPenLowBits | (report[2] & kPenLowMask);
    const std::int32_t y = (report[1] & kPenHighMask) << kPenLowBits | (report[3] & kPenLowMask);
    return sigformats::SignaturePoint{x, y};
}

}  // namespace vellumix::capture
