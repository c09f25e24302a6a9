#include "padlink/PadCommandChannel.h"

#include <algorithm>
#include <array>

#include "padlink/Frame.h"
#include "padlink/HidPort.h"
#include "padlink/SerialPort.h"

namespace vellumix::padlink {

namespace {

bool OnLcd(std::int64_t x, std::int64_t y) {
    return x >= 0 && x <= kLcdMaxX && y >= 0 && y <= kLcdMaxY;
}

// Both corners must lie on the LCD. Checking only x >= 0 and x + width <= 319
// would let a negative width or an x beyond the screen through, and the pad
// would get a corner wrapped to a 16-bit value far off the LCD.
bool RectangleOnLcd(int x, int y, int width, int height) {
    return OnLcd(x, y) && OnLcd(std::int64_t{x} + width, std::int64_t{y} + height);
}

int Ms(std::chrono::milliseconds timeout) {
    return static_cast<int>(timeout.count());
}

}  // namespace

PadCommandChannel::PadCommandChannel(PadPorts ports)
    : m_ports(ports),
      m_frame(std::make_unique<std::uint8_t[]>(kFrameBufferSize)),
      m_fileFrame(std::make_unique<std::uint8_t[]>(kFileBufferSize)) {}

PadCommandChannel::~PadCommandChannel() = default;

PadCommandChannel::Reply PadCommandChannel::Transact(std::span<std::uint8_t> buffer,
                                                     std::size_t payloadLength,
                                                     std::chrono::milliseconds timeout) {
    Reply result;
    const std::size_t frameLength = payloadLength == 0 ? 0 : BuildFrame(buffer, payloadLength);
    if (frameLength == 0) {
        return result;
    }
    std::array<std::uint8_t, kReplyCapacity> reply{};
    {
        std::lock_guard lock(m_lock);
        result.count =
            Exchange(m_ports, buffer.data(), frameLength, reply.data(), reply.size(), Ms(timeout));
    }
    result.sent = true;
    result.acked = result.count > static_cast<int>(kAckOffset) && reply[kAckOffset] == kAck;
    return result;
}

bool PadCommandChannel::SendUnchecked(std::size_t payloadLength,
                                      std::chrono::milliseconds timeout) {
    return Transact(FrameBuffer(), payloadLength, timeout).sent;
}

bool PadCommandChannel::SendAcked(std::size_t payloadLength, std::chrono::milliseconds timeout) {
    return Transact(FrameBuffer(), payloadLength, timeout).acked;
}

bool PadCommandChannel::FillRectangle(int x, int y, int width, int height) {
    if (!RectangleOnLcd(x, y, width, height)) {
        return false;
    }
    return SendUnchecked(payload::FillRectangle(FrameBuffer(), x, y, width, height),
                         kRectReplyTimeout);
}

bool PadCommandChannel::DrawFrame(int x, int y, int width, int height) {
    if (!RectangleOnLcd(x, y, width, height)) {
        return false;
    }
    return SendAcked(payload::DrawFrame(FrameBuffer(), x, y, width, height), kShortReplyTimeout);
}

bool PadCommandChannel::DrawLine(int x1, int y1, int x2, int y2) {
    if (!OnLcd(x1, y1) || !OnLcd(x2, y2)) {
        return false;
    }
    return SendAcked(payload::DrawLine(FrameBuffer(), x1, y1, x2, y2), kShortReplyTimeout);
}

bool PadCommandChannel::DrawCharacter(int x, int y, char ch) {
    // The character cell must fit on the LCD, so its corner stops 10 pixels
    // short of the right and bottom edges.
    if (x < 0 || x > kCharMaxX || y < 0 || y > kCharMaxY) {
        return false;
    }
    return SendAcked(payload::DrawCharacter(FrameBuffer(), x, y, ch), kShortReplyTimeout);
}

bool PadCommandChannel::SetFillColor(ColorRef color) {
    return SendAcked(payload::SetFillColor(FrameBuffer(), color), kShortReplyTimeout);
}

bool PadCommandChannel::SetTextColor(ColorRef color) {
    return SendAcked(payload::SetTextColor(FrameBuffer(), color), kShortReplyTimeout);
}

bool PadCommandChannel::SetLineColor(ColorRef color) {
    return SendAcked(payload::SetLineColor(FrameBuffer(), color), kShortReplyTimeout);
}

bool PadCommandChannel::SetFont(int b1, int b2, int b3, int b4, int b5, int b6) {
    return SendAcked(payload::SetFont(FrameBuffer(), b1, b2, b3, b4, b5, b6), kShortReplyTimeout);
}

bool PadCommandChannel::SetTextMode(int mode) {
    return SendUnchecked(payload::SetTextMode(FrameBuffer(), mode), kShortReplyTimeout);
}

bool PadCommandChannel::DisplayImage(std::span<const std::uint8_t> pixels) {
    // More pixels than the frame buffer holds are refused by the payload
    // writer or by BuildFrame; nothing is sent then.
    return SendAcked(payload::DisplayImage(FrameBuffer(), pixels), kRectReplyTimeout);
}

bool PadCommandChannel::StartCalibration() {
    return SendUnchecked(payload::Bare(FrameBuffer(), cls::kCapture, capture::kStartCalibration),
                         kShortReplyTimeout);
}

bool PadCommandChannel::SetCaptureArea(int x1, int y1, int x2, int y2, int b1, int b2, int b3,
                                       int b4) {
    return SendUnchecked(payload::SetCaptureArea(FrameBuffer(), x1, y1, x2, y2, b1, b2, b3, b4),
                         kShortReplyTimeout);
}

bool PadCommandChannel::StartCapture() {
    // The pad inks the pen trace on its LCD in the line and text colours, so
    // both go to red before the capture command. No answer is examined.
    constexpr ColorRef kRed = MakeColorRef(0xFF, 0x00, 0x00);
    SendUnchecked(payload::SetLineColor(FrameBuffer(), kRed), kShortReplyTimeout);
    SendUnchecked(payload::SetTextColor(FrameBuffer(), kRed), kShortReplyTimeout);
    SendUnchecked(payload::StartCapture(FrameBuffer()), kShortReplyTimeout);
    return true;
}

bool PadCommandChannel::ResumeCapture() {
    return SendUnchecked(payload::Bare(FrameBuffer(), cls::kCapture, capture::kResumeCapture),
                         kShortReplyTimeout);
}

bool PadCommandChannel::SuspendCapture() {
    return SendUnchecked(payload::Bare(FrameBuffer(), cls::kCapture, capture::kSuspendCapture),
                         kShortReplyTimeout);
}

void PadCommandChannel::ClearDisplay() {
    SendUnchecked(payload::Bare(FrameBuffer(), cls::kCapture, capture::kClearDisplay),
                  kLongReplyTimeout);
}

bool PadCommandChannel::StopCapture() {
    return SendUnchecked(payload::Bare(FrameBuffer(), cls::kCapture, capture::kStopCapture),
                         kShortReplyTimeout);
}

bool PadCommandChannel::SendFile(std::uint8_t command, std::span<const std::uint8_t> file) {
    // A larger file would not fit the file buffer in its long frame form.
    if (file.size() > kMaxFileBytes) {
        return false;
    }
    const std::span<std::uint8_t> buffer{m_fileFrame.get(), kFileBufferSize};
    return Transact(buffer, payload::SendFile(buffer, command, file), kShortReplyTimeout).sent;
}

bool PadCommandChannel::SendSigFile(std::span<const std::uint8_t> file) {
    return SendFile(capture::kSendSigFile, file);
}

bool PadCommandChannel::SendCmpFile(std::span<const std::uint8_t> file) {
    return SendFile(capture::kSendCmpFile, file);
}

bool PadCommandChannel::SendVbcFile(std::span<const std::uint8_t> file) {
    return SendFile(capture::kSendVbcFile, file);
}

bool PadCommandChannel::SetLedFlags(bool f1, bool f2, bool f3, bool f4, bool f5, bool f6) {
    return SendUnchecked(payload::SetLeds(FrameBuffer(), LedFlagsByte(f1, f2, f3, f4, f5, f6)),
                         kShortReplyTimeout);
}

bool PadCommandChannel::SetLedState(bool on) {
    return SendAcked(payload::SetLeds(FrameBuffer(), on ? led::kStateOn : led::kStateOff),
                     kShortReplyTimeout);
}

int PadCommandChannel::ReadPenData(std::span<std::uint8_t> buffer, int waitMs) {
    if (buffer.empty()) {
        return 0;
    }
    std::lock_guard lock(m_lock);
    // The pen-stream reads hand out first the pen data that a command
    // exchange found waiting and set aside.
    if (g_usbConnected.load()) {
        return m_ports.hid.ReadPenStream(buffer.data(), buffer.size(), waitMs);
    }
    // The serial read is not bounded by waitMs: the port's 50 ms / 500 ms
    // read rule ends it.
    return m_ports.serial.ReadPenStream(buffer.data(), std::min(buffer.size(), kSerialPenReadSize));
}

}  // namespace vellumix::padlink
