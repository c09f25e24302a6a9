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
// Line noise is another matter: a burst of random bytes holds a 0x80 or 0x90
// every hundred bytes or so, and about one in eight of those is followed by
// three bytes with bit 7 clear, which passes every check a report's bytes
// allow. So a report is believed because of the stream around it, not its
// own bytes:
//   - In a clean stream every report is followed by the next report or a
//     frame, and is taken as it comes; the last report of a read is taken at
//     once, so it reaches the page without waiting for the next read.
//   - After thrown-away bytes a report counts only once the next report or a
//     whole frame follows right behind it: a lone look-alike amid noise has
//     no such chain (two in a row happen about once in a million bytes).
//   - A report with thrown-away bytes right before it, right behind it or
//     right behind the report after it may still be noise: a look-alike that
//     ends a burst chains to the real stream resuming, and one that starts a
//     burst follows a real report. It must fit its stroke: a pen-down point
//     lies within reach of the point before it or of one of the few after
//     it, and a pen lift must separate two strokes (the stroke going on one
//     step behind it means the lift would split it). A point with no stroke
//     around it, or a second lift, is refused, and so is a report right
//     behind a refused one unless it fits in its own right.
//   - Where noise was just seen (within kCleanStreamReports reports), the
//     last report of a read waits for what follows it: a look-alike starting
//     a burst that the read's end cut off would pass for clean otherwise.
// That is the price of noise: beside it, a report may reach the page a few
// reports later; a read that finds the line quiet settles what is held.
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
#include <deque>
#include <optional>
#include <span>
#include <vector>

#include "capture/ReportClock.h"
#include "padlink/PadProtocol.h"
#include "sigformats/PointTimes.h"
#include "sigformats/SignaturePoint.h"

namespace vellumix::capture {

// The largest answer frame skipped amid pen data: any answer of the pad fits
// the host's 512-byte reply buffer. A header promising more is line noise;
// trusting it would hold back up to 32 KB of pen data while waiting for an
// end that never comes.
inline constexpr std::size_t kMaxStrayFramePayload =
    padlink::kReplyCapacity - padlink::kShortFrameOverhead;

// How far a pen-down point beside thrown-away bytes may lie from its stroke
// neighbour: a few times the stroke's last step, and never less than this
// many pad units. A pad sampling about 200 times a second moves a few units
// a report on ordinary writing and a few tens on a fast flourish; a point
// made of noise lands anywhere on the 1024 x 1024 grid, within this reach of
// a given point about once in 150 times.
inline constexpr double kStrokeReachMin = 48.0;
inline constexpr double kStrokeReachSteps = 4.0;
// A lift made of noise between two samples of one stroke leaves the stroke
// going on one step on: within this many times the stroke's step (before or
// after the lift, whichever is longer) and never less than the minimum. A
// real next stroke starts where the pen lands again, further than that.
inline constexpr double kLiftSplitMin = 8.0;
inline constexpr double kLiftSplitSteps = 2.0;
// Reports after one beside noise that are looked at to judge it: one of them
// may be noise as well.
inline constexpr std::size_t kLookAhead = 3;
// A stream counts as clean again this many reports after the last thrown-away
// byte (about a second of writing at 200 reports a second). Until then the
// last report of a read waits for the byte after it: a look-alike that
// starts a burst of noise, cut off by the read's end, would otherwise pass.
inline constexpr std::size_t kCleanStreamReports = 256;

class PenStreamDecoder {
public:
    // Decodes what the carried bytes and `bytes` hold and appends the points
    // to `out` in stream order: (x, y) for a pen-down report, PEN_UP_POINT for
    // a pen-up one. An incomplete report or frame at the end is carried into
    // the next call, and so is a report the stream does not support yet.
    // Returns the number of points appended.
    std::size_t Decode(std::span<const std::uint8_t> bytes,
                       std::vector<sigformats::SignaturePoint>& out);
    // A read that waited its full time and brought nothing: the line is
    // quiet, so no report is coming to support one held back. Decides the
    // reports held, appends those that fit their stroke and returns their
    // number. The bytes of an incomplete report stay carried.
    std::size_t LineQuiet(std::vector<sigformats::SignaturePoint>& out);
    // The link went down (or was found down): decides what is held as for a
    // quiet line, drops the carried bytes, and appends PEN_UP_POINT when the
    // last point handed out is a pen-down one. Returns the points appended.
    std::size_t LinkLost(std::vector<sigformats::SignaturePoint>& out);

    // The same three, with one arrival time per appended point in `times`:
    // the points spread by `clock` back from readTime, the moment the read
    // that brought them (or found the line quiet or down) returned. A report
    // split across reads, or held for support, arrived with the read that
    // completed or settled it.
    std::size_t Decode(std::span<const std::uint8_t> bytes, sigformats::PointTime readTime,
                       ReportClock& clock, std::vector<sigformats::SignaturePoint>& out,
                       sigformats::PointTimes& times);
    std::size_t LineQuiet(sigformats::PointTime readTime, ReportClock& clock,
                          std::vector<sigformats::SignaturePoint>& out,
                          sigformats::PointTimes& times);
    std::size_t LinkLost(sigformats::PointTime readTime, ReportClock& clock,
                         std::vector<sigformats::SignaturePoint>& out,
                         sigformats::PointTimes& times);
    // One read as the pad command channel's ReadPenData returns it: `result`
    // bytes at the start of `buffer` (Decode), 0 for a read that brought
    // nothing (LineQuiet) or -1 for a link that is down (LinkLost). Every
    // reader of the pen stream goes through here, so each of them sees a
    // lost pad end the stroke.
    std::size_t DecodeRead(int result, std::span<const std::uint8_t> buffer,
                           sigformats::PointTime readTime, ReportClock& clock,
                           std::vector<sigformats::SignaturePoint>& out,
                           sigformats::PointTimes& times);

    // Forgets the carried bytes and the reports held for support, e.g. when
    // reading starts again after a pause. Whether a stroke is open is kept,
    // so a LinkLost after it still ends that stroke.
    void Reset();

    // Bytes held back for the next call: 0-4 of a report, the start of an
    // answer frame (at most kMaxStrayFramePayload + 5), or a report after
    // thrown-away bytes and the start of the one that is to support it.
    std::size_t CarriedBytes() const { return m_carry.size(); }
    // Bytes thrown away because they fitted neither a report nor a frame.
    std::size_t DiscardedBytes() const { return m_discarded; }
    // Answer frames recognised and skipped.
    std::size_t SkippedFrames() const { return m_skippedFrames; }
    // Reports well formed in their own bytes but refused because they did
    // not fit the stroke around them.
    std::size_t RefusedReports() const { return m_refused; }

private:
    // What came right behind a report, as far as is known.
    enum class Follower : std::uint8_t {
        kUnknown,     // not yet: the report ends the data so far
        kReport,      // the next report, right behind it
        kFrame,       // a whole answer frame
        kThrownAway,  // bytes that fitted nothing: noise or damage
        kNothing,     // the line went quiet or down
    };
    struct Held {
        sigformats::SignaturePoint point;
        bool afterNoise = false;  // thrown-away bytes, or a refused report, right before it
        Follower follower = Follower::kUnknown;
    };
    enum class Verdict : std::uint8_t { kAccept, kRefuse, kWait };

    // Decodes from the start of buf; returns how many bytes were used up.
    // quiet: no byte will follow, so a report waiting for its follower is
    // taken as it stands.
    std::size_t Process(std::span<const std::uint8_t> buf,
                        std::vector<sigformats::SignaturePoint>& out, bool quiet = false);

    // The judge of reports: each report is offered in stream order and held
    // until it can be handed out or refused.
    void OfferReport(sigformats::SignaturePoint point,
                     std::vector<sigformats::SignaturePoint>& out);
    void OfferFrame(std::vector<sigformats::SignaturePoint>& out);
    void NoteThrownAway(std::vector<sigformats::SignaturePoint>& out);
    // The read's bytes are all in.
    void EndOfData(std::vector<sigformats::SignaturePoint>& out);
    // No byte is coming (quiet line, lost link).
    void EndOfStream(std::vector<sigformats::SignaturePoint>& out);
    // Hands out or refuses the held reports, first to last, while they can be
    // judged.
    void JudgeHeld(bool endOfRead, bool ended, std::vector<sigformats::SignaturePoint>& out);
    Verdict JudgeFirst(bool endOfRead, bool ended) const;
    // Whether noise lies right beside the first held report (before it, right
    // behind it, or right behind the report after it); nothing while that is
    // not yet known, unless assumeClean.
    std::optional<bool> BesideNoise(bool assumeClean) const;
    void Accept(sigformats::SignaturePoint point, std::vector<sigformats::SignaturePoint>& out);
    bool WithinReach(sigformats::SignaturePoint a, sigformats::SignaturePoint b) const;
    // Whether the held report k, after a lift, carries on the open stroke.
    bool CarriesStrokeOn(std::size_t k) const;
    bool StrokeOpen() const { return m_last && !sigformats::IsPenUp(*m_last); }

    std::vector<std::uint8_t> m_carry;
    // False after garbage: then only a status byte, or an answer frame that
    // is whole and checks out, counts as a new start, and a report only with
    // the next report or a whole frame right behind it.
    bool m_synced = true;
    // Reports not yet judged, in stream order: a couple at most in a clean
    // stream, a few more (kLookAhead + 2) beside noise.
    std::deque<Held> m_held;
    // Reports taken since bytes were last thrown away, up to kCleanStreamReports.
    std::size_t m_cleanReports = kCleanStreamReports;
    // The last point handed out (none before the first), and the length of
    // the step that led to it within its stroke (0 at a stroke's start).
    std::optional<sigformats::SignaturePoint> m_last;
    double m_lastStep = 0;
    std::size_t m_discarded = 0;
    std::size_t m_skippedFrames = 0;
    std::size_t m_refused = 0;
};

}  // namespace vellumix::capture
