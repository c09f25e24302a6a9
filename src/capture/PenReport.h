// The 5-byte pen report the pad streams while capturing: a status byte, then
// the 10-bit x and y split into a shared high byte and two 7-bit low bytes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "sigformats/SignaturePoint.h"

namespace vellumix::capture {

inline constexpr std::size_t kPenReportSize = 5;
inline constexpr std::uint8_t kPenUpStatus = 0x80;
inline constexpr std::uint8_t kPenDownStatus = 0x90;

// Byte 1 holds x bits 7-9 in bits 3-5 and y bits 7-9 in bits 0-2; bytes 2
// and 3 hold the low 7 bits of x and y. Bit 7 of bytes 2 and 3 is never set,
// and byte 4 is not used, so both go out as 0.
inline constexpr int kPenLowBits = 7;
inline constexpr std::uint8_t kPenLowMask = 0x7F;
inline constexpr std::uint8_t kPenHighMask = 0x07;
inline constexpr int kPenXHighShift = 3;

using PenReport = std::array<std::uint8_t, kPenReportSize>;

// PEN_UP_POINT becomes a pen-up report (0x80 0 0 0 0); any other point a
// pen-down report with x and y clamped to 0..1023, since a stored 1024 or a
// stray negative value has no 10-bit form.
PenReport EncodePenReport(sigformats::SignaturePoint point);

// The point of one report, PEN_UP_POINT for a pen-up report (bytes 1-4
// ignored), or nothing when the status byte is neither 0x80 nor 0x90.
std::optional<sigformats::SignaturePoint> DecodePenReport(
    std::span<const std::uint8_t, kPenReportSize> report);

}  // namespace vellumix::capture
