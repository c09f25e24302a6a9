// The line under SerialPort: one serial device opened with its settings, and
// bytes in and out of it without any framing. SerialPort keeps everything
// above (the read rules, the answers, the pen data set aside, the wait for
// an owed answer, the wire time); a line only moves bytes and waits. Each
// platform has one implementation in serial/ (PosixSerialLine for POSIX
// terminals), which MakeSystemSerialLine makes.
//
// Thread safety: one thread at a time (discovery, then the command channel's
// lock), except WaitForInput and Wake, which may run on any thread while
// another uses the line. A line lives as long as its port: it is opened and
// closed again and again, so a waiting thread never sees it go.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "padlink/LinkResult.h"
#include "padlink/SerialSettings.h"
#include "padlink/SystemRoots.h"

namespace vellumix::padlink {

// What one Receive or Send moved. Nothing moved and no failure means the
// time ran out, or another reader took the bytes first: only a hang-up of
// the other side or an I/O error fails the line.
struct LineTransfer {
    std::size_t bytes = 0;
    bool failed = false;
};

// An open line, or why there is none.
struct LineOpenResult {
    OpenFailure failure = OpenFailure::kNone;
    std::string reason;  // the failure in words naming the device; may be empty
};

class SerialLine {
public:
    using Clock = std::chrono::steady_clock;

    virtual ~SerialLine() = default;

    // Opens device for this program alone with settings: raw, no flow
    // control, DTR and RTS on, and whatever the device held before thrown
    // away. Only while closed. A second program, root's included, is refused
    // as busy.
    virtual LineOpenResult Open(const std::filesystem::path& device,
                                const SerialSettings& settings) = 0;
    // Lets the device go; nothing when closed.
    virtual void Close() = 0;

    // Waits up to `wait` for bytes, then reads what the line holds, at most
    // buffer.size(). Bytes that came before a hang-up are read first; the
    // hang-up fails the next call.
    virtual LineTransfer Receive(std::span<std::uint8_t> buffer, Clock::duration wait) = 0;
    // Hands the driver as much of bytes as it takes now; when it takes
    // none, waits up to waitForRoom for room and returns with 0 bytes.
    virtual LineTransfer Send(std::span<const std::uint8_t> bytes, Clock::duration waitForRoom) = 0;
    // Bytes handed to the driver and not yet on the line; nothing when the
    // driver cannot tell.
    virtual std::optional<std::size_t> QueuedOutput() = 0;
    // For a driver that cannot tell its queue: blocks until it is empty.
    // False when that fails.
    virtual bool WaitUntilSent() = 0;
    // A hang-up or an error on the idle line, looked for without reading;
    // false when closed.
    virtual bool HungUp() = 0;

    // Waits up to `wait` until bytes may be there: bytes on the line, a
    // hang-up, or a Wake. Without an open device only a Wake or the time
    // ends it. Safe from any thread.
    virtual void WaitForInput(std::chrono::milliseconds wait) const = 0;
    // Ends the WaitForInput in progress, or else the next one at once. Safe
    // from any thread.
    virtual void Wake() = 0;
};

// This platform's serial line. roots: where the reason for a refused open
// looks up who holds the device.
std::unique_ptr<SerialLine> MakeSystemSerialLine(const SystemRoots& roots);

}  // namespace vellumix::padlink
