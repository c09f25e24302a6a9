// Puts the virtual pad behind a pseudo-terminal: the pad owns the master
// side, and the slave side is published as the link COMn in the per-user
// port folder, where the program's serial transport finds it like a real
// port. An flock on the lock file beside the link ("COM1.lock") says the
// link is live; at start a host replaces links whose lock nobody holds. The line is raw, 38400 8N1,
// as far as a pty has such settings; a pty has no baud timing, so line-rate pacing is an option of
// the host.
//
// Thread safety: Start and Stop are called from one thread (the owner's).
// The host's own thread feeds the engine, writes its answers and releases
// pen output; the engine locks itself. WakeUp and IsRunning are safe from
// any thread while the host exists; the accessors belong to the owner.
#pragma once

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

#include "engine/PadEngine.h"
#include "engine/PenLineNoise.h"

namespace vellumix::padsim::hosts {

// 38400 baud with 8 data bits, no parity and 1 stop bit: 10 bits a byte.
inline constexpr int kLineRateBytesPerSecond = 3840;
// The numbers a published link may take; COM0 is left to a real port, so
// the first free number is looked for from 1.
inline constexpr int kFirstPublishedCom = 1;
inline constexpr int kLastPublishedCom = 9;

struct SerialHostOptions {
    std::filesystem::path portFolder;          // empty: padlink::DefaultPortFolder()
    int comNumber = 0;                         // 1..9; 0: the first free number from 1
    int paceBytesPerSecond = 0;                // 0: as fast as the pty moves bytes
    int dropEveryNthPenByte = 0;               // fault: 0 drops nothing
    engine::PenNoiseOptions penNoise{};        // fault: random bytes amid pen reports
    std::chrono::milliseconds unplugAfter{0};  // fault: 0 never unplugs
    // For measurements: called on the host thread after each paced write of
    // pen output with the pen bytes written since Start and the moment the
    // last of them was sent: the write, which reaches the other side at
    // once (a pty), and may come later than the line's clock asked for when
    // the host thread woke late.
    std::function<void(std::uint64_t penBytes, std::chrono::steady_clock::time_point crossed)>
        onPenCrossed{};
};

class SerialHost {
public:
    // The engine must outlive the host.
    SerialHost(engine::PadEngine& engine, SerialHostOptions options);
    ~SerialHost();
    SerialHost(const SerialHost&) = delete;
    SerialHost& operator=(const SerialHost&) = delete;

    // Opens the pty, publishes the link and starts the host thread. False
    // with a reason in *error when any step fails; nothing is left behind.
    bool Start(std::string* error = nullptr);
    // Stops and joins the thread, closes the pty and removes the link.
    void Stop();

    // Safe from any thread: makes the host thread look for pen output now
    // rather than at its next poll.
    void WakeUp();
    // False before Start, after Stop and after an injected unplug.
    bool IsRunning() const { return m_running.load(); }

    int ComNumber() const { return m_com; }
    const std::filesystem::path& LinkPath() const { return m_link; }
    const std::string& SlavePath() const { return m_slavePath; }

private:
    void Run();
    bool WriteAll(const std::uint8_t* data, std::size_t length, bool pen = false);
    using Clock = std::chrono::steady_clock;
    bool WaitFor(Clock::time_point until);
    // When `bytes` more have crossed a paced line that is free at lineFree.
    // `waiting`: the bytes were queued behind the previous ones, so they
    // follow them back to back even when this thread woke late.
    Clock::time_point LineTime(Clock::time_point& lineFree, std::size_t bytes, bool waiting);
    // Noise first, then the dropped bytes: both are the line's doing, after
    // the pad sent whole reports.
    void ApplyPenFault(std::vector<std::uint8_t>& bytes);
    bool Publish(const std::filesystem::path& folder, std::string* error);
    void Unpublish();
    void CloseLine();
    void CloseAll();

    engine::PadEngine& m_engine;
    SerialHostOptions m_options;
    int m_master = -1;
    int m_slave = -1;             // held open so the master sees no hang-up between clients
    std::atomic<int> m_wake{-1};  // eventfd: Stop and WakeUp
    std::string m_slavePath;
    std::filesystem::path m_link;
    // The flock'd lock file beside the link (see PortResolver.h).
    int m_lock = -1;
    std::filesystem::path m_lockPath;
    int m_com = 0;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_running{false};
    engine::PenLineNoise m_noise;    // host thread only; restarted by Start
    std::uint64_t m_penBytes = 0;    // host thread only
    std::uint64_t m_penWritten = 0;  // host thread only
    // Paced: when each direction of the line is free again (host thread only).
    Clock::time_point m_rxLineFree{};
    Clock::time_point m_txLineFree{};
    bool m_rxBacklog = false;  // more host bytes waited behind the last chunk read
};

}  // namespace vellumix::padsim::hosts
