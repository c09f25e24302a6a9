// Bytes and times of the pad's wire protocol. Every class byte, command byte,
// reply time-out and buffer size used by the host and by the virtual pad is
// named here once.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

namespace vellumix::padlink {

// Frame: STX, 16- or 24-bit little-endian payload length, payload, XOR of the
// payload, 8-bit sum of the payload, ETX.
inline constexpr std::uint8_t kStx = 0x02;
inline constexpr std::uint8_t kEtx = 0x03;
// Payloads of this length and longer carry a third length byte. The receiver
// cannot tell the two forms apart from the length bytes alone.
inline constexpr std::size_t kLongLengthThreshold = 0x8000;
inline constexpr std::size_t kShortFrameOverhead = 6;  // STX, 2 length, XOR, sum, ETX
inline constexpr std::size_t kLongFrameOverhead = 7;   // STX, 3 length, XOR, sum, ETX
inline constexpr std::size_t kShortHeaderLength = 3;   // STX, 2 length
inline constexpr std::size_t kLongHeaderLength = 4;    // STX, 3 length
// The length field's 24 bits bound the payload.
inline constexpr std::size_t kMaxFramePayload = 0xFF'FFFF;

// The pad acknowledges with 0x06 in the first payload byte, byte 3 of its reply.
inline constexpr std::uint8_t kAck = 0x06;
inline constexpr std::size_t kAckOffset = 3;
// What the pad sends back for every command it accepts: a one-byte payload 0x06.
inline constexpr std::uint8_t kAckFrame[] = {0x02, 0x01, 0x00, 0x06, 0x06, 0x06, 0x03};
// A refusal has the same shape with 0x15 in place of 0x06.
inline constexpr std::uint8_t kNak = 0x15;
inline constexpr std::uint8_t kNakFrame[] = {0x02, 0x01, 0x00, 0x15, 0x15, 0x15, 0x03};

// Payload byte 1 of every command.
inline constexpr std::uint8_t kCommandMarker = 0x46;  // 'F'

// Class bytes (payload byte 0).
namespace cls {
inline constexpr std::uint8_t kDraw = 0x8A;     // drawing on the LCD
inline constexpr std::uint8_t kCapture = 0x7A;  // capture, calibration, clearing, files
inline constexpr std::uint8_t kLed = 0x76;      // the two LEDs
inline constexpr std::uint8_t kProbe = 0x78;    // discovery's "are you there"
}  // namespace cls

// Command bytes (payload byte 2) of class kDraw.
namespace draw {
inline constexpr std::uint8_t kSetLineColor = 0x10;
inline constexpr std::uint8_t kDrawLine = 0x11;
inline constexpr std::uint8_t kDrawFrame = 0x12;
inline constexpr std::uint8_t kSetFillColor = 0x20;
inline constexpr std::uint8_t kFillRectangle = 0x22;
inline constexpr std::uint8_t kSetFont = 0x40;
inline constexpr std::uint8_t kSetTextColor = 0x41;
inline constexpr std::uint8_t kSetTextMode = 0x43;
inline constexpr std::uint8_t kDrawText = 0x4F;  // DrawCharacter is DrawText with count 1
inline constexpr std::uint8_t kDisplayImage = 0x61;
}  // namespace draw

// Command bytes of class kCapture.
namespace capturing {
inline constexpr std::uint8_t kStartCalibration = 0x01;
inline constexpr std::uint8_t kSetCaptureArea = 0x03;
inline constexpr std::uint8_t kStartCapture = 0x10;  // third frame of StartCapture
inline constexpr std::uint8_t kResumeCapture = 0x11;
inline constexpr std::uint8_t kSuspendCapture = 0x12;
inline constexpr std::uint8_t kClearDisplay = 0x19;
inline constexpr std::uint8_t kStopCapture = 0x1F;
inline constexpr std::uint8_t kSendSigFile = 0x30;
inline constexpr std::uint8_t kSendCmpFile = 0x31;
inline constexpr std::uint8_t kSendVbcFile = 0x32;  // .vbc and .nlc
}  // namespace capturing

// Command byte of class kLed.
namespace led {
inline constexpr std::uint8_t kSetLeds = 0x01;
// Flag bits of SetLedFlags, in argument order f1..f6. 0x08 and 0x80 are never set.
inline constexpr std::uint8_t kFlagBits[6] = {0x40, 0x20, 0x10, 0x04, 0x02, 0x01};
inline constexpr std::uint8_t kStateOn = 0x04;
inline constexpr std::uint8_t kStateOff = 0x05;
}  // namespace led

// Command byte of class kProbe.
namespace probe {
inline constexpr std::uint8_t kProbe = 0x01;
}  // namespace probe

// Payload of the third StartCapture frame, after class, 'F' and command:
// 04 7A 00 00 00 FF FF FF.
inline constexpr std::uint8_t kStartCaptureArgs[] = {0x04, 0x7A, 0x00, 0x00,
                                                     0x00, 0xFF, 0xFF, 0xFF};
// SetLineColor's constant bytes before the colour.
inline constexpr std::uint8_t kLineColorPrefix[] = {0x01, 0x00, 0x00, 0x00};

// The LCD.
inline constexpr int kLcdWidth = 320;
inline constexpr int kLcdHeight = 240;
inline constexpr int kLcdMaxX = kLcdWidth - 1;
inline constexpr int kLcdMaxY = kLcdHeight - 1;
inline constexpr std::size_t kImageBytes = std::size_t{kLcdWidth} * kLcdHeight * 3;  // 230,400
// SetTextMode 1: characters are drawn without filling their cells first, so
// text lands on whatever is already on the LCD.
inline constexpr int kTextModeNoBackground = 1;
// DrawText's count is a 16-bit field.
inline constexpr std::size_t kMaxTextBytes = 0xFFFF;
// A character cell must fit: DrawCharacter accepts x up to 309 and y up to 229.
inline constexpr int kCharMaxX = 309;
inline constexpr int kCharMaxY = 229;

// Reply time-outs the host passes with each command. On serial they are
// accepted and not used: the port's fixed 50 ms / 500 ms read rule governs.
inline constexpr std::chrono::milliseconds kShortReplyTimeout{50};
inline constexpr std::chrono::milliseconds kRectReplyTimeout{100};  // rectangles and images
inline constexpr std::chrono::milliseconds kLongReplyTimeout{500};  // ClearDisplay, DrawText
// An answer that has not come by the end of its command's wait is still owed
// for this long (see OwedAnswers.h): the next command waits up to this long
// for it before going out, so the late answer cannot be taken for its own.
// Covers a pad answering up to half a second past the serial line's wait
// and the short USB waits alike; a pad that never answers costs the next
// command no more than this.
inline constexpr std::chrono::milliseconds kLateAnswerGrace{500};
// The pad's answers carry a one-byte payload; a late one is looked for among
// frames of at most this many payload bytes, so a false STX in pen data
// holds back no more than that many bytes and the framing.
inline constexpr std::size_t kMaxLateAnswerPayload = 16;
// Leaving capture for good is StopCapture, this pause, ClearDisplay, this
// pause: the pad takes that long to finish each before it takes the next
// command.
inline constexpr std::chrono::milliseconds kLeaveCapturePause{200};
// The pen reader's wait for pen data in one read.
inline constexpr std::chrono::milliseconds kPenReadWait{64};
// On USB a pen read waits for input reports in slices this long, letting go
// of the channel between them, so a command never waits longer for it.
inline constexpr std::chrono::milliseconds kPenWaitSlice{2};

// Buffers.
inline constexpr std::size_t kReplyCapacity = 512;
inline constexpr std::size_t kFrameBufferSize = 300'000;  // holds the 230,418-byte image frame
inline constexpr std::size_t kFileBufferSize = 70'000;
// A file frame is the file plus 3 command bytes plus the 7 framing bytes of
// the long form: 69,990 + 10 fills the 70,000-byte buffer exactly.
inline constexpr std::size_t kMaxFileBytes = kFileBufferSize - 10;  // 69,990
// A serial pen read takes at most this many bytes at once.
inline constexpr std::size_t kSerialPenReadSize = 128;
// Pen data a transport sets aside when a command goes out while the pad
// streams: 17 s of the serial line running flat out (3,840 bytes/s), far
// more than can pile up between two pen reads.
inline constexpr std::size_t kPendingInputCapacity = 64 * 1024;

// The serial line: 38400 baud, 8 data bits, no parity, 1 stop bit, no flow
// control. A serial read ends when its buffer is full, this long after the
// last byte (the pad sends a reply in one burst, so a gap means it is done),
// or this long after it started, whichever comes first; an answer read also
// ends as soon as it holds a whole, checked frame.
inline constexpr int kSerialBaud = 38400;
inline constexpr std::chrono::milliseconds kSerialInterByteTimeout{50};
inline constexpr std::chrono::milliseconds kSerialTotalReadTimeout{500};
// A command's answer read starts once the frame can have crossed the line,
// counted this many percent slower than the port's baud rate: a pad with its
// own clock (a few percent off), a bridge or a busy pad takes a 60 s image
// seconds longer than the host's clock says, which the 500 ms alone cannot
// cover. An answer that comes sooner still ends the read at once.
inline constexpr int kSlowLineAllowancePercent = 10;

// USB HID reports, both directions: byte 0 the report id (the pad uses none,
// so always 0x00), byte 1 the chunk byte, then up to 63 frame bytes. The chunk
// byte's bit 0x80 says another report of the same frame follows; bits 0-6
// count the frame bytes in this report.
namespace hidreport {
inline constexpr std::uint8_t kReportId = 0x00;
inline constexpr std::size_t kReportLength = 65;  // report id + 64 bytes
// The host builds and reads reports in buffers of this size; a device whose
// reports are longer is not supported.
inline constexpr std::size_t kReportBufferSize = 68;
inline constexpr std::size_t kChunkOffset = 1;
inline constexpr std::size_t kDataOffset = 2;
inline constexpr std::size_t kReportDataBytes = kReportLength - kDataOffset;  // 63
// What HidPort::ReadReport hands out: the chunk byte and the 63 data bytes.
inline constexpr std::size_t kChunkAndData = kReportLength - kChunkOffset;  // 64
inline constexpr std::uint8_t kChunkMore = 0x80;
inline constexpr std::uint8_t kChunkCountMask = 0x7F;
inline constexpr std::uint8_t kChunkFull = kChunkMore | kReportDataBytes;  // 0xBF
// A report still pending after this long fails the whole frame.
inline constexpr std::chrono::milliseconds kWriteTimeout{100};
}  // namespace hidreport

}  // namespace vellumix::padlink
