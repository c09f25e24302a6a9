// The one object through which every pad command goes: builds the command
// payload in its frame buffer, frames it and exchanges it with the pad.
//
// Results: operations marked ACK return true only when the pad answered with
// 0x06 in reply byte 3; operations marked "sent" return true whenever the
// frame went out, whatever came back. A failed range check returns false and
// sends nothing.
//
// Thread safety: command operations build their frame in the one frame buffer
// before taking the channel lock, so they are called from one thread only (the
// GUI thread). ReadPenData may run on another thread at the same time: the
// channel lock keeps a pen read and a command exchange off the transport
// together.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string_view>

#include "padlink/CommandPayloads.h"  // ColorRef
#include "padlink/PadLink.h"
#include "padlink/PadProtocol.h"

namespace vellumix::padlink {

class PadCommandChannel {
public:
    explicit PadCommandChannel(PadPorts ports);
    virtual ~PadCommandChannel();
    PadCommandChannel(const PadCommandChannel&) = delete;
    PadCommandChannel& operator=(const PadCommandChannel&) = delete;

    bool FillRectangle(int x, int y, int width, int height);       // sent
    bool DrawFrame(int x, int y, int width, int height);           // ACK
    bool DrawLine(int x1, int y1, int x2, int y2);                 // ACK
    bool DrawCharacter(int x, int y, char ch);                     // ACK
    bool SetFillColor(ColorRef color);                             // ACK
    bool SetTextColor(ColorRef color);                             // ACK
    bool SetLineColor(ColorRef color);                             // ACK
    bool SetFont(int b1, int b2, int b3, int b4, int b5, int b6);  // ACK
    bool SetTextMode(int mode);                                    // sent
    // pixels: red, green, blue per pixel, rows from the top; 230,400 bytes for
    // the whole screen.
    bool DisplayImage(std::span<const std::uint8_t> pixels);                              // ACK
    bool StartCalibration();                                                              // sent
    bool SetCaptureArea(int x1, int y1, int x2, int y2, int b1, int b2, int b3, int b4);  // sent
    bool StartCapture();    // sent (three frames)
    bool ResumeCapture();   // sent
    bool SuspendCapture();  // sent
    void ClearDisplay();    // nothing returned
    bool StopCapture();     // sent
    // File commands refuse more than kMaxFileBytes (69,990) without sending.
    bool SendSigFile(std::span<const std::uint8_t> file);                    // sent
    bool SendCmpFile(std::span<const std::uint8_t> file);                    // sent
    bool SendVbcFile(std::span<const std::uint8_t> file);                    // sent; .vbc and .nlc
    bool SetLedFlags(bool f1, bool f2, bool f3, bool f4, bool f5, bool f6);  // sent
    bool SetLedState(bool on);                                               // ACK

    // Sends nothing: hands out the pen data a command exchange set aside
    // first, then reads the transport. On USB waits up to waitMs for each
    // input report; on serial reads at most kSerialPenReadSize (128) bytes
    // and the port's fixed read rule governs. Bytes stored; 0 or less means
    // none.
    // Safe to call from the pen reader thread while the GUI thread sends.
    int ReadPenData(std::span<std::uint8_t> buffer, int waitMs);

private:
    struct Reply {
        bool sent = false;   // false only when the frame could not be built
        int count = 0;       // what Exchange returned; 0 or less: nothing usable
        bool acked = false;  // at least 4 bytes and 0x06 in byte 3
    };

    // Frames the payload at the start of buffer and exchanges it under the
    // channel lock.
    Reply Transact(std::span<std::uint8_t> buffer, std::size_t payloadLength,
                   std::chrono::milliseconds timeout);
    // A payload writer's result sent as a "sent" command: true once it went out.
    bool SendUnchecked(std::size_t payloadLength, std::chrono::milliseconds timeout);
    // A payload writer's result sent as an acknowledged command.
    bool SendAcked(std::size_t payloadLength, std::chrono::milliseconds timeout);
    bool SendFile(std::uint8_t command, std::span<const std::uint8_t> file);
    std::span<std::uint8_t> FrameBuffer() { return {m_frame.get(), kFrameBufferSize}; }

    PadPorts m_ports;
    // Guards the transports: one command exchange or one pen read at a time.
    std::mutex m_lock;
    // kFrameBufferSize bytes, heap-held so the channel itself stays small; the
    // payload is written from offset 0 and framed in place.
    std::unique_ptr<std::uint8_t[]> m_frame;
    // kFileBufferSize bytes: the file commands' own frame buffer.
    std::unique_ptr<std::uint8_t[]> m_fileFrame;
};

}  // namespace vellumix::padlink
