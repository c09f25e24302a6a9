// The serial line on POSIX terminals: termios for the settings, poll() for
// every wait, an eventfd to wake a waiting pen reader, and the device's lock
// (DeviceAccess.h) with the terminal's exclusive mode for one owner per pad.
//
// The descriptor is non-blocking for good: every wait happens in poll(), and
// opening a modem line must not hang waiting for carrier. A read() that
// returns 0 while the other side is still there (another reader took the
// bytes between poll and read) is nothing read, not the end.
//
// Thread safety: as SerialLine.h. WaitForInput reads the descriptor without
// a lock (it is atomic); a close meanwhile only ends that wait early.
#pragma once

#include <termios.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <optional>
#include <span>

#include "padlink/SerialLine.h"
#include "padlink/SerialSettings.h"
#include "padlink/SystemRoots.h"

namespace vellumix::padlink::serial {

class PosixSerialLine final : public SerialLine {
public:
    explicit PosixSerialLine(SystemRoots roots);
    ~PosixSerialLine() override;
    PosixSerialLine(const PosixSerialLine&) = delete;
    PosixSerialLine& operator=(const PosixSerialLine&) = delete;

    // Also flushes both directions, and raises DTR and RTS where the device
    // has modem lines (a pseudo-terminal has none and still opens).
    LineOpenResult Open(const std::filesystem::path& device,
                        const SerialSettings& settings) override;
    void Close() override;
    LineTransfer Receive(std::span<std::uint8_t> buffer, Clock::duration wait) override;
    LineTransfer Send(std::span<const std::uint8_t> bytes, Clock::duration waitForRoom) override;
    // TIOCOUTQ.
    std::optional<std::size_t> QueuedOutput() override;
    // tcdrain().
    bool WaitUntilSent() override;
    bool HungUp() override;
    void WaitForInput(std::chrono::milliseconds wait) const override;
    void Wake() override;

private:
    SystemRoots m_roots;
    // Read without a lock by WaitForInput.
    std::atomic<int> m_fd{-1};
    // What WaitForInput also watches; lives as long as the line.
    int m_wakeFd = -1;
};

// Raw mode, receiver on, modem status lines ignored, no hardware or software
// flow control, reads never block in the driver (the line polls), plus the
// rate, parity, data and stop bits of settings.
void ApplySerialSettings(const SerialSettings& settings, termios& tio);

}  // namespace vellumix::padlink::serial
