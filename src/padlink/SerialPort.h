// The RS-232 link to the pad: 38400 baud, 8N1, DTR and RTS on, no flow
// control. Writes block until the bytes are on the line. Reads end when the
// buffer is full, 50 ms after the last byte, or 500 ms after they started;
// an answer read also ends as soon as it holds a whole, checked frame.
//
// Three kinds of read: Read takes bytes straight off the line; ReadAnswer
// takes a command's answer and sets aside everything around it; and
// ReadPenStream takes pen data without waiting, first what the answer reads
// set aside (see PendingInput.h), then what the line holds. WaitForInput
// waits for pen data without touching the port's state.
//
// One owner per pad: an open port holds its device for this program alone
// (on POSIX terminals its lock and the terminal's exclusive mode, see
// serial/PosixSerialLine.h), so a second program is refused as busy, root's
// included, before it can touch the line.
//
// Only a hang-up or an I/O error ends the line: a read that finds nothing
// while the other side is still there (another reader took the bytes) is
// nothing to read, not the end.
//
// The rules above live here and know no platform; the bytes move through
// this platform's SerialLine (SerialLine.h).
//
// Thread safety: none of its own, except WaitForInput, which may run on the
// pen reader's thread while another thread uses the port. Discovery uses it
// alone; afterwards every other call runs under the command channel's lock.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "padlink/LinkResult.h"
#include "padlink/OwedAnswers.h"
#include "padlink/PadTransport.h"
#include "padlink/PendingInput.h"
#include "padlink/PortResolver.h"
#include "padlink/SerialLine.h"
#include "padlink/SystemRoots.h"

namespace vellumix::padlink {

// How a port came to be opened: named by the user (or by the program's own
// settings), or reached by scanning COM0..COM9 for the pad. A scan leaves
// the console and UART-less ports alone (see ScanSkipFor).
enum class PortChoice { kNamed, kScanned };

class SerialPort : public PadTransport {
public:
    // portFolder: where the per-user links COM0..COM9 live (see PortResolver.h).
    // devicePrefixes: the system devices tried after the folder's link; tests
    // pass none so that they never open a real port. roots: where sysfs (the
    // console and the UARTs) and /proc (who holds a busy port) are read.
    explicit SerialPort(std::filesystem::path portFolder,
                        std::vector<std::string> devicePrefixes = SystemDevicePrefixes(),
                        SystemRoots roots = {});
    ~SerialPort() override;
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // portSpec: "COM3/baud=38400/parity=N/stop=1/data=8" or a device path in place
    // of the name. False when already open, malformed, the device fails, or
    // another program (or another open in this one) holds the device, root's
    // included; LastOpenFailure then says why. The device is held until
    // Close.
    bool Open(std::string_view portSpec, PortChoice choice = PortChoice::kNamed);
    OpenFailure LastOpenFailure() const override { return m_openFailure; }
    std::string OpenFailureReason() const override;
    // Closes the port; pen data set aside from it goes with it.
    void Close() override;
    bool IsOpen() const override;
    // Open, and no hang-up or I/O error seen since.
    bool IsLineUp() const { return m_bOpen && !m_bFailed; }
    // Looks for a hang-up or an error on the idle line without reading;
    // false (and the line failed) when there is one, or when closed.
    bool CheckLine() override;

    // Bytes written, 0 when the write fails. Returns once the bytes have been
    // transmitted (the driver's output queue is empty); a queue that stops
    // draining fails the write after kWriteStallLimit.
    int Write(const std::uint8_t* data, std::size_t length);
    // Bytes read, 0 when the time-out expired with nothing, -1 on failure
    // (a hang-up of the other side or an I/O error). Bytes that arrived
    // before a hang-up are returned first; the hang-up shows on the next
    // call, and every read after it fails until the port is closed.
    int Read(std::uint8_t* buffer, std::size_t size);
    // A command's answer: reads as Read does from waitFrom on (bytes that
    // come sooner do not end it before waitFrom + 50 ms), but ends as soon
    // as a whole, checked frame has arrived. That frame goes to the
    // front of `reply`; every other byte read goes to the pen stream, also
    // when no frame came. Returns the frame's length, 0 for no answer, -1
    // when the line failed without one.
    int ReadAnswer(std::uint8_t* reply, std::size_t size,
                   std::chrono::steady_clock::time_point waitFrom);
    int ReadAnswer(std::uint8_t* reply, std::size_t size) {
        return ReadAnswer(reply, size, std::chrono::steady_clock::now());
    }
    // Pen data, without waiting: the oldest bytes set aside, else what the
    // line holds now. Bytes stored, 0 when there are none, -1 when the line
    // has failed or the port is closed.
    int ReadPenStream(std::uint8_t* buffer, std::size_t size);
    // ReadPenStream at most kSerialPenReadSize bytes at a time; never waits
    // (WaitForPen does that without the channel's lock).
    int ReadPen(std::uint8_t* buffer, std::size_t size, int waitMs) override;
    bool WaitsOutsideReads() const override { return true; }
    void WaitForPen(int waitMs) const override { WaitForInput(waitMs); }
    // Waits up to waitMs until pen data may be there: bytes on the line, a
    // hang-up, or bytes set aside by an answer read meanwhile (which wakes
    // it at once). Safe while another thread holds the port.
    void WaitForInput(int waitMs) const;
    // When closed, opens the first of COM0..COM9 that exists and that a scan
    // may use (not the console, not a ttyS without a UART). Sets aside the
    // bytes already waiting on the line (pen data, not the reply), writes the
    // frame and reads its answer with ReadAnswer, whose wait starts once the
    // frame can have crossed a line kSlowLineAllowancePercent slower than the
    // port's baud rate (wire time x 1.1, then the 500 ms). The time-out
    // is accepted and not used: the port's fixed read rule governs. A frame
    // whose wait ends without an answer (or one sent with no reply buffer)
    // leaves it owed: the next exchange first waits up to kLateAnswerGrace
    // for it, and it is dropped wherever it turns up meanwhile (see
    // OwedAnswers.h). Returns the answer's length, 0 for no answer, -1 when
    // the line is down.
    int Exchange(const std::uint8_t* frame, std::size_t length, std::uint8_t* reply,
                 std::size_t replySize, int timeoutMs) override;

    // How long `bytes` take on the line at the open port's baud rate.
    std::chrono::steady_clock::duration WireTime(std::size_t bytes) const;

    // Bytes set aside and not yet read, and bytes dropped for want of room.
    std::size_t PendingBytes() const { return m_pending.Size(); }
    std::size_t DroppedPendingBytes() const { return m_pending.DroppedBytes(); }

    // The settings text of the open port ("baud=38400 parity=N stop=1 data=8").
    const std::string& Settings() const { return m_strSettings; }

private:
    // Moves the bytes the line holds right now into m_pending, without
    // waiting for more; owed answers among them are dropped.
    void SetAsideWaitingInput();
    // Bytes off the line to m_pending, through m_owed's filter while answers
    // are owed.
    void SetAsideFromLine(std::span<const std::uint8_t> bytes);
    // Bytes m_owed kept back, once nothing is owed any more.
    void ReleaseHeldBack();
    // Reads the line until every owed answer has come or been written off.
    void SettleOwedAnswers();
    // Cuts the pad's answer out of what an answer read holds: the first
    // whole frame moves to the front, the pen data before and after it goes
    // to m_pending. Returns the answer's length; nothing (and nothing moved)
    // when reply holds no whole frame.
    std::optional<std::size_t> IsolateAnswer(std::span<std::uint8_t> reply);
    // Waits until the driver has put every written byte on the line.
    bool DrainOutput();
    // Bytes set aside: wakes a WaitForInput in progress.
    void SetAside(std::span<const std::uint8_t> bytes);

    std::filesystem::path m_portFolder;
    std::vector<std::string> m_devicePrefixes;
    SystemRoots m_roots;
    // Made with the port and never replaced: WaitForInput reaches it without
    // the lock.
    const std::unique_ptr<SerialLine> m_line;
    int m_baud = 0;
    OpenFailure m_openFailure = OpenFailure::kNone;
    // The failure in words naming the device; empty for the plain text.
    std::string m_openFailureReason;
    bool m_bOpen = false;
    // The other side went away (or the device failed) during a read.
    bool m_bFailed = false;
    std::string m_strSettings;
    PendingInput m_pending;
    OwedAnswers m_owed;
};

}  // namespace vellumix::padlink
