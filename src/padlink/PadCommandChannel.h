// The one object through which every pad command goes: builds the command
// payload in its frame buffer, frames it and exchanges it with the pad.
//
// Results: every operation yields a CommandResult (LinkResult.h): what came
// of it (acknowledged, NAK, no answer, sent, refused, link down) and the
// boolean the pages use. Operations marked ACK are true only when the pad
// answered with 0x06 in reply byte 3; operations marked "sent" are true
// whenever the frame went out, whatever came back. A failed range check is
// "refused", false, and sends nothing. An answer that comes after its
// command's wait never counts for a later command: the transports keep it
// owed and the next command waits a short grace for it first (OwedAnswers.h).
//
// The channel talks to its own pad's link (PadLink.h): one channel per pad.
//
// Thread safety: command operations build their frame in the one frame buffer
// before taking the channel lock, so they are called from one thread at a
// time: the discovery thread until the pad has been announced (it draws the
// welcome screen), the GUI thread from then on, or the pages' worker for a
// long send or a pattern while the GUI thread sends nothing (the hand-over
// is a thread start and join). ReadPenData may run on another thread at the same
// time: the channel lock keeps a pen read and a command exchange off the transport together, and
// the pen read waits for data without holding it.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string_view>

#include "padlink/CommandPayloads.h"  // ColorRef
#include "padlink/LinkResult.h"
#include "padlink/PadLink.h"
#include "padlink/PadProtocol.h"

namespace vellumix::padlink {

class HidPort;
class SerialPort;

class PadCommandChannel {
public:
    // The link must outlive the channel.
    explicit PadCommandChannel(PadLink& link);
    virtual ~PadCommandChannel();
    PadCommandChannel(const PadCommandChannel&) = delete;
    PadCommandChannel& operator=(const PadCommandChannel&) = delete;

    // answerWait: the wait for each reply report on USB. The operations
    // that take one default to the wait the pages have always used; the
    // welcome screen gives its own longer ones.
    CommandResult FillRectangle(int x, int y, int width, int height,
                                std::chrono::milliseconds answerWait = kRectReplyTimeout);  // sent
    CommandResult DrawFrame(int x, int y, int width, int height);                           // ACK
    CommandResult DrawLine(int x1, int y1, int x2, int y2);                                 // ACK
    CommandResult DrawCharacter(int x, int y, char ch);                                     // ACK
    // Refused when the corner is off the LCD or the text is empty or longer
    // than DrawText's 16-bit count.
    CommandResult DrawText(int x, int y, std::string_view text);  // ACK
    CommandResult SetFillColor(ColorRef color,
                               std::chrono::milliseconds answerWait = kShortReplyTimeout);  // ACK
    CommandResult SetTextColor(ColorRef color,
                               std::chrono::milliseconds answerWait = kShortReplyTimeout);  // ACK
    CommandResult SetLineColor(ColorRef color);                                             // ACK
    CommandResult SetFont(int b1, int b2, int b3, int b4, int b5, int b6);                  // ACK
    CommandResult SetTextMode(int mode);                                                    // sent
    // pixels: red, green, blue per pixel, rows from the top; 230,400 bytes for
    // the whole screen.
    CommandResult DisplayImage(std::span<const std::uint8_t> pixels);  // ACK
    CommandResult StartCalibration();                                  // sent
    CommandResult SetCaptureArea(int x1, int y1, int x2, int y2, int b1, int b2, int b3,
                                 int b4);  // sent
    CommandResult StartCapture();          // sent (three frames)
    CommandResult ResumeCapture();         // sent
    CommandResult SuspendCapture();        // sent
    CommandResult ClearDisplay();          // sent
    CommandResult StopCapture();           // sent
    // File commands refuse more than kMaxFileBytes (69,990) without sending.
    CommandResult SendSigFile(std::span<const std::uint8_t> file);  // sent
    CommandResult SendCmpFile(std::span<const std::uint8_t> file);  // sent
    CommandResult SendVbcFile(std::span<const std::uint8_t> file);  // sent; .vbc and .nlc
    CommandResult SetLedFlags(bool f1, bool f2, bool f3, bool f4, bool f5, bool f6);  // sent
    CommandResult SetLedState(bool on);                                               // ACK

    // The probe 78 46 01 on a transport discovery is trying, before any is
    // chosen: no channel state is touched, so discovery may call these
    // without a channel. On USB each reply report is waited for up to
    // `wait`; a serial port gets the frame, then `replyPause`, then its
    // answer read. The reply's length, as the transport's read gives it.
    static int ProbeUsb(HidPort& hid, std::span<std::uint8_t> reply,
                        std::chrono::milliseconds wait);
    static int ProbeSerial(SerialPort& serial, std::span<std::uint8_t> reply,
                           std::chrono::milliseconds replyPause);

    // Sends nothing: hands out the pen data a command exchange set aside
    // first, then what the transport has, as soon as it has any: waits up
    // to waitMs for it without holding the channel lock (on USB the lock is
    // let go every kPenWaitSlice). Bytes stored; 0 when none came; -1 when
    // the link is down (the port failed or the device went away).
    // Safe to call from the pen reader thread while the GUI thread sends.
    int ReadPenData(std::span<std::uint8_t> buffer, int waitMs);

    // The link's state once a pad was found. A command or pen read that
    // finds the line failed (hang-up, I/O error, device gone) marks it down
    // and calls the handler once, on that thread. While down, commands are
    // "link down" and pen reads -1 at once, without touching a transport,
    // so a search for the pad may use them (WithLink) meanwhile.
    // Nothing is marked until a handler is set: before the pad was found
    // there is no link to lose.
    using LinkDownHandler = std::function<void()>;
    void SetLinkDownHandler(LinkDownHandler handler);
    bool LinkDown() const { return m_linkDown.load(); }
    // How many times the link was marked down. A pen reader that was not
    // reading meanwhile (stopped, or between reads) still learns that the
    // stream broke, even when the pad is back by then. Safe from any thread.
    std::uint64_t LinkLosses() const { return m_linkLosses.load(); }
    // Looks for a failed line between commands: a hang-up on serial, the
    // device gone on USB. Does nothing when the channel is busy (the user of
    // the link will notice). Safe from any thread.
    void CheckLink();
    // Marks the link down by hand (as a failed command would).
    void MarkLinkDown();
    // The pad answered again: commands go out again.
    void MarkLinkUp() { m_linkDown = false; }
    // Runs f with the link under the channel lock.
    void WithLink(const std::function<void(PadLink&)>& f);
    // The channel's link. Its kind and wire time may be asked from any
    // thread; its transports are used only inside WithLink once the channel
    // is in use.
    PadLink& Link() const { return m_link; }

private:
    // Frames the payload at the start of buffer and exchanges it under the
    // channel lock. A payload that could not be built or framed is refused.
    PadOutcome Transact(std::span<std::uint8_t> buffer, std::size_t payloadLength,
                        std::chrono::milliseconds timeout);
    // A payload writer's result sent as a "sent" command: true once it went out.
    CommandResult SendUnchecked(std::size_t payloadLength, std::chrono::milliseconds timeout);
    // A payload writer's result sent as an acknowledged command.
    CommandResult SendAcked(std::size_t payloadLength, std::chrono::milliseconds timeout);
    CommandResult SendFile(std::uint8_t command, std::span<const std::uint8_t> file);
    int ReadPenDataOnce(std::span<std::uint8_t> buffer, int waitMs);
    std::span<std::uint8_t> FrameBuffer() { return {m_frame.get(), kFrameBufferSize}; }

    PadLink& m_link;
    std::atomic<bool> m_linkDown{false};
    std::atomic<std::uint64_t> m_linkLosses{0};
    std::atomic<bool> m_watching{false};
    std::mutex m_handlerLock;
    LinkDownHandler m_onLinkDown;
    // Guards the transports: one command exchange or one pen read at a time.
    std::mutex m_lock;
    // kFrameBufferSize bytes, heap-held so the channel itself stays small; the
    // payload is written from offset 0 and framed in place.
    std::unique_ptr<std::uint8_t[]> m_frame;
    // kFileBufferSize bytes: the file commands' own frame buffer.
    std::unique_ptr<std::uint8_t[]> m_fileFrame;
};

}  // namespace vellumix::padlink
