// The pen reader: a worker thread that reads the pad's pen byte stream while
// the Signature page is shown, decodes it (PenStreamDecoder) and hands each
// batch of points to its sink, with the arrival time of each (ReportClock:
// the batch spread over its reports' wire time, ending at the read's time).
//
// One cycle: the before-read hook, then one read of up to kPenReadWait per
// USB input report, then the sink with the points that read completed (or
// that a read finding the line quiet settled). The page uses the pieces like
// this:
//   - sink: runs on the reader thread and only appends to the page's
//     SharedPointList, which locks itself. It never draws.
//   - before-read hook: a blocking call into the GUI thread, made with
//     PostAndWait, in which the GUI thread draws the points appended since
//     its last call. The GUI thread alone touches the canvas, the reader
//     moves on only while the GUI thread handles events, and there is one
//     round trip per read.
//
// A lost pad: a read that finds the link down, or a link that went down and
// came back since the last read (the channel counts its losses, so a reader
// that was stopped meanwhile notices too), ends the stream: the decoder drops
// the carried bytes and the sink gets a pen lift when the last point it got
// is a pen-down one, before any point from the pad that comes back. Whether
// a stroke is open carries over a Stop and a Start.
//
// Stopping: Stop() asks the thread to end and joins it. If the GUI thread
// calls Stop() while the reader waits in the hook for that same GUI thread,
// a plain blocking call would deadlock (the GUI thread is in join, not in
// its event loop). PostAndWait gives up as soon as stop is asked for: the
// queued task is marked abandoned and never runs, and the reader ends. A
// reader inside a read ends when that read returns, within its time-out
// (64 ms per USB input report, the serial port's 500 ms).
//
// Thread safety: Start, Stop and the destructor belong to the owner (the GUI
// thread) and must not be called from the hook or the sink, which run on the
// reader thread (Stop would join the thread it runs on). IsRunning is safe
// from any thread.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <span>
#include <stop_token>
#include <thread>

#include "capture/PenStreamDecoder.h"
#include "sigformats/PointTimes.h"
#include "sigformats/SignaturePoint.h"

namespace vellumix::padlink {
class PadCommandChannel;
}

namespace vellumix::capture {

// The reader's read buffer: four carried bytes plus the largest pen read
// (128 bytes on serial, a chain of 63-byte input reports on USB) fit well.
inline constexpr std::size_t kPenReadBufferSize = 512;
// "Above normal": a nice value a few steps up, so a busy GUI thread does not
// make the reader fall behind the pad. Unprivileged processes may not raise
// their priority, so a refusal is ignored and the thread runs at normal.
inline constexpr int kPenReaderNice = -5;

// Hands `task` to another thread through `post` (which queues it there,
// e.g. onto the GUI thread's event loop) and waits until it has run. Gives
// up as soon as `stop` is requested if the task has not started yet: it is
// then marked abandoned and never runs. A task already running is waited
// for. Returns true when the task ran. The task must not join the calling
// thread.
using Poster = std::function<void(std::function<void()>)>;
bool PostAndWait(const Poster& post, std::function<void()> task, std::stop_token stop);

class PenReader {
public:
    // Bytes stored in the buffer; 0 or less means none arrived.
    using ReadFunction = std::function<int(std::span<std::uint8_t> buffer, int waitMs)>;
    // A decoded batch and one arrival time per point (microseconds on the
    // steady clock), both valid for the call only; runs on the reader thread.
    using BatchSink = std::function<void(std::span<const sigformats::SignaturePoint> points,
                                         std::span<const sigformats::PointTime> times)>;
    // The wire time of one pen report on the link in use, asked before each
    // read: the link may change when a lost pad is found again elsewhere.
    using WireTimeFunction = std::function<std::chrono::microseconds()>;
    // Runs on the reader thread before every read; must return promptly once
    // stop is requested on the token (PostAndWait does).
    using BeforeReadHook = std::function<void(std::stop_token stop)>;
    // How many times the link has been lost so far; asked after each read.
    using LinkLossFunction = std::function<std::uint64_t()>;

    // Without a wire time every report of a read gets the read's time;
    // without a loss count only a read that fails ends the stream.
    PenReader(ReadFunction read, BatchSink sink, BeforeReadHook beforeRead = {},
              WireTimeFunction reportWireTime = {}, LinkLossFunction linkLosses = {});
    // Reads with the channel's ReadPenData; the channel must outlive the
    // reader. Reports are spread over their wire time on the channel's own
    // link (PadLink::WireTime): 38,400 baud on serial, nothing on USB (one
    // report per HID transfer).
    PenReader(padlink::PadCommandChannel& channel, BatchSink sink, BeforeReadHook beforeRead = {});
    ~PenReader();
    PenReader(const PenReader&) = delete;
    PenReader& operator=(const PenReader&) = delete;

    // Starts the thread unless it runs already; a second Start keeps the one
    // reader. Each start begins with an empty carry.
    void Start();
    // Asks the thread to end and joins it; nothing when none runs. Points the
    // decoder still held go to the sink, judged as for a quiet line, before
    // the thread ends.
    void Stop();
    // Safe from any thread.
    bool IsRunning() const { return m_running.load(); }

private:
    void Run(std::stop_token stop);

    ReadFunction m_read;
    BatchSink m_sink;
    BeforeReadHook m_beforeRead;
    WireTimeFunction m_reportWireTime;
    LinkLossFunction m_linkLosses;
    // The reader thread's while it runs, the owner's in between (Start and
    // Stop order the two): kept across runs, so that a stroke open when the
    // reader stopped is still ended if the link was lost meanwhile.
    PenStreamDecoder m_decoder;
    std::uint64_t m_seenLosses = 0;
    std::mutex m_control;  // serialises Start and Stop
    std::atomic<bool> m_running{false};
    std::jthread m_thread;
};

}  // namespace vellumix::capture
