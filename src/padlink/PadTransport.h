// What the command channel needs of a link to the pad, whichever it is: a
// frame exchanged for its answer, pen data, the state of the line, and why
// the last open failed. SerialPort and HidPort implement it; each keeps its
// own Open, since a serial port is opened by name and the USB device by its
// ids, and discovery decides which one is opened and used.
//
// Thread safety: as the implementation's; the channel calls everything but
// WaitForPen under its lock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>

#include "padlink/LinkResult.h"

namespace vellumix::padlink {

class PadTransport {
public:
    virtual ~PadTransport() = default;

    // Writes the frame and reads the pad's answer into reply. The answer's
    // length, 0 for no answer, -1 when the link is down. timeoutMs is the
    // wait for each reply report on USB; the serial line's own read rule
    // governs there. A frame left without its answer (0, or a null reply)
    // owes it: the next Exchange waits up to kLateAnswerGrace for it before
    // writing, and it is never returned as another frame's answer.
    virtual int Exchange(const std::uint8_t* frame, std::size_t length, std::uint8_t* reply,
                         std::size_t replySize, int timeoutMs) = 0;
    // Pen data: what earlier answers set aside first, then the line's. Waits
    // up to waitMs when the transport waits inside its reads (see
    // WaitsOutsideReads). Bytes stored, 0 for none, -1 when the link is down.
    virtual int ReadPen(std::uint8_t* buffer, std::size_t size, int waitMs) = 0;
    // True when WaitForPen may wait for pen data without the channel's lock
    // (the serial line is polled, not read); false when the only way to wait
    // is a read, which must hold the lock because a command may close the
    // device meanwhile (USB).
    virtual bool WaitsOutsideReads() const = 0;
    // Waits up to waitMs for pen data without reading it; returns at once
    // when WaitsOutsideReads is false.
    virtual void WaitForPen(int /*waitMs*/) const {}
    // Looks for a failed line between commands (a hang-up, the device gone);
    // false when there is one or nothing is open.
    virtual bool CheckLine() = 0;
    virtual bool IsOpen() const = 0;
    virtual void Close() = 0;
    virtual OpenFailure LastOpenFailure() const = 0;
    // The reason for LastOpenFailure in the words for this kind of link,
    // naming the device, its owner or the program holding it where known.
    virtual std::string OpenFailureReason() const = 0;

    // Told, on the writing thread, how many bytes of the frame being written
    // have been handed to the line so far, and the frame's length: a frame
    // of 230 KB takes a minute at 38400 baud, and the user is shown how far
    // it got. Set and cleared under the channel's lock (WithLink), as
    // every write runs under it. Empty by default.
    using WriteProgress = std::function<void(std::size_t written, std::size_t frameLength)>;
    void SetWriteProgress(WriteProgress progress) { m_writeProgress = std::move(progress); }

protected:
    void ReportWriteProgress(std::size_t written, std::size_t frameLength) const {
        if (m_writeProgress) {
            m_writeProgress(written, frameLength);
        }
    }

private:
    WriteProgress m_writeProgress;
};

}  // namespace vellumix::padlink
