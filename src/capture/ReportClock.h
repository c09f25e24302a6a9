// Arrival times for the pen reports of one read. A read hands over every
// report that piled up since the last one, so the time the read returned is
// only the arrival of the last report; the ones before it crossed the line
// one report time apart. The clock spreads a batch back from the read's time
// at the line's pace, and never before the previous batch's last stamp.
//
// Thread safety: none; one clock belongs to one reader thread.
#pragma once

#include <chrono>
#include <cstddef>

#include "sigformats/PointTimes.h"

namespace vellumix::capture {

// A capture stamp: the monotonic clock (std::chrono::steady_clock) in
// microseconds, as sigformats::PointTime counts them.
inline sigformats::PointTime ToPointTime(std::chrono::steady_clock::time_point t) {
    return std::chrono::duration_cast<std::chrono::microseconds>(t.time_since_epoch()).count();
}

// Bits per byte on the pad's 8N1 line: start bit, eight data bits, stop bit.
inline constexpr int kLineBitsPerByte = 10;

// The time one 5-byte pen report takes on a serial line of `baud` (1302 us
// at 38,400 baud, 8N1); a line set otherwise passes its own bits per byte
// (start + data + parity + stop). Zero for a rate of zero or less, which is
// what a USB link uses: its reports come one per HID transfer, so the read's
// time is the report's.
std::chrono::microseconds ReportWireTime(int baud, int bitsPerByte = kLineBitsPerByte);

class ReportClock {
public:
    explicit ReportClock(std::chrono::microseconds perReport) : m_perReport(perReport) {}

    // Appends `reports` stamps to `out`, in report order, the last one at
    // readTime and each earlier one a report time before the next. When the
    // batch would reach back to or before the previous batch's last stamp
    // (reads that came late and held more than the time since allows), the
    // batch is spread evenly over the time since that stamp instead. Stamps
    // never go backwards, even when readTime does.
    void Stamp(sigformats::PointTime readTime, std::size_t reports, sigformats::PointTimes& out);

    // Forgets the previous batch, e.g. when a new capture starts.
    void Reset() { m_haveLast = false; }

    std::chrono::microseconds PerReport() const { return m_perReport; }
    // A pad found again on another link: its pace from the next batch on,
    // still never before the last stamp.
    void SetPerReport(std::chrono::microseconds perReport) { m_perReport = perReport; }

private:
    std::chrono::microseconds m_perReport;
    sigformats::PointTime m_last = 0;
    bool m_haveLast = false;
};

}  // namespace vellumix::capture
