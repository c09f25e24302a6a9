// Command payloads: class byte, 'F', command byte, arguments. Written from
// offset 0 of a buffer that BuildFrame then frames in place, so the caller's
// buffer needs room for the frame's header and trailer as well.
//
// Shared by the command channel and by discovery, which sends the probe,
// DrawText and a few drawing commands with its own buffer and time-outs.
// No range checks here: the channel checks its arguments before writing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace vellumix::padlink {

// A colour as the host holds it: 0x00BBGGRR. On the wire: red, green, blue.
using ColorRef = std::uint32_t;
constexpr ColorRef MakeColorRef(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    return ColorRef{r} | (ColorRef{g} << 8) | (ColorRef{b} << 16);
}

// Appends payload bytes to a buffer. Once an append does not fit, the writer
// stops writing and Length() reports 0, so a short buffer is refused rather
// than overrun.
class PayloadWriter {
public:
    explicit PayloadWriter(std::span<std::uint8_t> out) : m_out(out) {}

    PayloadWriter& Command(std::uint8_t commandClass, std::uint8_t command);
    // Single-byte arguments are the low 8 bits of the value (256 goes out as 0x00).
    PayloadWriter& Byte(int value);
    // 16-bit arguments: low byte first.
    PayloadWriter& Word(int value);
    PayloadWriter& Color(ColorRef color);
    PayloadWriter& Bytes(std::span<const std::uint8_t> bytes);

    // Payload length so far, or 0 when something did not fit.
    std::size_t Length() const { return m_overflow ? 0 : m_length; }

private:
    bool Reserve(std::size_t count);

    std::span<std::uint8_t> m_out;
    std::size_t m_length = 0;
    bool m_overflow = false;
};

// Each writes one command's payload into out and returns its length, 0 when
// out is too short (or, for DrawText, the text longer than its 16-bit count).
namespace payload {

std::size_t Probe(std::span<std::uint8_t> out);

std::size_t FillRectangle(std::span<std::uint8_t> out, int x, int y, int width, int height);
std::size_t DrawFrame(std::span<std::uint8_t> out, int x, int y, int width, int height);
std::size_t DrawLine(std::span<std::uint8_t> out, int x1, int y1, int x2, int y2);
std::size_t DrawText(std::span<std::uint8_t> out, int x, int y, std::string_view text);
std::size_t DrawCharacter(std::span<std::uint8_t> out, int x, int y, char ch);
std::size_t SetFillColor(std::span<std::uint8_t> out, ColorRef color);
std::size_t SetTextColor(std::span<std::uint8_t> out, ColorRef color);
std::size_t SetLineColor(std::span<std::uint8_t> out, ColorRef color);
std::size_t SetFont(std::span<std::uint8_t> out, int b1, int b2, int b3, int b4, int b5, int b6);
std::size_t SetTextMode(std::span<std::uint8_t> out, int mode);
std::size_t DisplayImage(std::span<std::uint8_t> out, std::span<const std::uint8_t> pixels);

// Commands without arguments: class, 'F', command.
std::size_t Bare(std::span<std::uint8_t> out, std::uint8_t commandClass, std::uint8_t command);
std::size_t SetCaptureArea(std::span<std::uint8_t> out, int x1, int y1, int x2, int y2, int b1,
                           int b2, int b3, int b4);
// The third StartCapture frame.
std::size_t StartCapture(std::span<std::uint8_t> out);
// command: one of the capture class's file commands.
std::size_t SendFile(std::span<std::uint8_t> out, std::uint8_t command,
                     std::span<const std::uint8_t> file);
std::size_t SetLeds(std::span<std::uint8_t> out, std::uint8_t flags);

}  // namespace payload

// The LED flags byte: f1..f6 select 0x40, 0x20, 0x10, 0x04, 0x02, 0x01.
std::uint8_t LedFlagsByte(bool f1, bool f2, bool f3, bool f4, bool f5, bool f6);

}  // namespace vellumix::padlink
