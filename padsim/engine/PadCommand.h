// Turns a frame payload into a typed pad command, and a command into the
// one-line trace text the virtual pad shows ("FillRectangle x=0 y=0 x2=319
// y2=239"). Does no I/O and keeps no state.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace vellumix::padsim::engine {

enum class CommandKind {
    kSetLineColor,
    kDrawLine,
    kDrawFrame,
    kSetFillColor,
    kFillRectangle,
    kSetFont,
    kSetTextColor,
    kSetTextMode,
    kDrawText,
    kDisplayImage,
    kStartCalibration,
    kSetCaptureArea,
    kStartCapture,
    kResumeCapture,
    kSuspendCapture,
    kClearDisplay,
    kStopCapture,
    kSendSigFile,
    kSendCmpFile,
    kSendVbcFile,
    kSetLedFlags,
    kProbe,
};

struct Rgb {
    std::uint8_t r = 0;
    std::uint8_t g = 0;
    std::uint8_t b = 0;
    friend constexpr bool operator==(Rgb, Rgb) = default;
};

// Arguments of every kind in one record; each kind fills the fields its
// payload carries and leaves the rest at their defaults.
struct PadCommand {
    CommandKind kind = CommandKind::kProbe;
    // Corners of rectangles, frames, lines, images and the capture area; the
    // first corner is also the position of DrawText.
    int x1 = 0;
    int y1 = 0;
    int x2 = 0;
    int y2 = 0;
    Rgb color;
    // SetFont's six bytes, SetCaptureArea's four trailing bytes (first four).
    std::array<std::uint8_t, 6> bytes{};
    // SetTextMode's mode, SetLedFlags' flags byte.
    std::uint8_t value = 0;
    // DrawText's characters, DisplayImage's pixels, a file command's file.
    // A view into the payload: valid only while the payload lives.
    std::span<const std::uint8_t> data;
};

// The command of a payload, or nothing when the payload is not one this pad
// knows: wrong marker, unknown class or command byte, or arguments of the
// wrong length. A reason is stored in *error when given.
std::optional<PadCommand> DecodeCommand(std::span<const std::uint8_t> payload,
                                        std::string* error = nullptr);

// The command's name as the fault injection and the trace know it:
// "FillRectangle", "DrawText", "SetLedFlags", "Probe" and so on. DrawText
// with one character is reported as "DrawCharacter".
std::string_view CommandName(const PadCommand& command);

// "FillRectangle x=0 y=0 x2=319 y2=239", "SetFillColor r=255 g=255 b=255",
// "DrawText x=105 y=30 count=7 text=\"NORVALE\"", "SendSigFile bytes=56".
std::string TraceText(const PadCommand& command);

}  // namespace vellumix::padsim::engine
