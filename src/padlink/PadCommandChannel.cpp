#include "padlink/PadCommandChannel.h"

#include <algorithm>
#include <array>
#include <thread>

#include "padlink/Frame.h"
#include "padlink/HidPort.h"
#include "padlink/PadTransport.h"
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

constexpr CommandResult kRefused{PadOutcome::kRefused, false};

CommandResult AsSent(PadOutcome outcome) {
    return {outcome, outcome != PadOutcome::kRefused && outcome != PadOutcome::kLinkDown};
}

CommandResult AsAcked(PadOutcome outcome) {
    return {outcome, outcome == PadOutcome::kAcknowledged};
}

}  // namespace

PadCommandChannel::PadCommandChannel(PadLink& link)
    : m_link(link),
      m_frame(std::make_unique<std::uint8_t[]>(kFrameBufferSize)),
      m_fileFrame(std::make_unique<std::uint8_t[]>(kFileBufferSize)) {}

PadCommandChannel::~PadCommandChannel() = default;

PadOutcome PadCommandChannel::Transact(std::span<std::uint8_t> buffer, std::size_t payloadLength,
                                       std::chrono::milliseconds timeout) {
    const std::size_t frameLength = payloadLength == 0 ? 0 : BuildFrame(buffer, payloadLength);
    if (frameLength == 0) {
        return PadOutcome::kRefused;
    }
    if (m_linkDown) {
        return PadOutcome::kLinkDown;
    }
    std::array<std::uint8_t, kReplyCapacity> reply{};
    int count = 0;
    {
        std::lock_guard lock(m_lock);
        count = m_link.Transport().Exchange(buffer.data(), frameLength, reply.data(), reply.size(),
                                            Ms(timeout));
    }
    if (count < 0) {
        MarkLinkDown();
        return PadOutcome::kLinkDown;
    }
    if (count <= static_cast<int>(kAckOffset)) {
        return PadOutcome::kNoAnswer;
    }
    if (reply[kAckOffset] == kAck) {
        return PadOutcome::kAcknowledged;
    }
    return reply[kAckOffset] == kNak ? PadOutcome::kNotAcknowledged : PadOutcome::kSent;
}

CommandResult PadCommandChannel::SendUnchecked(std::size_t payloadLength,
                                               std::chrono::milliseconds timeout) {
    return AsSent(Transact(FrameBuffer(), payloadLength, timeout));
}

CommandResult PadCommandChannel::SendAcked(std::size_t payloadLength,
                                           std::chrono::milliseconds timeout) {
    return AsAcked(Transact(FrameBuffer(), payloadLength, timeout));
}

CommandResult PadCommandChannel::FillRectangle(int x, int y, int width, int height,
                                               std::chrono::milliseconds answerWait) {
    if (!RectangleOnLcd(x, y, width, height)) {
        return kRefused;
    }
    return SendUnchecked(payload::FillRectangle(FrameBuffer(), x, y, width, height), answerWait);
}

CommandResult PadCommandChannel::DrawFrame(int x, int y, int width, int height) {
    if (!RectangleOnLcd(x, y, width, height)) {
        return kRefused;
    }
    return SendAcked(payload::DrawFrame(FrameBuffer(), x, y, width, height), kShortReplyTimeout);
}

CommandResult PadCommandChannel::DrawLine(int x1, int y1, int x2, int y2) {
    if (!OnLcd(x1, y1) || !OnLcd(x2, y2)) {
        return kRefused;
    }
    return SendAcked(payload::DrawLine(FrameBuffer(), x1, y1, x2, y2), kShortReplyTimeout);
}

CommandResult PadCommandChannel::DrawCharacter(int x, int y, char ch) {
    // The character cell must fit on the LCD, so its corner stops 10 pixels
    // short of the right and bottom edges.
    if (x < 0 || x > kCharMaxX || y < 0 || y > kCharMaxY) {
        return kRefused;
    }
    return SendAcked(payload::DrawCharacter(FrameBuffer(), x, y, ch), kShortReplyTimeout);
}

CommandResult PadCommandChannel::DrawText(int x, int y, std::string_view text) {
    if (!OnLcd(x, y) || text.empty() || text.size() > kMaxTextBytes) {
        return kRefused;
    }
    return SendAcked(payload::DrawText(FrameBuffer(), x, y, text), kLongReplyTimeout);
}

CommandResult PadCommandChannel::SetFillColor(ColorRef color,
                                              std::chrono::milliseconds answerWait) {
    return SendAcked(payload::SetFillColor(FrameBuffer(), color), answerWait);
}

CommandResult PadCommandChannel::SetTextColor(ColorRef color,
                                              std::chrono::milliseconds answerWait) {
    return SendAcked(payload::SetTextColor(FrameBuffer(), color), answerWait);
}

CommandResult PadCommandChannel::SetLineColor(ColorRef color) {
    return SendAcked(payload::SetLineColor(FrameBuffer(), color), kShortReplyTimeout);
}

CommandResult PadCommandChannel::SetFont(int b1, int b2, int b3, int b4, int b5, int b6) {
    return SendAcked(payload::SetFont(FrameBuffer(), b1, b2, b3, b4, b5, b6), kShortReplyTimeout);
}

CommandResult PadCommandChannel::SetTextMode(int mode) {
    return SendUnchecked(payload::SetTextMode(FrameBuffer(), mode), kShortReplyTimeout);
}

CommandResult PadCommandChannel::DisplayImage(std::span<const std::uint8_t> pixels) {
    // More pixels than the frame buffer holds are refused by the payload
    // writer or by BuildFrame; nothing is sent then.
    return SendAcked(payload::DisplayImage(FrameBuffer(), pixels), kRectReplyTimeout);
}

CommandResult PadCommandChannel::StartCalibration() {
    return SendUnchecked(payload::Bare(FrameBuffer(), cls::kCapture, capturing::kStartCalibration),
                         kShortReplyTimeout);
}

CommandResult PadCommandChannel::SetCaptureArea(int x1, int y1, int x2, int y2, int b1, int b2,
                                                int b3, int b4) {
    return SendUnchecked(payload::SetCaptureArea(FrameBuffer(), x1, y1, x2, y2, b1, b2, b3, b4),
                         kShortReplyTimeout);
}

CommandResult PadCommandChannel::StartCapture() {
    // The pad inks the pen trace on its LCD in the line and text colours, so
    // both go to red before the capture command. No answer is examined.
    // The result is always true, as it has always been; the outcome is the
    // first of the three that was not acknowledged.
    constexpr ColorRef kRed = MakeColorRef(0xFF, 0x00, 0x00);
    PadOutcome outcome = PadOutcome::kAcknowledged;
    for (const CommandResult r :
         {SendUnchecked(payload::SetLineColor(FrameBuffer(), kRed), kShortReplyTimeout),
          SendUnchecked(payload::SetTextColor(FrameBuffer(), kRed), kShortReplyTimeout),
          SendUnchecked(payload::StartCapture(FrameBuffer()), kShortReplyTimeout)}) {
        if (outcome == PadOutcome::kAcknowledged) {
            outcome = r.outcome;
        }
    }
    return {outcome, true};
}

CommandResult PadCommandChannel::ResumeCapture() {
    return SendUnchecked(payload::Bare(FrameBuffer(), cls::kCapture, capturing::kResumeCapture),
                         kShortReplyTimeout);
}

CommandResult PadCommandChannel::SuspendCapture() {
    return SendUnchecked(payload::Bare(FrameBuffer(), cls::kCapture, capturing::kSuspendCapture),
                         kShortReplyTimeout);
}

CommandResult PadCommandChannel::ClearDisplay() {
    return SendUnchecked(payload::Bare(FrameBuffer(), cls::kCapture, capturing::kClearDisplay),
                         kLongReplyTimeout);
}

CommandResult PadCommandChannel::StopCapture() {
    return SendUnchecked(payload::Bare(FrameBuffer(), cls::kCapture, capturing::kStopCapture),
                         kShortReplyTimeout);
}

CommandResult PadCommandChannel::SendFile(std::uint8_t command,
                                          std::span<const std::uint8_t> file) {
    // A larger file would not fit the file buffer in its long frame form.
    if (file.size() > kMaxFileBytes) {
        return kRefused;
    }
    const std::span<std::uint8_t> buffer{m_fileFrame.get(), kFileBufferSize};
    return AsSent(Transact(buffer, payload::SendFile(buffer, command, file), kShortReplyTimeout));
}

CommandResult PadCommandChannel::SendSigFile(std::span<const std::uint8_t> file) {
    return SendFile(capturing::kSendSigFile, file);
}

CommandResult PadCommandChannel::SendCmpFile(std::span<const std::uint8_t> file) {
    return SendFile(capturing::kSendCmpFile, file);
}

CommandResult PadCommandChannel::SendVbcFile(std::span<const std::uint8_t> file) {
    return SendFile(capturing::kSendVbcFile, file);
}

CommandResult PadCommandChannel::SetLedFlags(bool f1, bool f2, bool f3, bool f4, bool f5, bool f6) {
    return SendUnchecked(payload::SetLeds(FrameBuffer(), LedFlagsByte(f1, f2, f3, f4, f5, f6)),
                         kShortReplyTimeout);
}

CommandResult PadCommandChannel::SetLedState(bool on) {
    return SendAcked(payload::SetLeds(FrameBuffer(), on ? led::kStateOn : led::kStateOff),
                     kShortReplyTimeout);
}

namespace {

// Room for the 3-byte probe payload and its framing; the probe is the
// shortest frame there is.
using ProbeFrame = std::array<std::uint8_t, 16>;

std::size_t MakeProbeFrame(ProbeFrame& frame) {
    return BuildFrame(frame, payload::Probe(frame));
}

}  // namespace

int PadCommandChannel::ProbeUsb(HidPort& hid, std::span<std::uint8_t> reply,
                                std::chrono::milliseconds wait) {
    ProbeFrame frame{};
    const std::size_t length = MakeProbeFrame(frame);
    return hid.Exchange(frame.data(), length, reply.data(), reply.size(), Ms(wait));
}

int PadCommandChannel::ProbeSerial(SerialPort& serial, std::span<std::uint8_t> reply,
                                   std::chrono::milliseconds replyPause) {
    ProbeFrame frame{};
    const std::size_t length = MakeProbeFrame(frame);
    serial.Write(frame.data(), length);
    std::this_thread::sleep_for(replyPause);
    return serial.ReadAnswer(reply.data(), reply.size());
}

void PadCommandChannel::SetLinkDownHandler(LinkDownHandler handler) {
    std::lock_guard lock(m_handlerLock);
    m_watching = static_cast<bool>(handler);
    m_onLinkDown = std::move(handler);
}

void PadCommandChannel::MarkLinkDown() {
    if (!m_watching || m_linkDown.exchange(true)) {
        return;
    }
    ++m_linkLosses;
    std::lock_guard lock(m_handlerLock);
    if (m_onLinkDown) {
        m_onLinkDown();
    }
}

void PadCommandChannel::CheckLink() {
    if (m_linkDown) {
        return;
    }
    bool failed = false;
    {
        std::unique_lock lock(m_lock, std::try_to_lock);
        if (!lock.owns_lock()) {
            return;
        }
        failed = !m_link.Transport().CheckLine();
    }
    if (failed) {
        MarkLinkDown();
    }
}

void PadCommandChannel::WithLink(const std::function<void(PadLink&)>& f) {
    std::lock_guard lock(m_lock);
    f(m_link);
}

int PadCommandChannel::ReadPenData(std::span<std::uint8_t> buffer, int waitMs) {
    const int n = ReadPenDataOnce(buffer, waitMs);
    if (n < 0 && !m_linkDown) {
        MarkLinkDown();
    }
    return n;
}

int PadCommandChannel::ReadPenDataOnce(std::span<std::uint8_t> buffer, int waitMs) {
    if (m_linkDown) {
        return -1;
    }
    if (buffer.empty()) {
        return 0;
    }
    PadTransport& transport = m_link.Transport();
    if (!transport.WaitsOutsideReads()) {
        // The device is read under the lock (a command may close it), so the
        // wait is cut into slices that let a command in between.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
        for (;;) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            const int slice = static_cast<int>(
                std::clamp<std::chrono::milliseconds::rep>(left.count(), 0, kPenWaitSlice.count()));
            std::lock_guard lock(m_lock);
            const int n = transport.ReadPen(buffer.data(), buffer.size(), slice);
            if (n != 0 || slice == 0) {
                return n;
            }
        }
    }
    {
        std::lock_guard lock(m_lock);
        const int n = transport.ReadPen(buffer.data(), buffer.size(), 0);
        if (n != 0) {
            return n;
        }
    }
    // A command meanwhile takes the line's bytes into its answer read; the
    // pen data it sets aside wakes this wait.
    transport.WaitForPen(waitMs);
    std::lock_guard lock(m_lock);
    return transport.ReadPen(buffer.data(), buffer.size(), 0);
}

}  // namespace vellumix::padlink
