// The RS-232 link to the pad: 38400 baud, 8N1, DTR and RTS on, no flow
// control. Reads end when the buffer is full, 50 ms after the last byte, or
// 500 ms after they started; writes block until the bytes are out.
//
// Two kinds of read: Read takes bytes straight off the line (a command's
// reply, the probe's answer); ReadPenStream takes pen data, first what
// Exchange set aside (bytes already waiting when a command went out, see
// PendingInput.h), then the line.
//
// Thread safety: none of its own. Discovery uses it alone; afterwards every
// call runs under the command channel's lock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "padlink/PendingInput.h"
#include "padlink/PortResolver.h"

namespace vellumix::padlink {

class SerialPort {
public:
    // portFolder: where the per-user links COM0..COM9 live (see PortResolver.h).
    // devicePrefixes: the system devices tried after the folder's link; tests
    // pass none so that they never open a real port.
    explicit SerialPort(std::filesystem::path portFolder,
                        std::vector<std::string> devicePrefixes = SystemDevicePrefixes());
    ~SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // portSpec: "COM3/baud=38400/parity=N/stop=1/data=8" or a device path in place
    // of the name. False when already open, malformed, or the device fails.
    bool Open(std::string_view portSpec);
    // Closes the port; pen data set aside from it goes with it.
    void Close();
    bool IsOpen() const;

    // Bytes written, 0 when the write fails.
    int Write(const std::uint8_t* data, std::size_t length);
    // Bytes read, 0 when the time-out expired with nothing, -1 on failure
    // (including a hang-up of the other side). Bytes that arrived before a
    // hang-up are returned first; the hang-up shows on the next call, and
    // every read after it fails until the port is closed.
    int Read(std::uint8_t* buffer, std::size_t size);
    // Pen data: when Exchange set bytes aside, returns the oldest of them at
    // once (as many as fit) without reading the line; otherwise as Read.
    int ReadPenStream(std::uint8_t* buffer, std::size_t size);
    // Opens the first of COM0..COM9 that exists when closed, sets aside the
    // bytes already waiting on the line (pen data, not the reply), writes the
    // frame and reads the reply. The time-out is accepted and not used: the
    // port's fixed read rule governs.
    int Exchange(const std::uint8_t* frame, std::size_t length, std::uint8_t* reply,
                 std::size_t replySize, int timeoutMs);

    // Bytes set aside and not yet read, and bytes dropped for want of room.
    std::size_t PendingBytes() const { return m_pending.Size(); }
    std::size_t DroppedPendingBytes() const { return m_pending.DroppedBytes(); }

    // The settings text of the open port ("baud=38400 parity=N stop=1 data=8").
    const std::string& Settings() const { return m_strSettings; }

private:
    // Moves the bytes the line holds right now into m_pending, without
    // waiting for more.
    void SetAsideWaitingInput();
    // Cuts the pad's answer out of what Exchange read: the first whole frame
    // moves to the front, the pen data before and after it goes to
    // m_pending. Returns the answer's length (all of reply when it holds no
    // whole frame).
    std::size_t IsolateAnswer(std::span<std::uint8_t> reply);

    std::filesystem::path m_portFolder;
    std::vector<std::string> m_devicePrefixes;
    int m_fd = -1;
    bool m_bOpen = false;
    // The other side went away (or the device failed) during a read.
    bool m_bFailed = false;
    std::string m_strSettings;
    PendingInput m_pending;
};

}  // namespace vellumix::padlink
