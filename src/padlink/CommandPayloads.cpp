#include "padlink/CommandPayloads.h"

#include <cstring>

#include "padlink/PadProtocol.h"

namespace vellumix::padlink {

bool PayloadWriter::Reserve(std::size_t count) {
    if (m_overflow || count > m_out.size() - m_length) {
        m_overflow = true;
        return false;
    }
    return true;
}

PayloadWriter& PayloadWriter::Command(std::uint8_t commandClass, std::uint8_t command) {
    if (Reserve(3)) {
        m_out[m_length++] = commandClass;
        m_out[m_length++] = kCommandMarker;
        m_out[m_length++] = command;
    }
    return *this;
}

PayloadWriter& PayloadWriter::Byte(int value) {
    if (Reserve(1)) {
        m_out[m_length++] = static_cast<std::uint8_t>(value & 0xFF);
    }
    return *this;
}

PayloadWriter& PayloadWriter::Word(int value) {
    if (Reserve(2)) {
        m_out[m_length++] = static_cast<std::uint8_t>(value & 0xFF);
        m_out[m_length++] = static_cast<std::uint8_t>((value >> 8) & 0xFF);
    }
    return *this;
}

PayloadWriter& PayloadWriter::Color(ColorRef color) {
    // 0x00BBGGRR: red is the low byte, so the wire order is the byte order.
    if (Reserve(3)) {
        m_out[m_length++] = static_cast<std::uint8_t>(color & 0xFF);
        m_out[m_length++] = static_cast<std::uint8_t>((color >> 8) & 0xFF);
        m_out[m_length++] = static_cast<std::uint8_t>((color >> 16) & 0xFF);
    }
    return *this;
}

PayloadWriter& PayloadWriter::Bytes(std::span<const std::uint8_t> bytes) {
    if (Reserve(bytes.size()) && !bytes.empty()) {
        std::memcpy(m_out.data() + m_length, bytes.data(), bytes.size());
        m_length += bytes.size();
    }
    return *this;
}

namespace payload {

namespace {

// FillRectangle and DrawFrame send two corners, not a size.
std::size_t Rectangle(std::span<std::uint8_t> out, std::uint8_t command, int x, int y, int width,
                      int height) {
    // Summed wide so that unchecked arguments wrap instead of overflowing.
    const auto x2 = static_cast<int>(std::int64_t{x} + width);
    const auto y2 = static_cast<int>(std::int64_t{y} + height);
    return PayloadWriter(out)
        .Command(cls::kDraw, command)
        .Word(x)
        .Word(y)
        .Word(x2)
        .Word(y2)
        .Length();
}

std::size_t ColorCommand(std::span<std::uint8_t> out, std::uint8_t command, ColorRef color) {
    return PayloadWriter(out).Command(cls::kDraw, command).Color(color).Length();
}

}  // namespace

std::size_t Probe(std::span<std::uint8_t> out) {
    return Bare(out, cls::kProbe, probe::kProbe);
}

std::size_t FillRectangle(std::span<std::uint8_t> out, int x, int y, int width, int height) {
    return Rectangle(out, draw::kFillRectangle, x, y, width, height);
}

std::size_t DrawFrame(std::span<std::uint8_t> out, int x, int y, int width, int height) {
    return Rectangle(out, draw::kDrawFrame, x, y, width, height);
}

std::size_t DrawLine(std::span<std::uint8_t> out, int x1, int y1, int x2, int y2) {
    return PayloadWriter(out)
        .Command(cls::kDraw, draw::kDrawLine)
        .Word(x1)
        .Word(y1)
        .Word(x2)
        .Word(y2)
        .Length();
}

std::size_t DrawText(std::span<std::uint8_t> out, int x, int y, std::string_view text) {
    // The count is a 16-bit field; a longer text would go out with a count
    // that disagrees with the bytes that follow.
    if (text.size() > kMaxTextBytes) {
        return 0;
    }
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    return PayloadWriter(out)
        .Command(cls::kDraw, draw::kDrawText)
        .Word(x)
        .Word(y)
        .Word(static_cast<int>(text.size()))
        .Bytes({bytes, text.size()})
        .Length();
}

std::size_t DrawCharacter(std::span<std::uint8_t> out, int x, int y, char ch) {
    return DrawText(out, x, y, std::string_view(&ch, 1));
}

std::size_t SetFillColor(std::span<std::uint8_t> out, ColorRef color) {
    return ColorCommand(out, draw::kSetFillColor, color);
}

std::size_t SetTextColor(std::span<std::uint8_t> out, ColorRef color) {
    return ColorCommand(out, draw::kSetTextColor, color);
}

std::size_t SetLineColor(std::span<std::uint8_t> out, ColorRef color) {
    return PayloadWriter(out)
        .Command(cls::kDraw, draw::kSetLineColor)
        .Bytes(kLineColorPrefix)
        .Color(color)
        .Length();
}

std::size_t SetFont(std::span<std::uint8_t> out, int b1, int b2, int b3, int b4, int b5, int b6) {
    return PayloadWriter(out)
        .Command(cls::kDraw, draw::kSetFont)
        .Byte(b1)
        .Byte(b2)
        .Byte(b3)
        .Byte(b4)
        .Byte(b5)
        .Byte(b6)
        .Length();
}

std::size_t SetTextMode(std::span<std::uint8_t> out, int mode) {
    return PayloadWriter(out).Command(cls::kDraw, draw::kSetTextMode).Byte(mode).Length();
}

std::size_t DisplayImage(std::span<std::uint8_t> out, std::span<const std::uint8_t> pixels) {
    // The image always covers the whole screen.
    return PayloadWriter(out)
        .Command(cls::kDraw, draw::kDisplayImage)
        .Word(0)
        .Word(0)
        .Word(kLcdMaxX)
        .Word(kLcdMaxY)
        .Bytes(pixels)
        .Length();
}

std::size_t Bare(std::span<std::uint8_t> out, std::uint8_t commandClass, std::uint8_t command) {
    return PayloadWriter(out).Command(commandClass, command).Length();
}

std::size_t SetCaptureArea(std::span<std::uint8_t> out, int x1, int y1, int x2, int y2, int b1,
                           int b2, int b3, int b4) {
    return PayloadWriter(out)
        .Command(cls::kCapture, capturing::kSetCaptureArea)
        .Word(x1)
        .Word(y1)
        .Word(x2)
        .Word(y2)
        .Byte(b1)
        .Byte(b2)
        .Byte(b3)
        .Byte(b4)
        .Length();
}

std::size_t StartCapture(std::span<std::uint8_t> out) {
    return PayloadWriter(out)
        .Command(cls::kCapture, capturing::kStartCapture)
        .Bytes(kStartCaptureArgs)
        .Length();
}

std::size_t SendFile(std::span<std::uint8_t> out, std::uint8_t command,
                     std::span<const std::uint8_t> file) {
    return PayloadWriter(out).Command(cls::kCapture, command).Bytes(file).Length();
}

std::size_t SetLeds(std::span<std::uint8_t> out, std::uint8_t flags) {
    return PayloadWriter(out).Command(cls::kLed, led::kSetLeds).Byte(flags).Length();
}

}  // namespace payload

std::uint8_t LedFlagsByte(bool f1, bool f2, bool f3, bool f4, bool f5, bool f6) {
    const bool flags[] = {f1, f2, f3, f4, f5, f6};
    std::uint8_t byte = 0;
    for (std::size_t i = 0; i < std::size(flags); ++i) {
        if (flags[i]) {
            byte |= led::kFlagBits[i];
        }
    }
    return byte;
}

}  // namespace vellumix::padlink
