#include "capture/PenReader.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <vector>

#include "capture/PenReport.h"
#include "capture/PenStreamDecoder.h"
#include "capture/ReportClock.h"
#include "padlink/PadCommandChannel.h"
#include "padlink/PadLink.h"
#include "padlink/PadProtocol.h"

namespace vellumix::capture {

namespace {

enum class CallState { kQueued, kRunning, kDone, kAbandoned };

struct SharedCall {
    std::mutex mutex;
    std::condition_variable_any done;
    CallState state = CallState::kQueued;
};

void RaisePriority() {
    // On Linux a thread's nice value is per thread, addressed by its id.
    // Raising it needs CAP_SYS_NICE or an RLIMIT_NICE allowance; without them
    // the call fails with EACCES and the reader keeps the normal priority.
    (void)setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), kPenReaderNice);
}

}  // namespace

bool PostAndWait(const Poster& post, std::function<void()> task, std::stop_token stop) {
    if (stop.stop_requested()) {
        return false;
    }
    auto call = std::make_shared<SharedCall>();
    post([call, task = std::move(task)] {
        {
            std::lock_guard lock(call->mutex);
            if (call->state == CallState::kAbandoned) {
                return;
            }
            call->state = CallState::kRunning;
        }
        task();
        {
            std::lock_guard lock(call->mutex);
            call->state = CallState::kDone;
        }
        call->done.notify_all();
    });
    std::unique_lock lock(call->mutex);
    call->done.wait(lock, stop, [&] { return call->state == CallState::kDone; });
    if (call->state == CallState::kQueued) {
        // The other thread may be the one stopping us and never get to the
        // task; it must not run once we are gone.
        call->state = CallState::kAbandoned;
        return false;
    }
    // Already under way on the other thread, which is therefore not waiting
    // for us: let it finish, since the task may use what our caller owns.
    call->done.wait(lock, [&] { return call->state == CallState::kDone; });
    return true;
}

PenReader::PenReader(ReadFunction read, BatchSink sink, BeforeReadHook beforeRead,
                     WireTimeFunction reportWireTime, LinkLossFunction linkLosses)
    : m_read(std::move(read)),
      m_sink(std::move(sink)),
      m_beforeRead(std::move(beforeRead)),
      m_reportWireTime(std::move(reportWireTime)),
      m_linkLosses(std::move(linkLosses)),
      m_seenLosses(m_linkLosses ? m_linkLosses() : 0) {}

PenReader::PenReader(padlink::PadCommandChannel& channel, BatchSink sink, BeforeReadHook beforeRead)
    : PenReader([&channel](std::span<std::uint8_t> buffer,
                           int waitMs) { return channel.ReadPenData(buffer, waitMs); },
                std::move(sink), std::move(beforeRead),
                [&channel] { return channel.Link().WireTime(kPenReportSize); },
                [&channel] { return channel.LinkLosses(); }) {}

PenReader::~PenReader() {
    Stop();
}

void PenReader::Start() {
    std::lock_guard lock(m_control);
    if (m_thread.joinable()) {
        return;
    }
    m_running = true;
    m_thread = std::jthread([this](std::stop_token stop) { Run(stop); });
}

void PenReader::Stop() {
    std::lock_guard lock(m_control);
    if (!m_thread.joinable()) {
        return;
    }
    m_thread.request_stop();
    m_thread.join();
    m_thread = {};
    m_running = false;
}

void PenReader::Run(std::stop_token stop) {
    RaisePriority();
    constexpr int kWaitMs = static_cast<int>(padlink::kPenReadWait.count());
    // Bytes carried from before a stop would be joined to whatever the pad
    // sends after the restart.
    m_decoder.Reset();
    ReportClock clock(m_reportWireTime ? m_reportWireTime() : std::chrono::microseconds{0});
    std::vector<std::uint8_t> buffer(kPenReadBufferSize);
    std::vector<sigformats::SignaturePoint> batch;
    sigformats::PointTimes times;
    std::mutex pauseMutex;
    std::condition_variable_any pause;
    const auto handOver = [&] {
        if (!batch.empty() && m_sink) {
            m_sink(batch, times);
        }
    };

    while (!stop.stop_requested()) {
        if (m_beforeRead) {
            m_beforeRead(stop);
        }
        if (stop.stop_requested()) {
            break;
        }
        const auto started = std::chrono::steady_clock::now();
        const std::chrono::microseconds perReport =
            m_reportWireTime ? m_reportWireTime() : std::chrono::microseconds{0};
        const int n = m_read(buffer, kWaitMs);
        const sigformats::PointTime readTime = ToPointTime(std::chrono::steady_clock::now());
        clock.SetPerReport(perReport);
        batch.clear();
        times.clear();
        // A loss noticed anywhere (this read, a command, the idle check, or
        // while this reader was stopped) ends the stream before the read's
        // bytes, which may already come from the pad that is back.
        const std::uint64_t losses = m_linkLosses ? m_linkLosses() : m_seenLosses;
        if (n < 0 || losses != m_seenLosses) {
            m_seenLosses = losses;
            m_decoder.LinkLost(readTime, clock, batch, times);
        }
        if (n >= 0) {
            m_decoder.DecodeRead(n, buffer, readTime, clock, batch, times);
        }
        handOver();
        if (n > 0 || !batch.empty()) {
            continue;  // the hook draws what came before the next read
        }
        // A link that is gone answers at once (a closed port fails every
        // read); without this pause the loop would spin and flood the GUI
        // thread with hook calls. An ordinary empty read has already waited
        // this long.
        std::unique_lock lock(pauseMutex);
        pause.wait_until(lock, stop, started + padlink::kPenReadWait, [] { return false; });
    }
    // What the decoder held back waiting for the stream to support it is
    // settled now: no read follows for a while.
    batch.clear();
    times.clear();
    m_decoder.LineQuiet(ToPointTime(std::chrono::steady_clock::now()), clock, batch, times);
    handOver();
}

}  // namespace vellumix::capture
